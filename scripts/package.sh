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
mkdir -p "$out"
cp "$deb" "$out/"
echo "package: $out/$(basename "$deb")"
