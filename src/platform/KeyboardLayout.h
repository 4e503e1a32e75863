// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/HotKeyService.h"

namespace orvane::platform {

inline constexpr std::uint16_t kUCKeyActionDisplay = 3;
inline constexpr std::uint32_t kUCKeyTranslateNoDeadKeysMask = 1;

/// A keyboard layout's translation table (opaque to the core).
class UCKeyboardLayout {
  public:
    virtual ~UCKeyboardLayout() = default;
};

/// The current input source; its layout data may be missing (input methods).
class InputSource {
  public:
    virtual ~InputSource() = default;
    /// The layout, owned by the source; none when the source has no layout.
    virtual const UCKeyboardLayout* unicodeKeyLayoutData() const = 0;
};

/// Keyboard-layout services: the current source and key translation.
/// Linux: the user's XKB layout through libxkbcommon.
class KeyboardLayout {
  public:
    virtual ~KeyboardLayout() = default;
    /// The current source, owned by the caller; none when there is none. Main thread.
    virtual std::unique_ptr<InputSource> copyCurrentKeyboardInputSource() = 0;
    /// The keyboard type the translation takes. Main thread.
    virtual std::uint32_t keyboardType() = 0;
    /// Translates keyCode with the modifiers into up to maxLength UTF-16 units
    /// in the caller's buffer; a non-zero status writes nothing. Main thread.
    virtual OSStatus ucKeyTranslate(const UCKeyboardLayout& layout, std::uint16_t keyCode,
                                    std::uint16_t keyAction, std::uint32_t modifierKeyState,
                                    std::uint32_t keyboardType, std::uint32_t options,
                                    std::uint32_t* deadKeyState, std::size_t maxLength,
                                    std::size_t* actualLength, char16_t* unicodeString) = 0;
};

}  // namespace orvane::platform
