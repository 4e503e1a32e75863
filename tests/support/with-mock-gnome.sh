#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs COMMAND on a private session bus where mocks of GNOME's
# org.gnome.Mutter.DisplayConfig and of the GlobalShortcuts portal answer;
# Mutter's ApplyMonitorsConfig calls go to $MUTTER_LOG. Exit 77 (skipped)
# when a tool is missing.
set -u
here=$(dirname "$0")
. "$here/require.sh"
require_tools "dbus" dbus-run-session dbus-send
require_python_dbus
if [ "${1:-}" != "--inside" ]; then
    exec dbus-run-session -- "$0" --inside "$@"
fi
shift
MUTTER_LOG=$(mktemp)
export MUTTER_LOG
/usr/bin/python3 "$here/mock_mutter.py" "$MUTTER_LOG" &
mutter=$!
/usr/bin/python3 "$here/mock_portal.py" &
portal=$!
trap 'kill $mutter $portal 2>/dev/null; rm -f "$MUTTER_LOG"' EXIT
. "$here/bus-names.sh"
wait_for_bus_names org.gnome.Mutter.DisplayConfig org.freedesktop.portal.Desktop
"$@"
