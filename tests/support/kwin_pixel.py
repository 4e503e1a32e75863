#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Prints "R G B" of the pixel KWin shows at X Y (logical, over all outputs),
through its own screenshot interface (org.kde.KWin.ScreenShot2).

Usage: kwin_pixel.py X Y"""

import os
import sys

import dbus

x, y = int(sys.argv[1]), int(sys.argv[2])
shot = dbus.Interface(dbus.SessionBus().get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2"),
                      "org.kde.KWin.ScreenShot2")
read, write = os.pipe()
result = shot.CaptureArea(x, y, dbus.UInt32(1), dbus.UInt32(1), {"native-resolution": True},
                          dbus.types.UnixFd(write))
os.close(write)
data = b""
while chunk := os.read(read, 4096):
    data += chunk
# QImage's premultiplied ARGB32 (format 6): B, G, R, A in memory.
if result.get("format") != 6 or len(data) < 4:
    sys.exit(f"unexpected screenshot: {dict(result)}, {len(data)} bytes")
print(data[2], data[1], data[0])
