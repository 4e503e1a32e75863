// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/PlatformError.h"
#include "platform/PlatformTypes.h"
#include "platform/Subscription.h"

namespace orvane::platform {

/// What a change of the display configuration did to one display.
enum class DisplayChange {
    added,
    removed,
    /// Still there, with another mode, position or gamma reset.
    reconfigured,
};

/// One display mode: its size in points and in pixels, and its refresh rate
/// (0 where the platform does not say).
struct ScreenMode {
    std::int32_t modeID = 0;
    std::size_t width = 0;
    std::size_t height = 0;
    std::size_t pixelWidth = 0;
    std::size_t pixelHeight = 0;
    double refreshRate = 0;
};

/// A display's gamma ramps: one value 0...1 per entry, the three of one size.
struct GammaRamps {
    std::vector<float> red, green, blue;
    bool operator==(const GammaRamps&) const = default;
};

/// The window server's display services.
/// Linux: the displays are the connected DRM connectors, their IDs derived from
/// card and connector; the numbers come from each connector's EDID. Modes and
/// configurations go through XRandR or Mutter's DisplayConfig (read-only from
/// the connector's modes file without a display server), gamma through the
/// CRTC gamma of XRandR, wlr-gamma-control or Mutter, and reconfiguration
/// events come from udev and the display server's own notifications.
class WindowServer {
  public:
    virtual ~WindowServer() = default;

    /// The active displays in the server's order, at most maxDisplays; the
    /// failure when they cannot be listed. Any thread (the DDC queue asks too).
    virtual std::variant<std::vector<DisplayID>, PlatformFailure> activeDisplays(
        std::size_t maxDisplays) = 0;
    /// Whether the display is the built-in panel; false for an unknown one. Any thread.
    virtual bool displayIsBuiltin(DisplayID display) = 0;
    /// The EDID vendor number; 0 for an unknown display. Any thread.
    virtual std::uint32_t vendorNumber(DisplayID display) = 0;
    /// The EDID product (model) number; 0 for an unknown display. Any thread.
    virtual std::uint32_t modelNumber(DisplayID display) = 0;
    /// The EDID serial number; 0 when the display reports none. Any thread.
    virtual std::uint32_t serialNumber(DisplayID display) = 0;
    /// What to call a display that names no product (its vendor, its
    /// connector); none leaves the core's own fallback. Main thread.
    virtual std::optional<std::string> displayLabel(DisplayID) { return std::nullopt; }
    /// The connector it is plugged into, as the desktop names it ("DP-1");
    /// none where the platform has no such name. Main thread.
    virtual std::optional<std::string> connectorName(DisplayID) { return std::nullopt; }
    /// Why the display has no DDC/CI, as the platform found out ("no access
    /// to /dev/i2c-3"); none when it answers or the platform cannot say. Main thread.
    virtual std::optional<std::string> ddcProblem(DisplayID) { return std::nullopt; }

    /// The current mode, as a value; none when it cannot be read. Main thread.
    virtual std::optional<ScreenMode> currentMode(DisplayID display) = 0;
    /// The current width in pixels; 0 for an unknown display. Main thread.
    virtual std::size_t pixelsWide(DisplayID display) = 0;
    /// The current height in pixels; 0 for an unknown display. Main thread.
    virtual std::size_t pixelsHigh(DisplayID display) = 0;
    /// Every mode in the server's order; none when there is no list.
    /// showDuplicateLowResolutionModes is the one option the system ever sets. Main thread.
    virtual std::optional<std::vector<ScreenMode>> displayModes(
        DisplayID display, bool showDuplicateLowResolutionModes) = 0;

    /// Switches the display to mode (one of displayModes') for the login
    /// session; the failure when the platform refused, and then the mode is as
    /// it was. Main thread.
    virtual std::optional<PlatformFailure> setMode(DisplayID display, const ScreenMode& mode) = 0;

    /// The ramps the display shows now, at most capacity entries each (fewer
    /// where it keeps fewer); an error when it has none or they cannot be
    /// read. Main thread.
    virtual std::variant<GammaRamps, PlatformError> gammaRamps(DisplayID display,
                                                               std::size_t capacity) = 0;
    /// Shows ramps (resampled where the display keeps another size); an error
    /// (refused, unknown display) changes nothing. Main thread.
    virtual std::optional<PlatformError> setGammaRamps(DisplayID display,
                                                       const GammaRamps& ramps) = 0;
    /// Every display's ramps back to the colour-management defaults. Main
    /// thread, or the exit hook at process exit.
    virtual void restoreGamma() = 0;

    /// Calls changed on the server's thread for each display of each change,
    /// once it is made, while the subscription lives. Main thread.
    virtual Subscription watchDisplays(std::function<void(DisplayID, DisplayChange)> changed) = 0;
};

/// The active displays; none when they cannot be listed.
inline std::vector<DisplayID> listedDisplays(WindowServer& windowServer, std::size_t maxDisplays) {
    auto listed = windowServer.activeDisplays(maxDisplays);
    auto* ids = std::get_if<std::vector<DisplayID>>(&listed);
    return ids ? std::move(*ids) : std::vector<DisplayID>{};
}

}  // namespace orvane::platform
