#!/bin/bash
# The Windows build's tests under Wine and Xvfb, from a fresh clone:
#
#   scripts/wine-tests.sh [--x86-64] [--screenshots] [ctest arguments...]
#
# Tests the i686 build, the 32-bit Windows program that trakmon32.exe is,
# under the 32-bit Wine: natively where the kernel runs 32-bit code, and
# elsewhere through qemu-i386, registered in binfmt_misc for the run and
# removed at its end (tests/wine/wine-i386.sh). --x86-64 tests the x86-64
# build under wine64 instead.
#
# Installs what is missing (Debian packages, listed in packages.sh: wine64,
# and wine32:i386 for the i686 build, Xvfb, the MinGW-w64 compilers,
# ImageMagick), builds the Linux command-line tests in build/, cross-builds
# into build-win32 (build-win64), both folders configured as configure.sh
# says, makes one Wine session (tests/wine/wine-session.sh: Xvfb display,
# prefix, server) and runs ctest there: the engine's
# unit tests, trakmon32.exe driven from outside, the program's own code in a
# test program, the command line's golden checks against trakmon.exe, and
# the report figures against the Linux build's. Further arguments go to
# ctest (-R REGEX, --repeat until-fail:5, ...). --screenshots refreshes
# docs/*.png on the way.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
arch=i686
screenshots=0
while [ $# -gt 0 ]; do
    case "$1" in
        --x86-64) arch=x86_64 ;;
        --screenshots) screenshots=1 ;;
        *) break ;;
    esac
    shift
done
started=$SECONDS

# ---- 32-bit code on this machine -------------------------------------------------
. "$repo/tests/wine/wine-i386.sh"
. "$repo/scripts/configure.sh"
if [ $arch = i686 ]; then folder=build-win32; else folder=build-win64; fi
cross=$repo/$folder
loader=$(wineLoader $folder)
session=""
finish() {
    local status=$?
    set +e
    [ -z "$session" ] || "$repo/tests/wine/wine-session.sh" stop "$session" "$loader" 8>&-
    [ $arch != i686 ] || i386Release
    echo "wine-tests: finished in $((SECONDS - started)) s"
    exit $status
}
trap finish EXIT
if [ $arch = i686 ]; then
    i386Acquire || exit 1
    echo "wine-tests: i686 build under the 32-bit Wine; i386 code runs $i386How"
else
    echo "wine-tests: x86-64 build under wine64"
fi

# ---- Packages -----------------------------------------------------------------------
# The Linux build's tests (the golden checks' and the figures' side), the
# cross compilers, Wine for this build (packages.sh).
. "$repo/scripts/packages.sh"
wine=(pkgWineTools pkgWine64)
if [ $arch = i686 ]; then
    pkgAddI386
    wine+=(pkgWine32)
fi
if ! pkgEnsure pkgTrakmon pkgTests pkgCross || ! pkgEnsure --no-recommends "${wine[@]}"; then
    echo "wine-tests: the packages of the $arch suite could not be installed: $pkgError" >&2
    [ $arch != i686 ] || echo "wine-tests: the x86-64 build's suite needs no i386 packages: wine-tests.sh --x86-64" >&2
    exit 1
fi

# ---- Builds ---------------------------------------------------------------------
# faultfs (tests/faultfs) only where FUSE 3's headers are: without it the
# fault cases skip.
export TRAKMON_BUILD_JOBS=${TRAKMON_BUILD_JOBS:-2}
hostTargets=(trakmon_cli_tests trakmon_report_replay)
[ ! -f /usr/include/fuse3/fuse.h ] || hostTargets+=(faultfs)
buildFolder build "${hostTargets[@]}"
buildFolder $folder
session=$cross/wine-session
echo "wine-tests: built in $((SECONDS - started)) s"

# ---- Session and tests ---------------------------------------------------------------
# The run's hold on the i386 registration (descriptor 8) stays with this
# shell: no server or display started below may keep it.
"$repo/tests/wine/wine-session.sh" start "$session" "$loader" 8>&-

shots=""
if [ $screenshots = 1 ]; then
    shots=$cross/screenshots
    rm -rf "$shots"
    mkdir -p "$shots"
    export TRAKMON_SCREENSHOT_DIR="Z:${shots//\//\\}"
fi

status=0
testsStarted=$SECONDS
( cd "$cross" && timeout 1500 ctest --output-on-failure --timeout 300 "$@" 8>&- ) || status=$?
echo "wine-tests: ctest ran $((SECONDS - testsStarted)) s"

if [ $screenshots = 1 ]; then
    for bmp in "$shots"/*.bmp; do
        [ -f "$bmp" ] || continue
        png=$repo/docs/$(basename "${bmp%.bmp}").png
        mkdir -p "$repo/docs"
        /usr/bin/convert "$bmp" -resize '900x900>' -colors 64 -strip "$png"
        echo "wine-tests: $png ($(stat -c %s "$png") bytes)"
    done
fi
exit $status
