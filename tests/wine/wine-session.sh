#!/bin/bash
# The Wine session of the Windows tests: one Xvfb display, one prefix and one
# wineserver, shared by every test program of a run.
#
#   wine-session.sh start SESSION_DIR WINE   display, prefix and server; writes SESSION_DIR/env
#   wine-session.sh stop  SESSION_DIR WINE   ends the server (and every program in the prefix) and Xvfb
#
# WINE is the loader: tests/wine/wine-i686.sh for i686 programs (a 32-bit
# prefix), /usr/lib/wine/wine64 for x86-64 ones (a 64-bit prefix). start is
# idempotent and leaves a sound session as it is; both hold the session's lock.
#
# The server (wineserver64 where it can be, as it serves 32-bit prefixes too
# and runs natively where the 32-bit one would be emulated) is started once,
# before any program, and kept while idle for far longer than any pause in a
# run: a server that shuts down when idle ends (silently, exit code 1) the
# programs still attached and refuses new ones, and one that a program starts
# for itself (/usr/lib/wine/wineserver -p0) shuts down as soon as that
# program ends. The idle limit only ends the servers of runs that never
# stopped their session.
#
# Everything started here has its standard streams on /dev/null and none of
# the caller's other descriptors, so that no test runner waits on a daemon
# that holds its pipes or locks.
set -u
action=${1:-} session=${2:-} wine=${3:-}
if [ -z "$session" ] || [ -z "$wine" ]; then
    echo "usage: wine-session.sh start|stop SESSION_DIR WINE" >&2
    exit 2
fi
mkdir -p "$session"
case "$wine" in
    *64) arch=win64 ;;
    *) arch=win32 ;;
esac
# The server that goes with the loader, named like it beside it: wine64's
# wineserver64, wine-i686.sh's wineserver-i686.sh.
wineserver=${wine%/*}/wineserver${wine##*/wine}
export WINEPREFIX="$session/prefix-$arch"
export WINEARCH=$arch
export WINESERVER=$wineserver
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
serverIdleSeconds=1800

exec 9>"$session/lock"
flock -w 600 9 || { echo "wine-session: $session/lock still held after 600 s" >&2; exit 1; }

# Runs a Wine command detached from the caller's descriptors.
quiet() { "$@" </dev/null >/dev/null 2>&1 9>&-; }

xvfbAlive() { [ -n "${XVFB_PID:-}" ] && [ "$(cat "/proc/$XVFB_PID/comm" 2>/dev/null)" = Xvfb ]; }

stopServer() {
    # -k ends every program of the prefix and waits for the server to exit.
    quiet "$wineserver" -k
    quiet "$wineserver" -w
}

# 0 when this call started the server, 2 when it was running already.
startServer() {
    quiet "$wineserver" -p$serverIdleSeconds
    local status=$?
    if [ $status != 0 ] && [ $status != 2 ]; then
        echo "wine-session: $wineserver -p$serverIdleSeconds failed with exit code $status" >&2
        return 1
    fi
    return 0
}

startDisplay() {
    rm -f "$session/display"
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
        3>"$session/display" </dev/null >/dev/null 2>&1 9>&- &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$session/display" ] && break
        sleep 0.1
    done
    if [ ! -s "$session/display" ]; then
        echo "wine-session: Xvfb did not start" >&2
        kill "$XVFB_PID" 2>/dev/null
        return 1
    fi
    DISPLAY=":$(head -n1 "$session/display")"
    export DISPLAY
}

makePrefix() {
    local version started=$SECONDS
    version="$("$wine" --version) $arch"
    if [ "$(cat "$WINEPREFIX/.trakmon-ready" 2>/dev/null)" = "$version" ]; then
        startServer
        return
    fi
    # Missing, half made, or made by another Wine: made anew.
    stopServer
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    startServer || return 1
    quiet "$wine" wineboot -i
    local status=$?
    if [ $status != 0 ]; then
        echo "wine-session: wineboot -i failed with exit code $status" >&2
        return 1
    fi
    mkdir -p "$WINEPREFIX/drive_c/trakmon-wine"
    echo "$version" >"$WINEPREFIX/.trakmon-ready"
    echo "wine-session: $arch prefix made in $((SECONDS - started)) s" >&2
}

case "$action" in
start)
    if [ -f "$session/env" ]; then
        . "$session/env"
        if xvfbAlive; then
            startServer || exit 1
            exit 0
        fi
    fi
    # A server without its display would keep a desktop that draws nowhere.
    stopServer
    startDisplay || exit 1
    if ! makePrefix; then
        kill "$XVFB_PID" 2>/dev/null
        exit 1
    fi
    cat >"$session/env.new" <<EOF
export WINEPREFIX='$WINEPREFIX' WINEARCH=$WINEARCH WINESERVER=$WINESERVER
export WINEDEBUG=$WINEDEBUG WINEDLLOVERRIDES='$WINEDLLOVERRIDES'
export DISPLAY=$DISPLAY
XVFB_PID=$XVFB_PID SERVER_IDLE_SECONDS=$serverIdleSeconds
EOF
    mv "$session/env.new" "$session/env"
    echo "wine-session: display $DISPLAY, $arch prefix $WINEPREFIX, $(basename "$wineserver")"
    ;;
stop)
    stopServer
    if [ -f "$session/env" ]; then
        . "$session/env"
        rm -f "$session/env"
        if xvfbAlive; then
            kill "$XVFB_PID"
            for _ in $(seq 50); do
                xvfbAlive || break
                sleep 0.1
            done
        fi
    fi
    ;;
*)
    echo "usage: wine-session.sh start|stop SESSION_DIR WINE" >&2
    exit 2
    ;;
esac
