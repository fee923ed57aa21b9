#!/bin/bash
# The Windows build's tests under Wine and Xvfb, from a fresh clone:
#
#   scripts/wine-tests.sh [--i386-root | --x86-64] [--screenshots] [ctest arguments...]
#
# Tests the i686 build, the 32-bit Windows program that trakmon32.exe is,
# under the 32-bit Wine: the machine's own (wine32:i386), or with --i386-root
# the one in the i386 root (tests/wine/i386-root.sh, made first if it is not
# there; for machines where wine32:i386 cannot be installed). The 32-bit Wine
# runs natively where the kernel runs 32-bit code, and elsewhere through
# qemu-i386, registered in binfmt_misc for the run and removed at its end
# (tests/wine/wine-i386.sh). --x86-64 tests the x86-64 build under wine64
# instead.
#
# Installs what is missing (Debian packages, listed in packages.sh: wine64,
# and wine32:i386 for the i686 build on the machine's own Wine, Xvfb, the
# MinGW-w64 compilers, ImageMagick), builds the Linux command-line tests in
# build/, cross-builds into build-win32 (build-win64), both folders
# configured as configure.sh says, and runs ctest there in one Wine session
# (tests/wine/wine-ctest.sh: Xvfb display, prefix, server, in namespaces of
# their own that end with it): the engine's unit tests, trakmon32.exe driven
# from outside, the program's own code in a test program, the command line's
# golden checks against trakmon.exe, and the report figures against the Linux
# build's. Further arguments go to ctest (-R REGEX, --repeat until-fail:5,
# ...). --screenshots refreshes docs/*.png on the way.
#
# What the run mounts (binfmt_misc where it was not mounted, and all that
# wine-ctest.sh mounts) is in a mount namespace of its own and ends with it.
set -eu
if [ "${TRAKMON_WINE_TESTS_NS:-}" != $$ ]; then
    TRAKMON_WINE_TESTS_NS=$$ exec unshare --mount bash "$0" "$@"
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
arch=i686
way=machine
screenshots=0
while [ $# -gt 0 ]; do
    case "$1" in
        --x86-64) arch=x86_64 ;;
        --i386-root) way=root ;;
        --screenshots) screenshots=1 ;;
        *) break ;;
    esac
    shift
done
[ $arch = i686 ] || way=machine
started=$SECONDS

# ---- 32-bit code on this machine -------------------------------------------------
. "$repo/tests/wine/wine-i386.sh"
. "$repo/tests/wine/i386-root.sh"
. "$repo/scripts/configure.sh"
if [ $arch = i686 ]; then folder=build-win32; else folder=build-win64; fi
cross=$repo/$folder
loader=$(wineLoader $folder)
finish() {
    local status=$?
    set +e
    [ $arch != i686 ] || i386Release
    echo "wine-tests: finished in $((SECONDS - started)) s"
    exit $status
}
trap finish EXIT
if [ $arch = i686 ]; then
    i386Acquire || exit 1
    if [ $way = root ]; then
        echo "wine-tests: i686 build under the 32-bit Wine of the i386 root $i386Root; i386 code runs $i386How"
    else
        echo "wine-tests: i686 build under the 32-bit Wine; i386 code runs $i386How"
    fi
else
    echo "wine-tests: x86-64 build under wine64"
fi

# ---- Packages -----------------------------------------------------------------------
# The Linux build's tests (the golden checks' and the figures' side), the
# cross compilers, Wine for this build (packages.sh).
. "$repo/scripts/packages.sh"
wine=(pkgWineTools)
case $arch-$way in
    i686-machine) pkgAddI386; wine+=(pkgWine64 pkgWine32) ;;
    x86_64-*) wine+=(pkgWine64) ;;
esac
if ! pkgEnsure pkgTrakmon pkgTests pkgCross || ! pkgEnsure --no-recommends "${wine[@]}"; then
    echo "wine-tests: the packages of the $arch suite could not be installed: $pkgError" >&2
    [ $way != machine ] || [ $arch != i686 ] ||
        echo "wine-tests: in the i386 root, the 32-bit Wine needs no i386 package here: wine-tests.sh --i386-root" >&2
    exit 1
fi
if [ $way = root ]; then
    # Made by this run if no other has made it; then held for the run, so
    # that no other can make it anew or remove it meanwhile.
    bash "$repo/tests/wine/i386-root.sh" make 6>&- 8>&- || exit 1
    i386RootHold || exit 1
    export TRAKMON_WINE_ROOT=$i386Root
fi

# ---- Builds ---------------------------------------------------------------------
# faultfs (tests/faultfs) only where FUSE 3's headers are: without it the
# fault cases skip.
export TRAKMON_BUILD_JOBS=${TRAKMON_BUILD_JOBS:-2}
hostTargets=(trakmon_cli_tests trakmon_report_replay)
[ ! -f /usr/include/fuse3/fuse.h ] || hostTargets+=(faultfs)
buildFolder build "${hostTargets[@]}"
buildFolder $folder
echo "wine-tests: built in $((SECONDS - started)) s"

# ---- Session and tests ---------------------------------------------------------------
shots=""
if [ $screenshots = 1 ]; then
    shots=$cross/screenshots
    rm -rf "$shots"
    mkdir -p "$shots"
    export TRAKMON_SCREENSHOT_DIR="Z:${shots//\//\\}"
fi

# The run's holds on the i386 registration (descriptor 8) and on the root
# (6) stay with this shell: nothing started for the tests may keep them.
status=0
testsStarted=$SECONDS
"$repo/tests/wine/wine-ctest.sh" "$cross" "$loader" "$@" 6>&- 8>&- || status=$?
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
