// SPDX-License-Identifier: MIT
#include "input/OSDContentView.h"

#include <cmath>

#include "runtime/Format.h"

namespace orvane::input {

std::string OSDContentView::percentageText() const {
    // Rounded to float precision first, so 0.29 shows 29%, not 28%.
    const double percent = std::round(level * 100.0 * 1e6) / 1e6;
    return std::to_string(runtime::integerPart(percent)) + "%";
}

double OSDContentView::barFill() const {
    if (!(level > 0)) return 0;
    return level > 1 ? 1 : level;
}

}  // namespace orvane::input
