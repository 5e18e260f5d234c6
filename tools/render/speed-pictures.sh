#!/usr/bin/env bash
# Renders the same-picture set of bench/pictures/beats.txt into a folder, the way the committed
# pictures beside that list were made: 1280 x 720, 60 frames per second, each simulated from two
# beats before its beat, from the loose data tree. Compare the result with halvoren-compare:
#   tools/render/speed-pictures.sh OUT [build folder, default build] [more halvoren-render options]
#   build/tools/render/halvoren-compare bench/pictures OUT
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:?usage: speed-pictures.sh OUT [build]}
build=${2:-$root/build}
shift $(( $# < 2 ? $# : 2 ))
mkdir -p "$out"
export SDL_AUDIODRIVER=dummy
while read -r beat; do
  case "$beat" in ""|\#*) continue ;; esac
  from=$(awk -v b="$beat" 'BEGIN { f = b - 2; if (f < 0) f = 0; print f }')
  xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" "$build/tools/render/halvoren-render" --data "$root" \
    --width 1280 --height 720 --fps 60 --from "$from" --beat "$beat" --out "$out/beat-$beat.png" "$@" >/dev/null
done < "$root/bench/pictures/beats.txt"
