// SPDX-License-Identifier: MIT
#pragma once

namespace orvane::platform {

/// Whether the user lets this process observe and change input (event taps need it).
/// Linux: whether the session lets Orvane take keys (always on X11; the portal's
/// consent on Wayland).
class Accessibility {
  public:
    virtual ~Accessibility() = default;
    /// Whether the process may observe and change input; with prompt, the system
    /// asks the user when it may not yet. Main thread.
    virtual bool isProcessTrustedWithOptions(bool prompt) = 0;
};

}  // namespace orvane::platform
