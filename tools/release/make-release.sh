#!/usr/bin/env bash
# make-release.sh: builds dist/halvoren-<version>-linux-x86_64.tar.gz and its .sha256 beside it.
#
# The archive unpacks to one folder, halvoren-<version>-linux-x86_64/, holding the program
# `halvoren`, "data.hlv", README, CREDITS, lib/ (the shared libraries a desktop lacks) and
# licenses/ (the Debian copyright file of everything bundled or linked in).
# The program is built in build-release/ with HALVOREN_RELEASE=ON (tools/release/release.cmake:
# what may be linked statically is; the rest is found in lib/ through $ORIGIN/lib) against libGL
# itself (every desktop has it; GLVND's libOpenGL not always). Each library in lib/ gets a run
# path of $ORIGIN, so it finds its neighbours too.
# lib/ is filled by walking the program's needed libraries, and those of the SDL 2 that the SDL
# 1.2 layer loads at run time: a library on desktop-libs.txt is the system's and is not followed;
# any other is copied and its own needs are walked in turn.
#
#   tools/release/make-release.sh              build the release
#   tools/release/make-release.sh --plan FILE  only print what a program FILE would bundle
#                                              ("bundle soname path") and take from the system
#                                              ("system soname"); used by the tests
#
# Needs the packages of tools/setup/install-deps.sh. Takes about a minute after a normal build
# (the compiler cache serves the objects).
set -euo pipefail
cd "$(dirname "$0")/../.."
source_root=$(pwd)
LOADED_AT_RUN_TIME=libSDL2-2.0.so.0 # dlopened by the SDL 1.2 layer, so no NEEDED entry names it
# Linked in statically (release.cmake): their licences travel with the release too.
STATIC_PACKAGES=(libglew-dev libglu1-mesa-dev libtinyxml-dev libjpeg62-turbo-dev libfltk1.3-dev
                 libstdc++-12-dev libgcc-12-dev)

fail() { echo "make-release: $*" >&2; exit 1; }

# >> the library walk
source tools/release/libs.sh
# Where this machine's loader finds a soname (64-bit only). The filters read all their input:
# a writer cut off early would fail the pipeline.
resolve() { ldconfig -p | awk -v n="$1" '$1 == n && /x86-64/ && !found { print $NF; found = 1 }'; }

# Prints "bundle soname path" and "system soname" lines for the program and what it loads.
plan() {
  local queue seen=" " soname path
  queue="$(needed "$1") $LOADED_AT_RUN_TIME"
  while [ -n "${queue// /}" ]; do
    set -- $queue
    soname=$1; shift; queue="$*"
    [[ $seen == *" $soname "* ]] && continue
    seen="$seen$soname "
    if on_desktop_list "$soname"; then echo "system $soname"; continue; fi
    path=$(resolve "$soname")
    [ -n "$path" ] || fail "$soname: not found on this machine"
    echo "bundle $soname $path"
    queue="$queue $(needed "$path" | tr '\n' ' ')"
  done
}

if [ "${1:-}" = "--plan" ]; then
  [ -f "${2:-}" ] || fail "--plan needs a program"
  plan "$2"
  exit 0
fi

# >> the program and its archive
build=$source_root/build-release
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
# A ccache base_dir would hand the compiler relative source paths, which the source-path prefix
# map then misses: error reports would name "../../src/..." instead of "src/...". The build starts
# clean so no object from such a build stays; the cache still serves the compiles.
export CCACHE_BASEDIR=
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVOREN_RELEASE=ON -DHALVOREN_TESTS=OFF \
      -DHALVOREN_BENCH=OFF -DOpenGL_GL_PREFERENCE=LEGACY "${launcher[@]}" > /dev/null
cmake --build "$build" -j"$(nproc)" --clean-first --target halvoren data_archive > /dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
name=halvoren-$version-linux-x86_64
stage=$build/stage
folder=$stage/$name
rm -rf "$stage"
mkdir -p "$folder/lib" "$folder/licenses"

