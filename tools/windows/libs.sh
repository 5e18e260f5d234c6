#!/bin/bash
# libs.sh: the show's libraries for 64-bit Windows, cross-built once with mingw-w64 from Debian's
# source packages (the mirror has no Windows builds of them, only their sources).
#
#   tools/windows/libs.sh      fetch, check and build what is missing; reuse what is built
#
# Sources come through `apt-get source` at the pinned versions below; apt checks every file
# against the mirror's signed index, and a different version on the mirror stops the script.
# Everything lands in build-windows/ (git ignores /build*/): sources/ (unpacked packages) and
# deps/ with include/, lib/ and licences/ (each package's copyright file, for CREDITS). A library
# whose stamp is in deps/stamps is not built again. The libraries under the LGPL (SDL, mpg123)
# are DLLs in deps/bin, so a user can replace them; the others are static. Needs root for apt-get.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WORK=$ROOT/build-windows
DEPS=$WORK/deps
SOURCES=$WORK/sources
HOST=x86_64-w64-mingw32
CC=$HOST-gcc-posix
CXX=$HOST-g++-posix
JOBS=${JOBS:-2}
export HALVOREN_WIN_DEPS=$DEPS

# Source package, Debian version and suite, pinned. Bookworm's mirror answers 404 for the source
# files of sdl12-compat (any version) and of fltk1.3, so SDL is SDL 1.2 itself, from bullseye's
# source package, and FLTK is fltk1.3's upstream tarball from trixie (its .dsc is missing too),
# checked by its SHA-256 below.
PINNED=(
  "libsdl1.2 1.2.15+dfsg2-6 bullseye"
  "glew 2.2.0-4 bookworm"
  "tinyxml 2.6.2-6+deb12u1 bookworm"
  "libjpeg-turbo 1:2.1.5-2 bookworm"
  "mpg123 1.31.2-1+deb12u1 bookworm"
  "kissfft 131.1.0-4.1~deb12u1 bookworm"
  "googletest 1.12.1-0.2 bookworm"
)
FLTK_VERSION=1.3.11-2
FLTK_TARBALL=fltk1.3_1.3.11.orig.tar.gz
FLTK_SHA256=92805abc84505e3e7e27aec775ab0754ecb4182fe2d8ff2a9d568ccdcb2811ac

