// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "platform/PlatformTypes.h"

namespace orvane::platform {

/// The window server's display services.
class WindowServer {
  public:
    virtual ~WindowServer() = default;
    /// The EDID vendor number; 0 for an unknown display.
    virtual std::uint32_t vendorNumber(DisplayID display) = 0;
    /// The EDID product (model) number; 0 for an unknown display.
    virtual std::uint32_t modelNumber(DisplayID display) = 0;
    /// The EDID serial number; 0 when the display reports none.
    virtual std::uint32_t serialNumber(DisplayID display) = 0;
};

}  // namespace orvane::platform
