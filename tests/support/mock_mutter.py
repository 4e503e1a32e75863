#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""GNOME's org.gnome.Mutter.DisplayConfig on the session bus, as much of it
as Orvane uses: two monitors, their modes, a layout, CRTC gamma, and
MonitorsChanged after each applied configuration. Every ApplyMonitorsConfig
call is appended to the JSON-lines file named by the first argument."""

import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.gnome.Mutter.DisplayConfig"
PATH = "/org/gnome/Mutter/DisplayConfig"
LOG = sys.argv[1]


def mode(w, h, rate, current=False, scales=(1.0, 2.0), preferred=1.0):
    props = {"is-current": dbus.Boolean(current)} if current else {}
    return (f"{w}x{h}@{rate:.3f}", w, h, rate, preferred, dbus.Array(scales, "d"),
            dbus.Dictionary(props, "sv"))


class DisplayConfig(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, PATH)
        self.serial = 1
        # Monitor identities as Mutter reads them from the EDIDs in tests/data/edid.
        self.monitors = [
            {"id": ("DP-1", "DEL", "DELL U2720Q", "7XKD123"),
             "modes": [(3840, 2160, 60.0), (2560, 1440, 59.951), (1920, 1080, 60.0)],
             "current": 0},
            {"id": ("eDP-1", "BOE", "0x0a1b", "0x00000000"),
             "modes": [(1920, 1200, 60.0)], "current": 0},
        ]
        self.layout = [(0, 0, 2.0, 0, True, ["DP-1"]), (1920, 0, 1.0, 0, False, ["eDP-1"])]
        self.gamma = {0: [list(range(0, 65536, 257))] * 3, 1: [list(range(0, 65536, 257))] * 3}

    def modes_of(self, m):
        return [mode(w, h, r, i == m["current"]) for i, (w, h, r) in enumerate(m["modes"])]

    @dbus.service.method(NAME, out_signature="ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv}")
    def GetCurrentState(self):
        monitors = [(m["id"], self.modes_of(m), dbus.Dictionary({}, "sv")) for m in self.monitors]
        ids = {m["id"][0]: m["id"] for m in self.monitors}
        logical = [(x, y, s, t, p, [ids[c] for c in cs], dbus.Dictionary({}, "sv"))
                   for x, y, s, t, p, cs in self.layout]
        return (self.serial, monitors, logical, dbus.Dictionary({}, "sv"))

    @dbus.service.method(NAME, in_signature="uua(iiduba(ssa{sv}))a{sv}")
    def ApplyMonitorsConfig(self, serial, method, logical, props):
        with open(LOG, "a") as f:
            f.write(json.dumps({"serial": int(serial), "method": int(method),
                                "logical": [[int(x), int(y), float(s), int(t), bool(p),
                                             [[str(c), str(m)] for c, m, _ in ms]]
                                            for x, y, s, t, p, ms in logical]}) + "\n")
        if serial != self.serial:
            raise dbus.exceptions.DBusException("stale serial",
                                                name="org.freedesktop.DBus.Error.AccessDenied")
        for x, y, s, t, p, ms in logical:
            for connector, mode_id, _ in ms:
                for m in self.monitors:
                    if m["id"][0] == connector:
                        ids = [mode(w, h, r)[0] for w, h, r in m["modes"]]
                        m["current"] = ids.index(str(mode_id))
        self.serial += 1
        self.MonitorsChanged()

    @dbus.service.signal(NAME)
    def MonitorsChanged(self):
        pass

    @dbus.service.method(NAME, out_signature="ua(uxiiiiiuaua{sv})a(uxiausauaua{sv})a(uxuudu)ii")
    def GetResources(self):
        crtcs = [(i, i, 0, 0, 0, 0, 0, 1, dbus.Array([], "u"), dbus.Dictionary({}, "sv"))
                 for i in range(2)]
        outputs = [(i, i, i, dbus.Array([i], "u"), m["id"][0], dbus.Array([], "u"),
                    dbus.Array([], "u"), dbus.Dictionary({}, "sv"))
                   for i, m in enumerate(self.monitors)]
        return (self.serial, crtcs, outputs, dbus.Array([], "(uxuudu)"), 8192, 8192)

    @dbus.service.method(NAME, in_signature="uu", out_signature="aqaqaq")
    def GetCrtcGamma(self, serial, crtc):
        r, g, b = self.gamma[int(crtc)]
        return (dbus.Array(r, "q"), dbus.Array(g, "q"), dbus.Array(b, "q"))

    @dbus.service.method(NAME, in_signature="uuaqaqaq")
    def SetCrtcGamma(self, serial, crtc, red, green, blue):
        self.gamma[int(crtc)] = [[int(v) for v in red], [int(v) for v in green],
                                 [int(v) for v in blue]]


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
service = DisplayConfig(bus)
name = dbus.service.BusName(NAME, bus)
GLib.MainLoop().run()
