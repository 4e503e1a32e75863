// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "gui/viewmodel/UpdateCheck.h"

namespace orvane::gui {
namespace {

TEST(UpdateCheck, DecidesFromTheFeedAndNeverCallsAFailedCheckUpToDate) {
    using K = UpdateCheck::Outcome::Kind;
    const auto item = [](const std::string& version) {
        return "<rss><channel><item id=\"1\"><title>Orvane " + version +
               "</title><link>https://orvane.app/download/" + version +
               "</link></item></channel></rss>";
    };
    const struct {
        std::string error;
        int status;
        std::string body;
        K kind;
        std::string reason;
    } cases[] = {
        {"", 200, "<rss><channel><title>Orvane</title></channel></rss>", K::upToDate, ""},
        {"", 200, item("0.6.0"), K::upToDate, ""},
        {"", 200, item("0.5.9"), K::upToDate, ""},
        {"", 200, item("0.6.0-rc1"), K::upToDate, ""},
        {"", 200, item("0.10.0"), K::newer, ""},
        {"", 200, "", K::failed, "the feed is empty"},
        {"", 404, "<item>", K::failed, "the server answered HTTP 404"},
        {"", 200, "<item><title>Orvane</title></item>", K::failed,
         "the feed's newest release names no version"},
        {"Connection refused", 0, "", K::failed, "Connection refused"},
    };
    for (const auto& c : cases) {
        const auto outcome = UpdateCheck::decide(c.error, c.status, c.body, "0.6.0");
        EXPECT_EQ(outcome.kind, c.kind) << c.body;
        EXPECT_EQ(outcome.reason, c.reason) << c.body;
    }
    const auto newer = UpdateCheck::decide("", 200, item("0.10.0"), "0.6.0");
    EXPECT_EQ(newer.release->link, "https://orvane.app/download/0.10.0");
}

}  // namespace
}  // namespace orvane::gui
