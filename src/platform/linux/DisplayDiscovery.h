// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/PlatformTypes.h"
#include "platform/linux/EDID.h"
#include "platform/linux/I2CBus.h"

namespace orvane::platform::linux_ {

/// One connected display as sysfs describes it.
struct LinuxDisplay {
    /// Stable while the connector stays connected: card, connector type and
    /// the type's index ("card0-HDMI-A-1" is 0x0B01), or 0xF00000 + N for a
    /// display seen only on bus N.
    DisplayID id = 0;
    /// "card0-HDMI-A-1"; empty for a bus-only display.
    std::string connector;
    /// The kernel's connector type ("HDMI-A", "DP", "eDP", ...).
    std::string type;
    bool builtIn = false;
    std::vector<std::uint8_t> edidBytes;
    std::optional<EDID> edid;
    /// The N of /dev/i2c-N that carries its DDC, when one is known.
    std::optional<int> bus;
    /// The connector's "modes" file: the sizes the kernel can drive, in its
    /// order, without rates (the file has none).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> modes;
};

/// Finds the displays under a root folder that holds sys/ and dev/ ("/" on a
/// real machine, a fixture tree in tests): the connected DRM connectors with
/// their EDID and I2C bus, and the display controllers' buses that answer
/// with an EDID no connector has. Only buses whose adapter belongs to a
/// display controller (PCI class 0x03) are ever read.
class DisplayDiscovery {
  public:
    /// readEDID reads 128 bytes at 0x50 of a bus; none when it cannot.
    using EDIDReader = std::function<std::optional<std::vector<std::uint8_t>>(int bus)>;

    DisplayDiscovery(std::string root, EDIDReader readEDID);

    /// The displays, ordered by ID.
    std::vector<LinuxDisplay> scan() const;
    /// A connected connector or a display controller's bus exists.
    bool hasDisplayHardware() const;
    /// I2C adapters exist but no /dev/i2c-* (the i2c-dev module is not loaded).
    bool i2cDevMissing() const;
    /// "<root>/dev/i2c-N".
    std::string devicePath(int bus) const;
    /// The DRM connector type's number ("HDMI-A" is 11); 0 when unknown.
    static std::uint32_t connectorTypeCode(const std::string& type);

  private:
    std::vector<int> displayControllerBuses() const;
    std::string root_;
    EDIDReader readEDID_;
};

}  // namespace orvane::platform::linux_
