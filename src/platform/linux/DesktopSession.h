// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "platform/linux/X11Session.h"
#include "runtime/Logger.h"

namespace orvane::platform::linux_ {

/// What the desktop session offers for display modes, gamma and keys.
struct DesktopSession {
    /// The X11 server, when the session is an X11 one Orvane could reach.
    std::unique_ptr<X11Session> x11;
    /// Why modes, gamma and keys are unavailable without x11.
    std::string unavailable = "needs a desktop session, and none is running";

    /// The session the environment names (WAYLAND_DISPLAY, DISPLAY,
    /// XDG_CURRENT_DESKTOP, XDG_SESSION_TYPE), said in one line.
    static DesktopSession detect(runtime::Logger& log);
};

}  // namespace orvane::platform::linux_
