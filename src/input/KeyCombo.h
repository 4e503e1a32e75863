// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/KeyboardLayout.h"

namespace orvane::input {

// The hot-key service's modifier bits.
inline constexpr std::uint32_t kCmdKey = 0x0100;
inline constexpr std::uint32_t kShiftKey = 0x0200;
inline constexpr std::uint32_t kOptionKey = 0x0800;
inline constexpr std::uint32_t kControlKey = 0x1000;

// The window toolkit's modifier flags.
inline constexpr std::uint64_t kShiftFlag = 0x20000;
inline constexpr std::uint64_t kControlFlag = 0x40000;
inline constexpr std::uint64_t kOptionFlag = 0x80000;
inline constexpr std::uint64_t kCommandFlag = 0x100000;
inline constexpr std::uint64_t kDeviceIndependentModifiers = 0x1E0000;

/// A key combination: the main key's virtual key code and the hot-key
/// service's modifier mask.
struct KeyCombo {
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;

    bool operator==(const KeyCombo&) const = default;

    /// "⌃⌥↑", "⇧⌘F2": modifier glyphs in a fixed order, then the key's name.
    std::string displayString(platform::KeyboardLayout& layout) const;
    /// A fixed name, else the current layout's text in upper case, else "Key<k>".
    static std::string keyName(std::uint32_t keyCode, platform::KeyboardLayout& layout);
    static std::uint32_t carbonModifiers(std::uint64_t flags);
};

/// The bindings document: action raw value to combination. Unknown member
/// names stay in the map; the consumers skip them.
using ShortcutBindings = std::map<std::string, KeyCombo>;

/// No bytes, or bytes that are not such a document, read as no bindings.
ShortcutBindings decodeShortcutBindings(const std::optional<std::vector<std::uint8_t>>& bytes);
/// None when the bytes are not such a document.
std::optional<ShortcutBindings> tryDecodeShortcutBindings(const std::vector<std::uint8_t>& bytes);
/// Compact JSON, as stored in the settings record.
std::optional<std::vector<std::uint8_t>> encodeShortcutBindings(const ShortcutBindings& bindings);

}  // namespace orvane::input

template <>
struct std::hash<orvane::input::KeyCombo> {
    std::size_t operator()(const orvane::input::KeyCombo& c) const noexcept {
        return std::hash<std::uint64_t>{}((std::uint64_t{c.keyCode} << 32) | c.modifiers);
    }
};
