// SPDX-License-Identifier: MIT
// The Linux backend in an X11 session, against a real X server (Xvfb, started
// by tests/support/xvfb-run.sh): modes and gamma through XRandR, RandR
// changes, media keys and hot keys through key grabs, keys sent with XTest.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <poll.h>

#include "controls/GammaJournal.h"
#include "controls/SoftwareDimmer.h"
#include "displays/ResolutionManager.h"
#include "platform/linux/LinuxMachine.h"
#include "runtime/EventLoop.h"
#include "runtime/Logger.h"
#include "runtime/ManualExecutor.h"
#include "support/LinuxSession.h"
#include "support/SysfsTree.h"
#include "support/TempDirectory.h"
#include "support/XTestKeys.h"

// Xlib last: its macros (None, Status, ...) would break the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/XF86keysym.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
// clang-format on

namespace orvane::test {
namespace {

using namespace std::chrono_literals;
using platform::linux_::DesktopSession;
using platform::linux_::LinuxMachine;
using platform::linux_::X11Session;
using ::testing::Contains;

constexpr DisplayID kOffice = 0x0A01;  // card0-DP-1
constexpr DisplayID kTV = 0x0B01;      // card0-HDMI-A-1

class X11SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* name = std::getenv("DISPLAY");
        if (!name) GTEST_SKIP() << "needs an X server (run through tests/support/xvfb-run.sh)";
        x_ = XOpenDisplay(name);
        ASSERT_NE(x_, nullptr);
        // A loaded machine may hold a key long enough for the server to repeat it.
        XAutoRepeatOff(x_);
        root_ = DefaultRootWindow(x_);
        res_ = XRRGetScreenResources(x_, root_);
        ASSERT_GE(res_->noutput, 1);
        output_ = res_->outputs[0];
        crtc_ = res_->crtcs[0];
        // The monitor on DP-1 as the server shows it: its EDID and two more modes.
        const auto edid = edidFile("office-27.bin");
        XRRChangeOutputProperty(x_, output_, XInternAtom(x_, RR_PROPERTY_RANDR_EDID, False),
                                XA_INTEGER, 8, PropModeReplace, edid.data(), int(edid.size()));
        for (auto [w, h] : {std::pair{1280u, 720u}, {1024u, 768u}})
            addMode(w, h);
        setRamp(1.0 / 2.2);
        XSync(x_, False);

        tree_.connector("card0-DP-1", true, edidFile("office-27.bin"));
        tree_.connector("card0-HDMI-A-1", true, edidFile("tv-hdmi.bin"));
        std::string error;
        DesktopSession session;
        session.x11 = X11Session::open(name, error);
        ASSERT_TRUE(session.x11) << error;
        machine_ = sessionMachine(tree_, clock_, log_, std::move(session), &loop_);
    }
    void TearDown() override {
        machine_.reset();
        if (res_) XRRFreeScreenResources(res_);
        if (x_) XCloseDisplay(x_);
    }

