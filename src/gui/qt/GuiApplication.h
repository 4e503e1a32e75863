// SPDX-License-Identifier: MIT
#pragma once

#include <QScreen>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "app/OrvaneApp.h"
#include "controls/BrightnessSyncManager.h"
#include "gui/qt/OnboardingWindow.h"
#include "gui/qt/QtWindowToolkit.h"
#include "gui/qt/SettingsWindow.h"
#include "gui/qt/TrayController.h"
#include "gui/qt/UpdateController.h"
#include "gui/viewmodel/PopoverModel.h"
#include "gui/viewmodel/SettingsModel.h"
#include "platform/LoginItems.h"
#include "settings/SettingsBindingsStore.h"

namespace orvane::gui {

/// What a desktop session adds to the application: the tray and its
/// popover, the settings window, onboarding and the update check.
class GuiApplication {
  public:
    struct Options {
        /// Key monitors for shortcut recording (the GUI's own windows get the keys).
        platform::WindowToolkit& keys;
        platform::LoginItems& loginItems;
        QString version;
        QString build;
        QUrl updateFeed;
        /// Remembers the last automatic update check.
        QString updateStamp;
    };

    GuiApplication(app::OrvaneApp& app, runtime::Runtime& runtime, runtime::Logger& log,
                   Options options, std::function<void()> quit);
    ~GuiApplication();

    PopoverModel& model() { return *model_; }
    TrayController& tray() { return *tray_; }
    /// Opens (or raises) the settings window.
    void openSettings();
    SettingsWindow* settingsWindow() { return settings_.get(); }
    UpdateController& updates() { return *updates_; }

    /// The display a screen shows, by the EDID Qt read for it: the monitor
    /// name, and the serial where Qt has one.
    static std::optional<DisplayID> matchScreen(const displays::DisplayManager& registry,
                                                const QScreen& screen);

  private:
    void showOnboarding();
    void checkAutomatically();

    app::OrvaneApp& app_;
    runtime::Logger& log_;
    Options options_;
    controls::BrightnessSyncManager sync_;
    settings::SettingsBindingsStore bindings_;
    std::unique_ptr<PopoverModel> model_;
    std::unique_ptr<TrayController> tray_;
    std::unique_ptr<UpdateController> updates_;
    std::unique_ptr<SettingsModel> settingsModel_;
    std::unique_ptr<SettingsWindow> settings_;
    std::unique_ptr<OnboardingWindow> onboarding_;
    std::unique_ptr<QTimer> updateTimer_;
};

}  // namespace orvane::gui
