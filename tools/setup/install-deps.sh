#!/usr/bin/env bash
# Installs the Debian packages the build, the show and the tests need, when any is missing.
# libxcursor-dev and libxinerama-dev let the release (tools/release) link FLTK statically;
# patchelf points its bundled libraries at each other.
# Content generators (song, images, models) need more; see tools/*/README or their scripts.
set -euo pipefail
packages=(
  build-essential cmake pkg-config clang libclang-rt-14-dev
  libsdl1.2-compat-dev libglew-dev libglu1-mesa-dev libtinyxml-dev libjpeg-dev libmpg123-dev
  libkissfft-dev libfltk1.3-dev fluid xfonts-75dpi xfonts-base
  libxcursor-dev libxinerama-dev patchelf
  libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libpng-dev
  xvfb xauth xdotool x11-utils mesa-utils libgl1-mesa-dri glslang-tools gdb
  ffmpeg
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
