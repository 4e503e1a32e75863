// SPDX-License-Identifier: MIT
// Written out rather than taken from a library: Debian has no small, kept C++
// library for solar position, and the algorithm is a page of published
// formulas.
#include "schedule/SunTimes.h"

#include <chrono>
#include <cmath>
#include <numbers>

namespace orvane::schedule {

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

double sinDeg(double d) {
    return std::sin(d * kDegree);
}
double cosDeg(double d) {
    return std::cos(d * kDegree);
}

/// Declination (degrees) and equation of time (minutes) at Julian day jd.
struct SolarPosition {
    double declination;
    double equationOfTime;
};

SolarPosition solarPosition(double jd) {
    const double t = (jd - 2451545.0) / 36525.0;  // Julian centuries since J2000
    const double l0 = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0);
    const double m = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    const double e = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double c = sinDeg(m) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                     sinDeg(2 * m) * (0.019993 - 0.000101 * t) + sinDeg(3 * m) * 0.000289;
    const double omega = 125.04 - 1934.136 * t;
    const double apparentLongitude = l0 + c - 0.00569 - 0.00478 * sinDeg(omega);
    const double meanObliquity =
        23.0 + (26.0 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60.0) / 60.0;
    const double obliquity = meanObliquity + 0.00256 * cosDeg(omega);
    const double declination = std::asin(sinDeg(obliquity) * sinDeg(apparentLongitude)) / kDegree;
    const double y = std::pow(std::tan(obliquity / 2 * kDegree), 2);
    const double eqTime =
        4.0 / kDegree *
        (y * sinDeg(2 * l0) - 2 * e * sinDeg(m) + 4 * e * y * sinDeg(m) * cosDeg(2 * l0) -
         0.5 * y * y * sinDeg(4 * l0) - 1.25 * e * e * sinDeg(2 * m));
    return {declination, eqTime};
}

/// Minutes after 0:00 UTC of the day at which the event happens, refined
/// once at its own time; none when the sun does not cross the horizon.
/// Sets alwaysUp when it stays above.
std::optional<double> eventMinutes(double midnightJD, const Location& where, bool rising,
                                   bool& alwaysUp) {
    double minutes = 720.0 - 4.0 * where.longitude;  // about solar noon
    for (int pass = 0; pass < 2; ++pass) {
        const auto sun = solarPosition(midnightJD + minutes / 1440.0);
        const double noon = 720.0 - 4.0 * where.longitude - sun.equationOfTime;
        const double cosHourAngle =
            cosDeg(90.833) / (cosDeg(where.latitude) * cosDeg(sun.declination)) -
            std::tan(where.latitude * kDegree) * std::tan(sun.declination * kDegree);
        if (cosHourAngle < -1.0) {
            alwaysUp = true;
            return std::nullopt;
        }
        if (cosHourAngle > 1.0) return std::nullopt;
        const double hourAngle = std::acos(cosHourAngle) / kDegree;
        minutes = rising ? noon - 4.0 * hourAngle : noon + 4.0 * hourAngle;
    }
    return minutes;
}

}  // namespace

SunTimes sunTimes(int year, unsigned month, unsigned day, const Location& where) {
    using namespace std::chrono;
    const auto date =
        year_month_day{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
    const double unixDays = sys_days{date}.time_since_epoch().count();
    const double midnight = unixDays * 86400.0;
    const double midnightJD = unixDays + 2440587.5;
    SunTimes times;
    bool upAtRise = false;
    bool upAtSet = false;
    if (auto m = eventMinutes(midnightJD, where, true, upAtRise))
        times.sunrise = midnight + *m * 60.0;
    if (auto m = eventMinutes(midnightJD, where, false, upAtSet))
        times.sunset = midnight + *m * 60.0;
    if (!times.sunrise && !times.sunset) {
        times.alwaysUp = upAtRise || upAtSet;
        times.alwaysDown = !times.alwaysUp;
    }
    return times;
}

}  // namespace orvane::schedule
