// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "schedule/SunTimes.h"

namespace orvane::schedule {

/// When a preset comes into force each day: at a time of day, or at sunrise
/// or sunset with an offset.
struct PresetSchedule {
    enum class Event { time, sunrise, sunset };
    Event event = Event::time;
    /// For a time, minutes after local midnight (0 to 1439); for a sun event,
    /// the offset in minutes (-720 to 720).
    int minutes = 0;
    bool operator==(const PresetSchedule&) const = default;

    /// "21:30", "sunset", "sunset-30", "sunrise+15": as URLs and people write it.
    static std::optional<PresetSchedule> parse(std::string_view text);
    /// The same words: "21:30", "sunset-30".
    std::string text() const;
    /// Stored as {"event":"sunset","minutes":-30}; none for bytes of another shape.
    static std::optional<PresetSchedule> decode(const std::vector<std::uint8_t>& bytes);
    std::vector<std::uint8_t> encode() const;
    /// Whether it needs a location to fall anywhere.
    bool followsTheSun() const { return event != Event::time; }
};

/// The moment (seconds since 1970) the schedule falls on, on the local
/// calendar day around localTime (in the process's time zone, read anew each
/// call); none on a day without that sun event, or without a location for one.
std::optional<double> momentOnDayOf(const PresetSchedule& schedule, double localTime, int dayOffset,
                                    const std::optional<Location>& where);
/// The latest moment at or before now, looking back a few days.
std::optional<double> lastMoment(const PresetSchedule& schedule, double now,
                                 const std::optional<Location>& where);
/// The first moment after now, looking ahead a few days.
std::optional<double> nextMoment(const PresetSchedule& schedule, double now,
                                 const std::optional<Location>& where);

}  // namespace orvane::schedule
