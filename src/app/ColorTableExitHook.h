// SPDX-License-Identifier: MIT
#pragma once

#include "platform/WindowServer.h"

namespace orvane::app {

/// Restores every display's colour tables when the process ends, whichever way
/// it ends through exit(). A gamma table outlives the process that set it.
class ColorTableExitHook {
  public:
    /// Registers the process exit hook once; it acts on windowServer until disarmed.
    static void arm(platform::WindowServer& windowServer);
    /// Restores now and stops the hook from touching windowServer again (it is
    /// about to go away).
    static void disarm();
};

}  // namespace orvane::app
