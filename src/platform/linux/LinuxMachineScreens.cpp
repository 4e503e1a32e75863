// SPDX-License-Identifier: MIT
// LinuxMachine's display server side: the session's outputs matched to the
// displays by EDID, their modes, and their gamma ramps.
#include "platform/linux/LinuxMachine.h"

#include <algorithm>
#include <cerrno>

#include "platform/linux/Errno.h"

namespace orvane::platform::linux_ {

bool SessionOutput::shows(const std::vector<std::uint8_t>& edidBytes,
                          const std::optional<EDID>& parsed) const {
    if (!edid.empty()) {
        return edid.size() >= EDID::kBlockSize && edidBytes.size() >= EDID::kBlockSize &&
               std::equal(edid.begin(), edid.begin() + EDID::kBlockSize, edidBytes.begin());
    }
    // What the server read from the same EDID: vendor (where it gives the
    // code), name, and the serial
    // (text, else number) where both sides have one.
    if (!parsed || (!vendor.empty() && vendor != parsed->vendor) || product.empty() ||
        product != parsed->name)
        return false;
    if (serial.empty()) return true;
    return serial == parsed->serialText || serial == std::to_string(parsed->serialNumber);
}

std::optional<SessionOutput> LinuxMachine::outputFor(DisplayID id) {
    auto* config = session_.config();
    if (!config) return std::nullopt;
    auto d = display(id);
    if (!d) return std::nullopt;
    // The server's outputs are asked for once per change of them, not at
    // every gamma write of a dimming slider.
    std::vector<SessionOutput> outputs;
    {
        std::lock_guard lock(mutex_);
        if (outputs_) outputs = *outputs_;
    }
    if (outputs.empty()) {
        outputs = config->outputs();
        std::lock_guard lock(mutex_);
        outputs_ = outputs;
    }
    // By EDID, never by name: the server and the kernel name connectors differently.
    for (auto& out : outputs) {
        if (out.shows(d->edidBytes, d->edid)) return std::move(out);
    }
    sayOnce("output:" + std::to_string(id),
            "[Linux] No output of the display server shows the EDID of " +
                (d->connector.empty() ? "display " + std::to_string(id) : d->connector) +
                " - its modes and gamma are unavailable");
    return std::nullopt;
}

void LinuxMachine::forgetOutputs() {
    std::lock_guard lock(mutex_);
    outputs_.reset();
}

void LinuxMachine::sessionChanged() {
    forgetOutputs();
    // A plug seen by RandR first is the same as one seen by udev.
    rescan();
    for (const auto& d : displays()) {
        auto out = outputFor(d.id);
        if (!out || !out->current) continue;
        {
            std::lock_guard lock(mutex_);
            auto& last = lastModes_[d.id];
            if (last == out->current->modeID) continue;
            last = out->current->modeID;
        }
        callbacks_.fire(d.id, DisplayChange::reconfigured);
    }
}
std::optional<ScreenMode> LinuxMachine::currentMode(DisplayID id) {
    std::optional<ScreenMode> current;
    if (!session_.modesConfig()) {
        sayUnavailable("modes", "Display modes");
    } else if (auto out = outputFor(id)) {
        current = out->current;
    }
    if (current) return current;
    // What the monitor asks for is what a display server would show first;
    // without it, the first mode the kernel lists for the connector.
    auto d = display(id);
    if (!d) return std::nullopt;
    if (d->edid && d->edid->preferredMode) {
        const auto& m = *d->edid->preferredMode;
        return ScreenMode{-1, m.width, m.height, m.width, m.height, m.refreshRate};
    }
    if (d->modes.empty()) return std::nullopt;
    const auto [w, h] = d->modes.front();
    return ScreenMode{-1, w, h, w, h, 0};
}

std::size_t LinuxMachine::pixelsWide(DisplayID id) {
    auto d = display(id);
    return d && d->edid && d->edid->preferredMode ? d->edid->preferredMode->width : 0;
}

std::size_t LinuxMachine::pixelsHigh(DisplayID id) {
    auto d = display(id);
    return d && d->edid && d->edid->preferredMode ? d->edid->preferredMode->height : 0;
}

std::optional<std::vector<ScreenMode>> LinuxMachine::displayModes(DisplayID id, bool) {
    if (!session_.modesConfig()) {
        // Without a display server the kernel still lists what the connector
        // can drive; switching needs the server.
        auto d = display(id);
        if (!d || d->modes.empty()) {
            sayUnavailable("modes", "Display modes");
            return std::nullopt;
        }
        sayOnce("modes-read-only",
                "[Linux] Display modes are read only: switching them " + session_.unavailable);
        std::vector<ScreenMode> modes;
        for (std::size_t i = 0; i < d->modes.size(); ++i) {
            const auto [w, h] = d->modes[i];
            modes.push_back(ScreenMode{std::int32_t(i), w, h, w, h, 0});
        }
        return modes;
    }
    auto out = outputFor(id);
    if (!out) return std::nullopt;
    return out->modes;
}

std::optional<PlatformFailure> LinuxMachine::setMode(DisplayID id, const ScreenMode& mode) {
    if (!session_.modesConfig()) {
        return PlatformFailure{"The mode switch",
                               errnoError(ENOTSUP, "switching modes " + session_.unavailable)};
    }
    auto out = outputFor(id);
    if (!out)
        return PlatformFailure{"The mode switch",
                               errnoError(ENODEV, "the display server has no output for display " +
                                                      std::to_string(id))};
    const bool known = std::any_of(out->modes.begin(), out->modes.end(),
                                   [&](const ScreenMode& m) { return m.modeID == mode.modeID; });
    if (!known)
        return PlatformFailure{"The mode switch",
                               errnoError(EINVAL, "output " + out->name + " has no such mode")};
    // RandR and Mutter settings last for the login session, which is what the core asks for.
    const bool applied = session_.config()->setMode(*out, mode.modeID);
    forgetOutputs();  // the current modes changed, whatever the server's notice says
    if (!applied)
        return PlatformFailure{
            "The mode switch",
            errnoError(EIO, "the display server refused mode " + std::to_string(mode.width) + "x" +
                                std::to_string(mode.height) + " on " + out->name)};
    return std::nullopt;
}

namespace {
/// table resampled to n entries by linear interpolation.
std::vector<float> resampled(const float* table, std::size_t size, std::size_t n) {
    std::vector<float> out(n);
    if (size == 0) return out;
    for (std::size_t i = 0; i < n; ++i) {
        const double at = n == 1 ? 0.0 : double(i) * double(size - 1) / double(n - 1);
        const auto lo = std::size_t(at);
        const auto hi = std::min(lo + 1, size - 1);
        const double t = at - double(lo);
        out[i] = float(table[lo] * (1 - t) + table[hi] * t);
    }
    return out;
}
}  // namespace

PlatformError LinuxMachine::noGammaOutput(DisplayID id) {
    if (!session_.config()) {
        sayUnavailable("gamma", "Gamma tables");
        return errnoError(ENOTSUP, "gamma ramps " + session_.unavailable);
    }
    return errnoError(ENODEV, "the display server has no output for display " + std::to_string(id));
}

std::variant<GammaRamps, PlatformError> LinuxMachine::gammaRamps(DisplayID id,
                                                                 std::size_t capacity) {
    auto out = session_.config() ? outputFor(id) : std::nullopt;
    if (!out) return noGammaOutput(id);
    std::vector<float> r, g, b;
    if (!session_.config()->getGamma(*out, r, g, b))
        return errnoError(EIO, "the display server gives no gamma ramps for " + out->name);
    // As many samples as the server keeps, up to the caller's capacity.
    const auto n = std::min<std::size_t>(r.size(), capacity);
    return GammaRamps{resampled(r.data(), r.size(), n), resampled(g.data(), g.size(), n),
                      resampled(b.data(), b.size(), n)};
}

std::optional<PlatformError> LinuxMachine::setGammaRamps(DisplayID id, const GammaRamps& ramps) {
    auto out = session_.config() ? outputFor(id) : std::nullopt;
    if (!out) return noGammaOutput(id);
    const int size = session_.config()->gammaSize(*out);
    if (size <= 0) {
        sayOnce("gamma:" + std::to_string(id),
                "[Linux] The display server keeps no gamma ramp for " + out->name +
                    " - it cannot be dimmed by gamma");
        return errnoError(ENOTSUP, "the display server keeps no gamma ramp for " + out->name);
    }
    const auto n = std::size_t(size);
    if (!gammaOriginals_.count(out->name)) {
        Ramps original;
        // Nothing to give back later: change nothing.
        if (!session_.config()->getGamma(*out, original.red, original.green, original.blue))
            return errnoError(EIO, "the ramps of " + out->name + " cannot be read to keep");
        gammaOriginals_[out->name] = std::move(original);
    }
    const bool applied =
        session_.config()->setGamma(*out, resampled(ramps.red.data(), ramps.red.size(), n),
                                    resampled(ramps.green.data(), ramps.green.size(), n),
                                    resampled(ramps.blue.data(), ramps.blue.size(), n));
    if (!applied) return errnoError(EIO, "the display server refused the ramps of " + out->name);
    return std::nullopt;
}

void LinuxMachine::restoreGamma() {
    auto* config = session_.config();
    if (!config) return;
    if (!gammaOriginals_.empty()) {
        for (const auto& out : config->outputs()) {
            auto original = gammaOriginals_.find(out.name);
            if (original == gammaOriginals_.end()) continue;
            const auto& [r, g, b] = original->second;
            config->setGamma(out, r, g, b);
        }
        gammaOriginals_.clear();
    }
    config->releaseGamma();
}

}  // namespace orvane::platform::linux_
