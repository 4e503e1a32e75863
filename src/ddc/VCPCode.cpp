// SPDX-License-Identifier: MIT
#include "ddc/VCPCode.h"

namespace orvane::ddc {

const std::string& displayName(VCPCode code) {
    static const std::string brightness = "Brightness", contrast = "Contrast", volume = "Volume",
                             input = "Input Source", power = "Power Mode",
                             controller = "Controller Type", firmware = "Firmware Level",
                             version = "VCP Version", unknown = "Unknown";
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
    return unknown;
}

std::optional<VCPCode> vcpCodeFromRaw(std::uint8_t raw) {
    for (VCPCode code : kAllVCPCodes) {
        if (rawValue(code) == raw) return code;
    }
    return std::nullopt;
}

}  // namespace orvane::ddc
