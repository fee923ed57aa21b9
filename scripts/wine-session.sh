#!/bin/bash
# The Wine session of the Windows tests: one prefix, one wineserver and one
# Xvfb display, shared by every test program of a run.
#
#   wine-session.sh prefix SESSION_DIR WINE   make the prefix once, start the server
#   wine-session.sh start  SESSION_DIR WINE   Xvfb + prefix + server; writes SESSION_DIR/env
#   wine-session.sh stop   SESSION_DIR WINE   ends the server and Xvfb of the session
#
# WINE is the loader (/usr/lib/wine/wine or /usr/lib/wine/wine64). Everything
# started here has its standard streams on /dev/null, so that no test runner
# waits for a daemon that holds its pipes.
set -u
action=$1 session=$2 wine=$3
mkdir -p "$session"
export WINEPREFIX="$session/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$wine" in
    *64) wineserver=/usr/lib/wine/wineserver64 ;;
    *) wineserver=/usr/lib/wine/wineserver32 ;;
esac
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

makePrefix() {
    exec 9>"$session/lock"
    flock -w 120 9 || { echo "wine-session: prefix lock timed out" >&2; exit 1; }
    if [ ! -f "$WINEPREFIX/.trakmon-ready" ]; then
        rm -rf "$WINEPREFIX"
        local started=$SECONDS
        "$wine" wineboot -u </dev/null >/dev/null 2>&1
        "$wineserver" -w </dev/null >/dev/null 2>&1
        mkdir -p "$WINEPREFIX/drive_c/trakmon-wine"
        touch "$WINEPREFIX/.trakmon-ready"
        echo "wine-session: prefix made in $((SECONDS - started)) s" >&2
    fi
    # A server that outlives each program of the run; starts no second one.
    setsid "$wineserver" -p600 </dev/null >/dev/null 2>&1 &
    flock -u 9
}

case "$action" in
prefix)
    makePrefix
    ;;
start)
    if [ -f "$session/env" ]; then
        . "$session/env"
        if [ -n "${XVFB_PID:-}" ] && kill -0 "$XVFB_PID" 2>/dev/null; then
            echo "wine-session: reusing display $DISPLAY"
            exit 0
        fi
    fi
    # A server started without a display (by a program run before the
    # session) would keep its desktop without one: end it first.
    "$wineserver" -k </dev/null >/dev/null 2>&1
    "$wineserver" -w </dev/null >/dev/null 2>&1
    rm -f "$session/display"
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
        3>"$session/display" </dev/null >/dev/null 2>&1 &
    xvfbPid=$!
    for _ in $(seq 100); do
        [ -s "$session/display" ] && break
        sleep 0.1
    done
    if [ ! -s "$session/display" ]; then
        echo "wine-session: Xvfb did not start" >&2
        kill "$xvfbPid" 2>/dev/null
        exit 1
    fi
    display=":$(head -n1 "$session/display")"
    printf 'export DISPLAY=%s\nXVFB_PID=%s\n' "$display" "$xvfbPid" >"$session/env"
    export DISPLAY=$display
    makePrefix
    echo "wine-session: display $display, prefix $WINEPREFIX"
    ;;
stop)
    "$wineserver" -k </dev/null >/dev/null 2>&1
    if [ -f "$session/env" ]; then
        . "$session/env"
        [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null
        rm -f "$session/env"
    fi
    ;;
*)
    echo "usage: wine-session.sh prefix|start|stop SESSION_DIR WINE" >&2
    exit 2
    ;;
esac
