#!/bin/bash
# Runs one Windows program of the build under Wine, in the session's prefix
# and on its display: the cross build's CMAKE_CROSSCOMPILING_EMULATOR.
#
#   wine-exec.sh SESSION_DIR WINE PROGRAM.exe [ARGS...]
#
# The program's output is passed on with the carriage returns of Windows text
# mode removed; the exit code is the program's.
set -u
session=$1 wine=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
"$here/wine-session.sh" prefix "$session" "$wine" || exit 1
export WINEPREFIX="$session/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$session/env" ] && . "$session/env"
out=$(mktemp) err=$(mktemp)
"$wine" "$@" </dev/null >"$out" 2>"$err"
status=$?
tr -d '\r' <"$out"
tr -d '\r' <"$err" >&2
rm -f "$out" "$err"
exit $status
