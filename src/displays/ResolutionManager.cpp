// SPDX-License-Identifier: MIT
#include "displays/ResolutionManager.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <string>

#include "runtime/Format.h"

namespace orvane::displays {

using runtime::integerPart;

namespace {
DisplayMode fromPlatform(const platform::ScreenMode& m) {
    return DisplayMode{static_cast<std::int64_t>(m.width), static_cast<std::int64_t>(m.height),
                       m.refreshRate, m.pixelWidth > m.width};
}
}  // namespace

std::string DisplayMode::id() const {
    return std::to_string(width) + "x" + std::to_string(height) + "@" +
           std::to_string(integerPart(refreshRate)) + (isHiDPI ? "HiDPI" : "");
}

std::string DisplayMode::label() const {
    return std::to_string(width) + " \u00d7 " + std::to_string(height) + " @ " +
           std::to_string(integerPart(refreshRate)) + "Hz" + (isHiDPI ? " (HiDPI)" : "");
}

std::vector<DisplayMode> ResolutionManager::availableModes(
    DisplayID display, bool includeDuplicateLowResolution) const {
    auto modes = windowServer_.displayModes(display, includeDuplicateLowResolution);
    if (!modes) return {};
    std::vector<DisplayMode> result;
    std::set<std::string> seen;
    for (const auto& m : *modes) {
        DisplayMode mode = fromPlatform(m);
        if (seen.insert(mode.id()).second) result.push_back(mode);
    }
    std::stable_sort(result.begin(), result.end(), [](const DisplayMode& a, const DisplayMode& b) {
        const auto areaA = a.width * a.height, areaB = b.width * b.height;
        if (areaA != areaB) return areaA > areaB;
        if (a.refreshRate != b.refreshRate) return a.refreshRate > b.refreshRate;
        return a.isHiDPI && !b.isHiDPI;
    });
    return result;
}

bool ResolutionManager::setMode(DisplayID display, std::int64_t width, std::int64_t height,
                                bool isHiDPI, double refreshRate) const {
    auto modes = windowServer_.displayModes(display, false);
    if (!modes) return false;
    const DisplayMode wanted{width, height, refreshRate, isHiDPI};
    auto found = std::find_if(modes->begin(), modes->end(), [&](const platform::ScreenMode& m) {
        const DisplayMode mode = fromPlatform(m);
        return mode.width == width && mode.height == height &&
               integerPart(mode.refreshRate) == integerPart(refreshRate) && mode.isHiDPI == isHiDPI;
    });
    if (found == modes->end()) {
        log_.line("[ResolutionManager] No matching mode found for " + wanted.label());
        return false;
    }
    if (auto failure = windowServer_.setMode(display, *found)) {
        log_.line("[ResolutionManager] " + failure->step + " failed: " + failure->error.text);
        return false;
    }
    log_.line("[ResolutionManager] Switched display " + std::to_string(display) + " to " +
              fromPlatform(*found).label());
    return true;
}

}  // namespace orvane::displays
