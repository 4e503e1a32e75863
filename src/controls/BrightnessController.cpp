// SPDX-License-Identifier: MIT
#include "controls/BrightnessController.h"

#include <algorithm>

#include "ddc/DDCError.h"
#include "runtime/Spawn.h"

namespace orvane::controls {

BrightnessController::BrightnessController(DisplayID displayID,
                                           std::shared_ptr<ddc::DDCDisplay> ddcDisplay,
                                           std::shared_ptr<SoftwareDimmer> dimmer, bool hasDDC,
                                           runtime::Logger& log)
    : displayID_(displayID),
      ddcDisplay_(std::move(ddcDisplay)),
      dimmer_(std::move(dimmer)),
      hasDDC_(hasDDC),
      log_(log) {}

double BrightnessController::shownBrightness() const {
    if (dimmer_ && dimmer_->currentLevel() > 0) return (1.0 - dimmer_->currentLevel()) * 100.0;
    if (hasDDC_ && ddcDisplay_) {
        if (auto cached = ddcDisplay_->cachedValue(ddc::VCPCode::brightness))
            return ddc::percentForRawValue(cached->current, cached->max);
    }
    return 100.0;
}

void BrightnessController::startBrightness(runtime::Executor& main, double value) {
    if (hasDDC_) {
        runtime::spawn(main, [](auto self, double v) -> runtime::Task<void> {
            co_await self->setBrightness(v);
        }(shared_from_this(), value));
    } else if (dimmer_) {
        dimmer_->applyLevel(SoftwareDimmer::levelForBrightness(value));
    }
}

runtime::Task<bool> BrightnessController::setBrightness(double value) {
    auto self = shared_from_this();  // a rescan may drop the registry's reference meanwhile
    const double v = !(value > 0) ? 0.0 : std::min(value, 100.0);
    if (!hasDDC_ || !ddcDisplay_)
        co_return dimmer_->applyLevel(SoftwareDimmer::levelForBrightness(v));
    std::uint16_t max = 100;
    if (auto cached = ddcDisplay_->cachedValue(ddc::VCPCode::brightness)) max = cached->max;

    if (v > 0) {
        try {
            // A newer level replaced this one: its own write sets the dimmer.
            if (!co_await ddcDisplay_->writeValue(ddc::rawValueForPercent(v, max),
                                                  ddc::VCPCode::brightness)) {
                co_return true;
            }
            dimmer_->applyLevel(0);
            co_return true;
        } catch (const ddc::DDCError& e) {
            log_.line("[BrightnessController] DDC write failed: " + e.errorDescription() +
                      ". Falling back to software dimming.");
        }
        co_return dimmer_->applyLevel(SoftwareDimmer::levelForBrightness(v));
    }
    bool written = false;
    try {
        if (!co_await ddcDisplay_->writeValue(0, ddc::VCPCode::brightness)) co_return true;
        written = true;
    } catch (const ddc::DDCError& e) {
        log_.line("[BrightnessController] DDC write to 0 failed: " + e.errorDescription());
    }
    // Black on top of the monitor's lowest level; either one counts.
    co_return dimmer_->applyLevel(1.0) || written;
}

}  // namespace orvane::controls
