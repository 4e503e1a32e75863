// SPDX-License-Identifier: MIT
// The Linux backend under GNOME on Wayland: modes and gamma through Mutter's
// DisplayConfig, against a mock of it on a private session bus
// (tests/support/with-mock-gnome.sh).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "controls/SoftwareDimmer.h"
#include "displays/ResolutionManager.h"
#include "platform/linux/LinuxMachine.h"
#include "platform/linux/MutterDisplayConfig.h"
#include "runtime/Logger.h"
#include "runtime/ManualExecutor.h"
#include "support/LinuxSession.h"
#include "support/SysfsTree.h"
#include "support/TempDirectory.h"

namespace orvane::test {
namespace {

using namespace std::chrono_literals;
using platform::linux_::DesktopSession;
using platform::linux_::LinuxMachine;
using platform::linux_::MutterDisplayConfig;

constexpr DisplayID kOffice = 0x0A01;  // card0-DP-1
constexpr DisplayID kTV = 0x0B01;      // card0-HDMI-A-1

struct Changes {
    std::mutex lock;
    std::condition_variable cv;
    std::vector<platform::DisplayChange> flags;

    void operator()(DisplayID display, platform::DisplayChange change) {
        if (display != kOffice) return;
        std::lock_guard hold(lock);
        flags.push_back(change);
        cv.notify_all();
    }
};

class MutterDisplayConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("MUTTER_LOG"))
            GTEST_SKIP() << "needs the mock Mutter (run through tests/support/with-mock-gnome.sh)";
        tree_.connector("card0-DP-1", true, edidFile("office-27.bin"));
        tree_.connector("card0-HDMI-A-1", true, edidFile("tv-hdmi.bin"));
        std::string error;
        DesktopSession session;
        session.displayConfig = MutterDisplayConfig::open(error);
        ASSERT_TRUE(session.displayConfig) << error;
        machine_ = sessionMachine(tree_, clock_, log_, std::move(session));
    }
    /// The calls the mock took, oldest first.
    std::vector<nlohmann::json> applied() const {
        std::ifstream in(std::getenv("MUTTER_LOG"));
        std::vector<nlohmann::json> calls;
        for (std::string line; std::getline(in, line);)
            calls.push_back(nlohmann::json::parse(line));
        return calls;
    }

    TempDirectory dir_;
    SysfsTree tree_{dir_.path() / "root"};
    runtime::ManualExecutor clock_;
    runtime::CapturingLogger log_;
    std::unique_ptr<LinuxMachine> machine_;
};

TEST_F(MutterDisplayConfigTest, ModesSwitchForTheSessionWithTheRestOfTheLayoutKept) {
    const auto modes = machine_->displayModes(kOffice, false);
    ASSERT_TRUE(modes);
    ASSERT_EQ(modes->size(), 3u);
    EXPECT_EQ(machine_->currentMode(kOffice)->pixelWidth, 3840u);

    Changes changes;
    auto watch = machine_->watchDisplays(
        [&changes](DisplayID d, platform::DisplayChange c) { changes(d, c); });
    displays::ResolutionManager resolutions(*machine_, log_);
    EXPECT_TRUE(resolutions.setMode(kOffice, 2560, 1440, false, 59.951));

    const auto calls = applied();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]["method"], 1) << "temporary: it lasts for the session";
    EXPECT_EQ(calls[0]["serial"], 1);
    EXPECT_EQ(calls[0]["logical"],
              nlohmann::json::parse(R"([[0, 0, 2.0, 0, true, [["DP-1", "2560x1440@59.951"]]],
                                        [1920, 0, 1.0, 0, false, [["eDP-1", "1920x1200@60.000"]]]])"));
    EXPECT_EQ(machine_->currentMode(kOffice)->pixelWidth, 2560u);
    {
        std::unique_lock lock(changes.lock);
        ASSERT_TRUE(changes.cv.wait_for(lock, 5s, [&] { return !changes.flags.empty(); }))
            << "MonitorsChanged reaches the reconfiguration callback";
        EXPECT_EQ(changes.flags.back(), platform::DisplayChange::reconfigured);
    }
    watch.reset();

    EXPECT_FALSE(resolutions.setMode(kOffice, 800, 600, false, 60));
    EXPECT_EQ(applied().size(), 1u) << "an unknown mode is never sent";
    EXPECT_FALSE(machine_->displayModes(kTV, false));
    EXPECT_EQ(log_.countStartingWith(
                  "[Linux] No output of the display server shows the EDID of card0-HDMI-A-1"),
              1u);
}

TEST_F(MutterDisplayConfigTest, GammaDimsThroughTheCrtcAndComesBackExactly) {
    NoScreens toolkit;
    controls::SoftwareDimmer dimmer(kOffice, *machine_, toolkit, log_, machine_->platform().texts);
    dimmer.method = controls::SoftwareDimmer::Method::gamma;
    auto ramps = [&] {
        auto read = machine_->gammaRamps(kOffice, 256);
        EXPECT_TRUE(std::holds_alternative<platform::GammaRamps>(read));
        auto* r = std::get_if<platform::GammaRamps>(&read);
        return r ? *r : platform::GammaRamps{};
    };
    const auto original = ramps();
    ASSERT_EQ(original.red.size(), 256u);
    dimmer.applyLevel(0.25);
    EXPECT_TRUE(dimmer.gammaModified());
    const auto dimmed = ramps();
    for (std::size_t i = 0; i < 256; i += 51)
        EXPECT_NEAR(dimmed.red[i], original.red[i] * 0.75f, 1.0f / 65535) << i;
    dimmer.applyLevel(0);
    EXPECT_EQ(ramps(), original);
}

}  // namespace
}  // namespace orvane::test
