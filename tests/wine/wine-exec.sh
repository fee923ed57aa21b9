#!/bin/bash
# Runs one Windows program of the build under Wine, in the session's prefix
# and on its display: the cross build's CMAKE_CROSSCOMPILING_EMULATOR.
#
#   wine-exec.sh [--plain] SESSION_DIR WINE PROGRAM.exe [ARGS...]
#
# The program's output is passed on with the carriage returns of Windows text
# mode removed; the exit code is the program's. The session is started when
# there is none yet. When the program fails, a last line on stderr says how
# it ended (exit code or signal, time, whether Wine printed anything), so that
# a failure explains itself; --plain leaves that out, for callers that compare
# stderr and expect failures (the command line's golden checks).
set -u
plain=0
if [ "${1:-}" = --plain ]; then
    plain=1
    shift
fi
session=$1 wine=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)

sessionUp() {
    [ -f "$session/env" ] || return 1
    . "$session/env"
    [ "$(cat "/proc/$XVFB_PID/comm" 2>/dev/null)" = Xvfb ]
}
if ! sessionUp; then
    "$here/wine-session.sh" start "$session" "$wine" >&2 || exit 1
    . "$session/env"
fi
# The server does not end during a session; one that has (killed, crashed)
# is started again, and the program's stderr says so.
"$WINESERVER" -p"${SERVER_IDLE_SECONDS:-1800}" </dev/null >/dev/null 2>&1
case $? in
    2) ;;
    0) echo "wine-exec: the session's wineserver had ended; started a new one" >&2 ;;
    *) echo "wine-exec: $WINESERVER failed to start" >&2; exit 1 ;;
esac

out=$(mktemp) err=$(mktemp)
started=$(date +%s.%N)
"$wine" "$@" </dev/null >"$out" 2>"$err"
status=$?
ended=$(date +%s.%N)
tr -d '\r' <"$out"
tr -d '\r' <"$err" >&2
if [ $status != 0 ] && [ $plain = 0 ]; then
    how="exit code $status"
    [ $status -gt 128 ] && how="exit code $status (signal $((status - 128)): $(kill -l $((status - 128)) 2>/dev/null))"
    said="what Wine and the program wrote to stderr is above"
    [ -s "$err" ] || said="nothing on stderr"
    [ -s "$out" ] || [ -s "$err" ] || said="no output at all"
    seconds=$(awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.2f", b - a }')
    echo "wine-exec: $wine $* ended with $how after $seconds s; $said" >&2
fi
rm -f "$out" "$err"
exit $status
