// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/LoginItems.h"

namespace orvane::platform::posix {

/// Launch at login as the freedesktop autostart specification has it:
/// "orvane.desktop" in $XDG_CONFIG_HOME/autostart (~/.config/autostart),
/// written atomically, removed on unregister.
class XdgAutostart final : public LoginItems {
  public:
    /// executable: what the entry starts (the running binary).
    XdgAutostart(std::string configHome, std::string executable);
    /// $XDG_CONFIG_HOME, else ~/.config; empty with neither.
    static std::string defaultConfigHome();

    std::optional<std::string> registerApp() override;
    std::optional<std::string> unregisterApp() override;
    bool isRegistered() const override;
    std::string entryPath() const;

  private:
    std::string configHome_;
    std::string executable_;
};

}  // namespace orvane::platform::posix
