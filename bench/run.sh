#!/usr/bin/env bash
# Builds the tool in release mode and runs the window benchmark under Xvfb with the shipped tables.
#   bash bench/run.sh [--quick]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build build-release -j"$(nproc)" --target hg_bench
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(date -u +%F)"
xvfb-run -a -s "-screen 0 1280x1024x24" build-release/bin/hg_bench "$@"
