#!/bin/bash
# The 32-bit Wine of the i686 build's tests: its Wine loader (configure.sh),
# and, called by the name of the link beside it, wineserver-i686.sh, the
# server that goes with it (wine-session.sh).
#
#   wine-i686.sh ARGS...         /usr/lib/wine/wine ARGS...
#   wineserver-i686.sh ARGS...   /usr/lib/wine/wineserver64 (or wineserver32) ARGS...
#
# The machine's own (wine32:i386, beside wine64's server, which serves
# 32-bit prefixes too and runs natively), or, where TRAKMON_WINE_ROOT names
# an i386 root (i386-root.sh), the root's, run inside the root in the same
# folder: wine-ctest.sh sets it, in a mount namespace in which the root has
# the checkout and /tmp at their own paths. Called inside the root (by a
# Wine program starting its server), it runs the root's.
program=/usr/lib/wine/wine
case "${0##*/}" in
    wineserver*) program=/usr/lib/wine/wineserver64 ;;
esac
root=${TRAKMON_WINE_ROOT:-}
[ ! -e /etc/trakmon-i386-root ] || root=""
if [ "$program" != /usr/lib/wine/wine ] && [ ! -x "$root$program" ]; then
    program=/usr/lib/wine/wineserver32
fi
[ -n "$root" ] || exec "$program" "$@"
folder=$PWD
[ -d "$root$folder" ] || folder=/
exec unshare --root="$root" --wd="$folder" "$program" "$@"
