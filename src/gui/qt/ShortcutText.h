// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "input/KeyCombo.h"
#include "platform/KeyboardLayout.h"

namespace orvane::gui {

/// A combination as a Linux desktop writes it ("Ctrl+Alt+B", "Meta+Up"):
/// QKeySequence's native text, with the key named by the user's layout.
struct ShortcutText {
    static std::string desktop(const input::KeyCombo& combo, platform::KeyboardLayout& layout);
};

}  // namespace orvane::gui
