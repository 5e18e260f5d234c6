#!/usr/bin/env bash
# dialog_signal_test.sh PROGRAM: the settings dialog as a viewer meets it, under Xvfb. It opens in
# the middle of the screen, and SIGTERM or Ctrl+C (SIGINT) while it is open ends the program at
# once (SDL's own handlers would only queue a quit event that nothing reads yet), with 128 + the
# signal's number, leaving "default.cfg" as it was.
# Run alone (ctest RUN_SERIAL) with a pause after each signal: a program starting within moments
# of the last one's end found no display (SDL: "x11 not available") when Xvfb ran without -noreset
# and reset itself as its last client left.
set -uo pipefail
program=$1
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder"
printf 'width 640 height 360 flags 0 samples 0 vsync 0' > default.cfg
read -r screen_w screen_h < <(xdotool getdisplaygeometry)
status=0
check() { [ "$1" = "$2" ] || { echo "FAILED: $3: $1, wanted $2"; status=1; }; }
near() { [ $(( $1 - $2 )) -le 2 ] && [ $(( $2 - $1 )) -le 2 ] || { echo "FAILED: $3: $1, wanted $2"; status=1; }; }
for signal in TERM INT; do
  "$program" > /dev/null 2> show.err & pid=$!
  dialog=""
  for _ in $(seq 150); do # 30 seconds
    dialog=$(timeout 5 xdotool search --all --pid $pid --name '^Halvoren Sound System$' 2>/dev/null | head -1)
    [ -n "$dialog" ] || ! kill -0 $pid 2>/dev/null && break
    sleep 0.2
  done
  if [ -z "$dialog" ]; then
    echo "FAILED: no dialog"; cat show.err; kill -KILL $pid 2>/dev/null; exit 1
  fi
  eval "$(xdotool getwindowgeometry --shell "$dialog")"
  near "$X" $(( (screen_w - WIDTH) / 2 )) "the dialog's left edge"
  near "$Y" $(( (screen_h - HEIGHT) / 2 )) "the dialog's top edge"
  kill -$signal $pid
  for _ in $(seq 25); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done # 5 seconds
  kill -KILL $pid 2>/dev/null && echo "FAILED: still running 5 seconds after SIG$signal"
  wait $pid
  check $? $(( 128 + $(kill -l $signal) )) "exit code after SIG$signal"
  sleep 1
done
check "$(cat default.cfg)" 'width 640 height 360 flags 0 samples 0 vsync 0' "default.cfg"
exit $status
