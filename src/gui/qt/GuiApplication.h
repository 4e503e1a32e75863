// SPDX-License-Identifier: MIT
#pragma once

#include <QScreen>
#include <functional>
#include <memory>
#include <optional>

#include "app/OrvaneApp.h"
#include "gui/qt/QtWindowToolkit.h"
#include "gui/qt/TrayController.h"
#include "gui/viewmodel/PopoverModel.h"

namespace orvane::gui {

/// What a desktop session adds to the application: the tray and its
/// popover over the registry and the presets.
class GuiApplication {
  public:
    GuiApplication(app::OrvaneApp& app, runtime::Runtime& runtime, runtime::Logger& log,
                   std::function<void()> quit);
    ~GuiApplication();

    PopoverModel& model() { return *model_; }
    TrayController& tray() { return *tray_; }

    /// The display a screen shows, by the EDID Qt read for it: the monitor
    /// name, and the serial where Qt has one.
    static std::optional<DisplayID> matchScreen(const displays::DisplayManager& registry,
                                                const QScreen& screen);

  private:
    std::unique_ptr<PopoverModel> model_;
    std::unique_ptr<TrayController> tray_;
};

}  // namespace orvane::gui
