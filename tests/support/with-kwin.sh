#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs COMMAND beside a real KWin (Plasma's compositor), headless on two
# virtual outputs with a white background (swaybg), on a private session bus
# and runtime folder; WAYLAND_DISPLAY names it. KWin's Night Color is on in
# constant mode, and its screenshot interface answers any client
# (tests/support/kwin_pixel.py reads it). Exit 77 (skipped) when a tool is
# missing.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/require.sh"
require_tools "kwin-wayland, sway, dbus" kwin_wayland swaybg dbus-run-session
require_python_dbus
case "${1:-}" in
    --inside) ;;
    *) exec dbus-run-session -- "$0" --inside "$@" ;;
esac
shift
XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
XDG_CONFIG_HOME="$XDG_RUNTIME_DIR/config"
mkdir "$XDG_CONFIG_HOME"
printf '[NightColor]\nActive=true\nMode=Constant\n' >"$XDG_CONFIG_HOME/kwinrc"
export XDG_RUNTIME_DIR XDG_CONFIG_HOME
# The package gives kwin_wayland a file capability, which a sandbox without
# new privileges refuses to start; a copy has none.
cp "$(command -v kwin_wayland)" "$XDG_RUNTIME_DIR/kwin_wayland"
KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 "$XDG_RUNTIME_DIR/kwin_wayland" --virtual --width 1920 \
    --height 1080 --output-count 2 --socket wayland-orvane --no-lockscreen \
    >"$XDG_RUNTIME_DIR/kwin.log" 2>&1 &
kwin=$!
background=""
trap 'kill $kwin $background 2>/dev/null; wait 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT
. "$here/bus-names.sh"
wait_for_bus_names org.kde.KWin org.kde.KWin.ScreenShot2
if [ ! -S "$XDG_RUNTIME_DIR/wayland-orvane" ]; then
    echo "SKIPPED: kwin_wayland did not start here:"
    cat "$XDG_RUNTIME_DIR/kwin.log"
    exit 77
fi
export WAYLAND_DISPLAY=wayland-orvane
swaybg -c '#ffffff' >/dev/null 2>&1 &
background=$!
# Up once KWin shows it.
for _ in $(seq 1 100); do
    [ "$(/usr/bin/python3 "$here/kwin_pixel.py" 100 100 2>/dev/null)" = "255 255 255" ] && break
    sleep 0.05
done
"$@"
