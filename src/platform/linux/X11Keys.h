// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/MediaKeys.h"

namespace orvane::platform::linux_ {

/// A media key: its X keysym name and value and the key it is.
struct X11MediaKey {
    const char* name;
    unsigned long keysym;
    MediaKey key;
};
const std::array<X11MediaKey, 5>& x11MediaKeys();

/// The keysym of a US-layout virtual key code, as the shortcut documents
/// store keys; none for codes without one.
std::optional<unsigned long> keysymForKeyCode(std::uint32_t keyCode);
/// Hot-key modifier flags (command 0x100, shift 0x200, option 0x800,
/// control 0x1000) as X modifier masks: command is Super, option is Alt.
unsigned int x11Modifiers(std::uint32_t modifiers);
/// The combination as an XDG shortcut string ("CTRL+ALT+Up"); empty for a
/// key without a keysym.
std::string xdgShortcut(std::uint32_t keyCode, std::uint32_t modifiers);
/// The combination as GTK and GNOME's settings write it ("<Control><Alt>Up");
/// empty for a key without a keysym.
std::string gtkAccelerator(std::uint32_t keyCode, std::uint32_t modifiers);

}  // namespace orvane::platform::linux_
