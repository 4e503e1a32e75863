#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""The files an install puts beside the programs, checked as the desktop's
tools read them.

usage: desktop_integration.py CHECK SOURCE_DIR [ARGS...]
  ids SOURCE_DIR                    one application id everywhere
  appstream SOURCE_DIR VERSION      appstreamcli validates; the newest release is VERSION
  icons SOURCE_DIR                  every PNG is the size its folder says
  man SOURCE_DIR ORVANE MAN_PAGE    groff has no warning; every option of --help is in it
  completion SOURCE_DIR             bash completes options, platforms and URL commands
  files BUILD_DIR PREFIX EXPECTED   cmake --install puts exactly the listed files
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

APP_ID = "app.orvane.Orvane"


def fail(message):
    print("FAILED:", message)
    sys.exit(1)


def skip_without(tool, package):
    if not shutil.which(tool):
        print(f"SKIPPED: needs {tool} ({package}; scripts/setup.sh installs it)")
        sys.exit(77)


def check_ids(src):
    data = os.path.join(src, "data")
    desktop = open(os.path.join(data, APP_ID + ".desktop")).read()
    entries = dict(line.split("=", 1) for line in desktop.splitlines() if "=" in line)
    if entries.get("Icon") != APP_ID:
        fail("the desktop file's Icon is %r" % entries.get("Icon"))
    if "NoDisplay" in entries:
        fail("the menu entry is hidden")
    if "x-scheme-handler/orvane;" not in entries.get("MimeType", ""):
        fail("the desktop file does not take orvane:// URLs")
    meta = ET.parse(os.path.join(data, APP_ID + ".metainfo.xml")).getroot()
    if meta.findtext("id") != APP_ID or meta.findtext("launchable") != APP_ID + ".desktop":
        fail("the metainfo names another id or desktop file")
    if meta.find("provides/dbus").text != APP_ID:
        fail("the metainfo names another bus name")
    service = open(os.path.join(data, APP_ID + ".service.in")).read()
    if "Name=" + APP_ID + "\n" not in service:
        fail("the D-Bus service file names another bus name")
    # The programs say the same: the GUI's desktop-file name, the bus name.
    for path, needle in (("src/main/main.cpp", f'setDesktopFileName(QStringLiteral("{APP_ID}"))'),
                         ("src/app/AppDelegate.h", f'kBundleIdentifier = "{APP_ID}"')):
        if needle not in open(os.path.join(src, path)).read():
            fail(f"{path} does not use {APP_ID}")
    skip_without("desktop-file-validate", "desktop-file-utils")
    r = subprocess.run(["desktop-file-validate", os.path.join(data, APP_ID + ".desktop")],
                       capture_output=True, text=True)
    if r.returncode != 0 or r.stdout.strip():
        fail("desktop-file-validate: " + r.stdout + r.stderr)


def check_appstream(src, version):
    path = os.path.join(src, "data", APP_ID + ".metainfo.xml")
    releases = ET.parse(path).getroot().findall("releases/release")
    if not releases or releases[0].get("version") != version:
        fail("the newest release in the metainfo is not %s" % version)
    skip_without("appstreamcli", "appstream")
    r = subprocess.run(["appstreamcli", "validate", "--no-net", path], capture_output=True,
                       text=True)
    if r.returncode != 0:
        fail("appstreamcli: " + r.stdout + r.stderr)


def check_icons(src):
    root = os.path.join(src, "data", "icons", "hicolor")
    sizes = set()
    for folder in os.listdir(root):
        if folder == "scalable":
            ET.parse(os.path.join(root, folder, "apps", APP_ID + ".svg"))
            continue
        width, height = map(int, folder.split("x"))
        with open(os.path.join(root, folder, "apps", APP_ID + ".png"), "rb") as f:
            header = f.read(24)
        if header[:8] != b"\x89PNG\r\n\x1a\n":
            fail(folder + " holds no PNG")
        if struct.unpack(">II", header[16:24]) != (width, height):
            fail("the %s icon is %dx%d" % ((folder,) + struct.unpack(">II", header[16:24])))
        sizes.add(width)
    if not {16, 32, 48, 64, 128, 256} <= sizes:
        fail("icon sizes missing: %s" % sorted({16, 32, 48, 64, 128, 256} - sizes))


