#!/usr/bin/env bash
# run-show.sh: the real show end to end, as a viewer would start it, under Xvfb.
#
# Copies the built "data.hlv" into a scratch folder, starts the real `halvoren` there with the
# dummy SDL audio driver, answers the settings dialog with Return (xdotool), and waits until the
# song has ended and the program has left on its own. Optional screenshots of the whole screen at
# chosen seconds after the show window appeared (ImageMagick `import`).
# Takes as long as the song plays (about 2.5 minutes): a long check, not part of the unit tests.
#
#   tools/showcheck/run-show.sh [BUILD] [SHOT_FOLDER]
#     BUILD        build folder holding halvoren and data.hlv (default: build)
#     SHOT_FOLDER  where to write show-<seconds>s.png (ImageMagick's import); whole seconds from
#                  SHOT_SECONDS (default "6 14 40"). A shot takes about a second on Xvfb.
#   SHOW_TIME_LIMIT  seconds to wait for the end before giving up (default 300)
#
# Exit code: the show's own (0 expected), 124 when it did not end in time, 2 on a setup problem.
# The show's standard output and error are printed at the end.
set -uo pipefail

msNow() { echo $(( $(date +%s%N) / 1000000 )); }

if [ "${1:-}" = "--inside-xvfb" ]; then
    bin=$2 work=$3 shots=$4
    cd "$work" || exit 2
    "$bin" >show.log 2>&1 &
    pid=$!
    dialog=""
    for _ in $(seq 1 120); do
        dialog=$(xdotool search --name '^Halvoren Sound System$' 2>/dev/null | head -1)
        [ -n "$dialog" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.5
    done
    if [ -z "$dialog" ]; then
        echo "run-show: the settings dialog never appeared" >&2
        kill "$pid" 2>/dev/null
        wait "$pid"
        exit 2
    fi
    xdotool windowfocus --sync "$dialog" key Return
    # The show's window, known by its caption (a UTF-8 name, which xdotool's --name does not read).
    caption=""
    for _ in $(seq 1 240); do
        for window in $(xdotool search --pid "$pid" 2>/dev/null); do
            xprop -id "$window" _NET_WM_NAME 2>/dev/null | grep -q '"halvoren demo engine"' && caption=yes
        done
        [ -n "$caption" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.25
    done
    [ -n "$caption" ] || echo "run-show: no window captioned \"halvoren demo engine\" was seen" >&2
    started=$(msNow)
    limit=$(( ${SHOW_TIME_LIMIT:-300} * 1000 ))
    pending=()
    [ -n "$shots" ] && read -r -a pending <<<"${SHOT_SECONDS:-6 14 40}"
    while kill -0 "$pid" 2>/dev/null; do
        elapsed=$(( $(msNow) - started ))
        if [ ${#pending[@]} -gt 0 ] && [ "$elapsed" -ge $(( pending[0] * 1000 )) ]; then
            import -window root "$shots/show-${pending[0]}s.png" 2>/dev/null
            pending=("${pending[@]:1}")
        fi
        if [ "$elapsed" -ge "$limit" ]; then
            echo "run-show: the show was still running after ${SHOW_TIME_LIMIT:-300} s" >&2
            kill "$pid" 2>/dev/null
            wait "$pid"
            exit 124
        fi
        sleep 0.2
    done
    wait "$pid"
    rc=$?
    echo "run-show: halvoren ran $(( ($(msNow) - started) / 1000 )) s after its window opened, exit code $rc"
    exit $rc
fi

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd) || exit 2
shots=""
if [ -n "${2:-}" ]; then
    mkdir -p "$2" && shots=$(cd "$2" && pwd) || exit 2
fi
if [ ! -x "$build/halvoren" ] || [ ! -f "$build/data.hlv" ]; then
    echo "run-show: build the targets halvoren and data_archive in $build first" >&2
    exit 2
fi
for tool in xvfb-run xdotool xprop; do
    command -v $tool >/dev/null || { echo "run-show: $tool is missing" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$build/data.hlv" "$work/"
export SDL_AUDIODRIVER=dummy
xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" bash "$0" --inside-xvfb "$build/halvoren" "$work" "$shots"
rc=$?
echo "---- show output"
cat "$work/show.log" 2>/dev/null
exit $rc
