// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvane::platform {

/// The user's keyboard layout, for naming keys.
/// Linux: the XKB layout through libxkbcommon.
class KeyboardLayout {
  public:
    virtual ~KeyboardLayout() = default;
    /// What the key at keyCode (a position, numbered as on a US keyboard, as
    /// shortcut documents store keys) types in the current layout with no
    /// modifier and no dead key; none when there is no layout, or the key
    /// types nothing. Main thread.
    virtual std::optional<std::u32string> keyText(std::uint32_t keyCode) = 0;
};

}  // namespace orvane::platform
