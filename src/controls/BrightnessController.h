// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <memory>

#include "controls/SoftwareDimmer.h"
#include "ddc/DDCDisplay.h"
#include "runtime/Executor.h"
#include "runtime/Logger.h"
#include "runtime/Task.h"

namespace orvane::controls {

/// Brightness of one display: VCP 0x10 scaled to the display's maximum, or
/// software dimming where DDC is missing or a write fails. Never writes the
/// display's state; callers keep that themselves. Main thread.
class BrightnessController : public std::enable_shared_from_this<BrightnessController> {
  public:
    BrightnessController(DisplayID displayID, std::shared_ptr<ddc::DDCDisplay> ddcDisplay,
                         std::shared_ptr<SoftwareDimmer> dimmer, bool hasDDC, runtime::Logger& log);

    /// How long a monitor whose write failed is left alone before the newest
    /// level is sent to it once more (monitors that lock up under a burst of
    /// writes answer again after a quiet while).
    static constexpr std::chrono::milliseconds kResendAfterFailure{2500};
    /// Where the main executor is, for the one re-send after a failure; none
    /// sends nothing later.
    runtime::Executor* main = nullptr;

    /// value in percent; never throws. True when the display shows it, through
    /// DDC or software dimming (or a newer level replaced it); false when
    /// neither could apply it.
    runtime::Task<bool> setBrightness(double value);
    /// The brightness the display shows as far as is known: the software
    /// dimming level while one is shown, else the monitor's last read or
    /// written level, else 100.
    double shownBrightness() const;
    /// For callers that do not wait: the DDC write starts as a task on main;
    /// without DDC the display is dimmed at once.
    void startBrightness(runtime::Executor& main, double value);

    DisplayID displayID() const { return displayID_; }
    const std::shared_ptr<ddc::DDCDisplay>& ddcDisplay() const { return ddcDisplay_; }
    const std::shared_ptr<SoftwareDimmer>& softwareDimmer() const { return dimmer_; }
    bool hasDDC() const { return hasDDC_; }

  private:
    DisplayID displayID_;
    std::shared_ptr<ddc::DDCDisplay> ddcDisplay_;
    std::shared_ptr<SoftwareDimmer> dimmer_;
    bool hasDDC_;
    runtime::Logger& log_;
    std::uint64_t generation_ = 0;  // of setBrightness calls
    /// Once the monitor may answer again, value goes out unless a newer one came.
    runtime::Task<void> resendLater(double value, std::uint64_t generation);
};

}  // namespace orvane::controls
