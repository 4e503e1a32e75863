// SPDX-License-Identifier: MIT
#include "input/KeyCombo.h"

#include "runtime/Format.h"

#include <locale.h>
#include <wctype.h>

#include <array>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

namespace orvane::input {

namespace {
constexpr std::array<std::pair<std::uint32_t, const char*>, 24> kFixedNames{{
    {36, "Return"}, {48, "Tab"},  {49, "Space"}, {51, "Delete"}, {53, "Esc"},  {96, "F5"},
    {97, "F6"},     {98, "F7"},   {99, "F3"},    {100, "F8"},    {101, "F9"},  {103, "F11"},
    {105, "F13"},   {107, "F14"}, {109, "F10"},  {111, "F12"},   {113, "F15"}, {118, "F4"},
    {120, "F2"},    {122, "F1"},  {123, "←"},    {124, "→"},     {125, "↓"},   {126, "↑"},
}};

/// Upper case for the letters a layout types, in every script (ф is Ф); other
/// characters stay as they are. glibc's C.UTF-8 locale carries Unicode's case
/// mapping, whatever locale the user runs in.
char32_t upper(char32_t c) {
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (c >= U'a' && c <= U'z') return c - 32;
    if (!unicode || c < 0x80) return c;
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), unicode));
}

std::optional<std::uint32_t> uint32Member(const nlohmann::json& object, const char* name) {
    auto it = object.find(name);
    if (it == object.end() || !it->is_number()) return std::nullopt;
    if (it->is_number_unsigned()) {
        const auto v = it->get<std::uint64_t>();
        if (v > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
        return static_cast<std::uint32_t>(v);
    }
    if (it->is_number_integer()) return std::nullopt;  // negative
    const double d = it->get<double>();
    // A whole number written with a fraction (1.0) still decodes; 1.5 does not.
    if (!(d >= 0 && d <= std::numeric_limits<std::uint32_t>::max()) ||
        d != static_cast<double>(static_cast<std::uint32_t>(d))) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(d);
}
}  // namespace

std::string KeyCombo::keyName(std::uint32_t keyCode, platform::KeyboardLayout& layout) {
    for (const auto& [code, name] : kFixedNames) {
        if (code == keyCode) return name;
    }
    const auto text = layout.keyText(keyCode);
    if (!text || text->empty()) return "Key" + std::to_string(keyCode);
    std::string name;
    for (char32_t c : *text)
        runtime::appendUTF8(name, upper(c));
    return name;
}

std::string KeyCombo::displayString(platform::KeyboardLayout& layout) const {
    std::string s;
    if (modifiers & kControlKey) s += "⌃";
    if (modifiers & kOptionKey) s += "⌥";
    if (modifiers & kShiftKey) s += "⇧";
    if (modifiers & kCmdKey) s += "⌘";
    return s + keyName(keyCode, layout);
}

std::uint32_t KeyCombo::carbonModifiers(std::uint64_t flags) {
    std::uint32_t m = 0;
    if (flags & kCommandFlag) m |= kCmdKey;
    if (flags & kShiftFlag) m |= kShiftKey;
    if (flags & kOptionFlag) m |= kOptionKey;
    if (flags & kControlFlag) m |= kControlKey;
    return m;
}

std::optional<ShortcutBindings> tryDecodeShortcutBindings(const std::vector<std::uint8_t>& bytes) {
    const auto doc = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return std::nullopt;
    ShortcutBindings result;
    for (const auto& [name, value] : doc.items()) {
        if (!value.is_object()) return std::nullopt;
        auto keyCode = uint32Member(value, "keyCode");
        auto modifiers = uint32Member(value, "modifiers");
        // One bad member spoils the whole document, as a typed decoder would.
        if (!keyCode || !modifiers) return std::nullopt;
        result[name] = KeyCombo{*keyCode, *modifiers};
    }
    return result;
}

ShortcutBindings decodeShortcutBindings(const std::optional<std::vector<std::uint8_t>>& bytes) {
    if (!bytes) return {};
    return tryDecodeShortcutBindings(*bytes).value_or(ShortcutBindings{});
}

std::optional<std::vector<std::uint8_t>> encodeShortcutBindings(const ShortcutBindings& bindings) {
    nlohmann::json doc = nlohmann::json::object();
    for (const auto& [name, combo] : bindings)
        doc[name] = {{"keyCode", combo.keyCode}, {"modifiers", combo.modifiers}};
    try {
        const auto text = doc.dump();
        return std::vector<std::uint8_t>(text.begin(), text.end());
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;  // a member name that is not valid UTF-8
    }
}

}  // namespace orvane::input
