// SPDX-License-Identifier: MIT
#include <unordered_set>

#include "displays/DisplayKey.h"
#include "displays/DisplayState.h"
#include "displays/ResolutionManager.h"
#include "support/SimFixture.h"

namespace orvane::test {
namespace {

using displays::ConnectionType;
using platform::sim::SimDDCPath;
using platform::sim::SimDisplaySpec;
using platform::sim::SimModeSpec;

class DisplayInfoTest : public SimFixture {
  protected:
    displays::DisplayInfo info(DisplayID id) { return displays::makeDisplayInfo(id, services()); }
    void use(std::vector<SimDisplaySpec> specs) { useRig(rigOf(std::move(specs))); }
};

TEST_F(DisplayInfoTest, DescribesModeSerialAndSummary) {
    auto withMode = simDisplay(2, SimDDCPath::i2c, 0x10ac, 0xa0c4, 123);
    withMode.modes = {SimModeSpec{2560, 1440, 5120, 2880, 59.94}};
    auto noMode = simDisplay(3, SimDDCPath::i2c, 0x10ac, 0xa0c5, 0);
    noMode.currentMode.reset();
    noMode.pixelsWide = 1280;
    noMode.pixelsHigh = 1024;
    use({withMode, noMode});

    auto a = info(2);
    EXPECT_EQ(a.summary(), "Sim 2 - 2560\u00d71440 @ 59Hz");
    EXPECT_EQ(a.nativeResolution, (displays::Size{5120, 2880}));
    EXPECT_EQ(a.serialNumber, "123");
    EXPECT_TRUE(a.ddcSupported);
    EXPECT_EQ(a.connectionType, ConnectionType::usbc);  // no ancestor names the link

    auto b = info(3);
    EXPECT_EQ(b.summary(), "Sim 3 - 0\u00d70");
    EXPECT_EQ(b.nativeResolution, (displays::Size{1280, 1024}));
    EXPECT_EQ(b.refreshRate, 0);
    EXPECT_FALSE(b.serialNumber.has_value());

    b.name = "Other";
    EXPECT_EQ(a == b, false);
    b.id = 2;
    EXPECT_EQ(a, b);  // identity is the id alone
    EXPECT_EQ(std::hash<displays::DisplayInfo>{}(a), std::hash<displays::DisplayInfo>{}(b));
}

class ResolutionTest : public SimFixture {
  protected:
    ResolutionTest() {
        auto d = simDisplay(2, SimDDCPath::i2c);
        d.modes = {{1920, 1080, 1920, 1080, 60.0}, {1920, 1080, 3840, 2160, 60.0},
                   {1920, 1080, 1920, 1080, 60.4}, {1920, 1080, 1920, 1080, 59.94},
                   {2560, 1440, 2560, 1440, 0.0},  {1280, 720, 1280, 720, 60, true}};
        useRig(rigOf({d}));
    }
    displays::ResolutionManager manager() { return {*machine_, log_}; }
};

TEST_F(ResolutionTest, ListsDistinctModesLargestFirst) {
    std::vector<std::string> ids, labels;
    for (const auto& m : manager().availableModes(2, false)) {
        ids.push_back(m.id());
        labels.push_back(m.label());
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"2560x1440@0", "1920x1080@60HiDPI", "1920x1080@60",
                                             "1920x1080@59"}));
    EXPECT_EQ(labels.front(), "2560 \u00d7 1440 @ 0Hz");
    EXPECT_EQ(labels[1], "1920 \u00d7 1080 @ 60Hz (HiDPI)");
    EXPECT_EQ(manager().availableModes(2, true).size(), 5u);
    EXPECT_TRUE(manager().availableModes(99, false).empty());

    displays::DisplayMode a{1, 1, 0.0, false}, b{1, 1, -0.0, false};
    EXPECT_EQ(std::hash<displays::DisplayMode>{}(a), std::hash<displays::DisplayMode>{}(b));
}

TEST_F(ResolutionTest, SwitchesThroughASessionTransaction) {
    // 60 matches the 60.4 Hz entry's integer part but never 59.94.
    EXPECT_TRUE(manager().setMode(2, 1920, 1080, true, 60.9));
    EXPECT_EQ(machine_->currentMode(2)->pixelWidth, 3840u);
    EXPECT_EQ(machine_->lastConfigureOption(), platform::sim::CGConfigureOption::forSession);
    EXPECT_EQ(log_.lines().back(),
              "[ResolutionManager] Switched display 2 to 1920 \u00d7 1080 @ 60Hz (HiDPI)");

    EXPECT_FALSE(manager().setMode(2, 1280, 720, false, 60));  // listed only as a duplicate
    EXPECT_EQ(log_.lines().back(),
              "[ResolutionManager] No matching mode found for 1280 \u00d7 720 @ 60Hz");

    using Call = platform::sim::SimWindowServerCall;
    machine_->failWindowServer(Call::configureDisplay, platform::sim::kCGErrorIllegalArgument);
    EXPECT_FALSE(manager().setMode(2, 2560, 1440, false, 0));
    EXPECT_EQ(log_.lines().back(),
              "[ResolutionManager] CGConfigureDisplayWithDisplayMode failed: 1001");
    machine_->failWindowServer(Call::configureDisplay, 0);
    machine_->failWindowServer(Call::completeConfiguration, platform::sim::kCGErrorCannotComplete);
    EXPECT_FALSE(manager().setMode(2, 2560, 1440, false, 0));
    EXPECT_EQ(log_.lines().back(),
              "[ResolutionManager] CGCompleteDisplayConfiguration failed: 1004");
    EXPECT_EQ(machine_->currentMode(2)->pixelWidth, 3840u);

    machine_->failWindowServer(Call::allModes, platform::sim::kCGErrorFailure);
    const auto before = log_.lines().size();
    EXPECT_FALSE(manager().setMode(2, 2560, 1440, false, 0));
    EXPECT_EQ(log_.lines().size(), before);  // no list: no log line
}

}  // namespace
}  // namespace orvane::test
