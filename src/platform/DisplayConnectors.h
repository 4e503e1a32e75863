// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

#include "platform/PlatformError.h"
#include "platform/PlatformTypes.h"

namespace orvane::platform {

/// What the machine knows of the monitors beyond the display server's list:
/// the monitor's own name, how it is connected, and the built-in panel's
/// backlight. Main thread.
/// Linux: the DRM connector of the display with its EDID, and the backlight
/// in /sys/class/backlight, set through logind.
class DisplayConnectors {
  public:
    virtual ~DisplayConnectors() = default;

    /// The monitor's product name (its EDID's); none when it gives none.
    virtual std::optional<std::string> productName(DisplayID display) = 0;
    /// How it is connected ("Thunderbolt", "USB-C", "HDMI", "DisplayPort",
    /// "DVI", "VGA", "AirPlay", "Unknown"); none when the machine cannot tell.
    virtual std::optional<std::string> connectionName(DisplayID display) = 0;
    /// The built-in panel's brightness, 0...1; none without a backlight to read.
    virtual std::optional<float> panelBrightness() = 0;
    /// Nothing, or why not (no backlight, refused); nothing changed then.
    virtual std::optional<PlatformError> setPanelBrightness(float level) = 0;
};

}  // namespace orvane::platform
