// SPDX-License-Identifier: MIT
#include "ddc/Capabilities.h"

#include <algorithm>
#include <cctype>

namespace orvane::ddc {

namespace {

// Deeper nesting than any monitor writes is a malformed string, not a reason
// to recurse without bound.
constexpr int kMaxDepth = 8;

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

/// A cursor over the string; every step stays within it.
struct Reader {
    std::string_view s;
    std::size_t i = 0;

    bool done() const { return i >= s.size(); }
    char peek() const { return s[i]; }
    void skipSpace() {
        while (!done() && isSpace(s[i]))
            ++i;
    }
    /// A two-digit hex number at the cursor.
    std::optional<std::uint8_t> hexPair() {
        if (i + 1 >= s.size()) return std::nullopt;
        const int hi = hexDigit(s[i]), lo = hexDigit(s[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        i += 2;
        return static_cast<std::uint8_t>(hi << 4 | lo);
    }
    /// The body of the group whose '(' was just read, up to its ')', which is
    /// consumed; false when the string ends first (the body is then the rest).
    bool group(std::string_view& body) {
        const std::size_t start = i;
        int depth = 1;
        for (; i < s.size(); ++i) {
            if (s[i] == '(') ++depth;
            if (s[i] == ')' && --depth == 0) {
                body = s.substr(start, i - start);
                ++i;
                return true;
            }
        }
        body = s.substr(start);
        return false;
    }
};

std::string trimmed(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

/// The values of one feature: hex pairs, anything else skipped.
std::vector<std::uint8_t> values(std::string_view body) {
    std::vector<std::uint8_t> out;
    Reader r{body};
    while (!r.done()) {
        if (auto v = r.hexPair()) {
            if (std::find(out.begin(), out.end(), *v) == out.end()) out.push_back(*v);
        } else {
            ++r.i;
        }
    }
    return out;
}

/// The vcp list: codes, each with an optional group of values.
void features(std::string_view body, bool& complete, std::vector<CapabilityFeature>& out) {
    Reader r{body};
    while (!r.done()) {
        r.skipSpace();
        if (r.done()) break;
        auto code = r.hexPair();
        if (!code) {
            ++r.i;  // a stray character
            continue;
        }
        CapabilityFeature f{*code, {}};
        r.skipSpace();
        if (!r.done() && r.peek() == '(') {
            ++r.i;
            std::string_view list;
            if (!r.group(list)) complete = false;
            f.values = values(list);
        }
        auto same = std::find_if(out.begin(), out.end(),
                                 [&](const CapabilityFeature& g) { return g.code == f.code; });
        if (same == out.end()) {
            out.push_back(std::move(f));
        } else if (same->values.empty()) {
            same->values = std::move(f.values);
        }
    }
}

void groups(std::string_view text, int depth, Capabilities& caps, bool& sawVCP) {
    Reader r{text};
    while (!r.done()) {
        r.skipSpace();
        if (r.done()) break;
        if (r.peek() == '(') {
            // A group without a name: the outer parentheses.
            ++r.i;
            std::string_view body;
            if (!r.group(body)) caps.complete = false;
            if (depth < kMaxDepth) groups(body, depth + 1, caps, sawVCP);
            continue;
        }
        const std::size_t start = r.i;
        while (!r.done() && (std::isalnum(static_cast<unsigned char>(r.peek())) ||
                             r.peek() == '_' || r.peek() == '-'))
            ++r.i;
        if (r.i == start) {
            ++r.i;  // a stray character
            continue;
        }
        std::string key(text.substr(start, r.i - start));
        std::transform(key.begin(), key.end(), key.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        r.skipSpace();
        if (r.done() || r.peek() != '(') continue;
        ++r.i;
        std::string_view body;
        if (!r.group(body)) caps.complete = false;
        if (key == "vcp") {
            sawVCP = true;
            features(body, caps.complete, caps.features);
        } else if (key == "type") {
            caps.type = trimmed(body);
        } else if (key == "model") {
            caps.model = trimmed(body);
        } else if (key == "mccs_ver") {
            caps.mccsVersion = trimmed(body);
        }
    }
}

}  // namespace

const CapabilityFeature* Capabilities::feature(std::uint8_t code) const {
    auto it = std::find_if(features.begin(), features.end(),
                           [&](const CapabilityFeature& f) { return f.code == code; });
    return it == features.end() ? nullptr : &*it;
}

std::optional<Capabilities> parseCapabilities(std::string_view text) {
    // A monitor pads a fragment with NULs or stops at one.
    text = text.substr(0, text.find('\0'));
    Capabilities caps;
    caps.raw = std::string(text);
    bool sawVCP = false;
    groups(text, 0, caps, sawVCP);
    if (!sawVCP) return std::nullopt;
    return caps;
}

}  // namespace orvane::ddc