# Linked statically: none of these may be needed at run time.
for soname in $(needed "$build/halvoren"); do
  case $soname in
    libGLEW* | libGLU* | libtinyxml* | libjpeg* | libfltk* | libstdc++* | libgcc_s*)
      fail "halvoren still needs $soname; it should be linked in statically";;
  esac
done
install -m 755 "$build/halvoren" "$folder/halvoren"
strip --strip-unneeded "$folder/halvoren"
install -m 644 "$build/data.hlv" "$folder/data.hlv"

# >> lib/ and the licences
# The Debian package that holds a file, its version, and its copyright file under licenses/.
package_of() { dpkg -S "$(readlink -f "$1")" | awk -F: 'NR == 1 { print $1 }'; }
version_of() { dpkg-query -W -f='${Version}' "$1"; }
add_licence() { # the copyright file's name under licenses/ (packages may share one)
  local doc
  doc=$(readlink -f "/usr/share/doc/$1")
  [ -f "$doc/copyright" ] || fail "no /usr/share/doc/$1/copyright"
  cp "$doc/copyright" "$folder/licenses/$(basename "$doc").txt"
  echo "licenses/$(basename "$doc").txt"
}
bundled=""
while read -r kind soname path; do
  [ "$kind" = bundle ] || continue
  install -m 644 "$(readlink -f "$path")" "$folder/lib/$soname"
  strip --strip-unneeded "$folder/lib/$soname"
  # Each finds the others beside itself, also when loaded at run time (SDL 2 by the SDL 1.2 layer).
  patchelf --set-rpath '$ORIGIN' "$folder/lib/$soname"
  package=$(package_of "$path")
  bundled="$bundled  lib/$soname: Debian $package $(version_of "$package"), $(add_licence "$package")\n"
done < <(plan "$build/halvoren")
linked=""
for package in "${STATIC_PACKAGES[@]}"; do
  linked="$linked  $package $(version_of "$package"), $(add_licence "$package")\n"
done

# >> README and CREDITS
glibc=$(objdump -T "$folder/halvoren" "$folder"/lib/*.so* | grep -o 'GLIBC_[0-9.]*' | sort -uV | tail -1)
glibc=${glibc#GLIBC_}
usage=$("$build/halvoren" --help | sed 's/^/    /')
awk -v version="$version" -v glibc="$glibc" -v usage="$usage" '
  { gsub(/@VERSION@/, version); gsub(/@GLIBC@/, glibc) }
  /^@USAGE@$/ { print usage; next }
  { print }' tools/release/README.txt > "$folder/README"
{
  echo "Halvoren $version: credits and licences"
  echo
  echo "The show and its engine: the Halvoren project."
  echo
  echo "Content"
  echo
  cat data/CREDITS
  echo
  echo "Libraries linked into the program (static libraries of Debian 12 packages; licences in licenses/):"
  echo
  printf "%b" "$linked"
  echo
  echo "Shared libraries in lib/ (from Debian 12 packages; licences in licenses/; each may be replaced"
  echo "by another build of the same library and soname):"
  echo
  printf "%b" "$bundled"
  echo
  echo "The source of every library above is the Debian 12 source package of the same version"
  echo "(apt-get source, or https://sources.debian.org)."
} > "$folder/CREDITS"

# >> the archive and its sum
mkdir -p dist
tarball=dist/$name.tar.gz
tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$(git log -1 --format=%ct 2>/dev/null || date +%s)" \
    -C "$stage" -czf "$tarball" "$name"
(cd dist && sha256sum "$name.tar.gz" > "$name.tar.gz.sha256")
echo "make-release: $tarball ($(du -h "$tarball" | cut -f1)), needs glibc $glibc"
tar -tzvf "$tarball" | awk '{ printf "  %10s  %s\n", $3, $6 }'
