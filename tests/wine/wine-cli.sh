#!/bin/bash
# trakmon.exe under Wine as a stand-in for the Linux trakmon (TRAKMON_COMMAND
# of the command line's golden checks):
#
#   wine-cli.sh SESSION_DIR WINE trakmon.exe [ARGS...]
#
# An argument that is an absolute Linux path is handed over as the Windows
# path of the same file (Z:\...), as a Windows user would type it.
set -u
session=$1 wine=$2 exe=$3
shift 3
args=()
for arg in "$@"; do
    if [[ "$arg" == /* ]]; then
        arg="Z:${arg//\//\\}"
    fi
    args+=("$arg")
done
exec "$(dirname "$0")/wine-exec.sh" --plain "$session" "$wine" "$exe" "${args[@]}"
