#!/usr/bin/env bash
# Regenerates the visual regression references (tests/reference/beat-<beat>.png) after an
# intended change of the pictures. Look at the new pictures before committing them.
#   tools/render/update-references.sh [build folder, default build]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target halvoren-render -j"$(nproc)"
args=()
while read -r beat; do
  case "$beat" in ""|\#*) continue ;; esac
  args+=(--beat "$beat")
done < "$root/tests/reference/beats.txt"
export SDL_AUDIODRIVER=dummy
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$build/tools/render/halvoren-render" --data "$root" \
  --width 320 --height 180 --fps 20 "${args[@]}" --out "$root/tests/reference/beat.png"
echo "references updated in tests/reference/"
