// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "platform/KeyboardLayout.h"

struct xkb_context;
struct xkb_keymap;

namespace orvane::platform::linux_ {

/// Key names in the user's keyboard layout, through libxkbcommon: the X
/// server's keymap in an X11 session, else the layout XKB_DEFAULT_LAYOUT
/// names (the system default without it). The core's key codes are
/// positions on a US keyboard; each is read as that position in the layout.
class XkbKeyboardLayout final : public KeyboardLayout {
  public:
    /// The X server's keymap on displayName (empty: none), else the default.
    /// None when libxkbcommon has no keymap at all (no xkb-data).
    static std::unique_ptr<XkbKeyboardLayout> load(const std::string& displayName);
    /// A named layout ("de", "fr"), for tests.
    static std::unique_ptr<XkbKeyboardLayout> named(const std::string& layout);
    ~XkbKeyboardLayout() override;

    std::optional<std::u32string> keyText(std::uint32_t keyCode) override;

  private:
    XkbKeyboardLayout(xkb_context* context, xkb_keymap* keymap);
    xkb_context* context_;
    xkb_keymap* keymap_;
};

}  // namespace orvane::platform::linux_
