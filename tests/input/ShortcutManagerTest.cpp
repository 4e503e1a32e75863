// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "input/ShortcutManager.h"
#include "input/ShortcutRecorder.h"
#include "support/SimFixture.h"

namespace orvane::input {
namespace {

using platform::sim::SimHotKeyCall;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::uint8_t> bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

class ShortcutTest : public test::SimFixture {
  protected:
    ShortcutTest() {
        manager =
            std::make_shared<ShortcutManager>(machine_->input(), machine_->input(), executor(),
                                              log_, platform::sim::kSimMechanismTexts);
        manager->onAction = [this](ShortcutAction a) { fired.push_back(a); };
    }
    std::string name(std::uint32_t keyCode, std::uint32_t mods = 0) {
        return KeyCombo{keyCode, mods}.displayString(machine_->input());
    }

    std::shared_ptr<ShortcutManager> manager;
    std::vector<ShortcutAction> fired;
};

TEST_F(ShortcutTest, BindingsDocumentReadsAndWrites) {
    const ShortcutBindings two{{"brightness_up", {126, 6144}}, {"volume_down", {120, 768}}};
    const auto encoded = encodeShortcutBindings(two);
    ASSERT_TRUE(encoded);
    EXPECT_EQ(std::string(encoded->begin(), encoded->end()),
              R"({"brightness_up":{"keyCode":126,"modifiers":6144},)"
              R"("volume_down":{"keyCode":120,"modifiers":768}})");
    EXPECT_EQ(decodeShortcutBindings(encoded), two);
    // Unknown names stay; the consumers skip them.
    EXPECT_EQ(decodeShortcutBindings(bytes(R"({"dim_all":{"keyCode":1,"modifiers":2}})")).size(),
              1u);
    EXPECT_EQ(decodeShortcutBindings(bytes(R"({"volume_up":{"keyCode":1.0,"modifiers":0}})")),
              (ShortcutBindings{{"volume_up", {1, 0}}}));
    for (const char* bad :
         {"", "[]", "null", "{", R"({"volume_up":3})", R"({"volume_up":{"keyCode":1}})",
          R"({"volume_up":{"keyCode":-1,"modifiers":0}})",
          R"({"volume_up":{"keyCode":1.5,"modifiers":0}})",
          R"({"volume_up":{"keyCode":4294967296,"modifiers":0}})",
          R"({"volume_up":{"keyCode":"1","modifiers":0}})",
          R"({"a":{"keyCode":1,"modifiers":0},"b":{}})"}) {
        EXPECT_THAT(decodeShortcutBindings(bytes(bad)), IsEmpty()) << bad;
    }
    EXPECT_THAT(decodeShortcutBindings(std::nullopt), IsEmpty());
    EXPECT_FALSE(encodeShortcutBindings({{"\xff", {1, 2}}}));
    EXPECT_EQ(encodeShortcutBindings({}), bytes("{}"));
}

TEST_F(ShortcutTest, RegisterReplaceUnregisterAndFire) {
    auto& input = machine_->input();
    manager->installHandler();
    manager->installHandler();
    EXPECT_EQ(input.handlerCount(), 1u);
    manager->registerShortcut(ShortcutAction::brightnessUp, {126, kControlKey | kOptionKey});
    manager->registerShortcut(ShortcutAction::volumeDown, {120, kCmdKey | kShiftKey});
    manager->registerShortcut(ShortcutAction::brightnessUp, {125, kControlKey});
    EXPECT_EQ(manager->idFor(ShortcutAction::brightnessUp), 3u);
    EXPECT_EQ(input.hotKeyCount(), 2u);
    EXPECT_FALSE(input.pressHotKey(126, kControlKey | kOptionKey));  // the old one is gone
    EXPECT_TRUE(input.pressHotKey(125, kControlKey));
    EXPECT_TRUE(input.pressHotKey(120, kCmdKey | kShiftKey));
    EXPECT_THAT(fired, IsEmpty());  // handled on the main executor, not inside the event
    executor().runUntilIdle();
    EXPECT_THAT(fired, ElementsAre(ShortcutAction::brightnessUp, ShortcutAction::volumeDown));

    // A late event carrying the replaced id, and one no one registered.
    EXPECT_EQ(input.fireHotKeyID({platform::sim::SimInput::kSignature, 1}), platform::sim::noErr);
    EXPECT_EQ(input.fireHotKeyID({0x1234, 7}),
              platform::sim::noErr);  // the signature is not compared
    EXPECT_EQ(input.fireUnreadableHotKeyEvent(), platform::sim::eventNotHandledErr);
    executor().runUntilIdle();
    EXPECT_EQ(fired.size(), 2u);

    manager->unregister(ShortcutAction::contrastUp);
    manager->unregisterAll();
    EXPECT_EQ(input.hotKeyCount(), 0u);
    EXPECT_EQ(input.handlerCount(), 0u);
    EXPECT_THAT(manager->bindings(), IsEmpty());
    EXPECT_THAT(manager->idToAction(), IsEmpty());
    EXPECT_THAT(lines(),
                ElementsAre("[ShortcutManager] Carbon hot key handler installed",
                            "[ShortcutManager] Unregistered Brightness Up",
                            "[ShortcutManager] Registered Brightness Up: ⌃⌥↑ (id=1, keyCode=126, "
                            "mods=6144)",
                            "[ShortcutManager] Unregistered Volume Down",
                            "[ShortcutManager] Registered Volume Down: ⇧⌘F2 (id=2, keyCode=120, "
                            "mods=768)",
                            "[ShortcutManager] Unregistered Brightness Up",
                            "[ShortcutManager] Registered Brightness Up: ⌃↓ (id=3, keyCode=125, "
                            "mods=4096)",
                            "[ShortcutManager] Hot key fired: id=3 → Brightness Up",
                            "[ShortcutManager] Hot key fired: id=2 → Volume Down",
                            "[ShortcutManager] Unknown hot key id=1, known ids=[2, 3]",
                            "[ShortcutManager] Unknown hot key id=7, known ids=[2, 3]",
                            "[ShortcutManager] Unregistered Contrast Up",
                            "[ShortcutManager] Unregistered Brightness Up",
                            "[ShortcutManager] Unregistered Volume Down"));
    manager->handleHotKey(9);
    EXPECT_EQ(lines().back(), "[ShortcutManager] Unknown hot key id=9, known ids=[]");
}

TEST_F(ShortcutTest, FailuresAreLoggedAndSpendTheID) {
    auto& input = machine_->input();
    input.failHotKeyCall(SimHotKeyCall::install, -50);
    manager->installHandler();
    EXPECT_FALSE(manager->hasHandler());
    EXPECT_EQ(lines().back(), "[ShortcutManager] Failed to install handler: -50");
    input.failHotKeyCall(SimHotKeyCall::install, platform::sim::noErr);

    input.failHotKeyCall(SimHotKeyCall::registerHotKey, platform::sim::eventHotKeyExistsErr);
    manager->registerShortcut(ShortcutAction::contrastDown, {2, kCmdKey});
    EXPECT_EQ(lines().back(), "[ShortcutManager] Failed to register Contrast Down: status=-9878");
    EXPECT_THAT(manager->bindings(), IsEmpty());
    input.failHotKeyCall(SimHotKeyCall::registerHotKey, platform::sim::noErr);
    manager->registerShortcut(ShortcutAction::contrastDown, {2, kCmdKey});
    EXPECT_EQ(manager->idFor(ShortcutAction::contrastDown), 2u);  // id 1 stays spent
    // The same combination for a second action is refused before the system is asked.
    EXPECT_FALSE(manager->registerShortcut(ShortcutAction::contrastUp, {2, kCmdKey}));
    EXPECT_EQ(lines().back(),
              "[ShortcutManager] \u2318D is already used by Contrast Down - not registered for "
              "Contrast Up");
    EXPECT_EQ(manager->nextHotKeyID(), 3u);
    // A combination another application holds is refused by the system; the
    // action keeps its previous one.
    ShortcutManager other(input, input, executor(), log_, platform::sim::kSimMechanismTexts);
    ASSERT_TRUE(other.registerShortcut(ShortcutAction::volumeUp, {3, kCmdKey}));
    EXPECT_FALSE(manager->registerShortcut(ShortcutAction::contrastDown, {3, kCmdKey}));
    other.unregisterAll();
    EXPECT_EQ(manager->bindings().at(ShortcutAction::contrastDown), (KeyCombo{2, kCmdKey}));

    // Whatever the manager holds is released when it goes.
    manager->installHandler();
    manager.reset();
    EXPECT_EQ(input.hotKeyCount(), 0u);
    EXPECT_EQ(input.handlerCount(), 0u);
}

class MemoryBindingsStore final : public ShortcutBindingsStore {
  public:
    ShortcutBindings shortcutBindings() override { return decodeShortcutBindings(document); }
    void setShortcutBindings(const ShortcutBindings& b) override {
        document = encodeShortcutBindings(b);
    }
    void save() override { ++saves; }
    std::optional<std::vector<std::uint8_t>> document;
    int saves = 0;
};

TEST_F(ShortcutTest, RecordingRules) {
    auto& input = machine_->input();
    MemoryBindingsStore store;
    ShortcutRecorder recorder(*manager, store, *machine_);
    const auto key = [&](std::uint16_t code, std::uint64_t flags) {
        return input.pressKey({code, flags});
    };

    recorder.startRecording(ShortcutAction::volumeUp);
    EXPECT_FALSE(key(0, 0));  // consumed, ignored, still recording
    EXPECT_EQ(recorder.recordingAction(), ShortcutAction::volumeUp);
    EXPECT_FALSE(key(0, kShiftFlag | 0x10000));  // shift alone is enough; caps lock is no modifier
    EXPECT_FALSE(recorder.recordingAction());
    EXPECT_EQ(input.monitorCount(), 0u);
    EXPECT_EQ(manager->bindings().at(ShortcutAction::volumeUp), (KeyCombo{0, kShiftKey}));
    EXPECT_EQ(store.shortcutBindings(), (ShortcutBindings{{"volume_up", {0, kShiftKey}}}));
    EXPECT_TRUE(key(0, kShiftFlag));  // no monitor: the key reaches the application

    // Escape cancels even with command held; nothing changes.
    recorder.startRecording(ShortcutAction::volumeUp);
    recorder.startRecording(ShortcutAction::brightnessDown);  // replaces the first recording
    EXPECT_EQ(input.monitorCount(), 1u);
    EXPECT_FALSE(key(53, kCommandFlag));
    EXPECT_FALSE(recorder.recordingAction());
    EXPECT_EQ(store.saves, 1);

    // Delete (option held) and forward delete clear the recorded action.
    for (std::uint16_t del : {std::uint16_t{51}, std::uint16_t{117}}) {
        recorder.startRecording(ShortcutAction::volumeUp);
        key(del, kOptionFlag);
        EXPECT_FALSE(recorder.recordingAction());
        EXPECT_FALSE(manager->bindings().count(ShortcutAction::volumeUp));
        EXPECT_THAT(store.shortcutBindings(), IsEmpty());
    }
    EXPECT_EQ(store.saves, 3);

    // A combination another action holds, or one the system refuses, is not stored.
    manager->registerShortcut(ShortcutAction::contrastUp, {12, kCmdKey});
    recorder.startRecording(ShortcutAction::contrastDown);
    key(12, kCommandFlag);
    EXPECT_FALSE(manager->bindings().count(ShortcutAction::contrastDown));
    EXPECT_FALSE(store.shortcutBindings().count("contrast_down"));
    input.failHotKeyCall(SimHotKeyCall::registerHotKey, platform::sim::eventHotKeyExistsErr);
    recorder.startRecording(ShortcutAction::volumeDown);
    key(13, kCommandFlag);
    input.failHotKeyCall(SimHotKeyCall::registerHotKey, platform::sim::noErr);
    EXPECT_FALSE(store.shortcutBindings().count("volume_down"));

    // The clear button works without recording.
    recorder.clear(ShortcutAction::contrastUp);
    EXPECT_THAT(manager->bindings(), IsEmpty());
    recorder.startRecording(ShortcutAction::volumeDown);
}

}  // namespace
}  // namespace orvane::input