    void addMode(unsigned w, unsigned h) {
        XRRModeInfo m{};
        const std::string name = std::to_string(w) + "x" + std::to_string(h);
        m.width = w;
        m.height = h;
        m.hTotal = w + 160;
        m.vTotal = h + 30;
        m.hSyncStart = w + 48;
        m.hSyncEnd = w + 80;
        m.vSyncStart = h + 3;
        m.vSyncEnd = h + 8;
        m.dotClock = static_cast<unsigned long>(m.hTotal) * m.vTotal * 60;  // 60 Hz exactly
        m.name = const_cast<char*>(name.c_str());
        m.nameLength = static_cast<unsigned>(name.size());
        XRRAddOutputMode(x_, output_, XRRCreateMode(x_, root_, &m));
    }
    /// A ramp the server did not make up: v = (i / (n-1))^exponent.
    void setRamp(double exponent) {
        const int n = XRRGetCrtcGammaSize(x_, crtc_);
        XRRCrtcGamma* g = XRRAllocGamma(n);
        for (int i = 0; i < n; ++i) {
            const auto v = static_cast<unsigned short>(
                std::lround(std::pow(double(i) / (n - 1), exponent) * 65535));
            g->red[i] = v;
            g->green[i] = v;
            g->blue[i] = static_cast<unsigned short>(v / 2);  // channels differ
        }
        XRRSetCrtcGamma(x_, crtc_, g);
        XRRFreeGamma(g);
    }
    std::vector<unsigned short> ramp(int channel) {
        XRRCrtcGamma* g = XRRGetCrtcGamma(x_, crtc_);
        const unsigned short* c = channel == 0 ? g->red : channel == 1 ? g->green : g->blue;
        std::vector<unsigned short> values(c, c + g->size);
        XRRFreeGamma(g);
        return values;
    }
    std::pair<unsigned, unsigned> crtcSize() {
        XRRScreenResources* res = XRRGetScreenResources(x_, root_);
        XRRCrtcInfo* info = XRRGetCrtcInfo(x_, res, crtc_);
        const std::pair size{info->width, info->height};
        XRRFreeCrtcInfo(info);
        XRRFreeScreenResources(res);
        return size;
    }
    /// The next key press this client sees; 0 when none comes within 5 s.
    unsigned int nextKeyPress() {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < deadline) {
            while (XPending(x_) > 0) {
                XEvent event;
                XNextEvent(x_, &event);
                if (event.type == KeyPress) return event.xkey.keycode;
            }
            pollfd fd{ConnectionNumber(x_), POLLIN, 0};
            poll(&fd, 1, 100);
        }
        return 0;
    }
    void press(KeySym key, std::vector<KeySym> modifiers = {}) { pressKey(x_, key, modifiers); }
    /// Whether this client can grab key itself (no one else holds it).
    bool canGrab(KeySym key, unsigned int modifiers = 0) {
        static int error = 0;
        error = 0;
        auto previous = XSetErrorHandler([](Display*, XErrorEvent* e) {
            error = e->error_code;
            return 0;
        });
        XGrabKey(x_, XKeysymToKeycode(x_, key), modifiers, root_, False, GrabModeAsync,
                 GrabModeAsync);
        XSync(x_, False);
        XUngrabKey(x_, XKeysymToKeycode(x_, key), modifiers, root_);
        XSync(x_, False);
        XSetErrorHandler(previous);
        return error == 0;
    }

    TempDirectory dir_;
    SysfsTree tree_{dir_.path() / "root"};
    runtime::ManualExecutor clock_;
    runtime::EventLoop loop_;
    runtime::CapturingLogger log_;
    std::unique_ptr<LinuxMachine> machine_;
    Display* x_ = nullptr;
    Window root_ = 0;
    XRRScreenResources* res_ = nullptr;
    RROutput output_ = 0;
    RRCrtc crtc_ = 0;
};

TEST_F(X11SessionTest, ModesComeFromTheOutputWithTheDisplaysEDIDAndSwitch) {
    const auto modes = machine_->displayModes(kOffice, false);
    ASSERT_TRUE(modes);
    ASSERT_EQ(modes->size(), 3u);
    const auto current = machine_->currentMode(kOffice);
    ASSERT_TRUE(current);
    EXPECT_EQ(current->width, 1920u);

    Signal changed;
    std::vector<platform::DisplayChange> flags;
    std::mutex flagsLock;
    auto watch = machine_->watchDisplays([&](DisplayID display, platform::DisplayChange change) {
        if (display != kOffice) return;
        {
            std::lock_guard lock(flagsLock);
            flags.push_back(change);
        }
        changed.notify();
    });

    displays::ResolutionManager resolutions(*machine_, log_);
    EXPECT_TRUE(resolutions.setMode(kOffice, 1280, 720, false, 60));
    EXPECT_EQ(crtcSize(), (std::pair{1280u, 720u}));
    EXPECT_EQ(machine_->currentMode(kOffice)->width, 1280u);
    // RandR's notification reaches the watcher as a reconfiguration.
    ASSERT_TRUE(changed.waitFor(1));
    {
        std::lock_guard lock(flagsLock);
        EXPECT_EQ(flags.back(), platform::DisplayChange::reconfigured);
    }
    EXPECT_FALSE(resolutions.setMode(kOffice, 800, 600, false, 60));
    EXPECT_EQ(crtcSize(), (std::pair{1280u, 720u}));
    watch.reset();

    // A display no output shows has no modes, said once; what it shows is its
    // own preferred mode, as far as anyone knows.
    EXPECT_FALSE(machine_->displayModes(kTV, false));
    EXPECT_EQ(machine_->currentMode(kTV)->modeID, -1);
    EXPECT_EQ(log_.countStartingWith(
                  "[Linux] No output of the display server shows the EDID of card0-HDMI-A-1"),
              1u);
}

