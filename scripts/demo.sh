#!/usr/bin/env bash
# Builds beamlink and starts the demo: the window talking to a built-in simulated beam unit.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$(nproc)" --target beamlink beamlink-demo
exec build/release/src/window/beamlink-demo "$@"
