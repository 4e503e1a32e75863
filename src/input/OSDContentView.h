// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/WindowToolkit.h"

namespace orvane::input {

/// The panel's content: a symbol, a label, the level as a percentage and a
/// level bar. The toolkit renders it with the layout constants below.
struct OSDContentView final : platform::ContentView {
    OSDContentView(double level, std::string icon, std::string label)
        : level(level), icon(std::move(icon)), label(std::move(label)) {}

    double level;  // 0...1
    std::string icon;
    std::string label;

    /// The whole number of level × 100, truncated toward zero, then "%".
    std::string percentageText() const;
    /// The bar's filled share: level clamped to 0...1.
    double barFill() const;

    // Layout, in points.
    static constexpr double kWidth = 200;
    static constexpr double kHorizontalPadding = 16;
    static constexpr double kVerticalPadding = 12;
    static constexpr double kCornerRadius = 14;
    static constexpr double kBackgroundBlackOpacity = 0.5;
    static constexpr double kSymbolSize = 18;
    static constexpr double kLabelSize = 13;
    static constexpr double kLabelOpacity = 0.9;
    static constexpr double kPercentSize = 12;
    static constexpr double kPercentOpacity = 0.7;
    static constexpr double kTrackHeight = 6;
    static constexpr double kTrackCornerRadius = 3;
    static constexpr double kTrackOpacity = 0.2;
    static constexpr double kFillOpacity = 0.9;
};

}  // namespace orvane::input
