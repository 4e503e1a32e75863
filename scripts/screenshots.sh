#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders the popover (0, 1 and 3 displays, the info and More panels, dark, 200 %), the settings tabs,
# the on-screen panel and a dimming overlay to PNG under docs/screenshots/,
# offscreen, on the simulated machine. Builds what it needs (dev preset).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}
cmake --preset dev >/dev/null
cmake --build --preset dev --target orvane_screenshots
runtime_dir=$(mktemp -d)
trap 'rm -rf "$runtime_dir"' EXIT
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$runtime_dir" QT_LOGGING_RULES="qt.qpa.*=false" \
    ./build/dev/tools/screenshots/orvane_screenshots "$out"
