# SPDX-License-Identifier: MIT
# Sourced by the session scripts: wait_for_bus_names NAME... waits (up to ten
# seconds each) until every NAME has an owner on the session bus.
wait_for_bus_names() {
    for name in "$@"; do
        for _ in $(seq 1 200); do
            dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
                org.freedesktop.DBus.NameHasOwner string:"$name" 2>/dev/null |
                grep -q 'boolean true' && break
            sleep 0.05
        done
    done
}
