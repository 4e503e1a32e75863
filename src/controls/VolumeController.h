// SPDX-License-Identifier: MIT
#pragma once

#include "controls/DDCControl.h"
#include "runtime/Task.h"

namespace orvane::controls {

/// A display's speaker volume over DDC (VCP 0x62), scaled to its maximum.
class VolumeController : public DDCControl, public std::enable_shared_from_this<VolumeController> {
  public:
    using DDCControl::DDCControl;
    /// True when written (or replaced by a newer value); false when it failed.
    runtime::Task<bool> setVolume(double value);
};

}  // namespace orvane::controls
