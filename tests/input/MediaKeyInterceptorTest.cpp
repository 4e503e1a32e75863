// SPDX-License-Identifier: MIT
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "input/MediaKeyInterceptor.h"
#include "support/SimFixture.h"

namespace orvane::input {
namespace {

using ::testing::ElementsAre;

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

}  // namespace
}  // namespace orvane::input
