// SPDX-License-Identifier: MIT
// GNOME on Wayland as Debian 12 ships it: the session Orvane finds and Mutter's
// DisplayConfig, against a real headless Mutter with two virtual monitors
// (tests/support/with-mutter.sh).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/linux/DesktopSession.h"
#include "platform/linux/MutterDisplayConfig.h"
#include "runtime/Logger.h"
#include "support/LinuxSession.h"

namespace orvane::test {
namespace {

using platform::linux_::DesktopSession;
using platform::linux_::MutterDisplayConfig;

class RealMutterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::getenv("REAL_MUTTER"))
            GTEST_SKIP() << "needs a real Mutter (run through tests/support/with-mutter.sh)";
    }
};

TEST_F(RealMutterTest, OnGnomeWaylandModesAndGammaGoThroughMutterAndKeysAreSaidUnavailable) {
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    runtime::CapturingLogger log;
    auto session = DesktopSession::detect(log);
    unsetenv("XDG_CURRENT_DESKTOP");
    // GNOME 43 has no GlobalShortcuts portal: Orvane says where keys can go instead.
    EXPECT_THAT(log.lines(),
                ::testing::Contains(::testing::StartsWith(
                    "[Linux] Desktop session: Wayland (GNOME) - display modes and gamma through "
                    "Mutter's DisplayConfig; media keys and shortcuts unavailable: ")));
    ASSERT_TRUE(session.displayConfig);
    EXPECT_TRUE(session.modesConfig());
    EXPECT_FALSE(session.shortcuts);
    EXPECT_FALSE(session.x11) << "no X11: the session has none";
}

TEST_F(RealMutterTest, TheVirtualMonitorsAreOutputsWhoseModeMutterTakesBack) {
    std::string error;
    auto mutter = MutterDisplayConfig::open(error);
    ASSERT_TRUE(mutter) << error;
    auto outputs = mutter->outputs();
    ASSERT_EQ(outputs.size(), 2u);
    std::sort(outputs.begin(), outputs.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    const auto& first = outputs[0];
    EXPECT_EQ(first.name, "Meta-0");
    EXPECT_EQ(first.product, "MetaVirtualMonitor");
    EXPECT_TRUE(first.edid.empty());
    EXPECT_EQ(first.vendor, "MetaVendor");
    ASSERT_TRUE(first.current);
    EXPECT_EQ(first.current->pixelWidth, 1920u);
    EXPECT_EQ(first.current->pixelHeight, 1080u);
    EXPECT_NEAR(first.current->refreshRate, 60.0, 0.01);
    ASSERT_TRUE(outputs[1].current);
    EXPECT_EQ(outputs[1].current->pixelWidth, 1280u);

    // Applying the layout back is taken (Mutter checks every field) and
    // announced; its serial moves on, so a stale one would be refused.
    Signal changed;
    mutter->onScreenChange = [&] { changed.notify(); };
    mutter->startEvents();
    ASSERT_FALSE(first.modeNames.empty());
    EXPECT_TRUE(mutter->setMode(first, first.current->modeID));
    EXPECT_TRUE(changed.waitFor(1)) << "MonitorsChanged reaches the callback";
    EXPECT_FALSE(mutter->setMode(first, std::int32_t(first.modeNames.size())))
        << "a mode it does not have is never sent";
    EXPECT_EQ(mutter->outputs().size(), 2u);
    // A virtual monitor has no CRTC: no ramp to dim, which is said, not faked.
    EXPECT_EQ(mutter->gammaSize(first), 0);
    std::vector<float> r, g, b;
    EXPECT_FALSE(mutter->getGamma(first, r, g, b));
}

}  // namespace
}  // namespace orvane::test
