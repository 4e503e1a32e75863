// SPDX-License-Identifier: MIT
// KDE Plasma: media keys and shortcuts through its global shortcut service
// (the real kglobalaccel5 on a private bus and Xvfb, keys pressed with
// XTest) and the on-screen panel through plasmashell's OSD service (a mock);
// see tests/support/with-kde.sh.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/linux/KGlobalAccel.h"
#include "platform/linux/LinuxMachine.h"
#include "platform/linux/NightLight.h"
#include "platform/linux/PlasmaOSD.h"
#include "runtime/EventLoop.h"
#include "runtime/Logger.h"
#include "runtime/ManualExecutor.h"
#include "support/LinuxSession.h"
#include "support/SysfsTree.h"
#include "support/TempDirectory.h"
#include "support/XTestKeys.h"

namespace orvane::test {
namespace {

using namespace std::chrono_literals;
using platform::linux_::DesktopSession;
using platform::linux_::KGlobalAccel;

/// Calls the daemon as another program or System Settings would.
void kglobalaccel(const std::string& method, const std::string& args) {
    const std::string command =
        "dbus-send --session --print-reply --dest=org.kde.kglobalaccel /kglobalaccel "
        "org.kde.KGlobalAccel." +
        method + " " + args + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

class KGlobalAccelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("KGLOBALACCEL_HOME"))
            GTEST_SKIP() << "needs kglobalaccel5 (run through tests/support/with-kde.sh)";
        x_ = XOpenDisplay(nullptr);
        ASSERT_TRUE(x_);
        XAutoRepeatOff(x_);  // no repeats on a loaded machine
        machine_ = makeMachine();
    }
    void TearDown() override {
        machine_.reset();
        if (x_) XCloseDisplay(x_);
    }
    std::unique_ptr<platform::linux_::LinuxMachine> makeMachine() {
        std::string error;
        DesktopSession session;
        session.shortcuts = KGlobalAccel::open(error);
        EXPECT_TRUE(session.shortcuts) << error;
        return sessionMachine(tree_, clock_, log_, std::move(session), &loop_);
    }
    bool logged(const std::string& line) { return waitForLine(log_, line); }
    void press(KeySym key, std::vector<KeySym> modifiers = {}) { pressKey(x_, key, modifiers); }

    Display* x_ = nullptr;
    TempDirectory dir_;
    SysfsTree tree_{dir_.path() / "root"};
    runtime::ManualExecutor clock_;
    runtime::EventLoop loop_;
    runtime::CapturingLogger log_;
    std::unique_ptr<platform::linux_::LinuxMachine> machine_;
};

TEST_F(KGlobalAccelTest, OnPlasmaX11TheKeysGoThroughKDEsServiceNotKeyGrabs) {
    setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
    runtime::CapturingLogger log;
    auto session = DesktopSession::detect(log);
    unsetenv("XDG_CURRENT_DESKTOP");
    EXPECT_THAT(log.lines(),
                ::testing::Contains("[Linux] Desktop session: X11 (KDE) - display modes and gamma "
                                    "through XRandR, media keys and shortcuts through KDE's global "
                                    "shortcut service"));
    ASSERT_TRUE(session.shortcuts);
    EXPECT_EQ(session.shortcuts->shortName(), "KGlobalAccel");
    EXPECT_FALSE(session.osd) << "Orvane's own panel serves on X11";
}

TEST_F(KGlobalAccelTest, ShortcutsAreKDEActionsThatFollowOrvaneUntilTheUserRebindsThemInKDE) {
    const platform::ShortcutPurpose up{"brightness-up", "Brightness Up"};
    const std::vector<KeySym> controlAlt{XK_Control_L, XK_Alt_L};
    HotKeyHits hits{&loop_, {}};
    auto listening = machine_->listen(hits.listener());
    ASSERT_TRUE(std::holds_alternative<platform::Subscription>(listening));
    const auto firedAfter = [&](std::vector<KeySym> keys) {
        hits.ids.clear();
        for (auto key : keys)
            press(key, controlAlt);
        loop_.postAfter(3s, [this] { loop_.stop(); });
        loop_.run();
        return hits.ids;
    };
    // Control-Option-Up as the shortcut documents store it.
    EXPECT_FALSE(machine_->bind(17, 126, 0x1800, up));
    ASSERT_TRUE(logged("[Linux] Shortcut brightness-up bound by KGlobalAccel to 'CTRL+ALT+Up'"));
    EXPECT_EQ(firedAfter({XK_Up}), std::vector<std::uint32_t>{17});

    // Recorded anew in Orvane: KDE's action follows, as the user never
    // changed it there.
    machine_->unbind(17);
    EXPECT_FALSE(machine_->bind(18, 125, 0x1800, up));
    ASSERT_TRUE(logged("[Linux] Shortcut brightness-up bound by KGlobalAccel to 'CTRL+ALT+Down'"));
    EXPECT_EQ(firedAfter({XK_Up, XK_Down}), std::vector<std::uint32_t>{18});

    // The user gives it Control-Alt-Left in System Settings; the next start
    // keeps that over Orvane's own.
    listening = platform::Subscription();
    kglobalaccel("setForeignShortcut",
                 "array:string:orvane,brightness-up,Orvane,'Brightness Up' array:int32:218103826");
    machine_.reset();
    log_.clear();
    machine_ = makeMachine();
    listening = machine_->listen(hits.listener());
    ASSERT_TRUE(std::holds_alternative<platform::Subscription>(listening));
    EXPECT_FALSE(machine_->bind(18, 125, 0x1800, up));
    ASSERT_TRUE(logged("[Linux] Shortcut brightness-up bound by KGlobalAccel to 'CTRL+ALT+Left'"));
    EXPECT_EQ(firedAfter({XK_Down, XK_Left}), std::vector<std::uint32_t>{18});
}

