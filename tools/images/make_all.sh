#!/usr/bin/env bash
# Regenerates every picture of the show under data/ (font chart, .raw text-mode
# pictures, logo, particle, stone wall, greetings, glow greetings, slide show).
# Deterministic: the same sources give the same files. Takes a few minutes.
#   tools/images/make_all.sh            everything
#   tools/images/make_all.sh preview    also the contact sheets in build-images-preview/
set -euo pipefail
cd "$(dirname "$0")"
py=/usr/bin/python3
$py make_chart.py
$py make_raw.py
$py make_images.py
$py make_slides.py
if [ "${1:-}" = preview ]; then
  $py preview.py ../../build-images-preview
fi
