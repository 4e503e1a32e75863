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

void BrightnessController::startBrightness(runtime::Executor& main, double value) {
    if (hasDDC_) {
        runtime::spawnRetaining(main, shared_from_this(), setBrightness(value));
    } else if (dimmer_) {
        dimmer_->applyLevel(SoftwareDimmer::levelForBrightness(value));
    }
}

runtime::Task<void> BrightnessController::setBrightness(double value) {
    auto self = shared_from_this();  // a rescan may drop the registry's reference meanwhile
    const double v = !(value > 0) ? 0.0 : std::min(value, 100.0);
    if (!hasDDC_ || !ddcDisplay_) {
        dimmer_->applyLevel(SoftwareDimmer::levelForBrightness(v));
        co_return;
    }
    std::uint16_t max = 100;
    if (auto cached = ddcDisplay_->cachedValue(ddc::VCPCode::brightness)) max = cached->max;

    if (v > 0) {
        try {
            // A newer level replaced this one: its own write sets the dimmer.
            if (!co_await ddcDisplay_->writeValue(ddc::rawValueForPercent(v, max),
                                                  ddc::VCPCode::brightness)) {
                co_return;
            }
            dimmer_->applyLevel(0);
        } catch (const ddc::DDCError& e) {
            log_.line("[BrightnessController] DDC write failed: " + e.errorDescription() +
                      ". Falling back to software dimming.");
            dimmer_->applyLevel(SoftwareDimmer::levelForBrightness(v));
        }
    } else {
        try {
            if (!co_await ddcDisplay_->writeValue(0, ddc::VCPCode::brightness)) co_return;
        } catch (const ddc::DDCError& e) {
            log_.line("[BrightnessController] DDC write to 0 failed: " + e.errorDescription());
        }
        dimmer_->applyLevel(1.0);
    }
}

}  // namespace orvane::controls
