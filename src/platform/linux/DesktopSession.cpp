// SPDX-License-Identifier: MIT
#include "platform/linux/DesktopSession.h"

#include "platform/linux/MutterDisplayConfig.h"
#include "platform/linux/WlrGammaControl.h"
#include "runtime/Environment.h"

namespace orvane::platform::linux_ {

DesktopSession DesktopSession::detect(runtime::Logger& log) {
    DesktopSession session = detectDisplay(log);
    session.keyboard = XkbKeyboardLayout::load(
        session.x11 ? runtime::environmentValue("DISPLAY").value_or("") : std::string());
    if (!session.keyboard)
        log.line(
            "[Linux] Keyboard layout unavailable: libxkbcommon found no keymap (xkb-data) - "
            "keys are named by their code");
    std::string error;
    session.audio = PulseAudioSinks::connect(error);
    if (!session.audio) {
        session.audioUnavailable = error;
        log.line("[Linux] Display audio unavailable: " + error +
                 " (PulseAudio or PipeWire's pulse server) - volume goes through DDC only");
    }
    return session;
}

DesktopSession DesktopSession::detectDisplay(runtime::Logger& log) {
    using runtime::environmentValue;
    DesktopSession session;
    const auto desktop = environmentValue("XDG_CURRENT_DESKTOP");
    const std::string named = desktop ? " (" + *desktop + ")" : "";
    const bool gnome = desktop && desktop->find("GNOME") != std::string::npos;
    if (gnome) session.gnomeShortcuts = GnomeCustomShortcuts::open(GnomeCustomShortcuts::orvane());
    // On Plasma its own service holds every global key, on X11 too, and
    // lists Orvane's in System Settings.
    const bool kde = desktop && desktop->find("KDE") != std::string::npos;
    std::string kdeError;
    if (kde) session.shortcuts = KGlobalAccel::open(kdeError);
    const std::string keysThrough =
        session.shortcuts ? "media keys and shortcuts through " + session.shortcuts->name() : "";
    const bool wayland = environmentValue("WAYLAND_DISPLAY") ||
                         environmentValue("XDG_SESSION_TYPE").value_or("") == "wayland";
    if (wayland) {
        // XWayland answers X11 requests, but its modes and gamma change
        // nothing and its key grabs see only X11 windows' keys.
        std::string error;
        if (!session.shortcuts) session.shortcuts = GlobalShortcutsPortal::open(error);
        if (!session.shortcuts) session.keysUnavailable = error;
        if (gnome) session.displayConfig = MutterDisplayConfig::open(error);
        std::string gammaError;
        if (!gnome) session.displayConfig = WlrGammaControl::open(gammaError);
        if (!session.displayConfig || !gnome) {
            session.unavailable =
                gnome ? error
                      : "this Wayland compositor offers no interface Orvane supports for it yet";
        }
        std::string modes;
        if (gnome && session.displayConfig) {
            modes = "display modes and gamma through Mutter's DisplayConfig";
        } else if (session.displayConfig) {
            modes = "gamma through wlr-gamma-control; display modes unavailable: " +
                    session.unavailable;
        } else {
            modes = "display modes and gamma unavailable: " + session.unavailable +
                    (gnome ? "" : " (gamma: " + gammaError + ")");
        }
        const std::string keys =
            session.shortcuts ? "media keys and shortcuts through " + session.shortcuts->name()
            : session.gnomeShortcuts
                ? "media keys and shortcuts unavailable: " + session.keysUnavailable +
                      " (Settings > Keyboard in Orvane adds them to GNOME's keyboard shortcuts)"
                : "media keys and shortcuts unavailable: " + session.keysUnavailable;
        // Without layer-shell Wayland lets no program place its own panel on
        // a screen; Plasma's own OSD comes first where it runs.
        if (kde) session.osd = PlasmaOSD::open(error);
        if (!gnome) session.layers = WlrLayerShell::open(error);
        // The OSD service is asked at each show: the line must not promise it
        // when plasmashell is gone.
        std::string windows;
        if (session.osd)
            windows = std::string(
                          "; the on-screen panel through Plasma's OSD service while "
                          "plasmashell runs") +
                      (session.layers ? ", else wlr-layer-shell" : "");
        if (session.layers)
            windows += std::string("; dimming overlays") +
                       (session.osd ? "" : " and the on-screen panel") + " through wlr-layer-shell";
        log.line("[Linux] Desktop session: Wayland" + named + " - " + modes + "; " + keys +
                 windows);
        return session;
    }
    const auto display = environmentValue("DISPLAY");
    if (!display) {
        log.line(
            "[Linux] Desktop session: none - display modes, gamma, media keys and "
            "shortcuts unavailable");
        return session;
    }
    std::string error;
    session.x11 = X11Session::open(*display, error);
    if (!session.x11) {
        session.unavailable = error;
        session.keysUnavailable = error;
        log.line("[Linux] Desktop session: X11" + named +
                 " - display modes, gamma, media keys and shortcuts unavailable: " + error);
        return session;
    }
    log.line("[Linux] Desktop session: X11" + named +
             " - display modes and gamma through XRandR, " +
             (keysThrough.empty() ? "media keys and shortcuts through key grabs" : keysThrough));
    return session;
}

}  // namespace orvane::platform::linux_
