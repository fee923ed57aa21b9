#!/bin/bash
# The Windows build's tests under Wine and Xvfb, from a fresh clone:
#
#   scripts/wine-tests.sh [--screenshots] [ctest arguments...]
#
# Installs what is missing (Debian packages: wine, Xvfb, the MinGW-w64
# compilers, ImageMagick), cross-builds into build-win32-wine, builds the
# Linux command-line tests into build-wine-host, makes one Wine session
# (prefix, server, Xvfb display) and runs ctest in the cross build: the
# engine's unit tests, trakmon32.exe driven from outside, the program's own
# code in a test program, and the command line's golden checks against
# trakmon.exe. --screenshots refreshes docs/*.png on the way.
#
# Where the kernel runs 32-bit programs the build is 32-bit (wine32);
# elsewhere the same sources are built for 64-bit Windows and run by wine64.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
screenshots=0
if [ "${1:-}" = "--screenshots" ]; then
    screenshots=1
    shift
fi
started=$SECONDS

# ---- Which Windows: 32-bit where it can run -------------------------------
arch=x86_64
if [ -x /usr/lib/wine/wine ]; then
    /usr/lib/wine/wine --version >/dev/null 2>&1 && arch=i686
elif [ -x /lib/ld-linux.so.2 ]; then
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 && arch=i686
fi

need=()
command -v Xvfb >/dev/null || need+=(xvfb)
[ -x /usr/bin/convert ] || need+=(imagemagick)
command -v cmake >/dev/null || need+=(cmake)
if [ $arch = i686 ]; then
    [ -x /usr/lib/wine/wine ] || need+=(wine wine32:i386)
    command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
else
    [ -x /usr/lib/wine/wine64 ] || need+=(wine wine64)
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
fi
[ -d /usr/src/googletest ] || need+=(googletest)
[ -f /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
if [ ${#need[@]} -gt 0 ]; then
    echo "wine-tests: installing ${need[*]}"
    if [ $arch = i686 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi

if [ $arch = i686 ]; then
    toolchain=$repo/cmake/mingw-i686.cmake
    loader=/usr/lib/wine/wine
else
    toolchain=$repo/cmake/mingw-x86_64.cmake
    loader=/usr/lib/wine/wine64
    echo "wine-tests: this kernel runs no 32-bit code; building for 64-bit Windows (wine64)"
fi

# ---- Builds ---------------------------------------------------------------------
jobs=$(nproc 2>/dev/null || echo 2)
host=$repo/build-wine-host
cross=$repo/build-win32-wine
cmake -S . -B "$host" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$host" --target trakmon_cli_tests -j "$jobs" >/dev/null
faultfs=""
if [ -f /usr/include/fuse3/fuse.h ]; then
    cmake --build "$host" --target faultfs -j "$jobs" >/dev/null
    faultfs=$host/tests/faultfs/faultfs
fi
if [ -f "$cross/CMakeCache.txt" ] && ! grep -q "CMAKE_TOOLCHAIN_FILE:[A-Z]*=$toolchain\$" "$cross/CMakeCache.txt"; then
    rm -rf "$cross"
fi
cmake -S . -B "$cross" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DTRAKMON_WINE_TESTS=ON -DTRAKMON_WINE_LOADER="$loader" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$repo/scripts/wine-exec.sh;$cross/wine-session;$loader" \
    -DTRAKMON_HOST_CLI_TESTS="$host/tests/trakmon_cli_tests" -DTRAKMON_HOST_FAULTFS="$faultfs" >/dev/null
cmake --build "$cross" -j "$jobs" >/dev/null
echo "wine-tests: built in $((SECONDS - started)) s"

# ---- Session and tests ---------------------------------------------------------------
session=$cross/wine-session
stopSession() { "$repo/scripts/wine-session.sh" stop "$session" "$loader"; }
trap stopSession EXIT
"$repo/scripts/wine-session.sh" start "$session" "$loader"

shots=""
if [ $screenshots = 1 ]; then
    shots=$cross/screenshots
    rm -rf "$shots"
    mkdir -p "$shots"
    export TRAKMON_SCREENSHOT_DIR="Z:${shots//\//\\}"
fi

status=0
( cd "$cross" && timeout 900 ctest --output-on-failure --timeout 300 "$@" ) || status=$?

if [ $screenshots = 1 ]; then
    for bmp in "$shots"/*.bmp; do
        [ -f "$bmp" ] || continue
        png=$repo/docs/$(basename "${bmp%.bmp}").png
        mkdir -p "$repo/docs"
        /usr/bin/convert "$bmp" -resize '900x900>' -colors 64 -strip "$png"
        echo "wine-tests: $png ($(stat -c %s "$png") bytes)"
    done
fi
echo "wine-tests: finished in $((SECONDS - started)) s"
exit $status
