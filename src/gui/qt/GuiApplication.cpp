// SPDX-License-Identifier: MIT
#include "gui/qt/GuiApplication.h"

namespace orvane::gui {

GuiApplication::GuiApplication(app::OrvaneApp& app, runtime::Runtime& runtime, runtime::Logger& log,
                               std::function<void()> quit) {
    auto registry = app.registry().shared_from_this();
    model_ = std::make_unique<PopoverModel>(registry, app.presetManager(), runtime.main(),
                                            runtime.clock(), log);
    tray_ = std::make_unique<TrayController>(*model_, log, std::move(quit));
}

GuiApplication::~GuiApplication() = default;

std::optional<DisplayID> GuiApplication::matchScreen(const displays::DisplayManager& registry,
                                                     const QScreen& screen) {
    const auto model = screen.model().trimmed().toStdString();
    const auto serial = screen.serialNumber().trimmed().toStdString();
    if (model.empty()) return std::nullopt;
    std::optional<DisplayID> found;
    for (const auto& state : registry.displays()) {
        const auto& info = state->info;
        if (info.name != model) continue;
        if (!serial.empty() && info.serialNumber && *info.serialNumber != serial) continue;
        if (found) return std::nullopt;  // twins without serials: no way to tell
        found = info.id;
    }
    return found;
}

}  // namespace orvane::gui
