#!/usr/bin/env bash
# check-release.sh [RELEASE.tar.gz]: plays a release of the show on a clean Debian 12 root.
#
# The root is a minimal debootstrap from the mirror apt already uses, with only what any desktop
# has (the Mesa GL drivers, X and Wayland client libraries, ALSA and the PulseAudio client) plus
# Xvfb and xdotool for the check. It is kept in build-clean-root/ and reused by the next run.
# The release (default: the newest in dist/) is unpacked there and run in a chroot as an
# unprivileged user, from a working directory that user cannot write:
#   1. ldd on the program and every bundled library: nothing missing, and nothing resolved outside
#      the release folder but the desktop libraries of desktop-libs.txt (listed);
#   2. the highest GLIBC_ symbol version needed (the README must name it);
#   3. `halvoren --help`, exit 0;
#   4. `--no-dialog --windowed --size 640x360`, dummy audio driver: a screenshot a few seconds
#      after the window appeared (build-clean-root/screenshot.png) that is not black, Escape, exit 0;
#   5. the dialog answered with Return: the show plays and says the settings were not saved;
#   6. a copy of the folder without "data.hlv": the archive's error report, exit 1.
# Needs root (debootstrap, chroot, mounts) and, for the first run, the network: making the root
# took about 2 minutes here, and a check on it about 15 seconds. Exit 0 when every step passed.
set -euo pipefail
cd "$(dirname "$0")/../.."
source_root=$(pwd)
cache=$source_root/build-clean-root
root=$cache/bookworm
SHOW_SECONDS=4    # from the window's appearance to the first try at a screenshot
WAIT_SECONDS=60   # deadline for any window or exit

# What any desktop has, and the check's own tools.
packages=(
  libgl1 libglx-mesa0 libgl1-mesa-dri libegl1 libegl-mesa0 libgbm1
  libx11-6 libxext6 libxrender1 libxft2 libxinerama1 libxcursor1 libxfixes3 libxrandr2 libxi6
  libxss1 libxxf86vm1 libxkbcommon0 libwayland-client0 libwayland-cursor0 libwayland-egl1
  fontconfig fonts-dejavu-core
  libasound2 libpulse0
  xvfb xauth xdotool
)

