// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/OrvaneApp.h"
#include "settings/AppSettings.h"
#include "support/SimFixture.h"
#include "support/TempDirectory.h"

namespace orvane::app {
namespace {

using namespace std::chrono_literals;
using platform::sim::SimDDCPath;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FakeRunner final : public platform::ProcessRunner {
  public:
    platform::ProcessResult run(const std::string& exe, const std::vector<std::string>&,
                                bool) override {
        calls.push_back(exe);
        return {};
    }
    std::vector<std::string> calls;
};

class FakeFiles final : public platform::FileManager {
  public:
    bool fileExistsAtPath(const std::string&) override { return false; }
    bool trashItem(const std::string&) override { return false; }
};

class AppTest : public test::SimFixture {
  protected:
    AppTest() {
        auto dumb = test::simDisplay(3, SimDDCPath::i2c, 0x3333, 3);
        dumb.monitor.answers = false;
        useRig(
            test::rigOf({test::builtInPanel(1, 0.5f), test::simDisplay(2, SimDDCPath::i2c), dumb}));
    }
    OrvaneApp& makeApp(std::string bundle = "/usr/bin/orvane") {
        OrvaneApp::Options o;
        o.storePath = dir / "data/Orvane.store";
        o.defaultsPath = dir / "config/defaults.json";
        o.bundlePath = std::move(bundle);
        o.homeDirectory = "/home/me";
        app = std::make_unique<OrvaneApp>(runtime_, machine_->platform(), o, runner, files, log_);
        // The silent monitor's re-probes have tests of their own; here they would
        // only interleave with the launch lines.
        app->registry().reprobeOnTimer = false;
        log_.clear();  // the transports' start-up lines
        return *app;
    }
    void launch() {
        app->delegate().applicationDidFinishLaunching();
        executor().runUntilIdle();
    }
    void TearDown() override { app.reset(); }

