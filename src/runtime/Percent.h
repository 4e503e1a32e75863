// SPDX-License-Identifier: MIT
#pragma once

#include <cmath>

namespace orvane::runtime {

/// A 0...1 float from the platform (panel brightness, audio volume) as a
/// percentage. A float holds about seven digits, so the product is rounded to
/// four decimals: a stored 0.3f reads back as 30, not 30.0000012, and a later
/// truncation to whole percent cannot turn it into 29.
inline double percentFromUnit(float unit) {
    const double percent = static_cast<double>(unit) * 100.0;
    if (!std::isfinite(percent)) return 0.0;
    return std::round(percent * 1e4) / 1e4;
}

/// A percentage held to 0...100; at or below 0, and NaN, give 0.
inline double clampPercent(double v) {
    if (!(v > 0)) return 0;
    return v > 100 ? 100 : v;
}

}  // namespace orvane::runtime
