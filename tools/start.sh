#!/usr/bin/env bash
# Installs what is missing, builds Hanagumo and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build build -j"$(nproc)" --target Hanagumo
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display: starting Hanagumo on a virtual one (Xvfb). Run this from a desktop session to see the window."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/Hanagumo
fi
exec build/bin/Hanagumo
