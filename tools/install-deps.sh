#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Hanagumo need (as root).
# Only what is missing is installed; nothing is fetched from anywhere but Debian's archive.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev libgl-dev            # Qt 6 Widgets
  libgtest-dev                      # core tests
  libchm-dev                        # the help viewer
  fonts-ipafont-gothic              # IPAGothic / IPAPGothic for the two MS faces
  xvfb xauth                        # a display for the tool and its benchmarks on a headless machine
  mecab-ipadic                      # the dictionary the shipped name tables are built from
  fp-utils-3.2.2                    # chmcmd, the help file compiler
  clang libclang-rt-14-dev          # the table reader's fuzzer
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