fail() { echo "check-release: FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot)"

# >> the clean root, made once per package list
mirror=$(awk '/^URIs:/ && !/security/ {print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
[ -n "$mirror" ] || mirror=$(awk '/^deb / && !/security/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian
stamp="${packages[*]}"
if [ ! -f "$root/.halvoren-root" ] || [ "$(cat "$root/.halvoren-root")" != "$stamp" ]; then
  command -v debootstrap >/dev/null || fail "debootstrap missing (apt-get install debootstrap)"
  echo "check-release: making a Debian 12 root from $mirror in $root (once)"
  # A run killed mid-way may have left the host's /dev mounted there: never delete through it.
  for m in "$root/proc" "$root/dev"; do umount -l "$m" 2>/dev/null || true; done
  rm -rf --one-file-system "$root"
  mkdir -p "$cache"
  include=$(IFS=,; echo "${packages[*]}")
  debootstrap --variant=minbase --include="$include" bookworm "$root" "$mirror" > "$cache/debootstrap.log" 2>&1 ||
    fail "debootstrap (see $cache/debootstrap.log)"
  chroot "$root" apt-get clean
  echo "$stamp" > "$root/.halvoren-root"
fi

# >> the release, unpacked as a user would
tarball=${1:-$(ls -t dist/halvoren-*-linux-x86_64.tar.gz 2>/dev/null | head -1 || true)}
[ -f "$tarball" ] || fail "no release (run tools/release/make-release.sh)"
name=$(basename "$tarball" .tar.gz)
echo "check-release: $tarball"
rm -rf "$root/opt/release" "$root/tmp/check"
mkdir -p "$root/opt/release" "$root/tmp/check"
tar -xzf "$tarball" -C "$root/opt/release"
folder=/opt/release/$name
[ -x "$root$folder/halvoren" ] || fail "the archive holds no $name/halvoren"
cp -a "$root$folder" "$root/opt/release/no-archive"
rm "$root/opt/release/no-archive/data.hlv"
chmod -R a+rX,go-w "$root/opt/release"
chmod 1777 "$root/tmp/check"

mounted=()
cleanup() {
  local m
  for m in "${mounted[@]}"; do umount -l "$m" 2>/dev/null || true; done
}
trap cleanup EXIT
for m in proc dev; do
  if ! mountpoint -q "$root/$m"; then
    if [ $m = proc ]; then mount -t proc proc "$root/proc"; else mount --bind /dev "$root/dev"; fi
    mounted+=("$root/$m")
  fi
done

# >> 1, 2: what the program loads, from where
source tools/release/libs.sh
# Every library the program and its bundled libraries name (NEEDED) must resolve inside the
# folder or be a desktop library; what a desktop library needs in turn is the system's business,
# but nothing at all may be missing.
objects=$(cd "$root$folder" && ls halvoren lib/*.so* 2>/dev/null)
outside=""
bad=0
for o in $objects; do
  resolved=$(chroot "$root" ldd "$folder/$o")
  if grep -q "not found" <<< "$resolved"; then
    echo "check-release: $o: $(grep "not found" <<< "$resolved" | tr -s ' \t\n' ' ')" >&2
    bad=1
  fi
  for soname in $(needed "$root$folder/$o"); do
    path=$(awk -v n="$soname" '$1 == n && $2 == "=>" { print $3 } $1 ~ "/" n "$" { print $1 }' <<< "$resolved" | head -1)
    case $path in
      "$folder"/*) ;;
      *) outside="$outside$soname $path"$'\n';;
    esac
  done
done
[ $bad -eq 0 ] || fail "libraries missing"
echo "check-release: libraries the release takes from the system:"
while read -r soname path; do
  [ -n "$soname" ] || continue
  if on_desktop_list "$soname"; then echo "  $soname ($path)"
  else echo "  $soname ($path) NOT A DESKTOP LIBRARY"; bad=1; fi
done < <(sort -u <<< "$outside")
[ $bad -eq 0 ] || fail "libraries resolved outside the release folder"
glibc=$(for o in $objects; do objdump -T "$root$folder/$o"; done | grep -o 'GLIBC_[0-9.]*' | sort -uV | tail -1)
echo "check-release: highest glibc symbol version needed: $glibc"
grep -q "${glibc#GLIBC_}" "$root$folder/README" || fail "the README does not name glibc ${glibc#GLIBC_}"

# >> 3-6: the runs, inside the chroot as nobody
cat > "$root/tmp/check/run.sh" <<'EOF'
#!/bin/bash
# Runs inside the clean root as nobody, in /opt/release (not writable for nobody).
folder=$1; show_seconds=$2; wait_seconds=$3
cd /opt/release
export DISPLAY=:57 SDL_AUDIODRIVER=dummy HOME=/tmp/check
mkdir -p /tmp/check/fb
Xvfb :57 -screen 0 1024x768x24 -fbdir /tmp/check/fb -nolisten tcp > /tmp/check/xvfb.log 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
for _ in $(seq 50); do xdotool getdisplaygeometry > /dev/null 2>&1 && break; sleep 0.2; done

# A window of process $1 (any, or the one named $2) within the deadline.
window_of() {
  local w
  for _ in $(seq $((wait_seconds * 5))); do
    kill -0 "$1" 2>/dev/null || return 1
    if [ -n "${2:-}" ]; then w=$(xdotool search --onlyvisible --all --pid "$1" --name "$2" 2>/dev/null | head -1)
    else w=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -1); fi
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.2
  done
  return 1
}
ended() { # exit code of $1, or 124 after the deadline
  for _ in $(seq $((wait_seconds * 5))); do
    kill -0 "$1" 2>/dev/null || { wait "$1"; return $?; }
    sleep 0.2
  done
  kill -9 "$1"; return 124
}
press() { xdotool windowfocus --sync "$1" key "$2"; }

echo "== halvoren --help"
"$folder/halvoren" --help; echo "exit code $?"

echo "== halvoren --no-dialog --windowed --size 640x360"
"$folder/halvoren" --no-dialog --windowed --size 640x360 2> /tmp/check/show.err & pid=$!
if w=$(window_of $pid); then
  # Loading may take a while on a busy machine: the first picture a few seconds after the window
  # appeared with more than a few lit bytes (the screen around the window is black), else the last.
  sleep "$show_seconds"
  for _ in $(seq "$wait_seconds"); do
    cp /tmp/check/fb/Xvfb_screen0 /tmp/check/screenshot.xwd
    [ "$(tr -d '\0' < /tmp/check/screenshot.xwd | wc -c)" -gt 50000 ] && break
    sleep 1
  done
  xdotool getwindowgeometry --shell "$w" > /tmp/check/geometry.txt
  # What the running show has loaded, SDL 2 (loaded at run time) included.
  grep -o '/[^ ]*\.so[^ ]*' /proc/$pid/maps | sort -u > /tmp/check/loaded.txt
  press "$w" Escape
else echo "no window"; fi
ended $pid; echo "exit code $?"; cat /tmp/check/show.err

echo "== halvoren --windowed, dialog answered with Return, settings unwritable here"
"$folder/halvoren" --windowed 2> /tmp/check/dialog.err & pid=$!
if d=$(window_of $pid '^Halvoren Sound System$'); then
  press "$d" Return
  # The show's caption is a UTF-8 name, which --name does not read: the first visible window
  # once the dialog has gone.
  for _ in $(seq 50); do xdotool search --onlyvisible --pid $pid --name '^Halvoren Sound System$' > /dev/null 2>&1 || break; sleep 0.2; done
  if w=$(window_of $pid); then sleep 2; press "$w" Escape; fi
else echo "no dialog"; fi
ended $pid; echo "exit code $?"; cat /tmp/check/dialog.err

echo "== no-archive/halvoren --no-dialog (no data.hlv beside it)"
/opt/release/no-archive/halvoren --no-dialog --windowed --size 640x360 2> /tmp/check/missing.err & pid=$!
if b=$(window_of $pid '^Error in file '); then press "$b" Return; else echo "no error box"; fi
ended $pid; echo "exit code $?"; cat /tmp/check/missing.err
EOF
chmod 755 "$root/tmp/check/run.sh"
log=$cache/run.log
chroot --userspec=65534:65534 "$root" /tmp/check/run.sh "$folder" $SHOW_SECONDS $WAIT_SECONDS 2>&1 | tee "$log"

# >> the verdicts
codes=$(grep '^exit code' "$log" | awk '{print $3}' | tr '\n' ' ')
[ "$codes" = "0 0 0 1 " ] || fail "exit codes $codes, wanted 0 0 0 1 (--help, the show, the dialog run, no archive)"
grep -q '^Usage: halvoren' "$log" || fail "--help printed no usage"
grep -q 'the settings were not saved' "$log" || fail "the unwritable settings were not reported"
grep -q 'Failed to open data file' "$log" || fail "the missing archive was not reported"
for soname in libSDL-1.2.so.0 libSDL2-2.0.so.0 libmpg123.so.0; do
  grep -qx "$folder/lib/$soname" "$root/tmp/check/loaded.txt" || fail "the running show did not load the release's $soname"
done
echo "check-release: the running show loaded from outside the folder (the system's, the driver's and theirs):"
grep -v "^$folder/" "$root/tmp/check/loaded.txt" | xargs -n1 basename | tr '\n' ' ' | fold -s -w 96 | sed 's/^/  /'
echo
[ -f "$root/tmp/check/screenshot.xwd" ] || fail "no screenshot"
shot=$cache/screenshot.png
# The window's place on the screen (X, Y, WIDTH, HEIGHT).
eval "$(grep -E '^(X|Y|WIDTH|HEIGHT)=[0-9]+$' "$root/tmp/check/geometry.txt")"
convert "xwd:$root/tmp/check/screenshot.xwd" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
lit=$(convert "$shot" -colorspace Gray -threshold 5% -format '%[fx:mean]' info:)
echo "check-release: screenshot $shot, share of pixels not black: $lit"
awk -v lit="$lit" 'BEGIN { exit !(lit > 0.01) }' || fail "the screenshot is black"
echo "check-release: passed"
