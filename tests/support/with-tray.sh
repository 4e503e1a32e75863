#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs COMMAND on a private session bus and a private Xvfb with the tools the
# tray test drives: trayer (an XEmbed tray), xdotool and xwininfo. Exit 77
# (skipped) when one is missing.
set -u
here=$(dirname "$0")
for tool in trayer xdotool xwininfo dbus-run-session Xvfb; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed (packages trayer, xdotool, x11-utils, dbus, xvfb; scripts/setup.sh installs them)"
        exit 77
    fi
done
if ! /usr/bin/python3 -c 'import dbus, gi' >/dev/null 2>&1; then
    echo "SKIPPED: needs python3-dbus and python3-gi (scripts/setup.sh installs them)"
    exit 77
fi
exec dbus-run-session -- "$here/xvfb-run.sh" -- "$@"
