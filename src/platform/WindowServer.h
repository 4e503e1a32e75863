// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

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

/// One display mode (CGDisplayMode): its size in points and in pixels.
struct CGDisplayMode {
    std::int32_t modeID = 0;
    std::size_t width = 0;
    std::size_t height = 0;
    std::size_t pixelWidth = 0;
    std::size_t pixelHeight = 0;
    double refreshRate = 0;
};

using CGDisplayConfigRef = std::uint64_t;
enum class CGConfigureOption : std::uint32_t { forAppOnly = 0, forSession = 1, permanently = 2 };

/// Called for each display the window server reconfigures, twice per change:
/// first with the begin flag, then with what changed.
using CGDisplayReconfigurationCallBack = void (*)(DisplayID display,
                                                  CGDisplayChangeSummaryFlags flags,
                                                  void* userInfo);

/// The window server's display services.
class WindowServer {
  public:
    virtual ~WindowServer() = default;

    /// Up to maxDisplays active display IDs into displays, their number into count.
    virtual CGError getActiveDisplayList(std::uint32_t maxDisplays, DisplayID* displays,
                                         std::uint32_t& count) = 0;
    virtual bool displayIsBuiltin(DisplayID display) = 0;
    /// The EDID vendor number; 0 for an unknown display.
    virtual std::uint32_t vendorNumber(DisplayID display) = 0;
    /// The EDID product (model) number; 0 for an unknown display.
    virtual std::uint32_t modelNumber(DisplayID display) = 0;
    /// The EDID serial number; 0 when the display reports none.
    virtual std::uint32_t serialNumber(DisplayID display) = 0;

    /// The current mode; none when it cannot be read.
    virtual std::optional<CGDisplayMode> copyDisplayMode(DisplayID display) = 0;
    virtual std::size_t pixelsWide(DisplayID display) = 0;
    virtual std::size_t pixelsHigh(DisplayID display) = 0;
    /// Every mode in the window server's order; none when there is no list.
    /// showDuplicateLowResolutionModes is the one option the system ever sets.
    virtual std::optional<std::vector<CGDisplayMode>> copyAllDisplayModes(
        DisplayID display, bool showDuplicateLowResolutionModes) = 0;

    virtual CGError beginDisplayConfiguration(CGDisplayConfigRef& config) = 0;
    virtual CGError configureDisplayWithDisplayMode(CGDisplayConfigRef config, DisplayID display,
                                                    const CGDisplayMode& mode) = 0;
    virtual CGError cancelDisplayConfiguration(CGDisplayConfigRef config) = 0;
    virtual CGError completeDisplayConfiguration(CGDisplayConfigRef config,
                                                 CGConfigureOption option) = 0;

    /// Reads up to capacity entries per channel; sampleCount is how many were filled.
    virtual CGError getDisplayTransferByTable(DisplayID display, std::uint32_t capacity, float* red,
                                              float* green, float* blue,
                                              std::uint32_t& sampleCount) = 0;
    virtual CGError setDisplayTransferByTable(DisplayID display, std::uint32_t tableSize,
                                              const float* red, const float* green,
                                              const float* blue) = 0;
    /// Every display's tables back to the colour-management defaults.
    virtual void displayRestoreColorSyncSettings() = 0;

    /// A callback is identified by the pair (callback, userInfo), as on the original platform.
    virtual CGError registerReconfigurationCallback(CGDisplayReconfigurationCallBack callback,
                                                    void* userInfo) = 0;
    virtual CGError removeReconfigurationCallback(CGDisplayReconfigurationCallBack callback,
                                                  void* userInfo) = 0;
};

}  // namespace orvane::platform
