// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/linux/GlobalShortcutsPortal.h"
#include "platform/linux/GnomeCustomShortcuts.h"
#include "platform/linux/KGlobalAccel.h"
#include "platform/linux/PlasmaOSD.h"
#include "platform/linux/PulseAudioSinks.h"
#include "platform/linux/WlrLayerShell.h"
#include "platform/linux/X11Session.h"
#include "platform/linux/XkbKeyboardLayout.h"
#include "runtime/Logger.h"

namespace orvane::platform::linux_ {

/// What the desktop session offers for display modes, gamma and keys.
struct DesktopSession {
    /// The X11 server, when the session is an X11 one Orvane could reach:
    /// modes, gamma and keys.
    std::unique_ptr<X11Session> x11;
    /// Modes and gamma of a session without X11 (GNOME on Wayland: Mutter),
    /// or gamma alone (wlroots compositors).
    std::unique_ptr<DisplayConfig> displayConfig;
    /// Why modes (and gamma, without a display configuration) are unavailable.
    std::string unavailable = "needs a desktop session, and none is running";
    /// Media keys and shortcuts through the desktop's own service: KDE's
    /// KGlobalAccel (X11 or Wayland), or a Wayland session's portal. Without
    /// one, X11 has key grabs.
    std::unique_ptr<ShortcutService> shortcuts;
    /// Plasma's on-screen display, on Wayland where Orvane's panel cannot be
    /// placed.
    std::unique_ptr<PlasmaOSD> osd;
    /// The compositor's layers, where Orvane's overlays and panel go on a
    /// Wayland session that has them (not GNOME's).
    std::unique_ptr<WlrLayerShell> layers;
    /// GNOME's own keyboard shortcuts, which can run Orvane's key commands.
    std::optional<GnomeCustomShortcuts> gnomeShortcuts;
    /// Key names in the user's layout; none without keymaps (xkb-data).
    std::unique_ptr<XkbKeyboardLayout> keyboard;
    /// The sound server's devices; none without one.
    std::unique_ptr<PulseAudioSinks> audio;
    std::string audioUnavailable = "no sound server";
    /// Why keys are unavailable without x11.
    std::string keysUnavailable = "needs a desktop session, and none is running";

    /// The modes and gamma service: X11's or the session's own; null without.
    DisplayConfig* config() const { return x11 ? x11.get() : displayConfig.get(); }
    /// The service when it also switches modes; null without.
    DisplayConfig* modesConfig() const {
        auto* c = config();
        return c && c->hasModes() ? c : nullptr;
    }

    /// The session the environment names (WAYLAND_DISPLAY, DISPLAY,
    /// XDG_CURRENT_DESKTOP, XDG_SESSION_TYPE), said in one line, and the
    /// sound server, said in another when it is missing.
    static DesktopSession detect(runtime::Logger& log);

  private:
    static DesktopSession detectDisplay(runtime::Logger& log);
};

}  // namespace orvane::platform::linux_
