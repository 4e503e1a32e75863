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

TEST_F(DisplayInfoTest, NameResolutionOrder) {
    auto screenNamed = simDisplay(2, SimDDCPath::i2c, 0x1111, 1);
    auto registryNamed = simDisplay(3, SimDDCPath::i2c, 0x2222, 2);
    registryNamed.screen.name = "";
    auto genericColour = simDisplay(4, SimDDCPath::none, 0x3333, 3);
    genericColour.inRegistry = false;
    genericColour.screen.name = "";
    genericColour.screen.colorSpace = platform::sim::SimColorSpaceSpec{"Display P3", false, {}};
    auto colourNamed = genericColour;
    colourNamed.id = 5;
    colourNamed.screen.colorSpace->name = "Projector Profile";
    auto builtIn = simDisplay(6, SimDDCPath::none, 0x610, 7);
    builtIn.builtIn = true;
    builtIn.inRegistry = false;
    builtIn.screen.present = false;
    use({screenNamed, registryNamed, genericColour, colourNamed, builtIn});

    EXPECT_EQ(info(2).name, "Sim 2");
    EXPECT_EQ(info(3).name, "Sim 3");  // from DisplayProductName
    EXPECT_EQ(info(4).name, "Display 4");
    EXPECT_EQ(info(5).name, "Projector Profile");
    EXPECT_EQ(info(6).name, "Built-in Display");
    EXPECT_EQ(info(6).connectionType, ConnectionType::builtIn);
    EXPECT_FALSE(info(6).ddcSupported);
}

TEST_F(DisplayInfoTest, MissingProductIDMatchesOnlyModelZero) {
    auto zero = simDisplay(2, SimDDCPath::i2c, 0x4444, 0);
    zero.registryProduct.mode = platform::sim::SimRegistryNumber::Mode::missing;
    zero.screen.name = "";
    zero.ancestors = {"AppleHDMIPort"};
    auto nonzero = zero;
    nonzero.id = 3;
    nonzero.model = 9;
    nonzero.name = "Nine";
    nonzero.screen.colorSpace.reset();
    use({zero, nonzero});
    EXPECT_EQ(info(2).name, "Sim 2");
    EXPECT_EQ(info(2).connectionType, ConnectionType::hdmi);
    // Display 3's entry has no product ID and its model is not 0: it matches nothing.
    EXPECT_EQ(info(3).name, "Display 3");
}

TEST_F(DisplayInfoTest, ConnectionTypeFromAncestors) {
    auto usbHost = simDisplay(2, SimDDCPath::i2c, 0x5555, 1);
    usbHost.framebufferClass = "AppleIOUSBHostFramebuffer";  // iousbhost: not USB-C
    usbHost.ancestors = {"AppleThunderboltDPOut"};
    auto av = simDisplay(3, SimDDCPath::i2c, 0x5556, 2);
    av.ancestors = {"AppleDCPAVServiceProxyUSB"};  // avservice decides before usb
    auto apple = simDisplay(4, SimDDCPath::none, 0x610, 3);
    apple.inRegistry = false;
    use({usbHost, av, apple});
    EXPECT_EQ(info(2).connectionType, ConnectionType::thunderbolt);
    EXPECT_EQ(info(3).connectionType, ConnectionType::hdmi);  // the avservice proxy class
    EXPECT_EQ(info(4).connectionType, ConnectionType::airplay);
    EXPECT_EQ(displays::connectionTypeFromRaw("USB-C"), ConnectionType::usbc);
    EXPECT_FALSE(displays::connectionTypeFromRaw("usb-c").has_value());
}

TEST_F(DisplayInfoTest, WithoutRegistryEntriesTransportDecidesAirPlay) {
    auto lone = simDisplay(2, SimDDCPath::none, 0x6666, 1);
    lone.inRegistry = false;
    use({lone});
    EXPECT_EQ(info(2).connectionType, ConnectionType::airplay);
    EXPECT_FALSE(info(2).ddcSupported);

    // The same display with an audio/video service reaching it is USB-C.
    auto reached = simDisplay(2, SimDDCPath::avService, 0x6666, 1);
    reached.avServiceClass = "DCPAVServiceProxy";
    use({reached});
    EXPECT_EQ(info(2).connectionType, ConnectionType::usbc);
    EXPECT_TRUE(info(2).ddcSupported);
}

TEST(DisplayKeyTest, SerialRules) {
    using displays::makeDisplayKey;
    EXPECT_EQ(makeDisplayKey(16, 300, "123"), "16-300-123");
    EXPECT_EQ(makeDisplayKey(16, 300, "0"), "16-300");
    EXPECT_EQ(makeDisplayKey(16, 300, ""), "16-300");
    EXPECT_EQ(makeDisplayKey(16, 300, std::nullopt), "16-300");
    EXPECT_EQ(makeDisplayKey(16, 300, "00"), "16-300-00");
    EXPECT_EQ(makeDisplayKey(0, 0, std::nullopt), "0-0");
}

TEST(DisplayStateTest, NotifiesOnlyOnChange) {
    displays::DisplayState state(displays::DisplayInfo{});
    std::vector<std::string> changes;
    auto token = state.observe([&](std::string_view f) { changes.emplace_back(f); });
    state.brightness = 40.0;
    state.brightness = 40.0;
    state.volumeBeforeMute = 30.0;
    state.volumeBeforeMute = 30.0;
    state.volumeControlType = displays::VolumeControlType::none;  // the initial value
    EXPECT_EQ(changes, (std::vector<std::string>{"brightness", "volumeBeforeMute"}));
    token.reset();
    state.brightness = 10.0;
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_EQ(displays::volumeControlTypeFromRaw("coreAudio"),
              displays::VolumeControlType::coreAudio);
    EXPECT_FALSE(displays::volumeControlTypeFromRaw("CoreAudio").has_value());
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
