// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane::ddc {

/// The name of a VCP code from the MCCS standard's common features
/// ("Sharpness" for 0x87); none for the rest and the manufacturers' own (0xE0 up).
std::optional<std::string_view> mccsFeatureName(std::uint8_t code);
/// The name of a value of a non-continuous feature ("HDMI-1" for 0x60 = 0x11);
/// none where the standard names none.
std::optional<std::string_view> mccsValueName(std::uint8_t code, std::uint8_t value);
/// Whether the feature is a setting a person adjusts (a gain, sharpness, a
/// colour preset), not a reading, an action or a manufacturer's own code.
bool mccsAdjustable(std::uint8_t code);
/// Whether the feature is a level beyond the three controls (a colour gain, a
/// black level, sharpness): read back after a write, as they are.
bool mccsLevel(std::uint8_t code);
/// "0x87", "87h" or "135": a VCP code as people and files write it.
std::optional<std::uint8_t> parseCode(std::string_view text);
/// "0x0c", "0x87": a byte as codes and values are written.
std::string hexByte(std::uint8_t value);
/// The feature's name, else "VCP 0x87".
std::string featureLabel(std::uint8_t code);
/// The value's name, else "0x1b".
std::string valueLabel(std::uint8_t code, std::uint8_t value);

}  // namespace orvane::ddc
