// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>

#include "controls/BrightnessController.h"
#include "controls/BrightnessSyncManager.h"
#include "controls/ColorProfileManager.h"
#include "controls/ContrastController.h"
#include "controls/CoreAudioVolumeController.h"
#include "controls/InputController.h"
#include "controls/PowerController.h"
#include "controls/VolumeController.h"
#include "support/SimFixture.h"

namespace orvane::test {
namespace {

using controls::DisplayPowerState;
using controls::SoftwareDimmer;
using platform::sim::SimDDCPath;
using platform::sim::SimFaultKind;
using ::testing::ElementsAre;

class ControlsTest : public SimFixture {
  protected:
    ControlsTest() {
        auto wide = simDisplay(2, SimDDCPath::i2c);
        wide.monitor.features[0x10] = {10, 255};
        wide.monitor.features[0x12] = {10, 80};
        auto offscreen = simDisplay(3, SimDDCPath::i2c, 0x3333, 3);
        offscreen.screen.present = false;
        useRig(rigOf({wide, offscreen}));
    }
    std::shared_ptr<ddc::DDCDisplay> probed(DisplayID id) {
        auto h = makeDisplay(id);
        runTask(executor(), h->probeCapabilities());
        return h;
    }
    std::shared_ptr<SoftwareDimmer> dimmer(DisplayID id) {
        return std::make_shared<SoftwareDimmer>(id, *machine_, *machine_, log_,
                                                platform::sim::kSimMechanismTexts);
    }
    std::uint16_t current(DisplayID id, std::uint8_t code) {
        return monitor(id).feature(code)->current;
    }
    std::optional<double> overlayAlpha() {
        auto w = machine_->windows();
        if (w.empty()) return std::nullopt;
        return w.front().visible ? std::optional(w.front().alpha) : std::nullopt;
    }
};

TEST_F(ControlsTest, TheNewestLevelIsSentAgainOnceAMonitorThatFailedAnswers) {
    auto h = probed(2);
    auto d = dimmer(2);
    auto c = std::make_shared<controls::BrightnessController>(2, h, d, true, log_);
    c->main = &executor();
    // Silent for the write's three attempts, then well again: dimmed meanwhile.
    addFault(2, SimFaultKind::silent, 0x10, 3);
    runtime::spawn(executor(),
                   [](auto c) -> runtime::Task<void> { co_await c->setBrightness(70); }(c));
    executor().runFor(1s);
    EXPECT_NEAR(*overlayAlpha(), 0.3, 1e-9);
    executor().runUntilIdle();
    EXPECT_EQ(current(2, 0x10), 178) << "70 % of 255, once it answered";
    EXPECT_FALSE(overlayAlpha());
    EXPECT_THAT(log_.lines(), ::testing::Contains("[BrightnessController] Display 2 answers again "
                                                  "- brightness sent to it"));
    // A newer level meanwhile is the one that counts: nothing is sent later.
    addFault(2, SimFaultKind::silent, 0x10, 3);
    runtime::spawn(executor(),
                   [](auto c) -> runtime::Task<void> { co_await c->setBrightness(60); }(c));
    executor().runFor(1s);  // 60 failed; its re-send waits
    runTask(executor(), c->setBrightness(20));
    executor().runUntilIdle();
    EXPECT_EQ(current(2, 0x10), 51) << "20 % of 255, not the 60 % that failed";
}

TEST_F(ControlsTest, FailedWritesFallBackToDimmingUntilOneSucceeds) {
    auto h = probed(2);
    auto d = dimmer(2);
    auto c = std::make_shared<controls::BrightnessController>(2, h, d, true, log_);
    addFault(2, SimFaultKind::silent, 0x10, 3);
    runTask(executor(), c->setBrightness(70));
    EXPECT_NEAR(*overlayAlpha(), 0.3, 1e-9);
    EXPECT_EQ(log_.countStartingWith("[BrightnessController] DDC write failed: "), 1u);
    EXPECT_NE(log_.lines().back().find(". Falling back to software dimming."), std::string::npos);

    runTask(executor(), c->setBrightness(10));
    EXPECT_FALSE(overlayAlpha());

    // A monitor that acknowledges the level and keeps its own is dimmed too.
    addFault(2, SimFaultKind::ignoresWrite, 0x10);
    runTask(executor(), c->setBrightness(40));
    EXPECT_NEAR(*overlayAlpha(), 0.6, 1e-9);
    EXPECT_THAT(log_.lines().back(), ::testing::HasSubstr("Brightness=102 but still holds 25"));
    machine_->monitor(2)->clearFaults();
    runTask(executor(), c->setBrightness(10));
    EXPECT_FALSE(overlayAlpha());

    addFault(2, SimFaultKind::silent, 0x10, 3);
    runTask(executor(), c->setBrightness(0));
    EXPECT_EQ(overlayAlpha(), 1.0);
    EXPECT_EQ(log_.countStartingWith("[BrightnessController] DDC write to 0 failed: "), 1u);

    // Without DDC the dimmer does it all.
    auto none = std::make_shared<controls::BrightnessController>(2, nullptr, d, false, log_);
    runTask(executor(), none->setBrightness(40));
    EXPECT_NEAR(*overlayAlpha(), 0.6, 1e-9);
    runTask(executor(), none->setBrightness(100));
    EXPECT_TRUE(machine_->windows().empty());
}

TEST_F(ControlsTest, GammaScalesTheCapturedTablesOnce) {
    auto spec = simDisplay(2, SimDDCPath::i2c);
    spec.gamma = 2.2;
    useRig(rigOf({spec, simDisplay(3, SimDDCPath::i2c, 0x3333, 3)}));
    const auto original = machine_->gammaTables(2);
    auto d = dimmer(2);
    d->method = SoftwareDimmer::Method::gamma;

    d->applyLevel(0);  // never wrote a table: nothing to restore
    EXPECT_TRUE(machine_->gammaIsOriginal(2));
    d->applyLevel(0.5);
    const auto first = machine_->gammaTables(2);
    d->applyLevel(0.5);
    EXPECT_EQ(machine_->gammaTables(2), first);  // no compounding
    EXPECT_FLOAT_EQ(first[1][200], original[1][200] * 0.5f);
    EXPECT_TRUE(d->gammaModified());
    // Display 3 carries a table someone else set: a restore of display 2's own
    // table leaves it, where a reset of every display would not.
    ASSERT_TRUE(setTables(*machine_, 3, std::vector<float>(256, 0.25f)));
    d->applyLevel(0);
    EXPECT_EQ(machine_->gammaTables(2), original);
    EXPECT_FALSE(machine_->gammaIsOriginal(3));
    EXPECT_FALSE(d->gammaModified());

    // A failed write keeps the flag and is logged; an uncapturable table dims the identity ramp.
    using Call = platform::sim::SimWindowServerCall;
    auto e = dimmer(2);
    e->method = SoftwareDimmer::Method::gamma;
    machine_->failWindowServer(Call::getTransfer, platform::sim::kCGErrorFailure);
    machine_->failWindowServer(Call::setTransfer, platform::sim::kCGErrorIllegalArgument);
    e->applyLevel(0.5);
    EXPECT_FALSE(e->gammaModified());
    EXPECT_EQ(log_.lines().back(),
              "[SoftwareDimmer] CGSetDisplayTransferByTable failed for display 2: 1001");
    machine_->failWindowServer(Call::setTransfer, 0);
    e->applyLevel(0.5);
    EXPECT_FLOAT_EQ(machine_->gammaTables(2)[0][255], 0.5f);
    // The capture works again, but the table on the display is ours now: it
    // must not become the original, or the next level would compound.
    machine_->failWindowServer(Call::getTransfer, 0);
    e->applyLevel(0.5);
    EXPECT_FLOAT_EQ(machine_->gammaTables(2)[0][255], 0.5f);
    EXPECT_FALSE(e->hasCapturedGamma());
    e->applyLevel(0);  // nothing captured: the colour-management defaults come back
    EXPECT_TRUE(machine_->gammaIsOriginal(2));
    EXPECT_TRUE(machine_->gammaIsOriginal(3));
}

TEST_F(ControlsTest, ANightLightsTableIsScaledFromOnceItAppearsAndNeverUndone) {
    auto d = dimmer(2);
    d->method = SoftwareDimmer::Method::gamma;
    const auto original = machine_->gammaTables(2);
    d->applyLevel(0.5);
    // A night light sets a warmer table over the dimmed one.
    const auto warm = [&](float blue) {
        setTables(*machine_, 2, linearRamp(256), linearRamp(256, 0.9f), linearRamp(256, blue));
    };
    warm(0.6f);
    log_.clear();
    d->applyLevel(0.4);
    EXPECT_THAT(log_.lines(), ElementsAre("[SoftwareDimmer] Another program set the gamma table "
                                          "of display 2 - dimming now scales its table"));
    auto shown = machine_->gammaTables(2);
    EXPECT_FLOAT_EQ(shown[2][255], 0.6f * 0.6f) << "its blue, dimmed";
    EXPECT_FLOAT_EQ(shown[0][255], 0.6f);
    d->applyLevel(0.4);
    EXPECT_EQ(log_.lines().size(), 1u) << "said once; the same table is not taken again";
    // Undimmed: its table comes back, not the one from before it.
    d->applyLevel(0);
    EXPECT_FLOAT_EQ(machine_->gammaTables(2)[2][255], 0.6f);

    // It changes the table while dimmed, then Orvane undims: its table stays.
    d->applyLevel(0.5);
    warm(0.8f);
    log_.clear();
    d->applyLevel(0);
    EXPECT_THAT(log_.lines(), ElementsAre("[SoftwareDimmer] Display 2 shows a gamma table another "
                                          "program set - left as it is"));
    EXPECT_FLOAT_EQ(machine_->gammaTables(2)[2][255], 0.8f);
    EXPECT_FALSE(d->gammaModified());
    // The next dimming starts from what the display shows then.
    d->applyLevel(0.5);
    EXPECT_FLOAT_EQ(machine_->gammaTables(2)[2][255], 0.4f);
    d->applyLevel(0);
    EXPECT_NE(machine_->gammaTables(2), original);
}

TEST_F(ControlsTest, ContrastVolumeInputAndPower) {
    auto h = probed(2);
    auto contrast = std::make_shared<controls::ContrastController>(2, h, true, log_);
    runTask(executor(), contrast->setContrast(50));
    EXPECT_EQ(current(2, 0x12), 40);  // 50 % of 80
    runTask(executor(), contrast->setContrast(250));
    EXPECT_EQ(current(2, 0x12), 80);
    runTask(executor(), contrast->setContrast(-10));
    EXPECT_EQ(current(2, 0x12), 0);

    auto volume = std::make_shared<controls::VolumeController>(2, h, true, log_);
    runTask(executor(), volume->setVolume(33.3));
    EXPECT_EQ(current(2, 0x62), 33);
    auto noDDC = std::make_shared<controls::VolumeController>(2, h, false, log_);
    runTask(executor(), noDDC->setVolume(90));
    EXPECT_EQ(current(2, 0x62), 33);

    auto input = std::make_shared<controls::InputController>(2, h, true, log_);
    EXPECT_EQ(controls::InputSource::fromRaw(0x11).name, "HDMI-1");
    EXPECT_EQ(controls::InputSource::fromRaw(0).name, "Input 0");
    EXPECT_EQ(controls::InputSource::fromRaw(0x1B).name, "Input 27");
    runTask(executor(), input->switchInput(controls::InputSource::fromRaw(0x11)));
    EXPECT_EQ(input->currentInput(), 0x11);
    EXPECT_EQ(log_.lines().back(), "[InputController] Switched display 2 to HDMI-1");
    addFault(2, SimFaultKind::silent, 0x60, 3);
    runTask(executor(), input->switchInput(controls::InputSource::fromRaw(0x0F)));
    EXPECT_EQ(input->currentInput(), 0x11);
    EXPECT_EQ(log_.countStartingWith("[InputController] Failed to switch input on display 2: "),
              1u);

    auto power = std::make_shared<controls::PowerController>(2, h, true, log_);
    runTask(executor(), power->togglePower());  // reads on
    EXPECT_EQ(current(2, 0xD6), 2);
    EXPECT_EQ(log_.lines().back(), "[PowerController] Display 2 \u2192 Standby");
    runTask(executor(), power->togglePower());  // reads standby
    EXPECT_EQ(current(2, 0xD6), 1);
    monitor(2).setFeature(0xD6, {5, 5});
    EXPECT_EQ(runTask(executor(), power->getPower()), DisplayPowerState::hardOff);
    monitor(2).setFeature(0xD6, {7, 5});
    EXPECT_FALSE(runTask(executor(), power->getPower()).has_value());
    monitor(2).setFeature(0xD6, {2, 5});
    addFault(2, SimFaultKind::silent, 0xD6, 3);
    runTask(executor(), power->togglePower());  // the read fails: on
    EXPECT_EQ(current(2, 0xD6), 1);
}

class AudioTest : public SimFixture {
  protected:
    using Spec = platform::sim::SimAudioDeviceSpec;
    static Spec device(std::uint32_t id, std::string name, std::string transport = "airp") {
        Spec s;
        s.id = id;
        s.name = std::move(name);
        s.transport = std::move(transport);
        return s;
    }
    std::optional<controls::AudioDeviceMatch> match(std::vector<Spec> devices, std::string name) {
        auto rig = rigOf({});
        rig.audioDevices = std::move(devices);
        useRig(rig);
        return controls::CoreAudioVolumeController::matchAudioDevice(machine_->audioSinks(), log_,
                                                                     name);
    }
};

TEST_F(AudioTest, MatchingPasses) {
    EXPECT_EQ(
        match({device(11, "Kitchen"), device(12, "living room tv")}, "Living Room TV ")->deviceID,
        12u);
    EXPECT_EQ(match({device(11, "Living Room"), device(12, "Kitchen")}, "Living Room TV ")->name,
              "Living Room");
    log_.clear();
    EXPECT_EQ(match({device(11, "Speakers", "bltn"), device(12, "Attic")}, "Den")->deviceID, 12u);
    EXPECT_EQ(log_.lines(), (std::vector<std::string>{
                                "[CoreAudioVolume] Single AirPlay audio device 'Attic' - matching "
                                "to display 'Den' by elimination"}));
    EXPECT_FALSE(match({device(11, "Attic"), device(12, "Porch")}, "Den"));
    EXPECT_EQ(log_.lines().back(),
              "[CoreAudioVolume] No audio device match found for AirPlay "
              "display 'Den'. Candidates: [\"Attic\", \"Porch\"]");
    // Case folds beyond ASCII; an empty name on either side matches nothing.
    EXPECT_EQ(match({device(11, "Kitchen"), device(12, "salon télé")}, "SALON TÉLÉ")->deviceID,
              12u);
    EXPECT_EQ(match({device(11, "Kitchen"), device(12, "ΣΑΛΌΝΙ")}, "σαλόνι")->deviceID, 12u);
    EXPECT_FALSE(match({device(11, ""), device(12, "Porch")}, "Den"));
    EXPECT_FALSE(match({device(11, "Attic"), device(12, "Porch")}, ""));
    auto noStreams = device(13, "Den");
    noStreams.outputBuffers = 0;
    log_.clear();
    EXPECT_FALSE(match({noStreams, device(14, "Speakers", "bltn")}, "Den"));
    EXPECT_TRUE(log_.lines().empty());
}

}  // namespace
}  // namespace orvane::test
