// SPDX-License-Identifier: MIT
#include "runtime/Format.h"

#include <charconv>
#include <cmath>

namespace orvane::runtime {

std::string decimal(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

}  // namespace orvane::runtime
