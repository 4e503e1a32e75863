// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace orvane::input {

/// The six actions a global shortcut can trigger, in the settings window's order.
enum class ShortcutAction {
    brightnessUp,
    brightnessDown,
    contrastUp,
    contrastDown,
    volumeUp,
    volumeDown,
};

inline constexpr std::array<ShortcutAction, 6> kAllShortcutActions{
    ShortcutAction::brightnessUp, ShortcutAction::brightnessDown, ShortcutAction::contrastUp,
    ShortcutAction::contrastDown, ShortcutAction::volumeUp,       ShortcutAction::volumeDown,
};

/// "brightness_up", ...: the name stored in the bindings document.
std::string_view rawValue(ShortcutAction action);
std::optional<ShortcutAction> shortcutActionFromRawValue(std::string_view raw);
/// "Brightness Up", ...
std::string_view label(ShortcutAction action);
/// "brightness-up", ...: the action of orvane://key?action=.
std::string keyCommand(ShortcutAction action);

}  // namespace orvane::input
