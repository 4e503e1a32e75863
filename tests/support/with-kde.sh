#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs COMMAND with KDE's real global shortcut daemon (kglobalaccel5) on a
# private session bus and a private Xvfb, its settings in a temporary
# folder, a mock of plasmashell's OSD service (which needs a whole Plasma
# desktop) writing its calls to $PLASMA_OSD_LOG, and a mock of KWin's Night
# Color, running. Exit 77 (skipped) when a
# tool is missing.
set -u
here=$(dirname "$0")
. "$(dirname "$0")/require.sh"
require_tools "libkf5globalaccel-bin, dbus, xvfb" kglobalaccel5 dbus-run-session dbus-send Xvfb
require_python_dbus
case "${1:-}" in
    --inside) ;;
    *) exec dbus-run-session -- "$here/xvfb-run.sh" -- "$0" --inside "$@" ;;
esac
shift
KGLOBALACCEL_HOME=$(mktemp -d)
export KGLOBALACCEL_HOME
XDG_CONFIG_HOME="$KGLOBALACCEL_HOME" QT_QPA_PLATFORM=xcb kglobalaccel5 >/dev/null 2>&1 &
daemon=$!
PLASMA_OSD_LOG="$KGLOBALACCEL_HOME/osd.log"
export PLASMA_OSD_LOG
/usr/bin/python3 "$here/mock_plasmashell.py" "$PLASMA_OSD_LOG" &
PLASMA_OSD_PID=$!
export PLASMA_OSD_PID
/usr/bin/python3 "$here/mock_plasmashell.py" --kwin &
kwin=$!
trap 'kill $daemon $PLASMA_OSD_PID $kwin 2>/dev/null; rm -rf "$KGLOBALACCEL_HOME"' EXIT
. "$here/bus-names.sh"
wait_for_bus_names org.kde.kglobalaccel org.kde.plasmashell org.kde.KWin
"$@"
