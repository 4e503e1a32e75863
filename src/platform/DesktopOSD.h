// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace orvane::platform {

/// What an on-screen panel shows.
enum class OSDKind { brightness, volume, other };

/// The desktop's own on-screen display, where Orvane's panel cannot be
/// placed and the desktop offers one (Plasma on Wayland). Main thread.
class DesktopOSD {
  public:
    virtual ~DesktopOSD() = default;
    /// Shows label at level (0...1) the desktop's way, without waiting for
    /// it; false when the desktop's display is not there now, and then
    /// Orvane's own panel shows it.
    virtual bool show(OSDKind kind, const std::string& label, double level) = 0;
};

}  // namespace orvane::platform
