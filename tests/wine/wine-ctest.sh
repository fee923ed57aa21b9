#!/bin/bash
# ctest in a Windows build folder, in one Wine session (wine-session.sh),
# inside PID and mount namespaces of its own: whatever the run starts or
# mounts (the session's Xvfb and wineserver, faultfs's mount, the i386
# root's mounts) ends with it, also when it fails or is killed, since the
# kernel ends every process of the namespace with its first.
#
#   wine-ctest.sh BUILD_DIR WINE [ctest arguments...]
#
# With TRAKMON_WINE_ROOT (an i386 root, i386-root.sh), the root first gets
# /dev, /proc, /sys, /tmp and the checkout, at their own paths, so that Wine
# in the root (wine-i686.sh) and the programs run here (the Linux build's
# tests, faultfs, Xvfb, whose display is a socket in /tmp/.X11-unix) name the
# same files alike. Exit status: ctest's, or 1 when the session could not start.
set -u
if [ "${TRAKMON_WINE_CTEST_NS:-}" != 1 ]; then
    TRAKMON_WINE_CTEST_NS=1 exec unshare --pid --fork --kill-child --mount-proc bash "$0" "$@"
fi
unset TRAKMON_WINE_CTEST_NS
build=$1 wine=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
session=$build/wine-session

if [ -n "${TRAKMON_WINE_ROOT:-}" ]; then
    . "$here/i386-root.sh"
    if ! i386RootMount "$TRAKMON_WINE_ROOT" /tmp "$repo"; then
        echo "wine-ctest: could not mount /dev, /proc, /sys, /tmp and $repo in $TRAKMON_WINE_ROOT" >&2
        exit 1
    fi
fi

"$here/wine-session.sh" start "$session" "$wine" || exit 1
status=0
( cd "$build" && timeout 1500 ctest --output-on-failure --timeout 300 "$@" ) || status=$?
"$here/wine-session.sh" stop "$session" "$wine"
exit $status
