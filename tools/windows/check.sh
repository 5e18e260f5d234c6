#!/bin/bash
# check.sh: the Windows program checked under Wine, on a virtual X display.
#
#   tools/windows/check.sh [OUTDIR]     screenshots and logs go to OUTDIR (build-windows/check)
#
# Needs tools/windows/build.sh to have run (the zip and the cross-built unit tests). Installs wine,
# xvfb, xdotool and imagemagick when missing. Then:
#   1. the window-free unit tests (data archive, image decoders, MIDI, ASCII files, COLLADA and
#      ASE) under Wine, all passing;
#   2. halvoren.exe from the unpacked zip: --version on the console; then --no-dialog --windowed
#      --size 640x360 with SDL_AUDIODRIVER=dummy: a screenshot after some seconds that is not
#      black, Escape, exit 0;
#   3. the settings dialog once, for a screenshot ("&Nah" through Escape: exit 0);
#   4. a damaged archive: the fatal report's box, Return, exit 1, and the report on standard
#      error as the Linux program writes it.
# Wine's OpenGL reaches Mesa's llvmpipe through the X server. Takes one to two minutes.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WORK=$ROOT/build-windows
OUT=$(mkdir -p "${1:-$WORK/check}" && cd "${1:-$WORK/check}" && pwd)
VERSION=$(sed -n 's/^project(Halvoren VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
NAME=halvoren-$VERSION-windows-x86_64
ZIP=$ROOT/dist/$NAME.zip
SHOW_SECONDS=${SHOW_SECONDS:-20}
failures=0

fail() { echo "check.sh: FAILED: $*"; failures=$((failures + 1)); }
[[ -f $ZIP ]] || { echo "check.sh: no $ZIP; run tools/windows/build.sh first" >&2; exit 1; }

missing=()
for tool in wine Xvfb xdotool convert unzip; do command -v $tool >/dev/null || missing+=("$tool"); done
if ((${#missing[@]})); then
  echo "check.sh: installing wine, xvfb, xdotool, imagemagick (missing: ${missing[*]})"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    wine wine64 xvfb xdotool imagemagick unzip >/dev/null
fi

export WINEPREFIX=$WORK/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[[ -d $WINEPREFIX ]] || { echo "check.sh: creating the Wine prefix"; wineboot -i >/dev/null 2>&1; }

# >> a display of our own, for everything Wine runs: a Wine server started without one would
# keep its desktop windowless for the programs after it
rm -f "$OUT/display"
Xvfb -displayfd 4 -screen 0 1280x720x24 -nolisten tcp 4>"$OUT/display" 2>"$OUT/xvfb.log" &
xvfb=$!
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
for _ in $(seq 40); do [[ -s $OUT/display ]] && break; sleep 0.25; done
export DISPLAY=:$(head -1 "$OUT/display")
trap cleanup EXIT
wineserver -k 2>/dev/null || true

# >> 1. unit tests
# The unpacked zip supplies the DLLs the tests need too.
rm -rf "$OUT/program"
mkdir -p "$OUT/program"
unzip -q "$ZIP" -d "$OUT/program"
PROGRAM=$OUT/program/$NAME
export WINEPATH="Z:$PROGRAM"
passed=0
failed=0
for test in "$WORK"/show/*_test.exe; do
  name=$(basename "$test" .exe)
  rm -rf "$OUT/tests/$name" && mkdir -p "$OUT/tests/$name"
  if ! (cd "$OUT/tests/$name" && wine "$test" >"$OUT/tests/$name.log" 2>&1); then fail "$name (see $OUT/tests/$name.log)"; fi
  p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$OUT/tests/$name.log")
  f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below:.*/\1/p' "$OUT/tests/$name.log")
  echo "check.sh: $name: ${p:-0} passed, ${f:-0} failed"
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
done
echo "check.sh: unit tests under Wine: $passed passed, $failed failed"

# Waits up to $2 seconds for a window named $1; prints its id.
wait_window() {
  local id=""
  for _ in $(seq $(($2 * 2))); do
    id=$(xdotool search --name "$1" 2>/dev/null | tail -1 || true)
    [[ -n $id ]] && { echo "$id"; return 0; }
    sleep 0.5
  done
  return 1
}

# Runs `wine halvoren.exe ARGS...` until a window named $1 shows, waits $2 seconds, saves the
# window as $OUT/$3.png (its mean brightness, 0 black .. 1 white, lands in MEAN), presses key $4
# in it and expects exit code $5. The program's output goes to $OUT/$3.log.
MEAN=0
play() {
  local title=$1 seconds=$2 name=$3 key=$4 expected=$5 window code=0
  shift 5
  wine halvoren.exe "$@" >"$OUT/$name.log" 2>&1 &
  local pid=$!
  if window=$(wait_window "$title" 60); then
    sleep "$seconds"
    import -window "$window" "$OUT/$name.png"
    MEAN=$(convert "$OUT/$name.png" -colorspace Gray -format '%[fx:mean]' info:)
    echo "check.sh: $name: screenshot $OUT/$name.png, mean brightness $MEAN"
    xdotool key --window "$window" "$key"
  else
    fail "$name: no window named '$title'"
  fi
  wait $pid || code=$?
  echo "check.sh: $name: exit code $code after $key"
  [[ $code == "$expected" ]] || fail "$name: exit code $code, not $expected (see $OUT/$name.log)"
}

# >> 2. the show
export SDL_AUDIODRIVER=dummy
cd "$PROGRAM"
# A GUI-subsystem program still answers on the console it was started from.
version=$(wine halvoren.exe --version 2>&1 | tr -d '\r')
echo "check.sh: halvoren.exe --version: $version"
[[ $version == "halvoren $VERSION "* ]] || fail "--version printed '$version'"
play "halvoren demo engine" "$SHOW_SECONDS" show Escape 0 --no-dialog --windowed --size 640x360
awk -v m="$MEAN" 'BEGIN { exit !(m > 0.02) }' || fail "the show's screenshot is black"

# >> 3. the settings dialog, left through Escape ("&Nah")
rm -f default.cfg
play "Halvoren Sound System" 2 dialog Escape 0

# >> 4. a damaged archive: version 0.3 in place of 0.2
cp data.hlv "$OUT/damaged.hlv"
printf '\x03' | dd of="$OUT/damaged.hlv" bs=1 seek=20 conv=notrunc status=none
play "Error in file" 1 damaged Return 1 --no-dialog --windowed --size 640x360 --archive "Z:$OUT/damaged.hlv"
echo "check.sh: damaged: its report:"
tr -d '\r' <"$OUT/damaged.log" | sed 's/^/    /'
expected=$'Error in file src/util/data/data.cpp:[0-9]+\nError in file src/util/data/data.cpp:[0-9]+\n\nExpected datafile format 0.2, got 0.3'
if ! tr -d '\r' <"$OUT/damaged.log" | grep -Pzq "${expected//$'\n'/\\n}"; then fail "the report differs from the Linux program's"; fi
cd "$ROOT"

if ((failures || failed)); then
  echo "check.sh: $failures check(s) failed"
  exit 1
fi
echo "check.sh: all checks passed"
