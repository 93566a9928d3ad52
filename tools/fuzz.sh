#!/usr/bin/env bash
# Builds the table reader's fuzzer with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs it for the given number of seconds (default 600) on a copy of the seed corpus.
# Findings land in build-fuzz/artifacts/; add each as a case to tests/names/test_cds.cpp.
#   bash tools/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
bash tools/install-deps.sh
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHANAGUMO_GUI=OFF -DBUILD_TESTING=OFF -DHANAGUMO_FUZZ=ON
cmake --build build-fuzz -j"$(nproc)" --target fuzz_cds
mkdir -p build-fuzz/corpus build-fuzz/artifacts
cp -n tests/fuzz/seeds/* build-fuzz/corpus/ 2>/dev/null || true
build-fuzz/bin/fuzz_cds build-fuzz/corpus -max_total_time="$seconds" -max_len=65536 \
  -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1
