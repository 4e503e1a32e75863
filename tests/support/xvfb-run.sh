#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs COMMAND on a private Xvfb: xvfb-run.sh [--screen WxHxD]... [--compositor] [--] COMMAND...
# Each --screen adds an X screen (default one 1920x1080x24); --compositor
# starts xcompmgr on the first. Exits 77 (skipped) when a tool is missing.
set -u
screens=""
compositor=0
while [ $# -gt 0 ]; do
    case $1 in
        --screen) screens="$screens $2"; shift 2 ;;
        --compositor) compositor=1; shift ;;
        --) shift; break ;;
        -*) echo "xvfb-run.sh: unknown option $1"; exit 2 ;;
        *) break ;;
    esac
done
[ -n "$screens" ] || screens="1920x1080x24"
tools="Xvfb"
[ "$compositor" = 1 ] && tools="$tools xcompmgr"
. "$(dirname "$0")/require.sh"
require_tools "xvfb, xcompmgr" $tools

args=""
i=0
for s in $screens; do
    args="$args -screen $i $s"
    i=$((i + 1))
done
# The server picks a free display number itself and says it on a pipe, so
# tests started side by side never share one.
fifo=$(mktemp -u)
mkfifo "$fifo"
# -noreset: a server that resets when its last client leaves refuses the next
# test's connection while it does.
# shellcheck disable=SC2086
Xvfb -displayfd 3 $args -nolisten tcp -noreset 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
helper=""
cleanup() {
    [ -n "$helper" ] && kill "$helper" 2>/dev/null
    kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -f "$fifo"
}
trap cleanup EXIT
read -r number <"$fifo" || { echo "xvfb-run.sh: Xvfb did not start"; exit 1; }
display=":$number"
export DISPLAY="$display"
if [ "$compositor" = 1 ]; then
    xcompmgr -d "$display.0" >/dev/null 2>&1 &
    helper=$!
fi
"$@"
