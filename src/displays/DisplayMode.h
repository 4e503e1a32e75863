// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace orvane::displays {

/// A display mode as the picker and the presets see it.
struct DisplayMode {
    std::int64_t width = 0;
    std::int64_t height = 0;
    double refreshRate = 0;
    bool isHiDPI = false;

    /// "1920x1080@60", "1280x800@60HiDPI".
    std::string id() const;
    /// "2560 × 1440 @ 60Hz (HiDPI)".
    std::string label() const;
    bool operator==(const DisplayMode&) const = default;
};

}  // namespace orvane::displays

template <>
struct std::hash<orvane::displays::DisplayMode> {
    std::size_t operator()(const orvane::displays::DisplayMode& m) const noexcept {
        const double rate = m.refreshRate == 0.0 ? 0.0 : m.refreshRate;  // -0.0 hashes as 0.0
        std::size_t h = std::hash<std::int64_t>{}(m.width);
        for (std::size_t part : {std::hash<std::int64_t>{}(m.height), std::hash<double>{}(rate),
                                 std::hash<bool>{}(m.isHiDPI)}) {
            h ^= part + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        }
        return h;
    }
};
