// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tuple>

#include "controls/SoftwareDimmer.h"
#include "input/OSDContentView.h"
#include "input/OSDManager.h"
#include "support/SimFixture.h"

namespace orvane::input {
namespace {

using namespace std::chrono_literals;
using platform::sim::SimDDCPath;
using platform::sim::SimWindowState;

class OSDTest : public test::SimFixture {
  protected:
    OSDTest() {
        auto a = test::simDisplay(2, SimDDCPath::i2c);
        a.modes = {{2560, 1440, 2560, 1440, 60, false}};
        auto b = test::simDisplay(3, SimDDCPath::i2c, 0x1111, 2);
        b.modes = {{1920, 1080, 1920, 1080, 60, false}};
        auto hidden = test::simDisplay(4, SimDDCPath::none, 0x2222, 3);
        hidden.screen.present = false;
        useRig(test::rigOf({a, b, hidden}));
        osd = std::make_unique<OSDManager>(*machine_, executor());
    }
    SimWindowState window(std::size_t i = 0) const { return machine_->windows().at(i); }
    const OSDContentView& content(std::size_t i = 0) const {
        return dynamic_cast<const OSDContentView&>(*window(i).content);
    }
    void runFor(runtime::Duration d) { executor().runFor(d); }

    std::unique_ptr<OSDManager> osd;
};

TEST_F(OSDTest, ContentTextSymbolAndBar) {
    const auto text = [](double level) { return OSDContentView(level, "", "").percentageText(); };
    EXPECT_EQ(text(0.625), "62%");
    EXPECT_EQ(text(0.0625), "6%");
    EXPECT_EQ(text(1.0), "100%");
    EXPECT_EQ(text(0), "0%");
    // Callers pass percent / 100; whole percentages must show as themselves.
    for (int p = 0; p <= 100; ++p)
        EXPECT_EQ(text(p / 100.0), std::to_string(p) + "%");
    EXPECT_EQ(OSDContentView(1.2, "", "").barFill(), 1.0);
    EXPECT_EQ(OSDContentView(-0.1, "", "").barFill(), 0.0);
    EXPECT_EQ(OSDContentView(0.4, "", "").barFill(), 0.4);

    osd->showVolume(2, 0);
    EXPECT_EQ(content().icon, "speaker.slash.fill");
    EXPECT_EQ(content().label, "Volume");
    EXPECT_EQ(content().percentageText(), "0%");
    osd->showVolume(2, 0.0625);
    EXPECT_EQ(content().icon, "speaker.wave.2.fill");
    osd->showBrightness(2, 0.5);
    EXPECT_EQ(content().icon, "sun.max.fill");
    EXPECT_EQ(content().label, "Brightness");
    EXPECT_EQ(machine_->windows().size(), 1u);  // one window per display, reused
}

TEST_F(OSDTest, PanelWindowAndPlacement) {
    osd->showBrightness(3, 0.5);
    osd->showBrightness(2, 0.5);
    // No screen of its own: neither its panel nor its dimming covers
    // another display's screen (the main one included).
    osd->showBrightness(4, 0.5);
    ASSERT_EQ(machine_->windows().size(), 2u);
    const auto onB = window(0), onA = window(1);
    EXPECT_EQ(onB.frame, (platform::Rect{2560 + 960 - 100, 80, 200, 70}));
    EXPECT_EQ(onA.frame, (platform::Rect{1280 - 100, 80, 200, 70}));
    EXPECT_TRUE(onA.ignoresMouseEvents);
    EXPECT_TRUE(onA.visible);
    controls::SoftwareDimmer unmatched(4, *machine_, *machine_, log_,
                                       platform::sim::kSimMechanismTexts);
    EXPECT_TRUE(unmatched.applyLevel(0.5)) << "through its gamma table instead";
    EXPECT_EQ(machine_->windows().size(), 2u);
    EXPECT_TRUE(unmatched.gammaModified());
    EXPECT_TRUE(unmatched.applyLevel(0));
    EXPECT_FALSE(unmatched.gammaModified());

    // A display dimmed to black still shows its panel: the panel stacks above.
    controls::SoftwareDimmer dimmer(2, *machine_, *machine_, log_,
                                    platform::sim::kSimMechanismTexts);
    dimmer.applyLevel(1.0);
    ASSERT_EQ(machine_->windows().size(), 3u);
    EXPECT_GT(window(1).level, window(2).level);

    // Turned off in the settings: no panel at all.
    osd->enabled = false;
    osd->showBrightness(5, 0.5);
    EXPECT_EQ(machine_->windows().size(), 3u);
}

TEST_F(OSDTest, TheDesktopsOwnDisplayShowsThePanelsWhileItIsThere) {
    struct Desktop final : platform::DesktopOSD {
        bool there = true;
        std::vector<std::tuple<platform::OSDKind, std::string, double>> shown;
        bool show(platform::OSDKind kind, const std::string& label, double level) override {
            if (there) shown.emplace_back(kind, label, level);
            return there;
        }
    } desktop;
    OSDManager withDesktop(*machine_, executor(), &desktop);
    withDesktop.showBrightness(2, 0.5);
    withDesktop.showVolume(3, 0.25);
    withDesktop.show(2, "circle.righthalf.filled", "Contrast", 0.4);
    using K = platform::OSDKind;
    EXPECT_EQ(desktop.shown, (decltype(desktop.shown){{K::brightness, "Brightness", 0.5},
                                                      {K::volume, "Volume", 0.25},
                                                      {K::other, "Contrast", 0.4}}));
    EXPECT_TRUE(machine_->windows().empty());
    desktop.there = false;
    withDesktop.showBrightness(2, 0.5);
    EXPECT_EQ(machine_->windows().size(), 1u) << "Orvane's own panel, when the desktop's is gone";
    withDesktop.enabled = false;
    desktop.there = true;
    withDesktop.showBrightness(2, 0.5);
    EXPECT_EQ(desktop.shown.size(), 3u) << "turned off in the settings, on the desktop's too";
}

TEST_F(OSDTest, ShowsHoldUntilOneAndAHalfSecondsAfterTheLatest) {
    osd->showBrightness(2, 0.5);
    EXPECT_EQ(window().alpha, 0.0);
    runFor(75ms);
    EXPECT_NEAR(window().alpha, 0.5, 1e-9);
    runFor(925ms);  // t = 1 s
    EXPECT_EQ(window().alpha, 1.0);
    osd->showBrightness(2, 0.6);  // restarts the fade-in and pushes the hide back
    EXPECT_EQ(window().alpha, 0.0);
    runFor(1499ms);  // t = 2.499 s: the first show's hide would have come at 1.5 s
    EXPECT_TRUE(window().visible);
    EXPECT_EQ(window().alpha, 1.0);
    EXPECT_FALSE(window().animationTarget);
    runFor(1ms);  // t = 2.5 s: the fade starts
    EXPECT_EQ(window().animationTarget, 0.0);
    EXPECT_EQ(window().animationEnd, 2800ms);
    runFor(150ms);
    EXPECT_NEAR(window().alpha, 0.5, 1e-9);
    EXPECT_TRUE(window().visible);
    runFor(150ms);
    EXPECT_FALSE(window().visible);
    EXPECT_EQ(window().alpha, 0.0);
    osd->showBrightness(2, 0.7);  // the window is reused
    EXPECT_TRUE(window().visible);
    EXPECT_EQ(machine_->windows().size(), 1u);
}

}  // namespace
}  // namespace orvane::input
