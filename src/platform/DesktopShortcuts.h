// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane::platform {

/// The desktop's own keyboard shortcuts, where Orvane may add entries that
/// run its key commands (GNOME's custom shortcuts), for desktops where it
/// cannot take global shortcuts itself. Only entries Orvane wrote are ever
/// changed or removed. Main thread.
class DesktopShortcuts {
  public:
    /// One of Orvane's entries: the key command it runs ("brightness-up"),
    /// the name shown in the desktop's settings, and its keys (key code and
    /// hot-key modifiers; code 0 for none: the user binds it there).
    struct Entry {
        std::string action;
        std::string name;
        std::uint32_t keyCode = 0;
        std::uint32_t modifiers = 0;
        bool operator==(const Entry&) const = default;
    };

    virtual ~DesktopShortcuts() = default;
    /// Where the entries go, as the user knows it ("GNOME's keyboard
    /// shortcuts").
    virtual std::string place() const = 0;
    /// Makes entries Orvane's entries there: ones written before and no
    /// longer listed go. False, with why, when the desktop's settings
    /// cannot be written.
    virtual bool write(const std::vector<Entry>& entries, std::string& why) = 0;
    /// The actions of Orvane's entries the desktop holds now (the user may
    /// have removed some there).
    virtual std::vector<std::string> installed() = 0;
};

}  // namespace orvane::platform
