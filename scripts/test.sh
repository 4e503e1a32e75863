#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds the dev preset (warnings as errors) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset dev
cmake --build --preset dev
ctest --preset dev
