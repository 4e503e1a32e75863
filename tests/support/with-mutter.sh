#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs COMMAND beside a real GNOME Mutter, headless with two virtual monitors
# (1920x1080, 1280x720), as the Wayland compositor of a private session bus
# and runtime folder. Exit 77 (skipped) when a tool is missing.
set -u
here=$(dirname "$0")
. "$(dirname "$0")/require.sh"
require_tools "mutter, dbus" mutter dbus-run-session dbus-send
case "${1:-}" in
    --inside) ;;
    *) exec dbus-run-session -- "$0" --inside "$@" ;;
esac
shift
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
unset DISPLAY WAYLAND_DISPLAY
mutter --headless --virtual-monitor 1920x1080 --virtual-monitor 1280x720 --wayland --no-x11 \
    >"$XDG_RUNTIME_DIR/mutter.log" 2>&1 &
mutter=$!
trap 'kill $mutter 2>/dev/null; wait $mutter 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT
. "$here/bus-names.sh"
wait_for_bus_names org.gnome.Mutter.DisplayConfig
if [ ! -S "$XDG_RUNTIME_DIR/wayland-0" ]; then
    echo "SKIPPED: mutter did not start here:"
    cat "$XDG_RUNTIME_DIR/mutter.log"
    exit 77
fi
WAYLAND_DISPLAY=wayland-0 REAL_MUTTER=1 "$@"
