// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifdef ORVANE_INSTALLER_IMAGE_CLEANUP
#include "app/InstallerImageCleanup.h"
#endif
#include "displays/DisplayManager.h"
#include "platform/FileManager.h"
#include "platform/ProcessRunner.h"
#include "runtime/Logger.h"
#include "runtime/Runtime.h"
#include "settings/CLIHandler.h"
#include "settings/PresetManager.h"
#include "settings/PresetScheduler.h"
#include "settings/UserDefaults.h"

namespace orvane::app {

inline constexpr const char* kBundleIdentifier = "app.orvane.Orvane";

/// The launch and termination sequences, URL events and onboarding scheduling.
/// Main thread only.
class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
  public:
    static constexpr const char* kOnboardingShown = "onboardingShown";
    /// After launch: the onboarding window (first run), the installer-image check.
    static constexpr std::chrono::milliseconds kOnboardingDelay{500};
    static constexpr std::chrono::seconds kInstallerImageDelay{8};

    struct Services {
        runtime::Runtime& runtime;
        std::shared_ptr<displays::DisplayManager> registry;
        std::shared_ptr<settings::PresetManager> presets;
        settings::CLIHandler& cli;
        settings::UserDefaults& defaults;
        platform::ProcessRunner& processes;
        platform::FileManager& files;
        std::string bundlePath;
        std::string homeDirectory;
        runtime::Logger& log;
    };

    explicit AppDelegate(Services services);
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    /// Learns whether a URL did what it asked.
    using URLDone = std::function<void(bool handled)>;
    /// A URL event; the direct object is the URL's text, when there is one.
    /// URLs run one after another, each once the writes of the one before have
    /// ended; done (when given) learns the outcome, false for a refused URL.
    /// With documents, an info URL gives its JSON document there instead of
    /// its listing in the log.
    void handleURLEvent(const std::optional<std::string>& directObject, URLDone done = {},
                        settings::CLIHandler::Documents documents = {});
    runtime::Task<void> restoreShortcuts();
    void showOnboarding();
    void onboardingCompleted();

    /// Whether the launch task (registry start, shortcuts, default preset) has ended.
    bool isLaunched() const { return launched_; }
    /// Runs once the launch task has ended (at once if it has).
    void whenLaunched(std::function<void()> fn);
    /// The GUI shows the onboarding window through this; headless, nothing is shown.
    std::function<void()> presentOnboarding;
    /// A second start without URLs: the windows show again. Main thread.
    std::function<void()> presentWindow;
    bool onboardingWindowShown() const { return onboardingShown_; }
    /// A one-shot run leaves the displays as its URLs set them.
    bool applyDefaultPresetAtLaunch = true;
    /// After launch, scheduled presets come into force at their moments
    /// (resident runs; a check every half minute would keep a virtual clock
    /// running for ever).
    bool schedulePresets = false;
    const std::shared_ptr<settings::PresetScheduler>& scheduler() const { return scheduler_; }
    /// The application that owns the services is going away: work still
    /// pending (the launch task, held URLs) must not touch them any more.
    void detach();

  private:
    Services s_;
    std::shared_ptr<settings::PresetScheduler> scheduler_;
    bool urlHandlerRegistered_ = false;
    bool launched_ = false;
    bool terminated_ = false;
    bool detached_ = false;
    runtime::Task<void> runURLs();
    struct PendingURL {
        std::string url;
        URLDone done;
        settings::CLIHandler::Documents documents;
    };
    std::deque<PendingURL> pendingURLs_;
    bool runningURLs_ = false;
    bool onboardingShown_ = false;
    std::vector<std::function<void()>> afterLaunch_;
#ifdef ORVANE_INSTALLER_IMAGE_CLEANUP
    void startInstallerImageCleanup();
    std::optional<InstallerImageCleanup> pendingCleanup_;  // until its delay is up
    std::shared_ptr<runtime::SerialQueue> cleanupQueue_;
#endif
};

}  // namespace orvane::app
