// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvane::displays {

/// The key that survives reconnection: "vendor-product-serial" in decimal, or
/// "vendor-product" when the serial is absent, empty or "0".
inline std::string makeDisplayKey(std::uint32_t vendorID, std::uint32_t productID,
                                  const std::optional<std::string>& serialNumber) {
    std::string key = std::to_string(vendorID) + "-" + std::to_string(productID);
    if (serialNumber && !serialNumber->empty() && *serialNumber != "0") key += "-" + *serialNumber;
    return key;
}

}  // namespace orvane::displays
