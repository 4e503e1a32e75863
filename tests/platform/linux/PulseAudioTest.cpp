// SPDX-License-Identifier: MIT
// Display audio on Linux: the sinks of a private PulseAudio server
// (tests/support/with-pulseaudio.sh), through the core's own audio-device
// controller and the registry.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "controls/CoreAudioVolumeController.h"
#include "ddc/AVServiceDDC.h"
#include "ddc/DDCManager.h"
#include "displays/DisplayManager.h"
#include "platform/linux/LinuxMachine.h"
#include "platform/linux/PulseAudioSinks.h"
#include "runtime/EventLoop.h"
#include "runtime/Logger.h"
#include "runtime/Spawn.h"
#include "support/SimFixture.h"
#include "support/SysfsTree.h"
#include "support/TempDirectory.h"

namespace orvane::test {
namespace {

using namespace std::chrono_literals;
using controls::CoreAudioVolumeController;
using platform::linux_::PulseAudioSinks;
using ::testing::Contains;

/// What pactl says, first line.
std::string pactl(const std::string& args) {
    std::string out;
    if (FILE* p = popen(("pactl " + args + " 2>&1").c_str(), "r")) {
        char buf[256];
        if (fgets(buf, sizeof buf, p)) out = buf;
        pclose(p);
    }
    return out;
}

/// Runs task on the loop to its end.
void spawnAndRun(runtime::EventLoop& loop, runtime::Task<void> task) {
    runtime::spawn(loop, std::move(task), [&loop](std::exception_ptr) { loop.stop(); });
    loop.run();
}

class PulseAudioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (pactl("info").find("Server") == std::string::npos)
            GTEST_SKIP() << "needs a sound server (run through tests/support/with-pulseaudio.sh)";
        std::string error;
        audio_ = PulseAudioSinks::connect(error);
        ASSERT_TRUE(audio_) << error;
    }
    runtime::CapturingLogger log_;
    std::unique_ptr<PulseAudioSinks> audio_;
};

TEST_F(PulseAudioTest, TheMonitorsSinkIsFoundByItsNameAndTheNetworkOneByTheAirPlayRules) {
    const auto monitor =
        CoreAudioVolumeController::matchDisplayAudioDevice(*audio_, "dell u2720q ");
    ASSERT_TRUE(monitor);
    EXPECT_EQ(monitor->name, "DELL U2720Q");
    EXPECT_FALSE(CoreAudioVolumeController::matchDisplayAudioDevice(*audio_, "DELL"))
        << "a display's own audio is matched exactly, never by a guess";
    EXPECT_FALSE(CoreAudioVolumeController::matchDisplayAudioDevice(*audio_, "Speakers"));
    const auto tv = CoreAudioVolumeController::matchAudioDevice(*audio_, log_, "Living Room TV");
    ASSERT_TRUE(tv);
    EXPECT_EQ(tv->name, "Living Room TV");
}

TEST_F(PulseAudioTest, VolumeAndMuteReachTheSinkAndOutsideChangesComeBack) {
    const auto monitor = CoreAudioVolumeController::matchDisplayAudioDevice(*audio_, "DELL U2720Q");
    ASSERT_TRUE(monitor);
    runtime::EventLoop loop;
    auto controller = std::make_shared<CoreAudioVolumeController>(
        monitor->deviceID, 2, monitor->name, *audio_, loop, log_);
    std::vector<double> heard;
    controller->onExternalVolumeChange = [&](double v) {
        heard.push_back(v);
        if (std::abs(v - 25) < 0.5) loop.stop();
    };
    controller->startListening();

    spawnAndRun(loop, controller->setVolume(40));
    EXPECT_THAT(pactl("get-sink-volume dell"), ::testing::HasSubstr("40%"));
    std::optional<double> volume;
    spawnAndRun(loop, [](auto c, auto& out) -> runtime::Task<void> {
        out = co_await c->getVolume();
    }(controller, volume));
    ASSERT_TRUE(volume);
    EXPECT_NEAR(*volume, 40, 0.5);
    controller->setMute(true);
    EXPECT_THAT(pactl("get-sink-mute dell"), ::testing::HasSubstr("yes"));
    controller->setMute(false);

    // Someone else turns it down: the display's slider follows.
    pactl("set-sink-volume dell 25%");
    loop.postAfter(5s, [&] { loop.stop(); });
    loop.run();
    ASSERT_FALSE(heard.empty());
    EXPECT_NEAR(heard.back(), 25, 0.5);
    controller->stopListening();
    EXPECT_THAT(log_.lines(), ::testing::Not(Contains(::testing::HasSubstr("failed"))));

    // A sink that went away refuses, in the errno the core decides on.
    const auto gone = audio_->setVolume(0xFFFFu, 0.5f);
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->step, "Volume");
    EXPECT_EQ(gone->error.code, std::errc::no_such_file_or_directory);
    EXPECT_TRUE(
        std::holds_alternative<platform::PlatformError>(audio_->watchVolume(0xFFFFu, loop, [] {})));
}

TEST_F(PulseAudioTest, ADisplayWithoutDDCVolumeTakesTheSinkNamedAfterItOnItsOwnCard) {
    TempDirectory dir;
    SysfsTree tree(dir.path() / "root");
    tree.connector("card0-DP-1", true, edidFile("office-27.bin"));  // no bus: no DDC
    // Card 0 is the one in slot 02:00; the same model on slot 01:00 has its own sink.
    tree.card("card0", "0000:02:00.0");
    runtime::VirtualRuntime rt;
    platform::linux_::DesktopSession session;
    session.audio = std::move(audio_);
    platform::linux_::LinuxMachine machine(
        tree.root().string(),
        [](int, int& e) {
            e = ENOENT;
            return nullptr;
        },
        rt.clock(), log_, std::move(session));
    machine.startSession();
    const auto platform = machine.platform();
    displays::DisplayServices services{platform, ddc::DDCManager::create(rt, platform, log_, "t"),
                                       ddc::AVServiceDDC::create(rt, platform, log_, "t")};
    auto manager = displays::DisplayManager::create(rt, services, log_);
    manager->reprobeOnTimer = false;
    runTask(rt.executor(), manager->start());
    const auto* office = manager->record(0x0A01);
    ASSERT_TRUE(office && office->state);
    EXPECT_EQ(office->state->volumeControlType.get(), displays::VolumeControlType::coreAudio);
    EXPECT_THAT(
        log_.lines(),
        Contains("[DisplayManager] Display audio matched: 'DELL U2720Q' for 'DELL U2720Q'"));
    manager->adjustVolume(-100);
    rt.executor().runUntilIdle();
    EXPECT_THAT(pactl("get-sink-volume dell_card2"), ::testing::HasSubstr(" 0%"));
    EXPECT_THAT(pactl("get-sink-volume dell"), ::testing::Not(::testing::HasSubstr(" 0%")))
        << "the same name on another card is another monitor's";
    manager->stop();
}

}  // namespace
}  // namespace orvane::test
