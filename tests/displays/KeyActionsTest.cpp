// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "displays/DisplayManager.h"
#include "support/SimFixture.h"

namespace orvane::test {
namespace {

using input::ShortcutAction;
using platform::sim::SimDDCPath;
using platform::sim::SimDisplaySpec;
using ::testing::ElementsAre;

constexpr std::int64_t kBrightnessUp = 2 << 16, kBrightnessDown = 3 << 16;
constexpr std::int64_t kVolumeUp = 0, kMute = 7 << 16;

/// A desk: the built-in panel (1), a DDC monitor (2), a monitor that answers no
/// DDC (3, dimmed in software) and an AirPlay TV whose volume goes through its
/// audio device (5).
class KeyActionsTest : public SimFixture {
  protected:
    void use(std::vector<SimDisplaySpec> displays, bool withTV = true) {
        auto rig = rigOf(std::move(displays));
        if (withTV) {
            platform::sim::SimAudioDeviceSpec tv;
            tv.id = 60;
            tv.name = "TV";
            tv.volume = 0.4f;
            rig.audioDevices = {tv};
        }
        manager.reset();
        useRig(rig);
        manager = displays::DisplayManager::create(runtime_, services(), log_);
        runTask(executor(), manager->start());
        log_.clear();
    }
    void useDesk() {
        auto mute = simDisplay(3, SimDDCPath::i2c, 0x3333, 3);
        mute.monitor.answers = false;
        use({builtInPanel(1, 0.5f), named(simDisplay(2, SimDDCPath::i2c), "DDC"),
             named(mute, "Dumb"), airPlayDisplay(5, "TV")});
    }
    displays::DisplayState& state(DisplayID id) {
        for (auto& s : manager->displays()) {
            if (s->info.id == id) return *s;
        }
        throw std::out_of_range("no display " + std::to_string(id));
    }
    void press(std::int64_t keyWord) {
        machine_->input().postSystemDefined(keyWord);
        executor().runUntilIdle();
    }
    /// Panels on screen, by the display their view belongs to.
    std::vector<DisplayID> panels() {
        std::vector<DisplayID> ids;
        for (const auto& [id, view] : manager->osdManager()->customOSDs()) {
            if (view->hasWindow()) ids.push_back(id);
        }
        return ids;
    }
    std::uint16_t vcp(DisplayID id, std::uint8_t code) {
        return monitor(id).feature(code)->current;
    }

    std::shared_ptr<displays::DisplayManager> manager;
};

TEST_F(KeyActionsTest, BrightnessKeysStepEveryExternalDisplayButNotTheBuiltIn) {
    useDesk();
    press(kBrightnessUp);
    EXPECT_EQ(state(2).brightness.get(), 56.25);
    EXPECT_EQ(vcp(2, 0x10), 56);
    EXPECT_EQ(state(3).brightness.get(), 100.0);  // already at the top: clamped
    EXPECT_EQ(state(1).brightness.get(), 50.0);
    EXPECT_EQ(manager->readBuiltInBrightness(), 0.5f);
    EXPECT_THAT(panels(), ElementsAre(2, 3, 5));  // the TV has a brightness controller too

    for (int i = 0; i < 20; ++i)
        press(kBrightnessDown);
    EXPECT_EQ(state(2).brightness.get(), 0.0);
    EXPECT_EQ(vcp(2, 0x10), 0);
    EXPECT_EQ(state(3).brightness.get(), 0.0);
    // Without DDC the overlay darkens the display instead.
    EXPECT_EQ(manager->record(3)->dimmer->currentLevel(), 1.0);

    // Without external displays the keys go back to the system.
    machine_->disconnectDisplay(2);
    machine_->disconnectDisplay(3);
    machine_->disconnectDisplay(5);
    executor().runFor(1s);
    EXPECT_FALSE(manager->mediaKeyInterceptor()->hasExternalDisplays());
    EXPECT_FALSE(machine_->input().postSystemDefined(kBrightnessUp));
}

TEST_F(KeyActionsTest, AFloodOfKeysIsPacedPerMonitorAndEndsAtTheLastLevel) {
    use({named(simDisplay(2, SimDDCPath::i2c, 0x2222, 2), "A"),
         named(simDisplay(4, SimDDCPath::i2c, 0x4444, 4), "B")},
        false);
    // 1,000 presses in one second, mostly up, some down.
    std::mt19937 random(7);
    for (int i = 0; i < 1000; ++i) {
        machine_->input().postSystemDefined(random() % 3 ? kBrightnessUp : kBrightnessDown);
        executor().runFor(1ms);
    }
    executor().runUntilIdle();
    for (DisplayID id : {2u, 4u}) {
        std::vector<runtime::TimePoint> writes;
        for (const auto& t : machine_->transcript()) {
            if (t.display == id && t.sent.size() >= 6 && t.sent[2] == 0x03 && t.sent[3] == 0x10)
                writes.push_back(t.time);
        }
        ASSERT_FALSE(writes.empty());
        for (std::size_t i = 1; i < writes.size(); ++i) {
            ASSERT_GE(writes[i] - writes[i - 1], runtime::Duration(50ms))
                << "display " << id << ": more than 20 writes a second, or two at once";
        }
        EXPECT_LE(writes.size(), 25u) << "a second of keys and the tail after it";
        EXPECT_EQ(vcp(id, 0x10), std::uint16_t(state(id).brightness.get()))
            << "the monitor ends at the last level asked for";
    }
    // A level the monitor was just set to is not written again.
    runTask(executor(), manager->writeBrightness(2, 33));
    const auto before = machine_->transcript().size();
    runTask(executor(), manager->writeBrightness(2, 33));
    EXPECT_EQ(machine_->transcript().size(), before);
}

TEST_F(KeyActionsTest, MuteAndUnmuteRoundTrip) {
    useDesk();
    manager->mediaKeyInterceptor()->setInterceptVolume(true);
    auto& audio = machine_->audio();
    state(2).volume = 40;
    press(kMute);
    EXPECT_EQ(state(2).volume.get(), 0.0);
    EXPECT_EQ(state(2).volumeBeforeMute.get(), 40.0);
    EXPECT_EQ(vcp(2, 0x62), 0);
    EXPECT_EQ(state(5).volume.get(), 0.0);
    EXPECT_EQ(audio.muted(60), true);
    EXPECT_EQ(audio.volume(60), 0.0f);
    // The volume goes before the mute.
    const auto writes = audio.writes(60);
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back(), platform::sim::kAudioDevicePropertyMute);
    EXPECT_EQ(std::count(writes.begin(), writes.end(), platform::sim::kAudioDevicePropertyMute), 1);
    const auto& osd = *manager->osdManager()->customOSDs().at(5);
    EXPECT_TRUE(osd.hasWindow());

