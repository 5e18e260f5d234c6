#!/bin/bash
# build.sh: the show as a 64-bit Windows program, cross-built with mingw-w64, and its zip.
#
#   tools/windows/build.sh     -> dist/halvoren-<version>-windows-x86_64.zip
#
# Runs tools/windows/libs.sh first (it reuses the libraries once built), cross-builds halvoren.exe
# and the window-free unit tests in build-windows/show, packs "data.hlv" with the Linux packer
# (the archive is the same on both systems), and zips the program, the archive, the DLLs it needs
# (SDL and mpg123), README.txt and CREDITS.txt.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WORK=$ROOT/build-windows
DEPS=$WORK/deps
HOST=x86_64-w64-mingw32
JOBS=${JOBS:-2}
VERSION=$(sed -n 's/^project(Halvoren VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
NAME=halvoren-$VERSION-windows-x86_64
export HALVOREN_WIN_DEPS=$DEPS

"$ROOT/tools/windows/libs.sh"

start=$SECONDS
cmake -S "$ROOT" -B "$WORK/show" -DCMAKE_TOOLCHAIN_FILE="$ROOT/tools/windows/toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DHALVOREN_WIN_DEPS="$DEPS" >/dev/null
cmake --build "$WORK/show" -j"$JOBS"
echo "build.sh: program and tests built in $((SECONDS - start)) s"

# The archive, packed by the Linux build's packer (only what the packer needs is built).
cmake -S "$ROOT" -B "$WORK/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVOREN_TESTS=OFF -DHALVOREN_BENCH=OFF \
  >/dev/null
cmake --build "$WORK/native" -j"$JOBS" --target data_archive >/dev/null

# >> the zip
STAGE=$WORK/stage/$NAME
rm -rf "$WORK/stage"
mkdir -p "$STAGE" "$ROOT/dist"
$HOST-strip -o "$STAGE/halvoren.exe" "$WORK/show/halvoren.exe"
cp "$WORK/native/data.hlv" "$STAGE/"
cp "$DEPS/bin/SDL.dll" "$DEPS"/bin/libmpg123-*.dll "$STAGE/"
$HOST-strip "$STAGE"/*.dll

# Every DLL the program and the bundled DLLs import must be bundled or be Windows' own.
for module in "$STAGE"/*.exe "$STAGE"/*.dll; do
  for dll in $($HOST-objdump -p "$module" | sed -n 's/^\s*DLL Name: //p'); do
    [[ -f $STAGE/$dll ]] && continue
    case ${dll,,} in
      kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | ole32.dll | oleaut32.dll | \
      comctl32.dll | comdlg32.dll | winmm.dll | opengl32.dll | glu32.dll | msvcrt.dll | ws2_32.dll | \
      winspool.drv | imm32.dll | version.dll | psapi.dll | shlwapi.dll) ;;
      *) echo "build.sh: $(basename "$module") needs $dll, which is neither bundled nor Windows' own" >&2; exit 1 ;;
    esac
  done
done

sed "s/@VERSION@/$VERSION/g" "$ROOT/tools/windows/README.txt" | sed 's/$/\r/' >"$STAGE/README.txt"
{
  cat "$ROOT/tools/windows/CREDITS.head.txt"
  for licence in "$DEPS"/licences/*.txt; do
    package=$(basename "$licence" .txt)
    [[ $package == googletest ]] && continue # the tests only; not in the zip
    echo
    echo "=============================================================================="
    echo "$package $(cat "$DEPS/stamps/$package")"
    echo "=============================================================================="
    cat "$licence"
  done
  for runtime in gcc-mingw-w64-base mingw-w64-common; do
    echo
    echo "=============================================================================="
    echo "$runtime (the C/C++ runtime inside halvoren.exe)"
    echo "=============================================================================="
    cat "/usr/share/doc/$runtime/copyright"
  done
} | sed 's/$/\r/' >"$STAGE/CREDITS.txt"

rm -f "$ROOT/dist/$NAME.zip"
(cd "$WORK/stage" && zip -q -r -9 "$ROOT/dist/$NAME.zip" "$NAME")
echo "build.sh: dist/$NAME.zip ($(stat -c %s "$ROOT/dist/$NAME.zip") bytes)"
unzip -l "$ROOT/dist/$NAME.zip"
