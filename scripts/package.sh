#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package from a copy of the tree (no network), checks it
# with lintian (no errors) and checks its file list against
# tests/install/package-files.txt. The .deb lands in build/package/ (or $1).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/package}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The tree as it is now, without what git ignores: no build tree comes along.
mkdir "$work/orvane"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
    xargs -0 cp --parents -t "$work/orvane")
cd "$work/orvane"
DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" dpkg-buildpackage -b -uc -us
deb=$(ls "$work"/orvane_*.deb)

lintian --fail-on error --tag-display-limit 0 --display-info "$deb"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' | sort >"$work/files"
if ! diff -u <(grep -v '^#' "$root/tests/install/package-files.txt" | sort) "$work/files"; then
    echo "package: the file list differs from tests/install/package-files.txt" >&2
    exit 1
fi
# The packaged program runs: the main job, on the simulated machine.
dpkg-deb -x "$deb" "$work/root"
mkdir -m 700 "$work/run"
env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR="$work/run" \
    XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" ORVANE_LINUX_ROOT="$work/none" \
    "$work/root/usr/bin/orvane" --once orvane://info 'orvane://brightness?display=external&value=60' \
    orvane://info >"$work/job.log"
grep -q "^  Brightness: 60%" "$work/job.log" || {
    cat "$work/job.log"
    echo "package: the packaged orvane did not run the main job" >&2
    exit 1
}

mkdir -p "$out"
cp "$deb" "$out/"
echo "package: $out/$(basename "$deb")"
