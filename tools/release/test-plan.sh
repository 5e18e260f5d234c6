#!/usr/bin/env bash
# test-plan.sh PROGRAM: the release's library walk (make-release.sh --plan) on a build of the show.
# SDL 2 (loaded at run time, named by no NEEDED entry), the SDL 1.2 layer and mpg123 (LGPL: never
# linked in) are bundled; nothing of the user's system is: libc, libGL and the drivers, X11 and
# xcb, ALSA, PulseAudio. Run by ctest as release_library_plan.
set -euo pipefail
plan=$("$(dirname "$0")/make-release.sh" --plan "$1")
status=0
for soname in libSDL2-2.0.so.0 libSDL-1.2.so.0 libmpg123.so.0; do
  grep -q "^bundle $soname " <<< "$plan" || { echo "not bundled: $soname"; status=1; }
done
if grep -E '^bundle (libc\.|libm\.|ld-linux|libGL\.|libGLX|libGLdispatch|libOpenGL|libEGL|libdrm|libgbm|libX|libxcb|libasound|libpulse)' <<< "$plan"; then
  echo "bundled, but the system's"
  status=1
fi
grep -q '^system libc.so.6$' <<< "$plan" || { echo "the walk never reached libc"; status=1; }
exit $status
