#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The running instance on a private session bus, called as a script or the
desktop calls it: org.freedesktop.Application and the control interface.

usage: session_bus.py ORVANE RIG INTERFACE_XML  (inside dbus-run-session)
"""
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

try:
    import dbus
    import dbus.mainloop.glib
    from gi.repository import GLib
except ImportError:
    print("SKIPPED: needs python3-dbus and python3-gi (scripts/setup.sh installs them)")
    sys.exit(77)

NAME, PATH = "app.orvane.Orvane", "/app/orvane/Orvane"
CONTROL, FAILED = "app.orvane.Orvane.Control", "app.orvane.Orvane.Error.Failed"
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def error_of(call, *args):
    try:
        call(*args)
    except dbus.DBusException as e:
        return e.get_dbus_name(), e.get_dbus_message()
    return None, None


def wait_for(predicate, seconds=5.0):
    loop = GLib.MainContext.default()
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        while loop.pending():
            loop.iteration(False)
        if predicate():
            return True
        time.sleep(0.01)
    return predicate()


def interface_shape(root, name):
    """Members of an interface with their argument types and directions."""
    for iface in root.iter("interface"):
        if iface.get("name") == name:
            return sorted((m.tag, m.get("name"),
                           tuple((a.get("type"), a.get("direction", "out")) for a in m.iter("arg")))
                          for m in iface if m.tag in ("method", "signal"))
    return None


def main():
    orvane, rig, interface_xml = sys.argv[1:4]
    home = tempfile.mkdtemp(prefix="orvane-bus-")
    run = os.path.join(home, "run")
    os.mkdir(run, 0o700)
    out = os.path.join(home, "out.json")
    env = dict(os.environ, XDG_DATA_HOME=home + "/data", XDG_CONFIG_HOME=home + "/config",
               XDG_RUNTIME_DIR=run, ORVANE_LINUX_ROOT=home + "/no-machine")
    for var in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(var, None)
    log = open(os.path.join(home, "log.txt"), "w+")
    instance = subprocess.Popen([orvane, "--rig", rig, "--headless", "--rig-out", out],
                                env=env, stdout=log, stderr=subprocess.STDOUT)
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    check(wait_for(lambda: bus.name_has_owner(NAME)), "the instance takes its name")
    proxy = bus.get_object(NAME, PATH)
    control = dbus.Interface(proxy, CONTROL)
    application = dbus.Interface(proxy, "org.freedesktop.Application")

    # Every display, with what the info document says of it.
    displays = control.ListDisplays()
    check([str(d["name"]) for d in displays] == ["Office", "Projector", "Built-in Display"],
          "ListDisplays lists the rig's displays in order: %s" % [str(d["name"]) for d in displays])
    office = displays[0]
    check(bool(office["ddc"]["supported"]), "the office monitor has DDC")
    check("connector" not in office, "a null is left out, not sent as a value")

    # A level set over the bus lands like a URL's, and is signalled.
    changes = []
    bus.add_signal_receiver(lambda *args: changes.append(tuple(args)), "LevelChanged", CONTROL,
                            NAME, PATH)
    control.Set("Office", "brightness", dbus.Double(42))
    check(control.Get("1", "brightness") == 42.0, "Get reads what Set wrote")
    check(wait_for(lambda: (str(office["key"]), "brightness", 42.0) in changes),
          "LevelChanged tells the new brightness with the display's key: %s" % changes)
    control.Set("", "volume", dbus.String("25"))  # "" is every display, as in a URL
    check(control.Get("Office", "volume") == 25.0, "a string value is taken like a URL's")

    # What did not happen is an error with its reason, never a quiet success.
    name, message = error_of(control.Set, "nowhere", "brightness", dbus.Int32(10))
    check(name == FAILED and "use one of" in message and "Office" in message,
          "an unknown display names the candidates: %s %s" % (name, message))
    name, message = error_of(control.Set, "Office", "contrast", dbus.String("banana"))
    check(name == FAILED and "requires 'value' as a number" in message,
          "a bad value says what is wanted: %s" % message)
    name, message = error_of(control.Get, "all", "brightness")
    check(name == FAILED and "one display" in message, "Get of several displays: %s" % message)
    name, _ = error_of(control.Get, "Office", "sharpness")
    check(name == "org.freedesktop.DBus.Error.InvalidArgs", "an unknown control: %s" % name)
    name, message = error_of(control.ApplyPreset, "nope")
    check(name == FAILED and "Preset not found: nope" in message, "ApplyPreset: %s" % message)

    # org.freedesktop.Application: Open runs URLs, Activate is answered.
    application.Open(["orvane://contrast?display=Office&value=20"], {})
    check(wait_for(lambda: control.Get("Office", "contrast") == 20.0), "Open ran the URL")
    application.Activate({})
    name, _ = error_of(application.ActivateAction, "frobnicate", [], {})
    check(name == "org.freedesktop.DBus.Error.InvalidArgs", "no actions: %s" % name)

    # The installed description is the interface the instance serves.
    served = ET.fromstring(str(dbus.Interface(proxy, "org.freedesktop.DBus.Introspectable")
                               .Introspect()))
    check(interface_shape(served, CONTROL) == interface_shape(ET.parse(interface_xml).getroot(),
                                                              CONTROL),
          "data/app.orvane.Orvane.Control.xml matches the served interface")

    instance.send_signal(signal.SIGTERM)
    check(instance.wait(10) == 0, "the instance ends cleanly")
    check(not bus.name_has_owner(NAME), "the name goes with the instance")
    state = json.load(open(out))
    office_state = next(d for d in state["displays"] if d["id"] == 2)
    check(office_state["vcp"]["0x10"][0] == 42, "the monitor holds the brightness set over the bus")
    check(office_state["vcp"]["0x12"][0] == 20, "and the contrast Open set")
    if failures:
        log.seek(0)
        print(log.read())
        return 1
    print("OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
