// SPDX-License-Identifier: MIT
// Plasma's compositor as users run it: a real KWin, headless on two virtual
// outputs (tests/support/with-kwin.sh). What Orvane finds of a Plasma
// Wayland session, KWin's own Night Color, and the overlay and panel as
// layer surfaces, seen through KWin's screenshots.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/linux/DesktopSession.h"
#include "platform/linux/NightLight.h"
#include "platform/linux/WlrLayerShell.h"
#include "runtime/Logger.h"
#include "support/Grim.h"

namespace orvane::test {
namespace {

using platform::linux_::DesktopSession;
using platform::linux_::WlrLayerShell;

class RealKWinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string(std::getenv("WAYLAND_DISPLAY") ? std::getenv("WAYLAND_DISPLAY") : "") !=
            "wayland-orvane")
            GTEST_SKIP() << "needs a real KWin (run through tests/support/with-kwin.sh)";
    }
};

/// What KWin shows at x, y.
std::optional<Rgb> shown(int x, int y) {
    const std::string line = "/usr/bin/python3 " ORVANE_TEST_SUPPORT "/kwin_pixel.py " +
                             std::to_string(x) + " " + std::to_string(y);
    std::unique_ptr<FILE, decltype(&pclose)> out(popen(line.c_str(), "r"), &pclose);
    Rgb rgb;
    if (!out || std::fscanf(out.get(), "%d %d %d", &rgb[0], &rgb[1], &rgb[2]) != 3)
        return std::nullopt;
    return rgb;
}

/// What KWin shows at x, y once it is no longer before.
std::optional<Rgb> shownOnceNot(int x, int y, const Rgb& before) {
    return onceNot([&] { return shown(x, y); }, before);
}

TEST_F(RealKWinTest, OnPlasmaWaylandKeysGoThroughKWinAndWindowsAreLayersBesideItsNightColor) {
    setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
    runtime::CapturingLogger log;
    auto session = DesktopSession::detect(log);
    unsetenv("XDG_CURRENT_DESKTOP");
    // KWin serves KDE's global shortcuts itself, and offers clients no gamma
    // control; the panel is Plasma's whenever plasmashell runs (asked at each
    // show), else a layer surface like the overlay.
    EXPECT_THAT(log.lines(),
                ::testing::Contains(::testing::AllOf(
                    ::testing::StartsWith("[Linux] Desktop session: Wayland (KDE) - display modes "
                                          "and gamma unavailable: "),
                    ::testing::HasSubstr(
                        "; media keys and shortcuts through KDE's global shortcut service"),
                    ::testing::EndsWith("; the on-screen panel through Plasma's OSD service while "
                                        "plasmashell runs, else wlr-layer-shell; dimming "
                                        "overlays through wlr-layer-shell"))));
    EXPECT_TRUE(session.layers);
    EXPECT_TRUE(session.shortcuts);
    EXPECT_FALSE(session.displayConfig);
    // Night Color is on (constant mode): KWin says it runs.
    EXPECT_EQ(platform::linux_::activeNightLight("/nonexistent", "KDE"), "KDE's Night Color");
}

TEST_F(RealKWinTest, LayerSurfacesDimAVirtualOutputAndShowThePanelInItsClearPlace) {
    std::string error;
    auto shell = WlrLayerShell::open(error);
    ASSERT_TRUE(shell) << error;
    EXPECT_THAT(shell->outputs(), ::testing::ElementsAre("Virtual-0", "Virtual-1"));
    const Rgb white{255, 255, 255};
    ASSERT_EQ(shownOnceNot(100, 100, {0, 0, 0}), white) << "the background is not up";

    std::vector<std::uint32_t> dim(1920 * 1080, 0x80000000u);
    for (int y = 900; y < 990; ++y)
        std::fill_n(dim.begin() + y * 1920 + 800, 320, 0u);
    auto overlay = shell->makeSurface(platform::WindowRole::dimmingOverlay, "Virtual-0", 0, 0, 1920,
                                      1080, error);
    ASSERT_TRUE(overlay) << error;
    ASSERT_TRUE(overlay->present(dim.data(), 1920, 1080, 1));
    const auto dimmed = shownOnceNot(100, 100, white);
    ASSERT_TRUE(dimmed);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR((*dimmed)[c], 127, 2) << "channel " << c;
    EXPECT_EQ(shown(1920 + 100, 100), white) << "the other output stays as it was";

    const std::vector<std::uint32_t> black(320 * 90, 0xff000000u);
    auto panel =
        shell->makeSurface(platform::WindowRole::panel, "Virtual-0", 800, 900, 320, 90, error);
    ASSERT_TRUE(panel) << error;
    ASSERT_TRUE(panel->present(black.data(), 320, 90, 1));
    EXPECT_EQ(shownOnceNot(810, 910, white), (Rgb{0, 0, 0}));
    EXPECT_EQ(shown(790, 910), dimmed);

    overlay.reset();
    panel.reset();
    EXPECT_EQ(shownOnceNot(100, 100, *dimmed), white);
}

}  // namespace
}  // namespace orvane::test