# >> tools and source entries
ensure_tools() {
  local missing=()
  for tool in $CC $CXX cmake make dpkg-source; do
    command -v "$tool" >/dev/null || missing+=("$tool")
  done
  if ((${#missing[@]})); then
    echo "libs.sh: installing the cross compiler and build tools (missing: ${missing[*]})"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix cmake make dpkg-dev >/dev/null
  fi
}

# A deb-src entry for the mirror apt already uses (debian.sources: bookworm on deb.debian.org).
ensure_source_entry() {
  local list=/etc/apt/sources.list.d/debian-src.sources
  if ! grep -qs '^Types: deb-src' /etc/apt/sources.list.d/*.sources; then
    echo "libs.sh: adding $list"
    cat >"$list" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    apt-get update -qq
  fi
}

# The other suites' source lists stay in a private apt state, so the system's apt is unchanged.
OTHER_APT=$WORK/apt
other_apt_options() {
  echo "-o Dir::Etc::SourceList=$OTHER_APT/sources.list -o Dir::Etc::SourceParts=/dev/null" \
       "-o Dir::State::Lists=$OTHER_APT/lists -o Dir::Cache=$OTHER_APT/cache"
}
ensure_other_suites() {
  [[ -f $OTHER_APT/lists/.updated ]] && return
  mkdir -p "$OTHER_APT/lists/partial" "$OTHER_APT/cache/archives/partial"
  local key=/usr/share/keyrings/debian-archive-keyring.gpg
  printf 'deb-src [signed-by=%s] http://deb.debian.org/debian %s main\n' "$key" bullseye "$key" trixie \
    >"$OTHER_APT/sources.list"
  apt-get $(other_apt_options) update -qq
  touch "$OTHER_APT/lists/.updated"
}

# >> fetching
# Unpacks source package $1 at version $2 from suite $3 into $SOURCES/$1, Debian's patches applied.
fetch() {
  local package=$1 version=$2 suite=$3 dir=$SOURCES/$1 apt_options=""
  if [[ -f $dir/.version ]] && [[ $(cat "$dir/.version") == "$version" ]]; then return; fi
  [[ $suite == bookworm ]] || apt_options=$(other_apt_options)
  local available
  available=$(apt-cache $apt_options showsrc "$package" | sed -n 's/^Version: //p' | sort -u)
  if ! grep -qxF "$version" <<<"$available"; then
    echo "libs.sh: $package $version is not on the mirror (it has: $(echo $available)); update the pin" >&2
    exit 1
  fi
  local download=$SOURCES/download-$package
  rm -rf "$dir" "$download"
  mkdir -p "$download"
  # apt checks each file it gets against the mirror's signed index. The mirror lacks some upstream
  # signatures (.asc), so a failed download is judged below, file by file, not here.
  (cd "$download" && apt-get $apt_options source -qq --download-only "$package=$version" 2>&1 |
     grep -v -e unsandboxed -e '\.asc ' -e 'Failed to fetch some archives' || true)
  local dsc sum size file
  dsc=$(ls "$download"/*.dsc)
  grep -qxF "Version: $version" "$dsc" || { echo "libs.sh: $dsc is not version $version" >&2; exit 1; }
  # Every file the .dsc names must be there with its SHA-256; only an .asc may be missing.
  while read -r sum size file; do
    [[ $file == *.asc && ! -f $download/$file ]] && continue
    echo "$sum  $download/$file" | sha256sum -c --quiet - ||
      { echo "libs.sh: $file of $package is missing or damaged" >&2; exit 1; }
  done < <(sed -n '/^Checksums-Sha256:/,/^[^ ]/s/^ \([0-9a-f]\{64\}\) \([0-9]*\) \(.*\)/\1 \2 \3/p' "$dsc")
  dpkg-source --no-check -x "$dsc" "$dir" >/dev/null 2>&1 || { echo "libs.sh: cannot unpack $dsc" >&2; exit 1; }
  echo "$version" >"$dir/.version"
}

# FLTK: the upstream tarball only, checked by its SHA-256.
fetch_fltk() {
  local dir=$SOURCES/fltk1.3 download=$SOURCES/download-fltk1.3
  if [[ -f $dir/.version ]] && [[ $(cat "$dir/.version") == "$FLTK_VERSION" ]]; then return; fi
  rm -rf "$dir" "$download"
  mkdir -p "$download" "$dir"
  (cd "$download" && apt-get $(other_apt_options) source -qq --download-only "fltk1.3=$FLTK_VERSION" 2>&1 |
     grep -v -e unsandboxed -e '404' -e 'Failed to fetch some archives' || true)
  echo "$FLTK_SHA256  $download/$FLTK_TARBALL" | sha256sum -c --quiet
  tar -xzf "$download/$FLTK_TARBALL" -C "$dir" --strip-components=1
  echo "$FLTK_VERSION" >"$dir/.version"
}

# >> building
CMAKE_CROSS=(-DCMAKE_TOOLCHAIN_FILE=$ROOT/tools/windows/toolchain.cmake -DCMAKE_BUILD_TYPE=Release
             -DCMAKE_INSTALL_PREFIX=$DEPS -DBUILD_SHARED_LIBS=OFF)

build_libsdl1.2() {
  local src=$SOURCES/libsdl1.2
  cd "$src"
  # Without stdio redirection SDLmain leaves standard output alone (--help, --version);
  # without DirectX SDL draws through GDI and WGL, and plays through waveOut.
  ./configure -q --host=$HOST CC=$CC --prefix="$DEPS" --enable-shared --disable-static \
    --disable-stdio-redirect --disable-directx --disable-rpath >/dev/null
  make -s -j"$JOBS" >/dev/null
  make -s install >/dev/null
}

build_glew() {
  local src=$SOURCES/glew
  mkdir -p "$WORK/obj/glew" "$DEPS/include/GL" "$DEPS/lib"
  $CC -O2 -DGLEW_STATIC -I"$src/include" -c "$src/src/glew.c" -o "$WORK/obj/glew/glew.o"
  $HOST-ar rcs "$DEPS/lib/libglew32.a" "$WORK/obj/glew/glew.o"
  cp "$src"/include/GL/{glew.h,wglew.h} "$DEPS/include/GL/"
}

build_tinyxml() {
  local src=$SOURCES/tinyxml obj=$WORK/obj/tinyxml
  mkdir -p "$obj" "$DEPS/include" "$DEPS/lib"
  for file in tinyxml tinyxmlerror tinyxmlparser tinystr; do
    $CXX -O2 -c "$src/$file.cpp" -o "$obj/$file.o"
  done
  $HOST-ar rcs "$DEPS/lib/libtinyxml.a" "$obj"/*.o
  cp "$src"/{tinyxml.h,tinystr.h} "$DEPS/include/"
}

build_kissfft() {
  local src=$SOURCES/kissfft obj=$WORK/obj/kissfft
  mkdir -p "$obj" "$DEPS/include/kissfft" "$DEPS/lib"
  for file in kiss_fft kiss_fftr; do
    $CC -O2 -Dkiss_fft_scalar=float -c "$src/$file.c" -o "$obj/$file.o"
  done
  $HOST-ar rcs "$DEPS/lib/libkissfft-float.a" "$obj"/*.o
  cp "$src"/{kiss_fft.h,kiss_fftr.h,kiss_fft_log.h} "$DEPS/include/kissfft/"
}

build_libjpeg-turbo() {
  cmake -S "$SOURCES/libjpeg-turbo" -B "$WORK/obj/libjpeg-turbo" "${CMAKE_CROSS[@]}" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF >/dev/null
  cmake --build "$WORK/obj/libjpeg-turbo" -j"$JOBS" >/dev/null
  cmake --install "$WORK/obj/libjpeg-turbo" >/dev/null
}

build_mpg123() {
  cd "$SOURCES/mpg123"
  ./configure -q --host=$HOST CC=$CC --prefix="$DEPS" --enable-shared --disable-static \
    --with-cpu=x86-64 >/dev/null
  make -s -j"$JOBS" >/dev/null
  make -s install >/dev/null
}

build_googletest() {
  cmake -S "$SOURCES/googletest" -B "$WORK/obj/googletest" "${CMAKE_CROSS[@]}" -DBUILD_GMOCK=OFF \
    -DINSTALL_GTEST=ON >/dev/null
  cmake --build "$WORK/obj/googletest" -j"$JOBS" >/dev/null
  cmake --install "$WORK/obj/googletest" >/dev/null
}

build_fltk1.3() {
  cmake -S "$SOURCES/fltk1.3" -B "$WORK/obj/fltk1.3" "${CMAKE_CROSS[@]}" -DOPTION_BUILD_SHARED_LIBS=OFF \
    -DFLTK_BUILD_TEST=OFF -DFLTK_BUILD_EXAMPLES=OFF -DOPTION_USE_GL=OFF -DOPTION_BUILD_HTML_DOCUMENTATION=OFF \
    -DOPTION_BUILD_PDF_DOCUMENTATION=OFF -DOPTION_USE_SYSTEM_LIBJPEG=OFF -DOPTION_USE_SYSTEM_ZLIB=OFF \
    -DOPTION_USE_SYSTEM_LIBPNG=OFF >/dev/null
  cmake --build "$WORK/obj/fltk1.3" -j"$JOBS" --target fltk >/dev/null
  mkdir -p "$DEPS/include/FL" "$DEPS/lib"
  cp "$SOURCES/fltk1.3"/FL/*.H "$SOURCES/fltk1.3"/FL/*.h "$DEPS/include/FL/" 2>/dev/null || true
  cp "$WORK/obj/fltk1.3"/FL/*.h "$DEPS/include/FL/" 2>/dev/null || true
  cp "$WORK/obj/fltk1.3/lib/libfltk.a" "$DEPS/lib/"
}

# Builds $1 unless its stamp says this version is there; keeps its copyright file for CREDITS.
build() {
  local package=$1 version=$2 stamp=$DEPS/stamps/$1
  if [[ -f $stamp ]] && [[ $(cat "$stamp") == "$version" ]]; then
    echo "libs.sh: $package $version reused"
    return
  fi
  local start=$SECONDS
  echo "libs.sh: building $package $version"
  # The libraries' own compiler warnings go to a log; the end of it is shown if the build fails.
  mkdir -p "$WORK/logs"
  if ! (build_"$package") >"$WORK/logs/$package.log" 2>&1; then
    tail -30 "$WORK/logs/$package.log" >&2
    echo "libs.sh: $package failed (log: $WORK/logs/$package.log)" >&2
    exit 1
  fi
  mkdir -p "$DEPS/licences" "$DEPS/stamps"
  local copyright=$SOURCES/$package/debian/copyright
  [[ -f $copyright ]] || copyright=$SOURCES/$package/COPYING
  cp "$copyright" "$DEPS/licences/$package.txt"
  echo "$version" >"$stamp"
  echo "libs.sh: $package built in $((SECONDS - start)) s"
}

main() {
  local start=$SECONDS
  ensure_tools
  ensure_source_entry
  ensure_other_suites
  mkdir -p "$SOURCES"
  for entry in "${PINNED[@]}"; do
    read -r package version suite <<<"$entry"
    fetch "$package" "$version" "$suite"
    build "$package" "$version"
  done
  fetch_fltk
  build fltk1.3 "$FLTK_VERSION"
  echo "libs.sh: libraries ready in $DEPS ($((SECONDS - start)) s)"
}

main "$@"
