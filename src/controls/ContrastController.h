// SPDX-License-Identifier: MIT
#pragma once

#include "controls/DDCControl.h"
#include "runtime/Task.h"

namespace orvane::controls {

/// Contrast (VCP 0x12) of one display, scaled to its maximum. No fallback.
class ContrastController : public DDCControl,
                           public std::enable_shared_from_this<ContrastController> {
  public:
    using DDCControl::DDCControl;
    /// True when written (or replaced by a newer value); false when it failed.
    runtime::Task<bool> setContrast(double value);
};

}  // namespace orvane::controls
