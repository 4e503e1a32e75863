// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "input/MediaKeyInterceptor.h"
#include "support/SimFixture.h"

namespace orvane::input {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::int64_t keyWord(std::uint32_t keyType, std::uint32_t state, std::uint32_t noise = 0) {
    // Bits 0-7 and 24-31 carry nothing the interceptor reads.
    return static_cast<std::int64_t>((noise & 0xFF0000FFu) | (keyType << 16) | (state << 8));
}

class MediaKeyInterceptorTest : public test::SimFixture {
  protected:
    MediaKeyInterceptorTest() {
        interceptor = std::make_shared<MediaKeyInterceptor>(machine_->input(), executor(), log_,
                                                            platform::sim::kSimMechanismTexts);
        interceptor->onBrightnessKey = [this](double d) {
            calls.push_back("brightness " + fmt(d));
        };
        interceptor->onVolumeKey = [this](double d) { calls.push_back("volume " + fmt(d)); };
        interceptor->onMuteKey = [this] { calls.push_back("mute"); };
    }
    static std::string fmt(double d) { return std::to_string(d); }
    /// Posts a key word through the tap; true when consumed. Runs the posted callbacks.
    bool press(std::int64_t word) {
        const bool consumed = machine_->input().postSystemDefined(word);
        executor().runUntilIdle();
        return consumed;
    }

    std::shared_ptr<MediaKeyInterceptor> interceptor;
    std::vector<std::string> calls;
};

TEST_F(MediaKeyInterceptorTest, DecodesEveryStateAndKeyTypeByte) {
    ASSERT_TRUE(interceptor->start());
    interceptor->setInterceptVolume(true);
    interceptor->setHasExternalDisplays(true);
    std::size_t consumedCount = 0;
    for (std::uint32_t state = 0; state < 256; ++state) {
        for (std::uint32_t type = 0; type < 256; ++type) {
            const bool handledKey = type <= 3 || type == 7;
            const bool pressState = state == 0x00 || state == 0x02;
            const auto word = keyWord(type, state, (state * 7919u + type * 104729u) * 2654435761u);
            const bool consumed = machine_->input().postSystemDefined(word);
            ASSERT_EQ(consumed, handledKey && pressState) << "state " << state << " type " << type;
            consumedCount += consumed;
        }
    }
    EXPECT_EQ(consumedCount, 10u);
    executor().runUntilIdle();
    // State 0x00 then 0x02, each in key-type order 0, 1, 2, 3, 7.
    const std::vector<std::string> once{"volume 6.250000", "volume -6.250000",
                                        "brightness 6.250000", "brightness -6.250000", "mute"};
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(calls, twice);
}

TEST_F(MediaKeyInterceptorTest, FlagsAndExternalDisplaysDecideWhatIsRedirected) {
    ASSERT_TRUE(interceptor->start());
    // Defaults: brightness redirected, volume not, but no external display yet.
    EXPECT_FALSE(press(keyWord(2, 0)));
    EXPECT_FALSE(press(keyWord(0, 0)));
    EXPECT_FALSE(press(keyWord(7, 0)));  // mute follows the volume flag
    interceptor->setHasExternalDisplays(true);
    EXPECT_TRUE(press(keyWord(3, 0)));
    EXPECT_FALSE(press(keyWord(1, 0)));
    // Volume keys do not depend on external displays.
    interceptor->setHasExternalDisplays(false);
    interceptor->setInterceptVolume(true);
    EXPECT_TRUE(press(keyWord(0, 0)));
    EXPECT_TRUE(press(keyWord(7, 0)));
    interceptor->setInterceptBrightness(false);
    interceptor->setHasExternalDisplays(true);
    EXPECT_FALSE(press(keyWord(2, 2)));
    interceptor->setBrightnessStep(10);
    interceptor->setVolumeStep(2.5);
    interceptor->setInterceptBrightness(true);
    EXPECT_TRUE(press(keyWord(2, 0)));
    EXPECT_TRUE(press(keyWord(1, 0)));
    EXPECT_THAT(calls, ElementsAre("brightness -6.250000", "volume 6.250000", "mute",
                                   "brightness 10.000000", "volume -2.500000"));
    // What passed through reached the system untouched.
    const auto passed = machine_->input().eventsReachingSystem();
    ASSERT_EQ(passed.size(), 5u);
    EXPECT_EQ(passed[0].fields.at(0).second, keyWord(2, 0));
}

TEST_F(MediaKeyInterceptorTest, ConsumedPressWithoutCallbackDoesNothing) {
    ASSERT_TRUE(interceptor->start());
    interceptor->setHasExternalDisplays(true);
    interceptor->onBrightnessKey = nullptr;
    EXPECT_TRUE(press(keyWord(2, 0)));
    // A callback cleared after the press but before the posted call runs.
    interceptor->onBrightnessKey = [this](double) { calls.push_back("late"); };
    machine_->input().postSystemDefined(keyWord(2, 0));
    interceptor->onBrightnessKey = nullptr;
    executor().runUntilIdle();
    EXPECT_THAT(calls, IsEmpty());
    // Calls are posted, never made inside the tap callback.
    interceptor->onBrightnessKey = [this](double) { calls.push_back("posted"); };
    machine_->input().postSystemDefined(keyWord(2, 0));
    EXPECT_THAT(calls, IsEmpty());
    executor().runUntilIdle();
    EXPECT_THAT(calls, ElementsAre("posted"));
}

TEST_F(MediaKeyInterceptorTest, StartStopAndPermission) {
    auto& input = machine_->input();
    input.setAccessibilityTrusted(false);
    EXPECT_FALSE(interceptor->start());
    EXPECT_FALSE(interceptor->isRunning());
    EXPECT_EQ(input.tapCount(), 0u);
    EXPECT_THAT(lines(), ElementsAre("[MediaKeyInterceptor] Failed to create event tap - is "
                                     "Accessibility permission granted?"));
    interceptor->stop();  // not running: silent
    EXPECT_EQ(lines().size(), 1u);

    input.setAccessibilityTrusted(true);
    EXPECT_TRUE(interceptor->start());
    EXPECT_TRUE(interceptor->start());
    EXPECT_EQ(input.tapCount(), 1u);
    EXPECT_EQ(input.runLoopSourceCount(), 1u);
    EXPECT_TRUE(input.tapEnabled());
    interceptor->stop();
    interceptor->stop();
    EXPECT_EQ(input.tapCount(), 0u);
    EXPECT_EQ(input.runLoopSourceCount(), 0u);
    EXPECT_THAT(lines(),
                ElementsAre(::testing::_, "[MediaKeyInterceptor] Media key interception started",
                            "[MediaKeyInterceptor] Media key interception stopped"));
}

TEST_F(MediaKeyInterceptorTest, DisabledTapIsReenabledAndNoticesPassThrough) {
    auto& input = machine_->input();
    ASSERT_TRUE(interceptor->start());
    interceptor->setHasExternalDisplays(true);
    for (bool byTimeout : {true, false}) {
        EXPECT_FALSE(input.disableTaps(byTimeout));  // the notice is never consumed
        EXPECT_TRUE(input.tapEnabled());
        EXPECT_TRUE(interceptor->isRunning());
        EXPECT_TRUE(press(keyWord(2, 0)));
    }
    // Events of other types never reach the handler: the tap only listens to type 14.
    EXPECT_FALSE(input.postEvent(platform::sim::CGEvent{10, {{87, keyWord(2, 0)}}}));
    EXPECT_EQ(calls.size(), 2u);
}

}  // namespace
}  // namespace orvane::input
