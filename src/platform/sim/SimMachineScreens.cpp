// SPDX-License-Identifier: MIT
// The simulated window server's screens: modes through the configuration
// transaction, gamma through the transfer tables, and the screens' frames.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/sim/SimMachine.h"

namespace orvane::platform::sim {

namespace {
ScreenMode cgMode(const SimModeSpec& m, std::size_t index) {
    return ScreenMode{static_cast<std::int32_t>(index + 1),
                      m.width,
                      m.height,
                      m.pixelWidth,
                      m.pixelHeight,
                      m.refreshRate};
}
}  // namespace

std::optional<ScreenMode> SimMachine::currentMode(DisplayID display) {
    std::lock_guard lock(mutex_);
    auto it = displays_.find(display);
    if (it == displays_.end() || !it->second.spec.currentMode) return std::nullopt;
    const auto index = *it->second.spec.currentMode;
    return cgMode(it->second.spec.modes.at(index), index);
}

std::optional<SimModeSpec> SimMachine::currentMode(DisplayID display) const {
    std::lock_guard lock(mutex_);
    auto it = displays_.find(display);
    if (it == displays_.end() || !it->second.spec.currentMode) return std::nullopt;
    return it->second.spec.modes.at(*it->second.spec.currentMode);
}

std::size_t SimMachine::pixelsWide(DisplayID display) {
    std::lock_guard lock(mutex_);
    auto it = displays_.find(display);
    return it == displays_.end() ? 0 : it->second.spec.pixelsWide;
}

std::size_t SimMachine::pixelsHigh(DisplayID display) {
    std::lock_guard lock(mutex_);
    auto it = displays_.find(display);
    return it == displays_.end() ? 0 : it->second.spec.pixelsHigh;
}

std::optional<std::vector<ScreenMode>> SimMachine::displayModes(
    DisplayID display, bool showDuplicateLowResolutionModes) {
    std::lock_guard lock(mutex_);
    if (failure(SimWindowServerCall::allModes)) return std::nullopt;
    auto it = displays_.find(display);
    if (it == displays_.end()) return std::nullopt;
    std::vector<ScreenMode> modes;
    const auto& all = it->second.spec.modes;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].duplicateLowResolution && !showDuplicateLowResolutionModes) continue;
        modes.push_back(cgMode(all[i], i));
    }
    return modes;
}

std::optional<PlatformFailure> SimMachine::setMode(DisplayID display, const ScreenMode& mode) {
    auto failed = [](const char* step, CGError e) { return PlatformFailure{step, statusError(e)}; };
    CGDisplayConfigRef config = 0;
    if (auto e = beginDisplayConfiguration(config)) return failed("CGBeginDisplayConfiguration", e);
    if (auto e = configureDisplayWithDisplayMode(config, display, mode)) {
        cancelDisplayConfiguration(config);
        return failed("CGConfigureDisplayWithDisplayMode", e);
    }
    if (auto e = completeDisplayConfiguration(config, CGConfigureOption::forSession))
        return failed("CGCompleteDisplayConfiguration", e);
    return std::nullopt;
}

CGError SimMachine::beginDisplayConfiguration(CGDisplayConfigRef& config) {
    std::lock_guard lock(mutex_);
    if (auto e = failure(SimWindowServerCall::beginConfiguration)) return e;
    config = nextConfiguration_++;
    configurations_[config] = {};
    return kCGErrorSuccess;
}

CGError SimMachine::configureDisplayWithDisplayMode(CGDisplayConfigRef config, DisplayID display,
                                                    const ScreenMode& mode) {
    std::lock_guard lock(mutex_);
    if (auto e = failure(SimWindowServerCall::configureDisplay)) return e;
    auto c = configurations_.find(config);
    auto d = displays_.find(display);
    if (c == configurations_.end() || d == displays_.end() || mode.modeID < 1 ||
        static_cast<std::size_t>(mode.modeID) > d->second.spec.modes.size()) {
        return kCGErrorIllegalArgument;
    }
    c->second.modes[display] = mode.modeID;
    return kCGErrorSuccess;
}

CGError SimMachine::cancelDisplayConfiguration(CGDisplayConfigRef config) {
    std::lock_guard lock(mutex_);
    return configurations_.erase(config) ? kCGErrorSuccess : kCGErrorIllegalArgument;
}

CGError SimMachine::completeDisplayConfiguration(CGDisplayConfigRef config,
                                                 CGConfigureOption option) {
    std::vector<DisplayID> changed;
    {
        std::lock_guard lock(mutex_);
        auto c = configurations_.find(config);
        if (c == configurations_.end()) return kCGErrorIllegalArgument;
        if (auto e = failure(SimWindowServerCall::completeConfiguration)) {
            configurations_.erase(c);
            return e;
        }
        for (auto [display, modeID] : c->second.modes) {
            auto d = displays_.find(display);
            if (d == displays_.end()) continue;
            auto& spec = d->second.spec;
            spec.currentMode = static_cast<std::size_t>(modeID - 1);
            spec.pixelsWide = spec.modes[*spec.currentMode].pixelWidth;
            spec.pixelsHigh = spec.modes[*spec.currentMode].pixelHeight;
            changed.push_back(display);
        }
        configurations_.erase(c);
        lastConfigureOption_ = option;
    }
    for (DisplayID d : changed) {
        fireReconfiguration(d, kCGDisplayBeginConfigurationFlag);
        fireReconfiguration(d, kCGDisplaySetModeFlag);
    }
    return kCGErrorSuccess;
}

