// SPDX-License-Identifier: MIT
// The popover's view models on the whole application, on a simulated machine
// and a virtual clock.

#include <gtest/gtest.h>

#include <algorithm>

#include "gui/viewmodel/PopoverModel.h"
#include "support/ScopedTimeZone.h"
#include "support/SimApp.h"
#include "support/SimFixture.h"
#include "support/TempDirectory.h"

namespace orvane::test {
namespace {

using gui::DisplayCardModel;
using gui::PopoverModel;
using platform::sim::SimDDCPath;
using platform::sim::SimRig;
using namespace std::chrono_literals;
using test::utc;

class PopoverModelTest : public ::testing::Test {
  protected:
    void start(SimRig rig) {
        sim_ = std::make_unique<SimApp>(rig, dir_.path().string());
        sim_->launch();
        auto& app = *sim_->app;
        model_ =
            std::make_unique<PopoverModel>(app.registry().shared_from_this(), app.presetManager(),
                                           sim_->runtime.main(), sim_->runtime.clock(), sim_->log);
    }
    DisplayCardModel& card(DisplayID id) {
        for (auto& c : model_->cards()) {
            if (c->displayID() == id) return *c;
        }
        throw std::logic_error("no card for display " + std::to_string(id));
    }
    std::vector<int> writes(DisplayID display, std::uint8_t code) const {
        return vcpWrites(sim_->machine, display, code);
    }
    static SimRig threeDisplays() {
        return rigOf({builtInPanel(1, 0.5f), named(simDisplay(2, SimDDCPath::i2c), "Office"),
                      named(simDisplay(3, SimDDCPath::none), "Projector")});
    }

