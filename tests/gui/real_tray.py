#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The tray icon in the trays people have. On a private Xvfb and session bus
(tests/support/with-tray.sh): a real XEmbed tray (trayer), and the
StatusNotifier path a KDE panel or GNOME's AppIndicator extension takes,
against a watcher of our own; in each, a click on the icon opens the popover
beside the panel and a second click closes it. On a real sway
(tests/support/with-sway.sh, a session bus): waybar's tray, a real
StatusNotifier host, shows the icon, and its activation opens the popover.

Usage: real_tray.py ORVANE_BINARY"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

BINARY = sys.argv.pop(1) if len(sys.argv) > 1 else "orvane"
HERE = os.path.dirname(os.path.abspath(__file__))


def wait(what, limit=30.0):
    """What what() returns once it is true, or None after limit seconds (a
    sanitized build on a loaded machine starts slowly)."""
    end = time.monotonic() + limit
    while time.monotonic() < end:
        value = what()
        if value:
            return value
        time.sleep(0.05)
    return None


def tool(*args):
    return subprocess.run(args, capture_output=True, text=True).stdout


def geometry(window):
    """x, y, width, height of an X window, in root coordinates."""
    info = tool("xwininfo", "-id", window)
    field = lambda name: int(re.search(name + r":\s+(-?\d+)", info).group(1))
    return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
            field("Height"))


def popover():
    """The popover's window while it is on screen: Orvane's 320 px wide one."""
    ours = set(tool("xdotool", "search", "--onlyvisible", "--classname", "^orvane$").split())
    for window in tool("xdotool", "search", "--onlyvisible", "--name", "^Orvane$").split():
        if window in ours and geometry(window)[2] == 320:
            return window
    return None


class Orvane:
    """The GUI on the simulated machine, with a store of its own."""

    def __init__(self, home, platform):
        env = dict(os.environ, QT_QPA_PLATFORM=platform, XDG_DATA_HOME=home + "/data",
                   XDG_CONFIG_HOME=home + "/config")
        if platform == "xcb":
            env["XDG_RUNTIME_DIR"] = home + "/run"  # a Wayland client keeps the compositor's
        os.makedirs(home + "/run", mode=0o700, exist_ok=True)
        self.log = open(home + "/orvane.log", "w+")
        self.process = subprocess.Popen([BINARY, "--platform", "sim"], env=env,
                                        stdout=self.log, stderr=subprocess.STDOUT)

    def lines(self):
        self.log.seek(0)
        return self.log.read().splitlines()

    def stop(self):
        """The exit status and every line the run logged."""
        self.process.send_signal(signal.SIGTERM)
        status = self.process.wait(timeout=20)
        lines = self.lines()
        self.log.close()
        return status, lines


class TrayTest(unittest.TestCase):
    needs = None  # the environment variable the session sets

    def setUp(self):
        if self.needs and not os.environ.get(self.needs):
            self.skipTest(f"needs {self.needs} (run through its session script)")
        self.home = tempfile.mkdtemp(prefix="orvane-tray-")
        self.helpers = []
        self.runs = []

    def tearDown(self):
        for helper in self.helpers + [o.process for o in self.runs]:
            helper.kill()
            helper.wait()
        shutil.rmtree(self.home, ignore_errors=True)

    def helper(self, *args):
        self.helpers.append(subprocess.Popen(args, stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL))

    def orvane(self, platform):
        self.runs.append(Orvane(self.home, platform))
        return self.runs[-1]

    def assertEndsCleanly(self, orvane):
        status, lines = orvane.stop()
        self.assertEqual(status, 0)
        self.assertFalse([l for l in lines if "No system tray" in l], lines)
        self.assertIn("[AppDelegate] Orvane terminating - cleaning up", lines)


