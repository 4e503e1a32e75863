// SPDX-License-Identifier: MIT
#include "runtime/Format.h"

#include <locale.h>
#include <wctype.h>
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

namespace {

constexpr char32_t kReplacement = 0xFFFD;

/// The code point at s[i], advancing i; an invalid sequence gives U+FFFD and
/// skips one byte, so the rest still decodes.
char32_t decodeAt(std::string_view s, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + length > s.size()) {
        ++i;
        return kReplacement;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += length;
    return cp;
}

/// glibc's C.UTF-8 carries the Unicode case tables, and a locale object of our
/// own keeps the result independent of the user's LC_CTYPE.
locale_t unicodeLocale() {
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
        return l ? l : newlocale(LC_CTYPE_MASK, "C", locale_t(0));
    }();
    return locale;
}

}  // namespace

void appendUTF8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string lowercased(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    const locale_t locale = unicodeLocale();
    for (std::size_t i = 0; i < s.size();) {
        const char32_t cp = decodeAt(s, i);
        if (cp < 0x80) {
            out += static_cast<char>(cp >= 'A' && cp <= 'Z' ? cp - 'A' + 'a' : cp);
            continue;
        }
        const wint_t lower = locale ? towlower_l(static_cast<wint_t>(cp), locale) : cp;
        appendUTF8(out, static_cast<char32_t>(lower));
    }
    return out;
}

std::string validUTF8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t start = i;
        const char32_t cp = decodeAt(s, i);
        if (cp == kReplacement && i - start == 1) {
            appendUTF8(out, cp);
        } else {
            out.append(s.substr(start, i - start));
        }
    }
    return out;
}

long long integerPart(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 9e18) return 0;
    return static_cast<long long>(value);
}

}  // namespace orvane::runtime