    TempDirectory dir_;
    std::unique_ptr<SimApp> sim_;
    std::unique_ptr<PopoverModel> model_;
};

TEST_F(PopoverModelTest, WithoutDDCBrightnessDimsAtOnceAndVolumeWithoutAPathOnlyMovesTheState) {
    start(threeDisplays());
    auto& projector = card(3);
    const auto transactions = sim_->machine.transcript().size();
    projector.setBrightness(0);
    // No executor turn: the overlay is there already.
    auto overlays = sim_->machine.windows();
    ASSERT_EQ(overlays.size(), 1u);
    EXPECT_EQ(overlays[0].alpha, 1.0);
    EXPECT_TRUE(overlays[0].visible);
    EXPECT_EQ(projector.state().softwareDimmingLevel.get(), 1.0);
    EXPECT_TRUE(projector.brightnessRow().isEnabled);

    // Where dimming cannot work, the level stays what the display shows and
    // the row says there is nothing to move.
    sim_->app->registry().record(3)->dimmer->method = controls::SoftwareDimmer::Method::gamma;
    sim_->machine.failWindowServer(platform::sim::SimWindowServerCall::setTransfer,
                                   platform::sim::kCGErrorFailure);
    projector.setBrightness(40);
    EXPECT_EQ(projector.state().brightness.get(), 0.0);
    EXPECT_FALSE(projector.brightnessRow().isEnabled);
    EXPECT_STREQ(projector.note(), gui::DisplayCardModel::kNoDimmingNote);

    ASSERT_EQ(projector.state().volumeControlType.get(), displays::VolumeControlType::none);
    projector.setVolume(20);
    sim_->executor().runUntilIdle();
    EXPECT_EQ(projector.state().volume.get(), 20);
    EXPECT_EQ(sim_->machine.transcript().size(), transactions);
}

TEST_F(PopoverModelTest, CardsComeAndGoWithTheDisplaysAndPendingWritesSurviveThem) {
    start(threeDisplays());
    int rebuilt = 0;
    model_->onCardsChanged = [&] { ++rebuilt; };
    card(2).setBrightness(42);
    sim_->machine.disconnectDisplay(3);
    sim_->executor().runUntilIdle();
    EXPECT_GE(rebuilt, 1);
    EXPECT_EQ(model_->countLine(), "2 displays");
    EXPECT_EQ(writes(2, 0x10), std::vector<int>{42})
        << "the write started by the old card still lands";
    // A value change keeps the cards.
    rebuilt = 0;
    auto first = model_->cards().front();
    sim_->app->registry().adjustBrightness(6.25, false);
    sim_->executor().runUntilIdle();
    EXPECT_EQ(rebuilt, 0);
    EXPECT_EQ(model_->cards().front(), first);
}

TEST_F(PopoverModelTest, TheInputMenuListsEveryInputAndTheInfoPanelWhatIsKnown) {
    start(threeDisplays());
    auto& office = card(2);
    const auto choices = DisplayCardModel::inputChoices();
    // DisplayPort and HDMI among them, not only the first eight.
    ASSERT_EQ(choices.size(), 18u);
    EXPECT_EQ(choices.front().name, "VGA-1");
    EXPECT_EQ(choices[14].name, "DisplayPort-1");
    EXPECT_EQ(choices.back().name, "HDMI-2");
    office.load();
    const auto rows = office.infoRows();
    auto value = [&](const std::string& label) -> std::optional<std::string> {
        auto it = std::find_if(rows.begin(), rows.end(), [&](auto& r) { return r.label == label; });
        return it == rows.end() ? std::nullopt : std::optional(it->value);
    };
    EXPECT_EQ(rows.front().label, "Connection");
    EXPECT_EQ(value("Vendor ID"), "0x10AC");
    EXPECT_EQ(value("Serial"), std::nullopt) << "no serial, no row";
    EXPECT_EQ(value("DDC"), "Connected");
    EXPECT_EQ(value("DDC Controls"), "Brightness, Contrast, Volume, Input, Power");
    EXPECT_EQ(value("Last DDC Read"), "now");
    EXPECT_EQ(rows.back().label, "Color Profile");
    EXPECT_EQ(card(3).infoRows()[card(3).infoRows().size() - 2].value, "Not available");

    EXPECT_EQ(gui::relativeTimeText(59s), "59 seconds ago");
    EXPECT_EQ(gui::relativeTimeText(60s), "1 minute ago");
    EXPECT_EQ(gui::relativeTimeText(25h), "yesterday");
    EXPECT_EQ(gui::relativeTimeText(72h), "3 days ago");
}

TEST_F(PopoverModelTest, MoreShowsTheAdjustableFeaturesTheMonitorListsAndWritesThem) {
    // Listed: two of the probed controls, a colour preset with three values,
    // red gain (which this monitor does not answer), sharpness, a reading
    // (firmware) and a manufacturer's code: only the preset and sharpness
    // have rows.
    auto office = named(simDisplay(2, SimDDCPath::i2c), "Office");
    office.monitor.capabilities = "(vcp(10 12 14(05 08 0B) 16 87 C9 E0)mccs_ver(2.1))";
    office.monitor.features[0x14] = {0x05, 0x0D};
    office.monitor.features[0x87] = {4, 10};
    office.monitor.features[0xC9] = {1, 0xFFFF};
    office.monitor.features[0xE0] = {1, 1};
    auto plain = named(simDisplay(3, SimDDCPath::i2c), "Plain");
    start(rigOf({office, plain}));
    auto& card2 = card(2);
    EXPECT_TRUE(card2.rows().more);
    EXPECT_EQ(card2.featuresStatus(), DisplayCardModel::FeaturesStatus::notRead)
        << "nothing is read before the panel opens";
    int heard = 0;
    card2.setOnFeaturesChanged([&] { ++heard; });
    card2.toggleMore();
    EXPECT_EQ(card2.featuresNote(), "Reading the monitor's features...");
    sim_->executor().runUntilIdle();
    EXPECT_EQ(heard, 1);
    ASSERT_EQ(card2.featureRows().size(), 2u);
    const auto& preset = card2.featureRows()[0];
    EXPECT_EQ(preset.label, "Color Preset");
    EXPECT_FALSE(preset.continuous);
    EXPECT_EQ(preset.choices, (std::vector<std::pair<std::uint8_t, std::string>>{
                                  {0x05, "6500 K"}, {0x08, "9300 K"}, {0x0B, "User 1"}}));
    const auto& sharpness = card2.featureRows()[1];
    EXPECT_EQ(sharpness.label, "Sharpness");
    EXPECT_EQ(sharpness.sliderRow().value, 40.0);
    EXPECT_EQ(card2.featuresNote(), "");

    // A slider burst sends its last value, scaled to the monitor's maximum;
    // a menu sends the listed value at once and refuses one it does not list.
    card2.setFeaturePercent(0x87, 20);
    card2.setFeaturePercent(0x87, 70);
    sim_->executor().runUntilIdle();
    EXPECT_EQ(writes(2, 0x87), std::vector<int>{7});
    card2.chooseFeatureValue(0x14, 0x08);
    card2.chooseFeatureValue(0x14, 0x06);
    sim_->executor().runUntilIdle();
    EXPECT_EQ(writes(2, 0x14), std::vector<int>{0x08});
    EXPECT_EQ(sim_->machine.monitor(2)->feature(0x14)->current, 0x08);

    // Closing and opening again reads nothing more.
    const auto asked = sim_->machine.transcript().size();
    card2.toggleMore();
    card2.toggleMore();
    sim_->executor().runUntilIdle();
    EXPECT_EQ(sim_->machine.transcript().size(), asked);

    // A monitor with no capabilities string says so.
    card(3).toggleMore();
    sim_->executor().runUntilIdle();
    EXPECT_EQ(card(3).featuresStatus(), DisplayCardModel::FeaturesStatus::unavailable);
    EXPECT_EQ(card(3).featuresNote(), "The monitor sent no list of its features");
    EXPECT_TRUE(card(3).featureRows().empty());
}

TEST_F(PopoverModelTest, TheNextScheduledChangeIsSaidUnderThePresets) {
    ScopedTimeZone zone("UTC");
    start(threeDisplays());
    auto& presets = *sim_->app->presetManager();
    model_->wallNow = [] { return utc(2024, 6, 20, 20, 0); };  // a Thursday
    EXPECT_EQ(model_->nextChangeLine(), "");
    presets.savePreset("Night");
    presets.savePreset("Dawn");
    presets.setSchedule(*presets.preset("Night"), schedule::PresetSchedule::parse("21:30"));
    EXPECT_EQ(model_->nextChangeLine(), "Next: Night at 21:30");
    EXPECT_FALSE(
        presets.setSchedule(*presets.preset("Dawn"), schedule::PresetSchedule::parse("sunrise")))
        << "a sun event needs a place";
    presets.setLocation(schedule::Location{51.5074, -0.1278});
    presets.setSchedule(*presets.preset("Dawn"), schedule::PresetSchedule::parse("sunrise"));
    model_->wallNow = [] { return utc(2024, 6, 20, 22, 0); };
    EXPECT_EQ(model_->nextChangeLine(), "Next: Dawn Friday at 03:43 (sunrise)");
}

}  // namespace
}  // namespace orvane::test
