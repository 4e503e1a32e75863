#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The GlobalShortcuts interface of org.freedesktop.portal.Desktop on the
session bus, as much as Orvane uses: sessions, ListShortcuts, BindShortcuts
(answered through Request objects, later, as a real portal does) and
Activated. The portal binds a requested trigger unless it is "CTRL+ALT+Down",
which it leaves unbound as if the user declined. Bindings outlive sessions,
as a desktop keeps them per application. The test side: Activate(id) emits
Activated on the newest session; BindCount() says how often BindShortcuts ran."""

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

BUS = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
IFACE = "org.freedesktop.portal.GlobalShortcuts"


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass


def sv(d):
    return dbus.Dictionary(d, signature="sv")


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, PATH)
        self.bus = bus
        self.bound = {}  # id -> trigger
        self.sessions = []
        self.binds = 0
        self.requests = []

    def respond(self, sender, token, results):
        path = "%s/request/%s/%s" % (PATH, sender[1:].replace(".", "_"), token)
        request = Request(self.bus, path)
        self.requests.append(request)

        def later():
            request.Response(0, sv(results))
            return False
        GLib.timeout_add(20, later)
        return dbus.ObjectPath(path)

    def listed(self, ids=None):
        return dbus.Array([(i, sv({"description": "", "trigger_description": t}))
                           for i, t in self.bound.items() if ids is None or i in ids],
                          signature="(sa{sv})")

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == IFACE and name == "version":
            return dbus.UInt32(1, variant_level=1)
        raise dbus.exceptions.DBusException("no such property",
                                            name="org.freedesktop.DBus.Error.InvalidArgs")

    @dbus.service.method(IFACE, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        session = "%s/session/%s/%s" % (PATH, sender[1:].replace(".", "_"),
                                        options["session_handle_token"])
        self.sessions.append(session)
        return self.respond(sender, options["handle_token"], {"session_handle": session})

    @dbus.service.method(IFACE, in_signature="oa{sv}", out_signature="o", sender_keyword="sender")
    def ListShortcuts(self, session, options, sender=None):
        return self.respond(sender, options["handle_token"], {"shortcuts": self.listed()})

    @dbus.service.method(IFACE, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent, options, sender=None):
        self.binds += 1
        for sid, props in shortcuts:
            trigger = str(props.get("preferred_trigger", ""))
            self.bound[str(sid)] = "" if trigger == "CTRL+ALT+Down" else "Press " + trigger
        return self.respond(sender, options["handle_token"],
                            {"shortcuts": self.listed([str(s) for s, _ in shortcuts])})

    @dbus.service.signal(IFACE, signature="osta{sv}")
    def Activated(self, session, shortcut, timestamp, options):
        pass

    @dbus.service.method("org.orvane.Test", in_signature="s")
    def Activate(self, shortcut):
        self.Activated(dbus.ObjectPath(self.sessions[-1]), shortcut, dbus.UInt64(0), sv({}))

    @dbus.service.method("org.orvane.Test", out_signature="u")
    def BindCount(self):
        return self.binds


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
portal = Portal(bus)
name = dbus.service.BusName(BUS, bus)
GLib.MainLoop().run()