def check_man(src, orvane, page):
    skip_without("groff", "groff-base")
    r = subprocess.run(["groff", "-man", "-ww", "-z", page], capture_output=True, text=True)
    if r.returncode != 0 or r.stderr.strip():
        fail("groff: " + r.stderr)
    text = subprocess.run(["groff", "-man", "-Tutf8", "-P-c", "-P-b", "-P-u", page],
                          capture_output=True, text=True).stdout
    if "@" in open(page).read():
        fail("a placeholder was left in the page")
    usage = subprocess.run([orvane, "--help"], capture_output=True, text=True).stdout
    for option in sorted(set(re.findall(r"^\s+(--[a-z-]+)", usage, re.M))):
        if option.replace("-", "\u2010") not in text and option not in text:
            fail(option + " is in --help but not in the man page")
    for command in re.findall(r"^  ([a-z]+)  ", usage, re.M):
        if command not in text:
            fail("the URL command %s is not in the man page" % command)


def check_completion(src):
    if not os.path.exists("/usr/share/bash-completion/bash_completion"):
        print("SKIPPED: needs bash-completion (scripts/setup.sh installs it)")
        sys.exit(77)
    script = os.path.join(src, "data", "completion", "orvane")
    # Words as bash splits them: "orvane://bri" is orvane, :, //bri.
    cases = [
        (["orvane", "--pl"], "--platform"),
        (["orvane", "--platform", "s"], "sim"),
        (["orvane", "--once", "orvane", ":", "//bri"], "//brightness?value= //brightness?delta="),
        (["orvane", "orvane", ":", "//p"], "//power?value= //preset?name="),
        (["orvane", "--rig", "de"], "desk.json"),  # rig files, in tests/e2e/rigs
    ]
    for words, expected in cases:
        line = "".join(w if w == ":" or i == 0 or words[i - 1] == ":" else " " + w
                       for i, w in enumerate(words))
        program = ('. /usr/share/bash-completion/bash_completion; . "$1"; shift; '
                   'COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$LINE"; '
                   'COMP_POINT=${#COMP_LINE}; _orvane; echo "${COMPREPLY[*]}"')
        r = subprocess.run(["bash", "-c", program, "bash", script] + words,
                           env=dict(os.environ, LINE=line), capture_output=True, text=True,
                           cwd=os.path.join(src, "tests", "e2e", "rigs"))
        if r.stdout.strip() != expected:
            fail("%s completes to %r, not %r %s" % (line, r.stdout.strip(), expected, r.stderr))


def check_files(build, prefix, expected):
    shutil.rmtree(prefix, ignore_errors=True)
    r = subprocess.run(["cmake", "--install", build, "--prefix", prefix], capture_output=True,
                       text=True)
    if r.returncode != 0:
        fail("cmake --install: " + r.stderr)
    found = sorted(os.path.relpath(os.path.join(d, f), prefix)
                   for d, _, files in os.walk(prefix) for f in files)
    wanted = sorted(line.strip() for line in open(expected) if line.strip()
                    and not line.startswith("#"))
    # A GUI-less build has no orvane-gui; the caches are the desktop's.
    found = [f for f in found if not f.endswith(("icon-theme.cache", "mimeinfo.cache"))]
    if not os.path.exists(os.path.join(build, "src/main/orvane-gui")):
        wanted = [f for f in wanted if not f.endswith("/orvane-gui")]
    if found != wanted:
        fail("installed files differ:\n  missing: %s\n  extra: %s" % (
            sorted(set(wanted) - set(found)), sorted(set(found) - set(wanted))))


if __name__ == "__main__":
    check, args = sys.argv[1], sys.argv[2:]
    {"ids": check_ids, "appstream": check_appstream, "icons": check_icons, "man": check_man,
     "completion": check_completion, "files": check_files}[check](*args)
    print("OK")
