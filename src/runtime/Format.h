// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace orvane::runtime {

/// The shortest text that reads back as value, always with a fraction:
/// 75 is "75.0", 62.5 is "62.5", 0.1 is "0.1".
std::string decimal(double value);

/// Unicode lower case ("SALON TÉLÉ" reads "salon télé"), whatever the process
/// locale; names and transport codes are compared this way. Bytes that are not
/// UTF-8 come out as U+FFFD.
std::string lowercased(std::string_view s);

/// c as UTF-8 at the end of out.
void appendUTF8(std::string& out, char32_t c);

/// s with every byte sequence that is not valid UTF-8 replaced by U+FFFD.
std::string validUTF8(std::string_view s);

/// Integer part toward zero; values a platform never reports (NaN, infinities,
/// beyond 64 bits) read as 0 instead of overflowing.
long long integerPart(double value);

}  // namespace orvane::runtime
