// SPDX-License-Identifier: MIT
#include "platform/linux/XkbKeyboardLayout.h"

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <map>

namespace orvane::platform::linux_ {

namespace {

/// US-layout virtual key codes to the evdev codes of the same positions.
const std::map<std::uint16_t, std::uint32_t>& evdevCodes() {
    static const std::map<std::uint16_t, std::uint32_t> codes{
        {0, 30},  {1, 31},  {2, 32},  {3, 33},  {4, 35},  {5, 34},  {6, 44},  {7, 45},
        {8, 46},  {9, 47},  {10, 86}, {11, 48}, {12, 16}, {13, 17}, {14, 18}, {15, 19},
        {16, 21}, {17, 20}, {18, 2},  {19, 3},  {20, 4},  {21, 5},  {22, 7},  {23, 6},
        {24, 13}, {25, 10}, {26, 8},  {27, 12}, {28, 9},  {29, 11}, {30, 27}, {31, 24},
        {32, 22}, {33, 26}, {34, 23}, {35, 25}, {37, 38}, {38, 36}, {39, 40}, {40, 37},
        {41, 39}, {42, 43}, {43, 51}, {44, 53}, {45, 49}, {46, 50}, {47, 52}, {50, 41},
    };
    return codes;
}

xkb_keymap* fromX11(xkb_context* context, const std::string& displayName) {
    if (displayName.empty()) return nullptr;
    xcb_connection_t* c = xcb_connect(displayName.c_str(), nullptr);
    xkb_keymap* keymap = nullptr;
    if (c && !xcb_connection_has_error(c) &&
        xkb_x11_setup_xkb_extension(c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                    XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr,
                                    nullptr)) {
        const auto device = xkb_x11_get_core_keyboard_device_id(c);
        if (device >= 0)
            keymap =
                xkb_x11_keymap_new_from_device(context, c, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    }
    if (c) xcb_disconnect(c);
    return keymap;
}

}  // namespace

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::load(const std::string& displayName) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context) return nullptr;
    xkb_keymap* keymap = fromX11(context, displayName);
    if (!keymap) {
        // The names libxkbcommon takes from XKB_DEFAULT_* or its defaults.
        xkb_rule_names names{};
        keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    }
    if (!keymap) {
        xkb_context_unref(context);
        return nullptr;
    }
    return std::unique_ptr<XkbKeyboardLayout>(new XkbKeyboardLayout(context, keymap));
}

std::unique_ptr<XkbKeyboardLayout> XkbKeyboardLayout::named(const std::string& layout) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context) return nullptr;
    xkb_rule_names names{};
    names.layout = layout.c_str();
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) {
        xkb_context_unref(context);
        return nullptr;
    }
    return std::unique_ptr<XkbKeyboardLayout>(new XkbKeyboardLayout(context, keymap));
}

XkbKeyboardLayout::XkbKeyboardLayout(xkb_context* context, xkb_keymap* keymap)
    : context_(context), keymap_(keymap) {}

XkbKeyboardLayout::~XkbKeyboardLayout() {
    xkb_keymap_unref(keymap_);
    xkb_context_unref(context_);
}

std::optional<std::u32string> XkbKeyboardLayout::keyText(std::uint32_t keyCode) {
    auto code = evdevCodes().find(keyCode);
    if (code == evdevCodes().end()) return std::nullopt;
    // The first level of the layout's first group: the key's own symbol, no
    // modifiers and no dead-key composition.
    const xkb_keysym_t* syms = nullptr;
    const int n = xkb_keymap_key_get_syms_by_level(keymap_, code->second + 8, 0, 0, &syms);
    if (n <= 0) return std::nullopt;
    const std::uint32_t c = xkb_keysym_to_utf32(syms[0]);
    if (c == 0) return std::nullopt;
    return std::u32string(1, char32_t(c));
}

}  // namespace orvane::platform::linux_