    test::TempDirectory dir;
    FakeRunner runner;
    FakeFiles files;
    std::unique_ptr<OrvaneApp> app;
};

TEST_F(AppTest, LaunchSequenceInOrder) {
    makeApp();
    auto& delegate = app->delegate();
    delegate.applicationDidFinishLaunching();
    // The launch task has not begun: the scan comes after the method returns.
    EXPECT_THAT(lines(), ElementsAre("[AppDelegate] Orvane launched",
                                     "[AppDelegate] Accessibility permission granted"));
    EXPECT_FALSE(delegate.isLaunched());
    executor().runUntilIdle();
    EXPECT_TRUE(delegate.isLaunched());
    const auto all = lines();
    const auto at = [&](const std::string& line) {
        return std::find(all.begin(), all.end(), line) - all.begin();
    };
    EXPECT_LT(at("[DisplayManager] Scanning connected displays..."),
              at("[ShortcutManager] Carbon hot key handler installed"));
    EXPECT_LT(at("[ShortcutManager] Carbon hot key handler installed"),
              at("[AppDelegate] No saved shortcuts to restore"));
    EXPECT_EQ(all.back(), "[AppDelegate] No saved shortcuts to restore");
    EXPECT_THAT(runner.calls, IsEmpty());  // not in an applications folder
}

TEST_F(AppTest, SavedShortcutsAndKeySettingsHoldAfterARestart) {
    {
        makeApp();
        auto settings = settings::fetchOrCreateSettings(app->container().mainContext());
        settings->setShortcutBindings({{"brightness_up", {126, 6144}}, {"dim_all", {1, 256}}});
        settings->setInterceptVolumeKeys(true);
        settings->setBrightnessStep(10);
        settings->setShowOSD(false);
        app->container().mainContext().save();
        app.reset();
    }
    log_.clear();
    makeApp();
    launch();
    EXPECT_EQ(lines().back(), "[AppDelegate] Restored 2 saved shortcut(s)");
    EXPECT_EQ(machine_->input().hotKeyCount(), 1u);
    const auto& interceptor = *app->registry().mediaKeyInterceptor();
    EXPECT_TRUE(interceptor.interceptVolume());
    EXPECT_EQ(interceptor.brightnessStep(), 10);
    // The restored shortcut drives the displays; with panels off, none shows.
    ASSERT_TRUE(machine_->input().pressHotKey(126, 6144));
    executor().runUntilIdle();
    EXPECT_EQ(monitor(2).feature(0x10)->current, 60);
    EXPECT_TRUE(app->registry().osdManager()->customOSDs().empty());
    // A change to the record takes effect at once.
    settings::fetchOrCreateSettings(app->container().mainContext())->setVolumeStep(1);
    EXPECT_EQ(interceptor.volumeStep(), 1);
}

TEST_F(AppTest, OnboardingIsScheduledOnlyUntilCompletedAndOnlyWhereItCanShow) {
    // Headless: no window could ever show, so nothing is scheduled.
    makeApp();
    app->delegate().applicationDidFinishLaunching();
    executor().runFor(2s);
    EXPECT_FALSE(app->delegate().onboardingWindowShown());
    app.reset();

    int presented = 0;
    makeApp();
    app->delegate().presentOnboarding = [&] { ++presented; };
    app->delegate().applicationDidFinishLaunching();
    executor().runFor(499ms);
    EXPECT_FALSE(app->delegate().onboardingWindowShown());
    executor().runFor(1ms);
    EXPECT_TRUE(app->delegate().onboardingWindowShown());
    EXPECT_EQ(presented, 1);
    app->delegate().onboardingCompleted();
    app.reset();

    makeApp();
    app->delegate().presentOnboarding = [&] { ++presented; };
    launch();
    executor().runFor(2s);
    EXPECT_FALSE(app->delegate().onboardingWindowShown());
    EXPECT_EQ(presented, 1);
}

TEST_F(AppTest, NoLaunchStepOrHeldURLRunsAfterTerminationBegins) {
    makeApp();
    app->presets().savePreset("Dark");
    app->presets().setDefault("Dark");
    auto& delegate = app->delegate();
    delegate.applicationDidFinishLaunching();
    delegate.handleURLEvent("orvane://brightness?value=10");  // held until the scan ends
    executor().runFor(100ms);                                 // the first scan is under way
    delegate.applicationWillTerminate();
    executor().runUntilIdle();
    EXPECT_FALSE(delegate.isLaunched());
    EXPECT_THAT(log_.linesStartingWith("[CLIHandler] Received URL"), ::testing::IsEmpty());
    EXPECT_THAT(log_.linesStartingWith("[PresetManager] Applying default"), ::testing::IsEmpty());
    EXPECT_THAT(log_.linesStartingWith("[MediaKeyInterceptor] Media key interception started"),
                ::testing::IsEmpty());
    EXPECT_TRUE(machine_->windows().empty());
    delegate.handleURLEvent("orvane://brightness?value=10");
    executor().runUntilIdle();
    EXPECT_TRUE(machine_->windows().empty());
}

TEST_F(AppTest, URLEventsWaitForTheFirstScan) {
    makeApp();
    auto& delegate = app->delegate();
    delegate.handleURLEvent("orvane://brightness?value=10");  // before launch: no handler yet
    delegate.applicationDidFinishLaunching();
    delegate.handleURLEvent(std::nullopt);
    delegate.handleURLEvent("not a url at all");
    delegate.handleURLEvent("orvane://brightness?display=external&value=30");
    EXPECT_THAT(
        log_.linesStartingWith("[AppDelegate] Received URL: "),
        ElementsAre("[AppDelegate] Received URL: orvane://brightness?display=external&value=30"));
    executor().runUntilIdle();
    EXPECT_EQ(monitor(2).feature(0x10)->current, 30);
    EXPECT_EQ(app->registry().displays().at(1)->brightness.get(), 30.0);
}

}  // namespace
}  // namespace orvane::app
