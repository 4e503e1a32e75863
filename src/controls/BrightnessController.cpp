// SPDX-License-Identifier: MIT
#include "controls/BrightnessController.h"

#include <algorithm>

#include "ddc/DDCError.h"
#include "runtime/Sleep.h"
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

runtime::Task<void> BrightnessController::resendLater(double value, std::uint64_t generation) {
    if (!co_await runtime::sleepFor(*main, kResendAfterFailure)) co_return;
    if (generation != generation_ || dimmer_->currentLevel() <= 0) co_return;
    std::uint16_t max = 100;
    if (auto cached = ddcDisplay_->cachedValue(ddc::VCPCode::brightness)) max = cached->max;
    try {
        if (!co_await ddcDisplay_->writeValue(ddc::rawValueForPercent(value, max),
                                              ddc::VCPCode::brightness))
            co_return;
    } catch (const ddc::DDCError&) {
        co_return;  // still not answering: dimming stays, said already
    }
    if (generation != generation_) co_return;
    log_.line("[BrightnessController] Display " + std::to_string(displayID_) +
              " answers again - brightness sent to it");
    dimmer_->applyLevel(0);
}

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
    const std::uint64_t mine = ++generation_;

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
        if (main) runtime::spawnRetaining(*main, shared_from_this(), resendLater(v, mine));
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
