// SPDX-License-Identifier: MIT
// A wlroots compositor as users run it: the outputs Orvane sees through a
// real headless sway, an output that comes, and what it says of a
// compositor that keeps no gamma ramp (tests/support/with-sway.sh).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/LayerShell.h"
#include "platform/linux/DesktopSession.h"
#include "platform/linux/WlrGammaControl.h"
#include "runtime/Logger.h"
#include "support/LinuxSession.h"

namespace orvane::test {
namespace {

using platform::linux_::DesktopSession;
using platform::linux_::WlrGammaControl;

void swaymsg(const std::string& command) {
    const std::string line = "swaymsg -s \"$SWAYSOCK\" " + command + " >/dev/null";
    ASSERT_EQ(std::system(line.c_str()), 0) << line;
}

class RealSwayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("SWAYSOCK"))
            GTEST_SKIP() << "needs a real sway (run through tests/support/with-sway.sh)";
    }
};

TEST_F(RealSwayTest, OnSwayGammaGoesThroughWlrootsWindowsAreLayersAndModesAreSaidUnavailable) {
    setenv("XDG_CURRENT_DESKTOP", "sway", 1);
    runtime::CapturingLogger log;
    auto session = DesktopSession::detect(log);
    unsetenv("XDG_CURRENT_DESKTOP");
    EXPECT_THAT(log.lines(),
                ::testing::Contains(::testing::StartsWith(
                    "[Linux] Desktop session: Wayland (sway) - gamma through wlr-gamma-control; "
                    "display modes unavailable: ")));
    ASSERT_TRUE(session.displayConfig);
    EXPECT_FALSE(session.modesConfig());
    ASSERT_TRUE(session.layers);
    EXPECT_THAT(log.lines(),
                ::testing::Contains(::testing::EndsWith(
                    "; dimming overlays and the on-screen panel through wlr-layer-shell")));
    // What the layer surfaces show is the GUI's window tests' (gui.windows_on_sway).
    std::string error;
    EXPECT_FALSE(
        session.layers->makeSurface(platform::WindowRole::panel, "DP-9", 0, 0, 10, 10, error));
    EXPECT_EQ(error, "the compositor has no output DP-9");
}

TEST_F(RealSwayTest, AnOutputThatComesReachesOrvaneAndAHeadlessOutputHasNoRamp) {
    std::string error;
    auto sway = WlrGammaControl::open(error);
    ASSERT_TRUE(sway) << error;
    auto names = [&] {
        std::vector<std::string> n;
        for (const auto& o : sway->outputs())
            n.push_back(o.name);
        std::sort(n.begin(), n.end());
        return n;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"HEADLESS-1", "HEADLESS-2"}));
    const auto outputs = sway->outputs();
    ASSERT_FALSE(outputs.empty());
    EXPECT_EQ(outputs[0].product, "headless");
    EXPECT_TRUE(outputs[0].edid.empty());

    Signal changed;
    sway->onScreenChange = [&] { changed.notify(); };
    sway->startEvents();
    swaymsg("create_output");
    EXPECT_TRUE(changed.waitFor(1));
    EXPECT_EQ(names(), (std::vector<std::string>{"HEADLESS-1", "HEADLESS-2", "HEADLESS-3"}));
    // (sway 1.7 cannot unplug an output yet; the tests' own compositor covers
    // outputs that go.)
    // wlroots' headless outputs keep no ramp: the control is refused, and
    // nothing claims a dimming that did not happen.
    EXPECT_EQ(sway->gammaSize(outputs[0]), 0);
    EXPECT_FALSE(sway->setGamma(outputs[0], {0.f, 0.5f}, {0.f, 0.5f}, {0.f, 0.5f}));
}

}  // namespace
}  // namespace orvane::test
