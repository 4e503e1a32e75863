// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/PlatformError.h"
#include "platform/PlatformTypes.h"

namespace orvane::platform {

/// A window-server status (CGError); 0 is success.
using CGError = std::int32_t;
inline constexpr CGError kCGErrorSuccess = 0;
inline constexpr CGError kCGErrorFailure = 1000;
inline constexpr CGError kCGErrorIllegalArgument = 1001;
inline constexpr CGError kCGErrorCannotComplete = 1004;
inline constexpr CGError kCGErrorRangeCheck = 1007;
inline constexpr CGError kCGErrorNoneAvailable = 1011;

/// Reconfiguration flags (CGDisplayChangeSummaryFlags).
using CGDisplayChangeSummaryFlags = std::uint32_t;
inline constexpr CGDisplayChangeSummaryFlags kCGDisplayBeginConfigurationFlag = 1u << 0;
inline constexpr CGDisplayChangeSummaryFlags kCGDisplaySetModeFlag = 1u << 3;
inline constexpr CGDisplayChangeSummaryFlags kCGDisplayAddFlag = 1u << 4;
inline constexpr CGDisplayChangeSummaryFlags kCGDisplayRemoveFlag = 1u << 5;

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

/// A mode switch the platform refused: its own name for the step that failed
/// and why.
struct ModeSwitchFailure {
    std::string step;
    PlatformError error;
};

/// Called for each display the window server reconfigures, twice per change:
/// first with the begin flag, then with what changed.
using CGDisplayReconfigurationCallBack = void (*)(DisplayID display,
                                                  CGDisplayChangeSummaryFlags flags,
                                                  void* userInfo);

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

    /// Up to maxDisplays active display IDs into displays (caller-owned), in the
    /// server's order, and their number into count; a non-zero error leaves count 0.
    /// Any thread (the DDC queue asks too).
    virtual CGError getActiveDisplayList(std::uint32_t maxDisplays, DisplayID* displays,
                                         std::uint32_t& count) = 0;
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
    /// The connection ("HDMI", "DisplayPort", "DVI", "VGA", "USB-C", "Unknown")
    /// where the platform knows it directly from the connector; none leaves
    /// the core to read it from the registry. Main thread.
    virtual std::optional<std::string> connectionName(DisplayID) { return std::nullopt; }
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
    virtual std::optional<ModeSwitchFailure> setMode(DisplayID display, const ScreenMode& mode) = 0;

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

    /// Calls callback(display, flags, userInfo) on the server's thread, for each
    /// display of each change, until removed; the pair (callback, userInfo) is the
    /// identity. An error registers nothing. Main thread.
    virtual CGError registerReconfigurationCallback(CGDisplayReconfigurationCallBack callback,
                                                    void* userInfo) = 0;
    /// Removes that pair; no call starts after it returns. Main thread.
    virtual CGError removeReconfigurationCallback(CGDisplayReconfigurationCallBack callback,
                                                  void* userInfo) = 0;
};

}  // namespace orvane::platform