TEST_F(X11SessionTest, GammaDimsFromTheCapturedRampAndRestoresItExactly) {
    const auto red = ramp(0), green = ramp(1), blue = ramp(2);
    NoScreens toolkit;
    controls::SoftwareDimmer dimmer(kOffice, *machine_, toolkit, log_, machine_->platform().texts);
    dimmer.method = controls::SoftwareDimmer::Method::gamma;
    for (int round = 0; round < 2; ++round) {  // twice: dimming never compounds
        dimmer.applyLevel(0.5);
        ASSERT_TRUE(dimmer.gammaModified());
        const auto dimmed = ramp(0), dimmedBlue = ramp(2);
        for (std::size_t i = 0; i < red.size(); ++i) {
            EXPECT_NEAR(dimmed[i], red[i] / 2.0, 1.0) << i;
            EXPECT_NEAR(dimmedBlue[i], blue[i] / 2.0, 1.0) << i;
        }
    }
    dimmer.applyLevel(0);
    EXPECT_FALSE(dimmer.gammaModified());
    EXPECT_EQ(ramp(0), red);
    EXPECT_EQ(ramp(1), green);
    EXPECT_EQ(ramp(2), blue);
    EXPECT_THAT(log_.lines(), ::testing::Not(Contains(::testing::HasSubstr("failed"))));

    // A night light (redshift, gammastep) sets its ramp while dimmed: the
    // next level scales its ramp, read back at 16 bits, and undimming keeps it.
    dimmer.applyLevel(0.5);
    setRamp(1.6);
    const auto nightRed = ramp(0);
    dimmer.applyLevel(0.25);
    EXPECT_THAT(log_.lines(),
                Contains("[SoftwareDimmer] Another program set the gamma table of "
                         "display " +
                         std::to_string(kOffice) + " - dimming now scales its table"));
    const auto scaled = ramp(0);
    for (std::size_t i = 0; i < nightRed.size(); ++i)
        EXPECT_NEAR(scaled[i], nightRed[i] * 0.75, 2.0) << i;
    dimmer.applyLevel(0);
    EXPECT_EQ(ramp(0), nightRed);
}

TEST_F(X11SessionTest, AfterARunDiesDimmedTheNextOneGivesTheRampsBackExactly) {
    const auto red = ramp(0), green = ramp(1), blue = ramp(2);
    TempDirectory runtimeDir;
    const std::string journal = runtimeDir.path() / "orvane-gamma-linux.json";
    NoScreens toolkit;
    for (int trial = 0; trial < 100; ++trial) {
        // A run dims through the journal, then dies without a word.
        auto dying = std::make_unique<controls::SoftwareDimmer>(kOffice, *machine_, toolkit, log_,
                                                                machine_->platform().texts);
        dying->method = controls::SoftwareDimmer::Method::gamma;
        dying->journal = std::make_shared<controls::GammaJournal>(journal, log_);
        dying->applyLevel(0.1 + 0.8 * (trial % 10) / 10.0);
        ASSERT_NE(ramp(0), red);
        // The next run puts back what the dead one left; the dead one never acts again.
        controls::GammaJournal(journal, log_).restoreLeftovers(*machine_);
        ASSERT_EQ(ramp(0), red) << "trial " << trial;
        ASSERT_EQ(ramp(1), green);
        ASSERT_EQ(ramp(2), blue);
        ASSERT_FALSE(std::filesystem::exists(journal));
    }
}

