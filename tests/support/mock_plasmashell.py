#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Plasma's org.kde.osdService on the session bus under plasmashell's name,
as much as Orvane calls: brightnessChanged, volumeChanged and showText.
Each call is written as one line to the file named on the command line."""

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


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
osd = OSD(bus, sys.argv[1])
name = dbus.service.BusName("org.kde.plasmashell", bus)
GLib.MainLoop().run()
