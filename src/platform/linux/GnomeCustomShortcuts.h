// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopShortcuts.h"

namespace orvane::platform::linux_ {

/// GNOME's custom keyboard shortcuts (GSettings
/// org.gnome.settings-daemon.plugins.media-keys, through GIO): Orvane's
/// entries live at .../custom-keybindings/orvane-<action>/ and run
/// "<program> 'orvane://key?action=<action>'"; every other entry in the list
/// stays as it is. They show in GNOME Settings → Keyboard → Custom Shortcuts,
/// where the user can rebind them.
class GnomeCustomShortcuts final : public DesktopShortcuts {
  public:
    static constexpr const char* kSchema = "org.gnome.settings-daemon.plugins.media-keys";
    static constexpr const char* kEntrySchema =
        "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
    static constexpr const char* kBase =
        "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";

    /// None unless GNOME's schema is installed. program is what the entries
    /// run (the orvane executable).
    static std::optional<GnomeCustomShortcuts> open(std::string program);
    /// The orvane executable of this process: itself, or the one orvane-gui
    /// belongs to (beside it in a build tree, ../../bin once installed).
    static std::string orvane();

    std::string place() const override { return "GNOME's keyboard shortcuts"; }
    bool write(const std::vector<Entry>& entries, std::string& why) override;
    std::vector<std::string> installed() override;

  private:
    explicit GnomeCustomShortcuts(std::string program) : program_(std::move(program)) {}
    std::string program_;
};

}  // namespace orvane::platform::linux_
