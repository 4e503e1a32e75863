// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

namespace orvane::platform {

/// Starting the application at login (SMAppService's main application).
/// Linux: an XDG autostart entry.
class LoginItems {
  public:
    virtual ~LoginItems() = default;
    /// Starts the application at every login from now on; the reason when it
    /// cannot. Main thread.
    virtual std::optional<std::string> registerApp() = 0;
    /// Stops starting it at login; the reason when it cannot. Main thread.
    virtual std::optional<std::string> unregisterApp() = 0;
    /// Whether it is registered now.
    virtual bool isRegistered() const = 0;
};

}  // namespace orvane::platform
