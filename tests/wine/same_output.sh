#!/bin/bash
# Runs two commands and passes when their standard output is the same byte
# for byte; otherwise shows where it differs.
#
#   same_output.sh LINUX_COMMAND... -- WINDOWS_COMMAND...
set -u
first=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do first+=("$1"); shift; done
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"${first[@]}" >"$work/linux" || { echo "same_output: ${first[*]} failed (exit code $?)"; exit 1; }
"$@" >"$work/windows" || { echo "same_output: $* failed (exit code $?)"; exit 1; }
if ! cmp -s "$work/linux" "$work/windows"; then
    echo "same_output: the outputs differ (- Linux, + Windows):"
    diff -u "$work/linux" "$work/windows" | head -n 40 | cut -c1-240
    exit 1
fi
echo "same_output: $(wc -l <"$work/linux") lines, $(wc -c <"$work/linux") bytes, the same on both"
