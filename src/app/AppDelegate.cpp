// SPDX-License-Identifier: MIT
#include "app/AppDelegate.h"

#include <chrono>

#include "app/ColorTableExitHook.h"
#include "runtime/Sleep.h"
#include "runtime/Spawn.h"
#include "settings/AppSettings.h"

namespace orvane::app {

using namespace std::chrono_literals;

AppDelegate::AppDelegate(Services services) : s_(std::move(services)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    auto& log = s_.log;
    auto& platform = s_.registry->services().platform;
    log.line("[AppDelegate] Orvane launched");
    ColorTableExitHook::arm(platform.windowServer);
    const auto& trust = platform.accessibility.isProcessTrustedWithOptions(true)
                            ? platform.texts.keysTrusted
                            : platform.texts.keysNotTrusted;
    if (!trust.empty()) log.line(trust);

    std::weak_ptr<displays::DisplayManager> weakRegistry = s_.registry;
    s_.registry->shortcutManager()->onAction = [weakRegistry](input::ShortcutAction action) {
        if (auto registry = weakRegistry.lock()) registry->performShortcutAction(action);
    };

    runtime::spawn(s_.runtime.main(), [](std::shared_ptr<AppDelegate> self) -> runtime::Task<void> {
        // Once termination has begun, no later launch step may undo it.
        const auto over = [&] { return self->detached_ || self->terminated_; };
        co_await self->s_.registry->start();
        if (over()) co_return;
        co_await self->restoreShortcuts();
        if (over()) co_return;
        if (self->applyDefaultPresetAtLaunch) co_await self->s_.presets->applyDefaultPreset();
        if (over()) co_return;
        if (self->schedulePresets) {
            // After the default preset: a scheduled one in force replaces it.
            self->scheduler_ = std::make_shared<settings::PresetScheduler>(
                self->s_.presets, self->s_.runtime.main(), self->s_.log);
            self->scheduler_->start();
        }
        self->launched_ = true;
        auto pending = std::move(self->afterLaunch_);
        for (auto& fn : pending)
            fn();
    }(shared_from_this()));

    urlHandlerRegistered_ = true;

#ifdef ORVANE_INSTALLER_IMAGE_CLEANUP
    InstallerImageCleanup cleanup(s_.processes, s_.files, s_.bundlePath, s_.homeDirectory);
    if (cleanup.shouldRun()) {
        pendingCleanup_.emplace(std::move(cleanup));
        std::weak_ptr<AppDelegate> weak = weak_from_this();
        s_.runtime.main().postAfter(kInstallerImageDelay, [weak] {
            if (auto self = weak.lock()) self->startInstallerImageCleanup();
        });
    }
#endif

    // Only where a window can be shown: a headless run has nothing to schedule.
    if (presentOnboarding && !s_.defaults.boolForKey(kOnboardingShown)) {
        std::weak_ptr<AppDelegate> weak = weak_from_this();
        s_.runtime.main().postAfter(kOnboardingDelay, [weak] {
            if (auto self = weak.lock()) self->showOnboarding();
        });
    }
}

#ifdef ORVANE_INSTALLER_IMAGE_CLEANUP
void AppDelegate::startInstallerImageCleanup() {
    if (!pendingCleanup_) return;
    auto cleanup = std::move(*pendingCleanup_);
    pendingCleanup_.reset();
    // hdiutil may take a while: off the main thread.
    cleanupQueue_ = s_.runtime.makeSerialQueue(std::string(kBundleIdentifier) + ".cleanup");
    cleanupQueue_->async([cleanup]() mutable { cleanup.run(); });
}
#endif

void AppDelegate::detach() {
    if (detached_) return;
    detached_ = true;
    if (scheduler_) scheduler_->stop();
        // Quitting before the delay is up still ejects the image, right here:
        // the queues are closed by now.
#ifdef ORVANE_INSTALLER_IMAGE_CLEANUP
    if (pendingCleanup_) {
        pendingCleanup_->run();
        pendingCleanup_.reset();
    }
#endif
    afterLaunch_.clear();
    pendingURLs_.clear();
    // The window server goes with the application; a task frame may keep
    // this delegate alive longer than that.
    ColorTableExitHook::disarm();
}

void AppDelegate::whenLaunched(std::function<void()> fn) {
    if (detached_ || terminated_) return;
    if (launched_) {
        fn();
    } else {
        afterLaunch_.push_back(std::move(fn));
    }
}

runtime::Task<void> AppDelegate::restoreShortcuts() {
    auto self = shared_from_this();
    auto* context = s_.presets->modelContext;
    if (!context) {
        s_.log.line("[AppDelegate] No model context - can't restore shortcuts");
        co_return;
    }
    const auto bindings = settings::fetchOrCreateSettings(*context)->shortcutBindings();
    if (bindings.empty()) {
        s_.log.line("[AppDelegate] No saved shortcuts to restore");
        co_return;
    }
    auto& shortcuts = *s_.registry->shortcutManager();
    for (const auto& [name, combo] : bindings) {
        if (auto action = input::shortcutActionFromRawValue(name))
            shortcuts.registerShortcut(*action, combo);
    }
    s_.log.line("[AppDelegate] Restored " + std::to_string(bindings.size()) + " saved shortcut(s)");
}

void AppDelegate::handleURLEvent(const std::optional<std::string>& directObject, URLDone done,
                                 settings::CLIHandler::Documents documents) {
    const auto refuse = [&done] {
        if (done) done(false);
    };
    if (!urlHandlerRegistered_ || terminated_ || !directObject) return refuse();
    if (directObject->size() > settings::kMaxURLLength) {
        s_.log.line("[AppDelegate] Refused URL of " + std::to_string(directObject->size()) +
                    " bytes (at most " + std::to_string(settings::kMaxURLLength) + ")");
        return refuse();
    }
    if (!settings::CommandURL::parse(*directObject)) {
        s_.log.line("[AppDelegate] Refused: not a URL: " + settings::quotedURL(*directObject));
        return refuse();
    }
    s_.log.line("[AppDelegate] Received URL: " + settings::quotedURL(*directObject));
    // Commands act on the displays, so they wait for the first scan.
    whenLaunched([self = shared_from_this(), url = *directObject, done = std::move(done),
                  documents = std::move(documents)] {
        if (self->detached_) return;
        self->pendingURLs_.push_back({url, done, documents});
        if (self->runningURLs_) return;
        self->runningURLs_ = true;
        runtime::spawnRetaining(self->s_.runtime.main(), self, self->runURLs());
    });
}

runtime::Task<void> AppDelegate::runURLs() {
    auto self = shared_from_this();
    // One at a time: info after a write lists what the write did.
    while (!pendingURLs_.empty() && !detached_) {
        auto [url, done, documents] = std::move(pendingURLs_.front());
        pendingURLs_.pop_front();
        const bool handled = co_await s_.cli.run(url, std::move(documents));
        if (done) done(handled);
        // Through the loop between URLs: keys and signals come between them,
        // and a long batch of ones that end at once builds no deep stack.
        if (!pendingURLs_.empty())
            co_await runtime::sleepFor(s_.runtime.main(), runtime::Duration{});
    }
    runningURLs_ = false;
}

void AppDelegate::showOnboarding() {
    onboardingShown_ = true;
    if (presentOnboarding) presentOnboarding();
}

void AppDelegate::onboardingCompleted() {
    s_.defaults.setBool(kOnboardingShown, true);
    onboardingShown_ = false;
}

void AppDelegate::applicationWillTerminate() {
    if (terminated_) return;
    terminated_ = true;
    afterLaunch_.clear();  // held URLs would act on displays being restored
    if (scheduler_) scheduler_->stop();
    s_.log.line("[AppDelegate] Orvane terminating - cleaning up");
    s_.registry->stop();
}

}  // namespace orvane::app
