#!/usr/bin/env bash
# Installs what is missing, builds Orvane and runs its main job on the built-in
# simulated machine (pass --rig FILE to use another).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset release
cmake --build --preset release --target orvane
./build/release/src/orvane "$@"
