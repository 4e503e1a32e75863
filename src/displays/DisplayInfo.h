// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ddc/AVServiceDDC.h"
#include "ddc/DDCManager.h"
#include "platform/Platform.h"

namespace orvane::displays {

enum class ConnectionType {
    thunderbolt,
    usbc,
    hdmi,
    displayPort,
    dvi,
    vga,
    airplay,
    builtIn,
    unknown
};
/// The raw value, which is also the label shown ("Thunderbolt", "USB-C", ...).
const std::string& rawValue(ConnectionType type);
std::optional<ConnectionType> connectionTypeFromRaw(std::string_view raw);

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

/// One connected display as a scan found it. Identity is id alone.
struct DisplayInfo {
    DisplayID id = 0;
    std::string name;
    std::optional<std::string> customName;
    std::uint32_t vendorID = 0;
    std::uint32_t productID = 0;
    std::optional<std::string> serialNumber;
    Size nativeResolution;
    Size currentResolution;
    double refreshRate = 0;
    bool isBuiltIn = false;
    ConnectionType connectionType = ConnectionType::unknown;
    bool ddcSupported = false;

    const std::string& displayName() const { return customName ? *customName : name; }
    /// "Studio 27 - 2560×1440 @ 60Hz"; the rate part only when it is above 0.
    std::string summary() const;
    bool operator==(const DisplayInfo& other) const { return id == other.id; }
};

/// What describing a display needs: the platform and the two DDC transports.
struct DisplayServices {
    platform::Platform platform;
    std::shared_ptr<ddc::DDCManager> i2c;
    std::shared_ptr<ddc::AVServiceDDC> avService;

    /// The transports in order of preference, as a display handle takes them.
    std::vector<std::shared_ptr<ddc::DDCTransport>> transports() const { return {i2c, avService}; }
};

/// Builds the record for an active display; never fails.
DisplayInfo makeDisplayInfo(DisplayID display, const DisplayServices& services);
std::optional<std::string> resolveDisplayName(DisplayID display, const DisplayServices& services);
ConnectionType detectConnectionType(DisplayID display, bool isBuiltIn,
                                    const DisplayServices& services);
/// Whether some DDC transport reaches the display (not whether it answers).
bool canReachDDC(DisplayID display, const DisplayServices& services);

}  // namespace orvane::displays

template <>
struct std::hash<orvane::displays::DisplayInfo> {
    std::size_t operator()(const orvane::displays::DisplayInfo& info) const noexcept {
        return std::hash<orvane::DisplayID>{}(info.id);
    }
};
