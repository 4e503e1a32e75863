# SPDX-License-Identifier: MIT
# Sourced by the session scripts. require_tools "PACKAGES" TOOL... exits 77
# (skipped) naming the first TOOL missing and the packages that bring them;
# require_python_dbus does the same for the mocks' python3-dbus and python3-gi.
require_tools() {
    packages=$1
    shift
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "SKIPPED: $tool is not installed (packages $packages; scripts/setup.sh installs them)"
            exit 77
        fi
    done
}
require_python_dbus() {
    if ! /usr/bin/python3 -c 'import dbus, gi' >/dev/null 2>&1; then
        echo "SKIPPED: needs python3-dbus and python3-gi (scripts/setup.sh installs them)"
        exit 77
    fi
}
