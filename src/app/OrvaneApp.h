// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "app/AppDelegate.h"
#include "ddc/AVServiceDDC.h"
#include "ddc/DDCManager.h"
#include "displays/DisplayManager.h"
#include "platform/FileManager.h"
#include "platform/Platform.h"
#include "platform/ProcessRunner.h"
#include "runtime/Logger.h"
#include "runtime/Runtime.h"
#include "settings/AppSettings.h"
#include "settings/CLIHandler.h"
#include "settings/ModelContainer.h"
#include "settings/PresetManager.h"
#include "settings/UserDefaults.h"

namespace orvane::app {

/// The headless application: the store, the managers and the delegate, wired
/// as they live for the whole run.
class OrvaneApp {
  public:
    struct Options {
        std::string storePath = settings::ModelContainer::defaultPath();
        std::string defaultsPath = settings::UserDefaults::defaultPath();
        std::string bundlePath;
        std::string homeDirectory;
        /// Where dimmed displays' gamma tables are kept; empty keeps none.
        std::string gammaJournalPath;
    };

    /// Throws store::StoreError when the store cannot be created or opened.
    OrvaneApp(runtime::Runtime& runtime, platform::Platform platform, Options options,
              platform::ProcessRunner& processes, platform::FileManager& files,
              runtime::Logger& log);
    ~OrvaneApp();

    AppDelegate& delegate() { return *delegate_; }
    displays::DisplayManager& registry() { return *registry_; }
    settings::PresetManager& presets() { return *presets_; }
    settings::CLIHandler& cli() { return cli_; }
    const std::shared_ptr<settings::PresetManager>& presetManager() const { return presets_; }
    settings::ModelContainer& container() { return container_; }
    settings::UserDefaults& defaults() { return defaults_; }
    /// The folder the store lives in.
    std::string storeDirectory() const;

  private:
    void applySettings();

    std::string storePath_;
    settings::ModelContainer container_;
    settings::UserDefaults defaults_;
    std::shared_ptr<displays::DisplayManager> registry_;
    std::shared_ptr<settings::PresetManager> presets_;
    settings::CLIHandler cli_;
    std::shared_ptr<AppDelegate> delegate_;
    std::shared_ptr<settings::AppSettings> settings_;
    std::shared_ptr<void> settingsObservation_;
};

}  // namespace orvane::app
