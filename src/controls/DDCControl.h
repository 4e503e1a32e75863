// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "ddc/DDCDisplay.h"
#include "runtime/Logger.h"

namespace orvane::controls {

/// What every DDC-side controller of one display holds: its handle and
/// whether the probe found the controller's feature when it was made.
class DDCControl {
  public:
    DDCControl(DisplayID displayID, std::shared_ptr<ddc::DDCDisplay> ddcDisplay, bool hasDDC,
               runtime::Logger& log)
        : displayID_(displayID), ddcDisplay_(std::move(ddcDisplay)), hasDDC_(hasDDC), log_(log) {}

    DisplayID displayID() const { return displayID_; }
    const std::shared_ptr<ddc::DDCDisplay>& ddcDisplay() const { return ddcDisplay_; }
    bool hasDDC() const { return hasDDC_; }

  protected:
    bool usable() const { return hasDDC_ && ddcDisplay_; }
    std::string displayText() const { return std::to_string(displayID_); }

    DisplayID displayID_;
    std::shared_ptr<ddc::DDCDisplay> ddcDisplay_;
    bool hasDDC_;
    runtime::Logger& log_;
};

}  // namespace orvane::controls
