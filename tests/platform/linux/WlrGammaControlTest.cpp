// SPDX-License-Identifier: MIT
#include "platform/linux/WlrGammaControl.h"

#include <gtest/gtest.h>
#include <chrono>
#include <functional>
#include <thread>

#include "controls/SoftwareDimmer.h"
#include "runtime/Logger.h"
#include "runtime/ManualExecutor.h"
#include "support/LinuxSession.h"
#include "support/TempDirectory.h"
#include "support/WlrCompositor.h"

namespace orvane::test {
namespace {

using platform::linux_::DesktopSession;
using platform::linux_::LinuxMachine;
using platform::linux_::WlrGammaControl;

constexpr DisplayID kOffice = 0x0A01;  // card0-DP-1: DELL U2720Q, serial 7XKD123
constexpr DisplayID kTV = 0x0B01;      // card0-HDMI-A-1

class WlrGammaControlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tree_.connector("card0-DP-1", true, edidFile("office-27.bin"));
        tree_.connector("card0-HDMI-A-1", true, edidFile("tv-hdmi.bin"));
        // The same model twice: only the serial tells them apart.
        other_ = compositor_.addOutput({"Dell Inc.", "DELL U2720Q", "9ZZZ999", "DP-2", 256});
        office_ = compositor_.addOutput({"Dell Inc.", "DELL U2720Q", "7XKD123", "DP-1", 1024});
    }
    std::unique_ptr<WlrGammaControl> connect() {
        std::string error;
        auto control = WlrGammaControl::connect(compositor_.connectClient(), error);
        EXPECT_TRUE(control) << error;
        return control;
    }
    void startMachine() {
        DesktopSession session;
        session.displayConfig = connect();
        session.unavailable = "this Wayland compositor offers no interface Orvane supports";
        machine_ = sessionMachine(tree_, clock_, log_, std::move(session));
    }
    /// Whether pred holds within 5 s: the compositor runs on a thread of its own.
    static bool eventually(const std::function<bool()>& pred) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!pred()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    static WlrCompositor::Ramps identity(std::uint32_t n) {
        WlrCompositor::Ramps ramps(n * 3);
        for (std::uint32_t c = 0; c < 3; ++c) {
            for (std::uint32_t i = 0; i < n; ++i)
                ramps[c * n + i] = std::uint16_t(i * 65535u / (n - 1));
        }
        return ramps;
    }

    WlrCompositor compositor_;
    std::size_t other_ = 0, office_ = 0;
    TempDirectory dir_;
    SysfsTree tree_{dir_.path() / "root"};
    runtime::ManualExecutor clock_;
    runtime::CapturingLogger log_;
    std::unique_ptr<LinuxMachine> machine_;
};

TEST_F(WlrGammaControlTest, DimsTheOutputWithTheDisplaysSerialAndGivesTheRampsBack) {
    startMachine();
    NoScreens toolkit;
    controls::SoftwareDimmer dimmer(kOffice, *machine_, toolkit, log_, machine_->platform().texts);
    dimmer.method = controls::SoftwareDimmer::Method::gamma;
    dimmer.applyLevel(0.5);
    EXPECT_TRUE(dimmer.gammaModified());

    const auto dimmed = compositor_.ramps(office_);
    ASSERT_EQ(dimmed.size(), 3u * 1024);
    for (std::size_t c = 0; c < 3; ++c) {
        EXPECT_EQ(dimmed[c * 1024], 0);
        EXPECT_NEAR(dimmed[c * 1024 + 1023], 32768, 2) << "half of full scale, channel " << c;
        EXPECT_NEAR(dimmed[c * 1024 + 511], 65535 * 511 / 1023 / 2, 2);
    }
    EXPECT_EQ(compositor_.ramps(other_), identity(256)) << "the same model with another serial";

    dimmer.applyLevel(0);
    // wlroots lets no client read a ramp: the dimmer's original is the
    // identity the control assumes, to within rounding.
    const auto back = compositor_.ramps(office_), straight = identity(1024);
    for (std::size_t i = 0; i < back.size(); ++i)
        ASSERT_NEAR(back[i], straight[i], 1) << i;
    machine_->restoreGamma();
    EXPECT_EQ(compositor_.ramps(office_), straight) << "exactly, at exit";
    EXPECT_TRUE(eventually([&] { return compositor_.heldControls() == 0; }))
        << "the control is let go once the ramps are back";

    // Modes stay with the connector's list: the compositor switches none, and
    // the current one is the monitor's preferred mode.
    EXPECT_EQ(machine_->currentMode(kOffice)->modeID, -1);
    const auto tv = machine_->gammaRamps(kTV, 256);
    ASSERT_TRUE(std::holds_alternative<platform::PlatformError>(tv)) << "no output shows the TV";
    EXPECT_EQ(std::get<platform::PlatformError>(tv).code, std::errc::no_such_device);
}

TEST_F(WlrGammaControlTest, ARefusedControlOrTableIsAFailureAndAnExitRestores) {
    startMachine();
    const std::vector<float> half(256, 0.5f);
    const platform::GammaRamps halves{half, half, half};
    compositor_.holdElsewhere(office_, true);
    const auto held = machine_->setGammaRamps(kOffice, halves);
    ASSERT_TRUE(held) << "a night-light tool holds the output";
    EXPECT_EQ(held->text, "the display server keeps no gamma ramp for DP-1");
    EXPECT_EQ(log_.countStartingWith("[Linux] The display server keeps no gamma ramp for DP-1"),
              1u);

    compositor_.holdElsewhere(office_, false);
    compositor_.failNextSet();
    const auto refused = machine_->setGammaRamps(kOffice, halves);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->text, "the display server refused the ramps of DP-1");
    EXPECT_EQ(compositor_.ramps(office_), identity(1024));

    ASSERT_FALSE(machine_->setGammaRamps(kOffice, halves)) << "a later write takes a new control";
    EXPECT_EQ(compositor_.ramps(office_)[5], 32768);
    // However Orvane ends, the connection goes and the compositor restores,
    // once its thread has seen the client leave.
    machine_.reset();
    EXPECT_TRUE(eventually([&] { return compositor_.heldControls() == 0; }));
    EXPECT_EQ(compositor_.ramps(office_), identity(1024));
}

TEST_F(WlrGammaControlTest, OutputsComingAndGoingReachTheMachine) {
    Signal changes;
    auto control = connect();
    control->onScreenChange = [&] { changes.notify(); };
    control->startEvents();
    EXPECT_EQ(control->outputs().size(), 2u);
    const auto tv = compositor_.addOutput({"Sony", "TV", "", "HDMI-A-1", 256});
    ASSERT_TRUE(changes.waitFor(1));
    const auto outputs = control->outputs();
    ASSERT_EQ(outputs.size(), 3u);
    EXPECT_EQ(outputs[2].name, "HDMI-A-1");
    EXPECT_EQ(outputs[2].serial, "");
    EXPECT_EQ(outputs[1].serial, "7XKD123");
    compositor_.removeOutput(tv);
    ASSERT_TRUE(changes.waitFor(2));
    EXPECT_EQ(control->outputs().size(), 2u);
}

}  // namespace
}  // namespace orvane::test
