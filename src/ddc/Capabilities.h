// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::ddc {

/// One VCP feature a monitor lists, with the values it permits (none listed
/// for a continuous control).
struct CapabilityFeature {
    std::uint8_t code = 0;
    std::vector<std::uint8_t> values;
    bool operator==(const CapabilityFeature&) const = default;
};

/// What a monitor's capabilities string says about it.
struct Capabilities {
    /// The string as the monitor sent it.
    std::string raw;
    std::string type;         // "LCD"
    std::string model;        // "U2720Q"
    std::string mccsVersion;  // "2.1"
    /// In the order listed, each code once.
    std::vector<CapabilityFeature> features;
    /// False when the string ended inside a group: the last features may be cut.
    bool complete = true;

    const CapabilityFeature* feature(std::uint8_t code) const;
};

/// Parses the string a monitor answers Capabilities Request (0xF3) with,
/// "(prot(monitor)type(LCD)model(U2720Q)vcp(02 10 12 14(05 08 0B) ...)mccs_ver(2.1))".
/// Monitors write it loosely: hex pairs with or without spaces, any case,
/// the outer parentheses missing, the end cut off. None when there is no
/// vcp list at all.
std::optional<Capabilities> parseCapabilities(std::string_view text);

}  // namespace orvane::ddc
