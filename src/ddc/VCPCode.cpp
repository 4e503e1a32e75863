// SPDX-License-Identifier: MIT
#include "ddc/VCPCode.h"

#include "ddc/MCCSNames.h"

namespace orvane::ddc {

const std::string& displayName(VCPCode code) {
    static const std::string brightness = "Brightness", contrast = "Contrast", volume = "Volume",
                             input = "Input Source", power = "Power Mode",
                             controller = "Controller Type", firmware = "Firmware Level",
                             version = "VCP Version";
    // Any other code a monitor lists: its standard name, else its number.
    static const auto others = [] {
        std::array<std::string, 256> names;
        for (std::size_t raw = 0; raw < names.size(); ++raw)
            names[raw] = featureLabel(static_cast<std::uint8_t>(raw));
        return names;
    }();
    switch (code) {
        case VCPCode::brightness:
            return brightness;
        case VCPCode::contrast:
            return contrast;
        case VCPCode::volume:
            return volume;
        case VCPCode::inputSource:
            return input;
        case VCPCode::powerMode:
            return power;
        case VCPCode::displayControllerType:
            return controller;
        case VCPCode::firmwareLevel:
            return firmware;
        case VCPCode::vcpVersion:
            return version;
    }
    return others[rawValue(code)];
}

std::optional<VCPCode> vcpCodeFromRaw(std::uint8_t raw) {
    for (VCPCode code : kAllVCPCodes) {
        if (rawValue(code) == raw) return code;
    }
    return std::nullopt;
}

}  // namespace orvane::ddc
