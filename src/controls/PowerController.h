// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "controls/DDCControl.h"
#include "runtime/Task.h"

namespace orvane::controls {

/// VCP 0xD6 power modes.
enum class DisplayPowerState : std::uint16_t {
    on = 1,
    standby = 2,
    suspend = 3,
    off = 4,
    hardOff = 5
};
/// "On", "Standby", "Suspend", "Off", "Hard Off".
const std::string& displayName(DisplayPowerState state);
std::optional<DisplayPowerState> displayPowerStateFromRaw(std::uint16_t raw);

class PowerController : public DDCControl, public std::enable_shared_from_this<PowerController> {
  public:
    using DDCControl::DDCControl;
    /// True when set (or replaced by a newer state); false when it failed.
    runtime::Task<bool> setPower(DisplayPowerState state);
    /// None when the display has no DDC, the read fails or the value is unknown.
    runtime::Task<std::optional<DisplayPowerState>> getPower();
    /// On goes to standby; anything else, unreadable included, goes on.
    runtime::Task<bool> togglePower();
};

}  // namespace orvane::controls
