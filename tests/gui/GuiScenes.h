// SPDX-License-Identifier: MIT
#pragma once
// The application on one of the GUI rigs (tests/gui/rigs) with its windows
// over it, as the widget tests and the screenshot renderer build it.

#include <unistd.h>

#include <QString>
#include <QUrl>
#include <filesystem>
#include <memory>
#include <string>

#include "controls/BrightnessSyncManager.h"
#include "gui/qt/PopoverWindow.h"
#include "gui/qt/QtWindowToolkit.h"
#include "gui/qt/SettingsWindow.h"
#include "gui/qt/UpdateController.h"
#include "gui/viewmodel/PopoverModel.h"
#include "gui/viewmodel/SettingsModel.h"
#include "platform/posix/XdgAutostart.h"
#include "platform/sim/SimRig.h"
#include "settings/SettingsBindingsStore.h"
#include "support/SimApp.h"
#include "support/SimFixture.h"

namespace orvane::test {

/// An emptied folder of this name (and this process's) in the temporary folder.
inline std::filesystem::path freshDirectory(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("orvane-" + std::to_string(::getpid()) + "-" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

/// The application on rig, launched, with the popover's model and window.
struct PopoverScene {
    PopoverScene(const std::string& rig, const std::string& name,
                 platform::DesktopShortcuts* desktop = nullptr)
        : dir(freshDirectory(name)),
          sim(platform::sim::SimRig::load(std::string(ORVANE_GUI_RIGS) + "/" + rig), dir.string(),
              desktop) {
        sim.launch();
        model = std::make_unique<gui::PopoverModel>(sim.app->registry().shared_from_this(),
                                                    sim.app->presetManager(), sim.runtime.main(),
                                                    sim.runtime.clock(), sim.log);
        window = std::make_unique<gui::PopoverWindow>(*model);
    }
    ~PopoverScene() {
        window.reset();
        model.reset();
    }
    gui::DisplayCard* card(DisplayID id) {
        for (auto* c : window->cards()) {
            if (c->model().displayID() == id) return c;
        }
        return nullptr;
    }
    std::vector<int> writes(DisplayID display, std::uint8_t code) const {
        return vcpWrites(sim.machine, display, code);
    }

    std::filesystem::path dir;
    SimApp sim;
    std::unique_ptr<gui::PopoverModel> model;
    std::unique_ptr<gui::PopoverWindow> window;
};

/// The settings window and what it edits, over sim's application; its files
/// in dir.
struct SettingsScene {
    SettingsScene(SimApp& sim, const std::filesystem::path& dir, const QString& build)
        : keys(sim.log),
          autostart((dir / "config").string(), "/usr/bin/orvane"),
          bindings(sim.app->container().mainContext(), dir.string(), sim.log),
          model(gui::SettingsModel::Services{
              sim.app->container().mainContext(), sim.app->registry().shared_from_this(), sync,
              autostart, bindings, sim.log, keys, sim.app->presetManager()}),
          updates(QUrl(), QStringLiteral("Orvane"), QStringLiteral("0.6.0")),
          window(model, updates, sim.app->defaults(), QStringLiteral("0.6.0"), build) {}

    gui::QtWindowToolkit keys;
    controls::BrightnessSyncManager sync;
    platform::posix::XdgAutostart autostart;
    settings::SettingsBindingsStore bindings;
    gui::SettingsModel model;
    gui::UpdateController updates;
    gui::SettingsWindow window;
};

}  // namespace orvane::test
