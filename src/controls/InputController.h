// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "controls/DDCControl.h"
#include "runtime/Task.h"

namespace orvane::controls {

/// One of the monitor's inputs, by its VCP 0x60 value. Identified by ddcValue.
struct InputSource {
    std::uint16_t ddcValue = 0;
    std::string name;
    bool operator==(const InputSource&) const = default;

    /// The known source with that value, or "Input <value>".
    static InputSource fromRaw(std::uint16_t value);
    /// The MCCS input list the system knows, in order.
    static const std::array<InputSource, 18>& all();
};

/// Switches a display's input (VCP 0x60, unscaled).
class InputController : public DDCControl, public std::enable_shared_from_this<InputController> {
  public:
    using DDCControl::DDCControl;
    /// True when switched (or replaced by a newer choice); false when it failed.
    runtime::Task<bool> switchInput(InputSource source);
    /// The last input switched to successfully; 0 until then.
    std::uint16_t currentInput() const { return currentInput_; }

  private:
    std::uint16_t currentInput_ = 0;
};

}  // namespace orvane::controls
