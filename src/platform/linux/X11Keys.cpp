// SPDX-License-Identifier: MIT
#include "platform/linux/X11Keys.h"

#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <array>

#include <map>

namespace orvane::platform::linux_ {

const std::array<X11MediaKey, 5>& x11MediaKeys() {
    static const std::array<X11MediaKey, 5> keys{{
        {"XF86AudioRaiseVolume", XF86XK_AudioRaiseVolume, MediaKey::volumeUp},
        {"XF86AudioLowerVolume", XF86XK_AudioLowerVolume, MediaKey::volumeDown},
        {"XF86MonBrightnessUp", XF86XK_MonBrightnessUp, MediaKey::brightnessUp},
        {"XF86MonBrightnessDown", XF86XK_MonBrightnessDown, MediaKey::brightnessDown},
        {"XF86AudioMute", XF86XK_AudioMute, MediaKey::mute},
    }};
    return keys;
}

std::optional<unsigned long> keysymForKeyCode(std::uint32_t keyCode) {
    static const std::map<std::uint32_t, unsigned long> table{
        {0, XK_a},        {1, XK_s},          {2, XK_d},
        {3, XK_f},        {4, XK_h},          {5, XK_g},
        {6, XK_z},        {7, XK_x},          {8, XK_c},
        {9, XK_v},        {11, XK_b},         {12, XK_q},
        {13, XK_w},       {14, XK_e},         {15, XK_r},
        {16, XK_y},       {17, XK_t},         {18, XK_1},
        {19, XK_2},       {20, XK_3},         {21, XK_4},
        {22, XK_6},       {23, XK_5},         {24, XK_equal},
        {25, XK_9},       {26, XK_7},         {27, XK_minus},
        {28, XK_8},       {29, XK_0},         {30, XK_bracketright},
        {31, XK_o},       {32, XK_u},         {33, XK_bracketleft},
        {34, XK_i},       {35, XK_p},         {36, XK_Return},
        {37, XK_l},       {38, XK_j},         {39, XK_apostrophe},
        {40, XK_k},       {41, XK_semicolon}, {42, XK_backslash},
        {43, XK_comma},   {44, XK_slash},     {45, XK_n},
        {46, XK_m},       {47, XK_period},    {48, XK_Tab},
        {49, XK_space},   {50, XK_grave},     {51, XK_BackSpace},
        {53, XK_Escape},  {96, XK_F5},        {97, XK_F6},
        {98, XK_F7},      {99, XK_F3},        {100, XK_F8},
        {101, XK_F9},     {103, XK_F11},      {109, XK_F10},
        {111, XK_F12},    {115, XK_Home},     {116, XK_Prior},
        {117, XK_Delete}, {118, XK_F4},       {119, XK_End},
        {120, XK_F2},     {121, XK_Next},     {122, XK_F1},
        {123, XK_Left},   {124, XK_Right},    {125, XK_Down},
        {126, XK_Up},
    };
    auto it = table.find(keyCode);
    if (it == table.end()) return std::nullopt;
    return it->second;
}

unsigned int x11Modifiers(std::uint32_t modifiers) {
    unsigned int mask = 0;
    if (modifiers & 0x100) mask |= Mod4Mask;
    if (modifiers & 0x200) mask |= ShiftMask;
    if (modifiers & 0x800) mask |= Mod1Mask;
    if (modifiers & 0x1000) mask |= ControlMask;
    return mask;
}

namespace {
/// The keysym's name after the modifiers' names, in the order control, alt,
/// shift, super; empty for a key without a keysym.
std::string combination(std::uint32_t keyCode, std::uint32_t modifiers,
                        const std::array<const char*, 4>& names) {
    const auto keysym = keysymForKeyCode(keyCode);
    const char* name = keysym ? XKeysymToString(*keysym) : nullptr;
    if (!name) return {};
    std::string s;
    const std::array<std::uint32_t, 4> masks{0x1000, 0x800, 0x200, 0x100};
    for (std::size_t i = 0; i < masks.size(); ++i)
        if (modifiers & masks[i]) s += names[i];
    return s + name;
}
}  // namespace

std::string xdgShortcut(std::uint32_t keyCode, std::uint32_t modifiers) {
    return combination(keyCode, modifiers, {"CTRL+", "ALT+", "SHIFT+", "LOGO+"});
}

std::string gtkAccelerator(std::uint32_t keyCode, std::uint32_t modifiers) {
    return combination(keyCode, modifiers, {"<Control>", "<Alt>", "<Shift>", "<Super>"});
}

}  // namespace orvane::platform::linux_