TEST_F(KGlobalAccelTest, MediaKeysAnotherComponentHoldsAreLeftToItAndSaid) {
    // Plasma's power management holds the brightness-up key.
    kglobalaccel("doRegister",
                 "array:string:org_kde_powerdevil,'Increase Screen Brightness',"
                 "'Power Management','Increase Screen Brightness'");
    kglobalaccel("setShortcut",
                 "array:string:org_kde_powerdevil,'Increase Screen Brightness',"
                 "'Power Management','Increase Screen Brightness' array:int32:16777394 uint32:2");
    Presses keys;
    auto interception = machine_->interceptMediaKeys(keys.handler());
    ASSERT_TRUE(interception);
    ASSERT_TRUE(
        logged("[Linux] Media keys through KDE's global shortcut service: XF86AudioLowerVolume "
               "'XF86AudioLowerVolume', XF86AudioMute 'XF86AudioMute', XF86AudioRaiseVolume "
               "'XF86AudioRaiseVolume', XF86MonBrightnessDown 'XF86MonBrightnessDown'"));
    EXPECT_TRUE(logged(
        "[Linux] Media keys KDE's global shortcut service gave no key: XF86MonBrightnessUp - set "
        "them in the desktop's shortcut settings"));
    press(XF86XK_MonBrightnessDown);
    press(XF86XK_AudioMute);
    ASSERT_TRUE(keys.signal.waitFor(2));
    std::lock_guard lock(keys.lock);
    EXPECT_EQ(keys.keys, (std::vector<platform::MediaKey>{platform::MediaKey::brightnessDown,
                                                          platform::MediaKey::mute}));
}

TEST(KDENightColor, IsNamedAsTheNightLightOnKDEOnly) {
    if (!std::getenv("PLASMA_OSD_LOG")) GTEST_SKIP() << "run through tests/support/with-kde.sh";
    const std::string noProcesses = "/nonexistent";
    EXPECT_EQ(platform::linux_::activeNightLight(noProcesses, "KDE"), "KDE's Night Color");
    EXPECT_EQ(platform::linux_::activeNightLight(noProcesses, "sway"), "");
}

TEST(PlasmaOSD, PanelsGoToPlasmasOwnDisplayWhileItRuns) {
    const char* log = std::getenv("PLASMA_OSD_LOG");
    if (!log) GTEST_SKIP() << "needs the mock plasmashell (run through tests/support/with-kde.sh)";
    std::string error;
    auto osd = platform::linux_::PlasmaOSD::open(error);
    ASSERT_TRUE(osd) << error;
    using K = platform::OSDKind;
    EXPECT_TRUE(osd->show(K::brightness, "Brightness", 0.42));
    EXPECT_TRUE(osd->show(K::volume, "Volume", 1.5));
    EXPECT_TRUE(osd->show(K::other, "Contrast", 0.4));
    const std::vector<std::string> expected{"brightnessChanged 42", "volumeChanged 100",
                                            "showText video-display Contrast 40%"};
    std::vector<std::string> lines;
    for (int i = 0; i < 500 && lines.size() < expected.size(); ++i) {
        std::this_thread::sleep_for(10ms);
        std::ifstream in(log);
        lines.clear();
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
    }
    EXPECT_EQ(lines, expected);
    // Plasma gone (a crash, a restart): Orvane's own panel takes over.
    kill(std::atoi(std::getenv("PLASMA_OSD_PID")), SIGTERM);
    bool gone = false;
    for (int i = 0; i < 500 && !gone; ++i) {
        std::this_thread::sleep_for(10ms);
        gone = !osd->show(K::brightness, "Brightness", 0.5);
    }
    EXPECT_TRUE(gone);
}

}  // namespace
}  // namespace orvane::test
