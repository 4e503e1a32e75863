#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds Orvane and runs its main job on the built-in
# simulated machine: list the displays, set every external one to 60 %, list
# them again. It never touches the monitors on the desk unless told
# --platform linux. Extra arguments (--rig FILE, more URLs) go to orvane.
set -euo pipefail
cd "$(dirname "$0")/.."
platform=(--platform sim)
for arg in "$@"; do
    # The caller chose: a rig is the simulated machine already, and
    # --platform names one.
    if [[ "$arg" == --platform || "$arg" == --rig ]]; then platform=(); fi
done
./scripts/setup.sh
cmake --preset release
cmake --build --preset release --target orvane
./build/release/src/main/orvane --once "${platform[@]}" "$@" 'orvane://info' \
    'orvane://brightness?display=external&value=60' 'orvane://info'
