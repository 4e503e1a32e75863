// SPDX-License-Identifier: MIT
#include "input/ShortcutAction.h"

#include <utility>

namespace orvane::input {

namespace {
struct Names {
    std::string_view raw;
    std::string_view label;
};
constexpr std::array<Names, 6> kNames{{
    {"brightness_up", "Brightness Up"},
    {"brightness_down", "Brightness Down"},
    {"contrast_up", "Contrast Up"},
    {"contrast_down", "Contrast Down"},
    {"volume_up", "Volume Up"},
    {"volume_down", "Volume Down"},
}};
}  // namespace

std::string_view rawValue(ShortcutAction action) {
    return kNames[static_cast<std::size_t>(action)].raw;
}

std::string_view label(ShortcutAction action) {
    return kNames[static_cast<std::size_t>(action)].label;
}

std::string keyCommand(ShortcutAction action) {
    std::string name(rawValue(action));
    for (auto& c : name)
        if (c == '_') c = '-';
    return name;
}

std::optional<ShortcutAction> shortcutActionFromRawValue(std::string_view raw) {
    for (auto action : kAllShortcutActions) {
        if (rawValue(action) == raw) return action;
    }
    return std::nullopt;
}

}  // namespace orvane::input
