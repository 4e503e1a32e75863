// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace orvane::ddc {

/// The VCP feature codes the system knows by name; any other byte a monitor
/// lists is a code too. The probe reads only the first five.
enum class VCPCode : std::uint8_t {
    brightness = 0x10,
    contrast = 0x12,
    volume = 0x62,
    inputSource = 0x60,
    powerMode = 0xD6,
    displayControllerType = 0xC8,
    firmwareLevel = 0xC9,
    vcpVersion = 0xDF,
};

inline constexpr std::array<VCPCode, 8> kAllVCPCodes = {
    VCPCode::brightness,    VCPCode::contrast,   VCPCode::volume,
    VCPCode::inputSource,   VCPCode::powerMode,  VCPCode::displayControllerType,
    VCPCode::firmwareLevel, VCPCode::vcpVersion,
};

/// The codes the capability probe reads, in probe order.
inline constexpr std::array<VCPCode, 5> kProbedVCPCodes = {
    VCPCode::brightness,  VCPCode::contrast,  VCPCode::volume,
    VCPCode::inputSource, VCPCode::powerMode,
};

constexpr std::uint8_t rawValue(VCPCode code) {
    return static_cast<std::uint8_t>(code);
}
/// The name used in every log line and error text that names the feature;
/// for another code its standard name, else "VCP 0x87".
const std::string& displayName(VCPCode code);
/// The case with that raw value; none for any other byte.
std::optional<VCPCode> vcpCodeFromRaw(std::uint8_t raw);

/// A feature's (current, max) pair as read from a display.
struct VCPValue {
    std::uint16_t current = 0;
    std::uint16_t max = 0;

    /// As one word: max in the high 16 bits, current in the low 16.
    constexpr std::uint32_t packed() const {
        return (static_cast<std::uint32_t>(max) << 16) | current;
    }
    static constexpr VCPValue fromPacked(std::uint32_t word) {
        return VCPValue{static_cast<std::uint16_t>(word & 0xFFFF),
                        static_cast<std::uint16_t>(word >> 16)};
    }
    friend constexpr bool operator==(VCPValue, VCPValue) = default;
};

}  // namespace orvane::ddc