    press(kMute);
    EXPECT_EQ(state(2).volume.get(), 40.0);
    EXPECT_EQ(vcp(2, 0x62), 40);
    EXPECT_EQ(state(5).volume.get(), 40.0);
    EXPECT_EQ(audio.muted(60), false);
    EXPECT_FLOAT_EQ(*audio.volume(60), 0.4f);

    // One press, one direction: with one display at 0 and another at 40 every
    // display mutes, and the next press brings each back to its own level.
    state(2).volume = 0;
    state(5).volume = 40;
    press(kMute);
    EXPECT_EQ(state(2).volume.get(), 0.0);
    EXPECT_EQ(state(5).volume.get(), 0.0);
    press(kMute);
    EXPECT_EQ(state(2).volume.get(), 40.0);
    EXPECT_EQ(state(5).volume.get(), 40.0);

    // Unmuting a display at 0 with nothing stored gives 50.
    use({named(simDisplay(2, SimDDCPath::i2c), "DDC")}, false);
    state(2).volume = 0;
    manager->toggleMute();
    EXPECT_EQ(state(2).volume.get(), 50.0);
    EXPECT_FALSE(state(2).volumeBeforeMute->has_value());
    press(kVolumeUp);  // volume keys are not redirected by default
    EXPECT_EQ(state(2).volume.get(), 50.0);
}

TEST_F(KeyActionsTest, ShortcutsUseTheBrightnessStepAndReachTheBuiltIn) {
    useDesk();
    auto& shortcuts = *manager->shortcutManager();
    shortcuts.onAction = [this](ShortcutAction a) { manager->performShortcutAction(a); };
    shortcuts.registerShortcut(ShortcutAction::brightnessUp, {126, input::kControlKey});
    shortcuts.registerShortcut(ShortcutAction::volumeDown, {125, input::kControlKey});
    manager->mediaKeyInterceptor()->setBrightnessStep(10);
    manager->mediaKeyInterceptor()->setVolumeStep(1);

    ASSERT_TRUE(machine_->input().pressHotKey(126, input::kControlKey));
    executor().runUntilIdle();
    EXPECT_EQ(state(1).brightness.get(), 60.0);
    EXPECT_FLOAT_EQ(*manager->readBuiltInBrightness(), 0.6f);
    EXPECT_EQ(state(2).brightness.get(), 60.0);
    EXPECT_TRUE(manager->osdManager()->customOSDs().count(1));

    ASSERT_TRUE(machine_->input().pressHotKey(125, input::kControlKey));
    executor().runUntilIdle();
    EXPECT_EQ(state(2).volume.get(), 10.0);  // 20 - the brightness step
    EXPECT_EQ(state(5).volume.get(), 30.0);
    EXPECT_EQ(state(3).volume.get(), 50.0);  // no volume support: untouched

    // Contrast skips, without a panel, every display that lacks it.
    manager->performShortcutAction(ShortcutAction::contrastUp);
    EXPECT_EQ(state(2).contrast.get(), 70.0);
    EXPECT_EQ(state(3).contrast.get(), 50.0);
    EXPECT_EQ(manager->osdManager()->customOSDs().at(2)->hasWindow(), true);
}

}  // namespace
}  // namespace orvane::test
