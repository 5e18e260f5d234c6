#!/usr/bin/env bash
# Builds the show, its tools and tests, then runs every test: unit and GL tests (under Xvfb with
# the dummy audio driver), fuzz-corpus replays, a short libFuzzer run of every fuzz target built
# with clang, AddressSanitizer and UndefinedBehaviorSanitizer, and the whole show rendered under
# those sanitizers. HALVOREN_REQUIRE_ALL turns every test that would skip itself for a missing
# display, tool or file into a failure, so the suite cannot pass by skipping.
set -euo pipefail
cd "$(dirname "$0")"
tools/setup/install-deps.sh
jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
export SDL_AUDIODRIVER=dummy
export HALVOREN_REQUIRE_ALL=1
# -noreset: Xvfb otherwise resets when its last client leaves, and a test connecting in that moment
# finds no display.
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" ctest --test-dir build --output-on-failure -j"$jobs"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DHALVOREN_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz -j"$jobs" --target fuzz_targets sanitize_targets
ctest --test-dir build-fuzz --output-on-failure -L fuzz
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" ctest --test-dir build-fuzz --output-on-failure -L sanitize
