// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

namespace orvane::schedule {

/// A place on Earth, in degrees: north and east positive.
struct Location {
    double latitude = 0;
    double longitude = 0;
    bool operator==(const Location&) const = default;
};

/// Sunrise and sunset on one calendar day at a place, in seconds since 1970
/// (UTC). Neither on a day of polar night or midnight sun.
struct SunTimes {
    std::optional<double> sunrise;
    std::optional<double> sunset;
    /// The sun stays up all day (midnight sun) or below the horizon (polar night).
    bool alwaysUp = false;
    bool alwaysDown = false;
};

/// The NOAA solar calculator's algorithm (Meeus, "Astronomical Algorithms"),
/// with the standard 0.833° for refraction and the sun's radius: within a
/// minute of the published tables away from the polar circles. The day is the
/// civil date year-month-day as lived at the place (its solar day).
SunTimes sunTimes(int year, unsigned month, unsigned day, const Location& where);

}  // namespace orvane::schedule
