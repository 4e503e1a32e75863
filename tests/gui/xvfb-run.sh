#!/bin/sh
# Runs a GUI test binary on a private Xvfb with two screens: first without a
# compositing manager (the functions named in $2), then with xcompmgr (the
# functions named in $3). Exit 77 (skipped) when a tool is missing.
set -u
binary=$1
without=$2
with=$3
for tool in Xvfb xcompmgr; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed (packages xvfb, xcompmgr; scripts/setup.sh installs them)"
        exit 77
    fi
done

display=""
for n in $(seq 91 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display number"; exit 1; }

Xvfb "$display" -screen 0 1280x1024x24 -screen 1 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
compositor=""
cleanup() {
    [ -n "$compositor" ] && kill "$compositor" 2>/dev/null
    kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
}
trap cleanup EXIT
# The server is up once its socket exists.
for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.05
done

export DISPLAY="$display" QT_QPA_PLATFORM=xcb
"$binary" $without || exit 1
xcompmgr -d "$display.0" >/dev/null 2>&1 &
compositor=$!
"$binary" $with || exit 1
