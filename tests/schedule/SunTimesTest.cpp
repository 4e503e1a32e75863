// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "schedule/PresetSchedule.h"
#include "schedule/SunTimes.h"
#include "support/ScopedTimeZone.h"

namespace orvane::schedule {
namespace {

using test::ScopedTimeZone;
using test::utc;

struct Published {
    const char* place;
    Location where;
    int y, m, d;
    // The tables' times in UTC (sunrise hour, minute; sunset hour, minute),
    // each with its UTC date.
    int riseDay, riseH, riseM, setDay, setH, setM;
};

TEST(SunTimes, MatchPublishedTablesWithinTwoMinutes) {
    // Sunrise and sunset as the almanac tables give them (local times turned to UTC).
    const Published cases[] = {
        {"London, June solstice", {51.5074, -0.1278}, 2024, 6, 20, 20, 3, 43, 20, 20, 21},
        {"London, December solstice", {51.5074, -0.1278}, 2024, 12, 21, 21, 8, 4, 21, 15, 53},
        {"New York, December", {40.7128, -74.0060}, 2024, 12, 21, 21, 12, 16, 21, 21, 32},
        {"Sydney, December (east of UTC)",
         {-33.8688, 151.2093},
         2024,
         12,
         21,
         20,
         18,
         41,
         21,
         9,
         5},
    };
    for (const auto& c : cases) {
        const auto sun =
            sunTimes(c.y, static_cast<unsigned>(c.m), static_cast<unsigned>(c.d), c.where);
        ASSERT_TRUE(sun.sunrise && sun.sunset) << c.place;
        EXPECT_NEAR(*sun.sunrise, utc(c.y, c.m, c.riseDay, c.riseH, c.riseM), 120) << c.place;
        EXPECT_NEAR(*sun.sunset, utc(c.y, c.m, c.setDay, c.setH, c.setM), 120) << c.place;
        EXPECT_FALSE(sun.alwaysUp || sun.alwaysDown) << c.place;
    }
    // Tromsø: polar night in December, midnight sun in June.
    const Location tromso{69.6496, 18.9560};
    const auto winter = sunTimes(2024, 12, 21, tromso);
    EXPECT_FALSE(winter.sunrise || winter.sunset);
    EXPECT_TRUE(winter.alwaysDown && !winter.alwaysUp);
    const auto summer = sunTimes(2024, 6, 21, tromso);
    EXPECT_FALSE(summer.sunrise || summer.sunset);
    EXPECT_TRUE(summer.alwaysUp && !summer.alwaysDown);
}

TEST(PresetSchedule, TextsAndStoredFormRoundTripAndBadOnesAreRefused) {
    for (const char* text : {"21:30", "00:00", "23:59", "sunset", "sunrise+15", "sunset-30"}) {
        const auto s = PresetSchedule::parse(text);
        ASSERT_TRUE(s) << text;
        EXPECT_EQ(s->text(), text);
        EXPECT_EQ(PresetSchedule::decode(s->encode()), s) << text;
    }
    EXPECT_EQ(PresetSchedule::parse("sunset-30")->encode(),
              (PresetSchedule{PresetSchedule::Event::sunset, -30}.encode()));
    const std::string stored = R"({"event":"sunset","minutes":-30})";
    EXPECT_EQ(PresetSchedule::parse("sunset-30")->encode(),
              std::vector<std::uint8_t>(stored.begin(), stored.end()));
    for (const char* bad : {"", "24:00", "7:5", "12:60", "noon", "sunset30", "sunrise+721",
                            "sunset-", "21:30x", "-1:00"})
        EXPECT_FALSE(PresetSchedule::parse(bad)) << bad;
    for (const char* bad : {R"({"event":"time","minutes":1440})", R"({"event":"dusk","minutes":0})",
                            R"({"event":"time"})", R"([1])", "not json"}) {
        const std::string s(bad);
        EXPECT_FALSE(PresetSchedule::decode({s.begin(), s.end()})) << bad;
    }
}

TEST(PresetSchedule, MomentsFollowTheLocalDayAcrossMidnightAndATimeZoneChange) {
    const auto at2130 = *PresetSchedule::parse("21:30");
    {
        ScopedTimeZone berlin("Europe/Berlin");
        // 2024-03-30 23:00 UTC is 00:00 on the 31st in Berlin (CET), the day
        // clocks go forward: 21:30 that evening is CEST, 19:30 UTC.
        const double now = utc(2024, 3, 30, 23, 0);
        EXPECT_EQ(lastMoment(at2130, now, std::nullopt), utc(2024, 3, 30, 20, 30));
        EXPECT_EQ(nextMoment(at2130, now, std::nullopt), utc(2024, 3, 31, 19, 30));
    }
    {
        ScopedTimeZone tokyo("Asia/Tokyo");
        const double now = utc(2024, 3, 30, 23, 0);  // 08:00 on the 31st in Tokyo
        EXPECT_EQ(lastMoment(at2130, now, std::nullopt), utc(2024, 3, 30, 12, 30));
        EXPECT_EQ(nextMoment(at2130, now, std::nullopt), utc(2024, 3, 31, 12, 30));
    }
    // A sun event needs a place, and lies dormant through the polar night.
    ScopedTimeZone oslo("Europe/Oslo");
    const auto sunset = *PresetSchedule::parse("sunset-30");
    const double now = utc(2024, 12, 21, 12, 0);
    EXPECT_FALSE(lastMoment(sunset, now, std::nullopt));
    const auto london = lastMoment(sunset, now, Location{51.5074, -0.1278});
    ASSERT_TRUE(london);
    EXPECT_NEAR(*london, utc(2024, 12, 20, 15, 22), 120) << "yesterday's sunset, 30 min early";
    EXPECT_FALSE(nextMoment(sunset, now, Location{69.6496, 18.9560}));
}

}  // namespace
}  // namespace orvane::schedule
