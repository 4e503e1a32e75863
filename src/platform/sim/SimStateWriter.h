// SPDX-License-Identifier: MIT
#pragma once

#include <string>

#include "platform/sim/SimMachine.h"

namespace orvane::platform::sim {

/// The simulated machine's state as JSON (the --rig-out format, see docs/rig.md).
class SimStateWriter {
  public:
    static std::string json(SimMachine& machine);
    /// Writes json(machine) to path; false when the file cannot be written.
    static bool write(SimMachine& machine, const std::string& path);
};

}  // namespace orvane::platform::sim
