#!/usr/bin/env bash
# Builds the show and its archive, then plays it from the build folder (where "data.hlv" and
# "default.cfg" live).
set -euo pipefail
cd "$(dirname "$0")"
tools/setup/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target halvoren data_archive
cd build && exec ./halvoren
