// SPDX-License-Identifier: MIT
#include "app/OrvaneApp.h"

#include "settings/AppSettings.h"

namespace orvane::app {

OrvaneApp::OrvaneApp(runtime::Runtime& runtime, platform::Platform platform, Options options,
                     platform::ProcessRunner& processes, platform::FileManager& files,
                     runtime::Logger& log)
    : storePath_(options.storePath),
      container_(options.storePath),
      defaults_(options.defaultsPath, log),
      registry_(displays::DisplayManager::create(
          runtime,
          {platform, ddc::DDCManager::create(runtime, platform, log, kBundleIdentifier),
           ddc::AVServiceDDC::create(runtime, platform, log, kBundleIdentifier)},
          log)),
      presets_(std::make_shared<settings::PresetManager>(registry_, log)),
      cli_(registry_, presets_, runtime.main(), log),
      delegate_(std::make_shared<AppDelegate>(
          AppDelegate::Services{runtime, registry_, presets_, cli_, defaults_, processes, files,
                                options.bundlePath, options.homeDirectory, log})) {
    defaults_.registerDefaults({{"SUAutomaticallyUpdate", false}});
    presets_->modelContext = &container_.mainContext();
    registry_->gammaJournal =
        std::make_shared<controls::GammaJournal>(options.gammaJournalPath, log);
    // The user's key settings hold from launch on, and follow every change.
    settings_ = settings::fetchOrCreateSettings(container_.mainContext());
    applySettings();
    settingsObservation_ = settings_->observe([this](std::string_view) { applySettings(); });
}

OrvaneApp::~OrvaneApp() {
    settingsObservation_.reset();
    delegate_->applicationWillTerminate();
    delegate_->detach();
    // Applies still under way outlive the store: they must not save into it.
    presets_->modelContext = nullptr;
}

std::string OrvaneApp::storeDirectory() const {
    const auto slash = storePath_.rfind('/');
    return slash == std::string::npos ? std::string(".") : storePath_.substr(0, slash);
}

void OrvaneApp::applySettings() {
    registry_->applyKeyPreferences(settings_->keyPreferences());
}

}  // namespace orvane::app
