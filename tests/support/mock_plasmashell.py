#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Plasma's org.kde.osdService on the session bus under plasmashell's name,
as much as Orvane calls: brightnessChanged, volumeChanged and showText.
Each call is written as one line to the file named on the command line.

With --kwin instead: KWin's Night Color (Plasma 6's interface), running."""

import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib


class OSD(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/org/kde/osdService")
        self.log = log

    def say(self, line):
        with open(self.log, "a") as f:
            f.write(line + "\n")

    @dbus.service.method("org.kde.osdService", in_signature="i")
    def brightnessChanged(self, percent):
        self.say(f"brightnessChanged {percent}")

    @dbus.service.method("org.kde.osdService", in_signature="i")
    def volumeChanged(self, percent):
        self.say(f"volumeChanged {percent}")

    @dbus.service.method("org.kde.osdService", in_signature="ss")
    def showText(self, icon, text):
        self.say(f"showText {icon} {text}")


class NightLight(dbus.service.Object):
    INTERFACE = "org.kde.KWin.NightLight"

    def __init__(self, bus):
        super().__init__(bus, "/org/kde/KWin/NightLight")

    # The properties are read only when the introspection data names them.
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
    def Introspect(self):
        return (f'<node><interface name="{self.INTERFACE}">'
                '<property name="running" type="b" access="read"/></interface></node>')

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface != self.INTERFACE or name != "running":
            raise dbus.exceptions.DBusException("no such property",
                                                name="org.freedesktop.DBus.Error.UnknownProperty")
        return dbus.Boolean(True)


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
if sys.argv[1] == "--kwin":
    night = NightLight(bus)
    name = dbus.service.BusName("org.kde.KWin", bus)
else:
    osd = OSD(bus, sys.argv[1])
    name = dbus.service.BusName("org.kde.plasmashell", bus)
GLib.MainLoop().run()