TEST_F(X11SessionTest, MediaKeysReachTheTapAndKeysHeldElsewhereAreSaidTaken) {
    // Another program holds mute already.
    XGrabKey(x_, XKeysymToKeycode(x_, XF86XK_AudioMute), 0, root_, False, GrabModeAsync,
             GrabModeAsync);
    XSync(x_, False);
    Presses presses;
    auto interception = machine_->interceptMediaKeys(presses.handler());
    ASSERT_TRUE(interception);
    EXPECT_FALSE(machine_->interceptMediaKeys(presses.handler())) << "one at a time";
    EXPECT_THAT(log_.lines(),
                Contains("[Linux] XF86AudioMute is held by another program - not intercepted"));
    EXPECT_TRUE(machine_->isProcessTrustedWithOptions(false));

    press(XF86XK_MonBrightnessUp);
    press(XF86XK_AudioLowerVolume);
    ASSERT_TRUE(presses.signal.waitFor(2));
    press(XF86XK_AudioMute);  // goes to its holder, not to Orvane
    EXPECT_EQ(nextKeyPress(), XKeysymToKeycode(x_, XF86XK_AudioMute));
    {
        std::lock_guard lock(presses.lock);
        EXPECT_EQ(presses.keys, (std::vector<platform::MediaKey>{platform::MediaKey::brightnessUp,
                                                                 platform::MediaKey::volumeDown}));
    }

    // A key the tap passes on is sent on, past the grab, to the focus.
    presses.pass = true;
    XUngrabKey(x_, XKeysymToKeycode(x_, XF86XK_AudioMute), 0, root_);
    XSelectInput(x_, root_, KeyPressMask);
    XSync(x_, False);
    press(XF86XK_MonBrightnessDown);
    ASSERT_TRUE(presses.signal.waitFor(3));
    EXPECT_EQ(nextKeyPress(), XKeysymToKeycode(x_, XF86XK_MonBrightnessDown));

    // Released with the tap: nothing is grabbed any more.
    EXPECT_FALSE(canGrab(XF86XK_MonBrightnessUp));
    interception.reset();
    EXPECT_TRUE(canGrab(XF86XK_MonBrightnessUp));
}

TEST_F(X11SessionTest, HotKeysFireOnTheMainLoopAndATakenCombinationIsRefused) {
    HotKeyHits hits{&loop_, {}};
    auto listening = machine_->listen(hits.listener());
    ASSERT_TRUE(std::holds_alternative<platform::Subscription>(listening));
    // Control-Option-Up, as the shortcut documents store it (126, 0x1800).
    ASSERT_FALSE(machine_->bind(7, 126, 0x1800, {"brightness-up", "Brightness Up"}));
    // Control-Option-Down belongs to someone else: said in X's words, not bound.
    XGrabKey(x_, XKeysymToKeycode(x_, XK_Down), ControlMask | Mod1Mask, root_, False, GrabModeAsync,
             GrabModeAsync);
    XSync(x_, False);
    const auto taken = machine_->bind(8, 125, 0x1800, {"brightness-down", "Brightness Down"});
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->code, std::errc::device_or_resource_busy);
    EXPECT_EQ(taken->text, "CTRL+ALT+Down is held by another program");

    press(XK_Up, {XK_Control_L, XK_Alt_L});
    loop_.postAfter(5s, [this] { loop_.stop(); });
    loop_.run();
    EXPECT_EQ(hits.ids, std::vector<std::uint32_t>{7});
    // Let go: the combination is free for others again.
    EXPECT_FALSE(canGrab(XK_Up, ControlMask | Mod1Mask));
    machine_->unbind(7);
    EXPECT_TRUE(canGrab(XK_Up, ControlMask | Mod1Mask));
}

}  // namespace
}  // namespace orvane::test