class X11TrayTest(TrayTest):
    needs = "DISPLAY"


    def click(self, window):
        subprocess.run(["xdotool", "mousemove", "--window", window, "8", "8", "click", "1"],
                       check=True)

    def assertOpensBesideThePanel(self, click, icon):
        self.assertIsNone(popover())
        click()
        shown = wait(popover)
        self.assertTrue(shown, "a click on the icon opened no popover")
        x, y, width, height = geometry(shown)
        ix, iy, iwidth, iheight = icon
        self.assertLessEqual(x, ix + iwidth)
        self.assertGreaterEqual(x + width, ix, "far from the icon")
        self.assertGreaterEqual(y, iy + iheight, "over the panel")
        self.assertLessEqual(y, iy + iheight + 24, "far below the panel")
        click()
        self.assertTrue(wait(lambda: popover() is None), "a second click left it open")

    def test_an_xembed_tray_holds_the_icon_and_a_click_opens_the_popover(self):
        self.helper("trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                    "--SetDockType", "true")
        panel = wait(lambda: tool("xdotool", "search", "--name", "^panel$").split())
        self.assertTrue(panel, "trayer did not start")
        orvane = self.orvane("xcb")

        def embedded():
            for window in panel:
                tree = tool("xwininfo", "-tree", "-id", window)
                found = re.search(r'(0x[0-9a-f]+) "Orvane": \("orvane" "Orvane"\)', tree)
                if found:
                    return found.group(1)
            return None

        icon = wait(embedded)
        self.assertTrue(icon, "the icon is not in trayer's panel")
        self.assertOpensBesideThePanel(lambda: self.click(icon), geometry(icon))
        self.assertEndsCleanly(orvane)

    def test_a_status_notifier_host_gets_the_item_and_its_activation_opens_the_popover(self):
        import dbus

        registered = self.home + "/items.log"
        open(registered, "w").close()
        self.helper("/usr/bin/python3", HERE + "/../support/mock_sni_watcher.py", registered)
        bus = dbus.SessionBus()
        self.assertTrue(wait(lambda: bus.name_has_owner("org.kde.StatusNotifierWatcher")))
        orvane = self.orvane("xcb")
        def items():
            with open(registered) as f:
                return f.read().split()

        item = wait(items)
        self.assertTrue(item, "no item registered with the watcher")
        service, path = item
        proxy = bus.get_object(service, path)
        properties = dbus.Interface(proxy, dbus.PROPERTIES_IFACE)
        get = lambda name: properties.Get("org.kde.StatusNotifierItem", name)
        self.assertEqual(get("Status"), "Active")
        self.assertEqual(get("ToolTip")[2], "Orvane")
        pixmaps = get("IconPixmap")
        self.assertTrue(pixmaps and pixmaps[0][0] > 0 and len(pixmaps[0][2]) > 0, "no icon")
        self.assertTrue(get("Menu"), "no menu for a right click")
        # An item is told no geometry: the pointer that clicked it stands in.
        subprocess.run(["xdotool", "mousemove", "1800", "12"], check=True)
        activate = dbus.Interface(proxy, "org.kde.StatusNotifierItem").Activate
        self.assertOpensBesideThePanel(lambda: activate(1800, 12), (1800, 12, 1, 1))
        self.assertEndsCleanly(orvane)


def dark_pixels(output, box):
    """How many pixels in box (x, y, width, height) of output are near black,
    as the tray icon is drawn on a light theme's text colour."""
    shot = tempfile.mktemp(suffix=".ppm")
    subprocess.run(["grim", "-t", "ppm", "-o", output, shot], check=True)
    with open(shot, "rb") as f:
        magic, size, _, pixels = f.read().split(b"\n", 3)
    os.unlink(shot)
    width = int(size.split()[0])
    x0, y0, w, h = box
    return sum(1 for y in range(y0, y0 + h) for x in range(x0, x0 + w)
               if max(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3]) < 40)


class WaybarTrayTest(TrayTest):
    needs = "SWAYSOCK"

    def windows(self):
        """The names of Orvane's windows sway shows."""
        tree = json.loads(tool("swaymsg", "-s", os.environ["SWAYSOCK"], "-t", "get_tree"))
        found, nodes = [], [tree]
        while nodes:
            node = nodes.pop()
            if node.get("app_id") == "app.orvane.Orvane":
                found.append(node.get("name"))
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
        return found

    def test_waybar_shows_the_icon_and_its_activation_opens_the_popover(self):
        import dbus

        config = self.home + "/waybar.json"
        with open(config, "w") as f:
            json.dump({"position": "top", "height": 30, "modules-right": ["tray"],
                       "tray": {"icon-size": 20}}, f)
        self.helper("waybar", "-c", config, "-s", "/etc/xdg/waybar/style.css")
        bus = dbus.SessionBus()
        self.assertTrue(wait(lambda: bus.name_has_owner("org.kde.StatusNotifierWatcher")),
                        "waybar's tray did not start")
        tray = (1820, 0, 100, 30)  # the bar's right end, where its tray is
        self.assertTrue(wait(lambda: dark_pixels("HEADLESS-1", tray) == 0), "no bare bar")
        orvane = self.orvane("wayland")
        watcher = dbus.Interface(bus.get_object("org.kde.StatusNotifierWatcher",
                                                "/StatusNotifierWatcher"),
                                 dbus.PROPERTIES_IFACE)
        items = wait(lambda: watcher.Get("org.kde.StatusNotifierWatcher",
                                         "RegisteredStatusNotifierItems"))
        self.assertTrue(items, "no item registered with waybar")
        self.assertTrue(wait(lambda: dark_pixels("HEADLESS-1", tray) > 20),
                        "waybar shows no icon")
        service, _, path = str(items[0]).partition("/")
        activate = dbus.Interface(bus.get_object(service, "/" + path),
                                  "org.kde.StatusNotifierItem").Activate
        # The first start's welcome comes up on its own; a window that maps
        # after the popover would take the focus from it, and it would close.
        self.assertTrue(wait(lambda: "Welcome to Orvane" in self.windows()), "no welcome")
        # What waybar calls on a click (headless sway has no pointer to click).
        activate(1900, 15)
        self.assertTrue(wait(lambda: "Orvane" in self.windows()),
                        f"no popover among {self.windows()}; the run said {orvane.lines()[-8:]}")
        activate(1900, 15)
        self.assertTrue(wait(lambda: "Orvane" not in self.windows()), "the popover stayed")
        self.assertEndsCleanly(orvane)


if __name__ == "__main__":
    # A session without the tools the tests drive is skipped, not passed.
    for needed in ["grim", "waybar"] if os.environ.get("SWAYSOCK") else ["xdotool", "trayer"]:
        if not shutil.which(needed):
            print(f"SKIPPED: {needed} is not installed (scripts/setup.sh installs it)")
            sys.exit(77)
    unittest.main()
