// SPDX-License-Identifier: MIT
#include "controls/ContrastController.h"

#include "ddc/DDCError.h"

namespace orvane::controls {

using ddc::DDCError;
using ddc::VCPCode;

runtime::Task<bool> ContrastController::setContrast(double value) {
    auto self = shared_from_this();
    if (!usable()) co_return false;
    try {
        co_await ddcDisplay_->setPercent(value, VCPCode::contrast);
        co_return true;
    } catch (const DDCError& e) {
        log_.line("[ContrastController] DDC write failed for display " + displayText() + ": " +
                  e.errorDescription());
    }
    co_return false;
}

}  // namespace orvane::controls
