// SPDX-License-Identifier: MIT
#include "gui/qt/GuiApplication.h"

#include <QGuiApplication>

namespace orvane::gui {

GuiApplication::GuiApplication(app::OrvaneApp& app, runtime::Runtime& runtime, runtime::Logger& log,
                               Options options, std::function<void()> quit)
    : app_(app),
      log_(log),
      options_(std::move(options)),
      bindings_(app.container().mainContext(), app.storeDirectory(), log) {
    auto registry = app.registry().shared_from_this();
    model_ = std::make_unique<PopoverModel>(registry, app.presetManager(), runtime.main(),
                                            runtime.clock(), log);
    tray_ = std::make_unique<TrayController>(*model_, log, std::move(quit));
    updates_ = std::make_unique<UpdateController>(options_.updateFeed, QStringLiteral("Orvane"),
                                                  options_.version);
    settingsModel_ = std::make_unique<SettingsModel>(
        SettingsModel::Services{app.container().mainContext(), registry, sync_, options_.loginItems,
                                bindings_, log, options_.keys, app.presetManager()});
    tray_->popover().onOpenSettings = [this] { openSettings(); };
    tray_->popover().refresh();
    // "Automatically download updates": a quiet check at start and each hour,
    // which reaches the feed at most once a day.
    updateTimer_ = std::make_unique<QTimer>();
    updateTimer_->setInterval(std::chrono::hours(1));
    QObject::connect(updateTimer_.get(), &QTimer::timeout, [this] { checkAutomatically(); });
    updateTimer_->start();
    QTimer::singleShot(std::chrono::seconds(30), updateTimer_.get(),
                       [this] { checkAutomatically(); });
    // First run in a desktop session: the delegate decides when.
    app.delegate().presentOnboarding = [this] { showOnboarding(); };
    app.delegate().presentWindow = [this] { tray_->reopen(); };
}

GuiApplication::~GuiApplication() {
    app_.delegate().presentOnboarding = nullptr;
    app_.delegate().presentWindow = nullptr;
}

void GuiApplication::checkAutomatically() {
    if (app_.defaults().boolForKey(AboutPane::kAutomaticallyUpdate) &&
        !options_.updateStamp.isEmpty())
        updates_->checkAutomatically(options_.updateStamp);
}

void GuiApplication::openSettings() {
    if (!settings_) {
        settings_ = std::make_unique<SettingsWindow>(*settingsModel_, *updates_, app_.defaults(),
                                                     options_.version, options_.build);
    }
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

void GuiApplication::showOnboarding() {
    onboarding_ = std::make_unique<OnboardingWindow>();
    onboarding_->onStarted = [this] {
        app_.defaults().setBool(app::AppDelegate::kOnboardingShown, true);
    };
    onboarding_->onFinished = [this] { app_.delegate().onboardingCompleted(); };
    onboarding_->setWindowFlag(Qt::WindowStaysOnTopHint);
    onboarding_->show();
    onboarding_->raise();
    onboarding_->activateWindow();
}

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
