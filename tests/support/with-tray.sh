#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs COMMAND on a private session bus and a private Xvfb with the tools the
# tray test drives: trayer (an XEmbed tray), xdotool and xwininfo. Exit 77
# (skipped) when one is missing.
set -u
here=$(dirname "$0")
. "$(dirname "$0")/require.sh"
require_tools "trayer, xdotool, x11-utils, dbus, xvfb" trayer xdotool xwininfo dbus-run-session Xvfb
require_python_dbus
exec dbus-run-session -- "$here/xvfb-run.sh" -- "$@"
