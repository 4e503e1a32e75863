// SPDX-License-Identifier: MIT
#include "runtime/Format.h"

#include <algorithm>
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

std::string lowercased(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

long long integerPart(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 9e18) return 0;
    return static_cast<long long>(value);
}

}  // namespace orvane::runtime
