#!/usr/bin/env bash
# Installs what is missing, builds Hanagumo with its tests and runs every test; then builds the
# same again with AddressSanitizer and UndefinedBehaviorSanitizer and runs the tests once more.
# Set HANAGUMO_SKIP_SANITIZERS=1 for the plain run only.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs="$(nproc)"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

if [[ "${HANAGUMO_SKIP_SANITIZERS:-0}" != 1 ]]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON -DHANAGUMO_SANITIZE=ON
  cmake --build build-asan -j"$jobs"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest --output-on-failure -j"$jobs")
fi
