// SPDX-License-Identifier: MIT
// Media keys and shortcuts of a Wayland session through the GlobalShortcuts
// portal, against a mock portal on a private session bus
// (tests/support/with-mock-gnome.sh).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/linux/GlobalShortcutsPortal.h"
#include "platform/linux/LinuxMachine.h"
#include "runtime/EventLoop.h"
#include "runtime/Logger.h"
#include "runtime/ManualExecutor.h"
#include "support/LinuxSession.h"
#include "support/SysfsTree.h"
#include "support/TempDirectory.h"

namespace orvane::test {
namespace {

using namespace std::chrono_literals;
using platform::linux_::DesktopSession;
using platform::linux_::GlobalShortcutsPortal;
using platform::linux_::LinuxMachine;

const platform::ShortcutPurpose kUp{"brightness-up", "Brightness Up"};
const platform::ShortcutPurpose kDown{"brightness-down", "Brightness Down"};

/// Asks the mock portal, through its test interface.
std::string mock(const std::string& method, const std::string& arg = "") {
    const std::string command =
        "dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop "
        "/org/freedesktop/portal/desktop org.orvane.Test." +
        method + (arg.empty() ? "" : " string:" + arg) + " 2>&1";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    // The answer's value, without dbus-send's header line.
    const auto value = out.find("uint32 ");
    return value == std::string::npos ? out : out.substr(value + 7);
}

class GlobalShortcutsPortalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("MUTTER_LOG"))
            GTEST_SKIP() << "needs the mock portal (run through tests/support/with-mock-gnome.sh)";
        machine_ = makeMachine();
    }
    std::unique_ptr<LinuxMachine> makeMachine() {
        std::string error;
        DesktopSession session;
        session.shortcuts = GlobalShortcutsPortal::open(error);
        EXPECT_TRUE(session.shortcuts) << error;
        return sessionMachine(tree_, clock_, log_, std::move(session), &loop_);
    }
    bool logged(const std::string& line) { return waitForLine(log_, line); }

    TempDirectory dir_;
    SysfsTree tree_{dir_.path() / "root"};
    runtime::ManualExecutor clock_;
    runtime::EventLoop loop_;
    runtime::CapturingLogger log_;
    std::unique_ptr<LinuxMachine> machine_;
};

TEST_F(GlobalShortcutsPortalTest, MediaKeysArriveAsTheirActivations) {
    Presses keys;
    auto interception = machine_->interceptMediaKeys(keys.handler());
    ASSERT_TRUE(interception);
    EXPECT_TRUE(machine_->isProcessTrustedWithOptions(false));
    ASSERT_TRUE(logged(
        "[Linux] Media keys through the GlobalShortcuts portal: XF86AudioLowerVolume 'Press "
        "XF86AudioLowerVolume', XF86AudioMute 'Press XF86AudioMute', XF86AudioRaiseVolume 'Press "
        "XF86AudioRaiseVolume', XF86MonBrightnessDown 'Press XF86MonBrightnessDown', "
        "XF86MonBrightnessUp 'Press XF86MonBrightnessUp'"));
    mock("Activate", "media-XF86MonBrightnessUp");
    mock("Activate", "media-XF86AudioMute");
    ASSERT_TRUE(keys.signal.waitFor(2));
    {
        std::lock_guard lock(keys.lock);
        EXPECT_EQ(keys.keys, (std::vector<platform::MediaKey>{platform::MediaKey::brightnessUp,
                                                              platform::MediaKey::mute}));
    }
}

TEST_F(GlobalShortcutsPortalTest, ShortcutsAreAskedForOnceAndTheirTriggersSaid) {
    HotKeyHits hits{&loop_, {}};
    auto listening = machine_->listen(hits.listener());
    ASSERT_TRUE(std::holds_alternative<platform::Subscription>(listening));
    // Control-Option-Up and -Down as the shortcut documents store them.
    EXPECT_FALSE(machine_->bind(17, 126, 0x1800, kUp));
    EXPECT_FALSE(machine_->bind(18, 125, 0x1800, kDown));
    ASSERT_TRUE(
        logged("[Linux] Shortcut brightness-up bound by the portal to 'Press CTRL+ALT+Up'"));
    ASSERT_TRUE(
        logged("[Linux] Shortcut brightness-down has no key yet - set one in the desktop's "
               "shortcut settings"));
    const auto binds = mock("BindCount");

    mock("Activate", "brightness-up");
    loop_.postAfter(5s, [this] { loop_.stop(); });
    loop_.run();
    EXPECT_EQ(hits.ids, std::vector<std::uint32_t>{17});

    // The next start finds the binding held and asks the user nothing.
    log_.clear();
    auto next = makeMachine();
    EXPECT_FALSE(next->bind(17, 126, 0x1800, kUp));
    ASSERT_TRUE(
        logged("[Linux] Shortcut brightness-up bound by the portal to 'Press CTRL+ALT+Up'"));
    EXPECT_EQ(mock("BindCount"), binds);
    machine_->unbind(17);
}

}  // namespace
}  // namespace orvane::test
