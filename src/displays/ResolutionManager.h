// SPDX-License-Identifier: MIT
#pragma once

#include <vector>

#include "displays/DisplayMode.h"
#include "platform/WindowServer.h"
#include "runtime/Logger.h"

namespace orvane::displays {

/// Lists a display's modes and switches it to one, through a configuration
/// transaction that lasts for the login session. Holds no state. Main thread.
class ResolutionManager {
  public:
    ResolutionManager(platform::WindowServer& windowServer, runtime::Logger& log)
        : windowServer_(windowServer), log_(log) {}

    /// Distinct modes, largest area first, then higher rate, then HiDPI first.
    std::vector<DisplayMode> availableModes(DisplayID display,
                                            bool includeDuplicateLowResolution) const;
    bool setMode(DisplayID display, std::int64_t width, std::int64_t height, bool isHiDPI,
                 double refreshRate) const;

  private:
    platform::WindowServer& windowServer_;
    runtime::Logger& log_;
};

}  // namespace orvane::displays
