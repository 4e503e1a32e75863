// SPDX-License-Identifier: MIT
// A wlroots compositor as users run it: the outputs Orvane sees through a
// real headless sway, an output that comes, and what it says of a
// compositor that keeps no gamma ramp (tests/support/with-sway.sh).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/linux/DesktopSession.h"
#include "platform/linux/WlrGammaControl.h"
#include "platform/linux/WlrLayerShell.h"
#include "runtime/Logger.h"
#include "support/Grim.h"
#include "support/LinuxSession.h"

namespace orvane::test {
namespace {

using platform::linux_::DesktopSession;
using platform::linux_::WlrGammaControl;
using platform::linux_::WlrLayerShell;

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
    EXPECT_TRUE(session.layers);
    EXPECT_THAT(log.lines(),
                ::testing::Contains(::testing::EndsWith(
                    "; dimming overlays and the on-screen panel through wlr-layer-shell")));
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

TEST_F(RealSwayTest, LayerSurfacesDimOneOutputAndShowThePanelAtItsPlace) {
    if (!haveGrim())
        GTEST_SKIP() << "grim is not installed (package grim; scripts/setup.sh installs it)";
    std::string error;
    auto shell = WlrLayerShell::open(error);
    ASSERT_TRUE(shell) << error;
    EXPECT_THAT(shell->outputs(), ::testing::IsSupersetOf({"HEADLESS-1", "HEADLESS-2"}));
    const auto background = pixel("HEADLESS-1", 100, 100);
    ASSERT_TRUE(background) << "grim read no frame";
    const auto other = pixel("HEADLESS-2", 100, 100);

    // Half-dimmed: premultiplied black at half opacity, clear where the
    // panel goes (which of the two the compositor shows above is its own).
    std::vector<std::uint32_t> dim(1920 * 1080, 0x80000000u);
    for (int y = 900; y < 990; ++y)
        std::fill_n(dim.begin() + y * 1920 + 800, 320, 0u);
    auto overlay = shell->makeSurface(platform::WindowRole::dimmingOverlay, "HEADLESS-1", 0, 0,
                                      1920, 1080, error);
    ASSERT_TRUE(overlay) << error;
    ASSERT_TRUE(overlay->present(dim.data(), 1920, 1080, 1));
    const auto dimmed = changedFrom("HEADLESS-1", 100, 100, *background);
    ASSERT_TRUE(dimmed);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR((*dimmed)[c], (*background)[c] / 2, 2) << "channel " << c;
    EXPECT_EQ(pixel("HEADLESS-2", 100, 100), other) << "the other output stays as it was";

    // The panel shows at its place, the output dimmed around it.
    const std::vector<std::uint32_t> white(320 * 90, 0xffffffffu);
    auto panel =
        shell->makeSurface(platform::WindowRole::panel, "HEADLESS-1", 800, 900, 320, 90, error);
    ASSERT_TRUE(panel) << error;
    ASSERT_TRUE(panel->present(white.data(), 320, 90, 1));
    EXPECT_EQ(changedFrom("HEADLESS-1", 810, 910, *dimmed), (Rgb{255, 255, 255}));
    EXPECT_EQ(pixel("HEADLESS-1", 790, 910), dimmed) << "beside the panel: dimmed";
    // A second frame replaces the first.
    const std::vector<std::uint32_t> black(320 * 90, 0xff000000u);
    ASSERT_TRUE(panel->present(black.data(), 320, 90, 1));
    EXPECT_EQ(changedFrom("HEADLESS-1", 810, 910, {255, 255, 255}), (Rgb{0, 0, 0}));

    // Gone: the output shows what it did before.
    overlay.reset();
    panel.reset();
    EXPECT_EQ(changedFrom("HEADLESS-1", 100, 100, *dimmed), background);
    EXPECT_FALSE(shell->makeSurface(platform::WindowRole::panel, "DP-9", 0, 0, 10, 10, error));
    EXPECT_EQ(error, "the compositor has no output DP-9");
}

}  // namespace
}  // namespace orvane::test
