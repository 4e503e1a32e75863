#!/usr/bin/env bash
# Installs what is missing, builds Orvane and runs its main job on the built-in
# simulated machine: list the displays, set every external one to 60 %, list
# them again. Extra arguments (--rig FILE, more URLs) go to orvane.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset release
cmake --build --preset release --target orvane
./build/release/src/main/orvane --once "$@" 'orvane://info' \
    'orvane://brightness?display=external&value=60' 'orvane://info'
