#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs COMMAND beside a real sway (wlroots), headless with two outputs, in a
# private runtime folder; WAYLAND_DISPLAY and SWAYSOCK name it. sway refuses
# to run as root, so as root it runs as the system user orvane-test, made
# here when missing. Exit 77 (skipped) when a tool is missing.
set -u
. "$(dirname "$0")/require.sh"
require_tools "sway" sway swaymsg
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
config="$XDG_RUNTIME_DIR/config"
printf 'output * mode 1920x1080\n' >"$config"
as=""
if [ "$(id -u)" = 0 ]; then
    if ! id orvane-test >/dev/null 2>&1 &&
        ! useradd --system --no-create-home --shell /usr/sbin/nologin orvane-test; then
        echo "SKIPPED: cannot make the user orvane-test that sway needs as root"
        exit 77
    fi
    chown orvane-test "$XDG_RUNTIME_DIR" "$config"
    as="runuser -u orvane-test --"
fi
chmod 700 "$XDG_RUNTIME_DIR"
# shellcheck disable=SC2086
$as env -i XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" WLR_BACKENDS=headless WLR_RENDERER=pixman \
    WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=2 sway -c "$config" \
    >"$XDG_RUNTIME_DIR/sway.log" 2>&1 &
sway=$!
# Its own sway only: tests beside it run sways of the same user.
trap 'pkill -P $sway -x sway 2>/dev/null || kill $sway 2>/dev/null; wait $sway 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT
for _ in $(seq 1 200); do
    SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock 2>/dev/null | head -n 1)
    [ -n "$SWAYSOCK" ] && swaymsg -s "$SWAYSOCK" -t get_version >/dev/null 2>&1 && break
    sleep 0.05
done
display=$(cd "$XDG_RUNTIME_DIR" && ls wayland-* 2>/dev/null | grep -v lock | head -n 1)
if [ -z "$display" ] || [ -z "$SWAYSOCK" ]; then
    echo "SKIPPED: sway did not start here:"
    cat "$XDG_RUNTIME_DIR/sway.log"
    exit 77
fi
WAYLAND_DISPLAY=$display SWAYSOCK=$SWAYSOCK "$@"
