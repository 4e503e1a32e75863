// SPDX-License-Identifier: MIT
#include "displays/DisplayState.h"

#include <array>

namespace orvane::displays {

namespace {
const std::array<std::string, 3> kVolumeControlTypes{"none", "ddc", "coreAudio"};
}

const std::string& rawValue(VolumeControlType type) {
    return kVolumeControlTypes[static_cast<std::size_t>(type)];
}

std::optional<VolumeControlType> volumeControlTypeFromRaw(std::string_view raw) {
    for (std::size_t i = 0; i < kVolumeControlTypes.size(); ++i) {
        if (kVolumeControlTypes[i] == raw) return static_cast<VolumeControlType>(i);
    }
    return std::nullopt;
}

}  // namespace orvane::displays