std::optional<CGConfigureOption> SimMachine::lastConfigureOption() const {
    std::lock_guard lock(mutex_);
    return lastConfigureOption_;
}

std::variant<GammaRamps, PlatformError> SimMachine::gammaRamps(DisplayID display,
                                                               std::size_t capacity) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, 65536));
    GammaRamps ramps{std::vector<float>(n), std::vector<float>(n), std::vector<float>(n)};
    std::uint32_t samples = 0;
    if (auto e = getDisplayTransferByTable(display, n, ramps.red.data(), ramps.green.data(),
                                           ramps.blue.data(), samples))
        return statusError(e);
    ramps.red.resize(samples);
    ramps.green.resize(samples);
    ramps.blue.resize(samples);
    return ramps;
}

std::optional<PlatformError> SimMachine::setGammaRamps(DisplayID display, const GammaRamps& ramps) {
    const auto n = static_cast<std::uint32_t>(
        std::min({ramps.red.size(), ramps.green.size(), ramps.blue.size()}));
    if (auto e = setDisplayTransferByTable(display, n, ramps.red.data(), ramps.green.data(),
                                           ramps.blue.data()))
        return statusError(e);
    return std::nullopt;
}

CGError SimMachine::getDisplayTransferByTable(DisplayID display, std::uint32_t capacity, float* red,
                                              float* green, float* blue,
                                              std::uint32_t& sampleCount) {
    std::lock_guard lock(mutex_);
    if (auto e = failure(SimWindowServerCall::getTransfer)) return e;
    auto it = displays_.find(display);
    if (it == displays_.end()) return kCGErrorIllegalArgument;
    const auto& g = it->second.gamma;
    sampleCount = std::min<std::uint32_t>(capacity, static_cast<std::uint32_t>(g[0].size()));
    std::copy_n(g[0].begin(), sampleCount, red);
    std::copy_n(g[1].begin(), sampleCount, green);
    std::copy_n(g[2].begin(), sampleCount, blue);
    return kCGErrorSuccess;
}

CGError SimMachine::setDisplayTransferByTable(DisplayID display, std::uint32_t tableSize,
                                              const float* red, const float* green,
                                              const float* blue) {
    std::lock_guard lock(mutex_);
    if (auto e = failure(SimWindowServerCall::setTransfer)) return e;
    auto it = displays_.find(display);
    if (it == displays_.end() || tableSize == 0) return kCGErrorIllegalArgument;
    auto& g = it->second.gamma;
    g[0].assign(red, red + tableSize);
    g[1].assign(green, green + tableSize);
    g[2].assign(blue, blue + tableSize);
    it->second.gammaOriginal = g == originalGamma(it->second.spec.gamma);
    return kCGErrorSuccess;
}

void SimMachine::displayRestoreColorSyncSettings() {
    std::lock_guard lock(mutex_);
    for (auto& [id, d] : displays_) {
        d.gamma = originalGamma(d.spec.gamma);
        d.gammaOriginal = true;
    }
}

SimMachine::GammaTables SimMachine::gammaTables(DisplayID display) const {
    std::lock_guard lock(mutex_);
    auto it = displays_.find(display);
    return it == displays_.end() ? GammaTables{} : it->second.gamma;
}

bool SimMachine::gammaIsOriginal(DisplayID display) const {
    std::lock_guard lock(mutex_);
    auto it = displays_.find(display);
    return it == displays_.end() || it->second.gammaOriginal;
}

std::vector<Screen> SimMachine::screens() {
    std::lock_guard lock(mutex_);
    std::vector<Screen> result;
    double x = 0;
    for (DisplayID id : order_) {
        const auto& spec = displays_.at(id).spec;
        double w = static_cast<double>(spec.pixelsWide), h = static_cast<double>(spec.pixelsHigh);
        if (spec.currentMode) {
            w = static_cast<double>(spec.modes[*spec.currentMode].width);
            h = static_cast<double>(spec.modes[*spec.currentMode].height);
        }
        if (!spec.screen.present) continue;
        Screen s;
        s.screenNumber = spec.screen.number.value_or(id);
        s.frame = Rect{x, 0, w, h};
        x += w;
        s.localizedName = spec.screen.name.value_or(spec.name);
        if (spec.screen.colorSpace) {
            ColorSpace cs;
            cs.localizedName = spec.screen.colorSpace->name;
            if (!cs.localizedName && !spec.screen.colorSpace->nameless) {
                cs.localizedName = spec.builtIn ? "Color LCD" : spec.name;
            }
            cs.iccProfileData = spec.screen.colorSpace->iccProfile;
            s.colorSpace = std::move(cs);
        }
        result.push_back(std::move(s));
    }
    return result;
}

std::optional<Screen> SimMachine::mainScreen() {
    auto all = screens();
    if (all.empty()) return std::nullopt;
    return all.front();
}

std::unique_ptr<Window> SimMachine::makeWindow(WindowRole role, Rect frame, const Screen& screen) {
    return windows_.make(role, frame, screen);
}

}  // namespace orvane::platform::sim
