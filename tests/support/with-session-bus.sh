#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs COMMAND on a private session bus. Exit 77 (skipped) without dbus.
set -u
. "$(dirname "$0")/require.sh"
require_tools "dbus" dbus-run-session
exec dbus-run-session -- "$@"
