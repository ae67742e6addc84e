#!/usr/bin/env bash
# Builds and runs the benchmarks (optimised build).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --bench
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBEAMLINK_BENCH=ON -DBEAMLINK_TESTS=OFF
cmake --build build/bench -j "$(nproc)" --target link_bench cts_latency_bench
build/bench/bench/link_bench
build/bench/bench/cts_latency_bench
