#!/bin/bash
# The bash completion as bash uses it: sourced, then asked to complete
# partial command lines (the word under the cursor is the last one).
#
#   completion_test.sh COMPLETION_FILE
set -u
export LC_ALL=C
source "$1" || { echo "FAIL: cannot source $1"; exit 1; }
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
touch "$folder/take.wav" "$folder/other.wav"
mkdir "$folder/takes"

# What bash hands the function for LINE (split on blanks and on "=", as
# COMP_WORDBREAKS does), and what it offers, sorted on one line.
complete_line() {
    local line=$1
    local spaced=${line//=/ = }
    read -r -a COMP_WORDS <<<"$spaced"
    [[ $line == *" " || $line == *"=" ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _trakmon trakmon "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

failures=0
# partial line | what must be offered, exactly
while IFS='|' read -r line expected; do
    actual=$(complete_line "$line")
    if [ "$actual" != "$expected" ]; then
        echo "FAIL: '$line' completes to '$actual', expected '$expected'"
        failures=$((failures + 1))
    fi
done <<EOF
trakmon w|write
trakmon r|read run
trakmon --v|--version
trakmon write --t|--tracks
trakmon run --wr|--write-request
trakmon run --rea|--read-request
trakmon sweep --tr|
trakmon read --tracks |1 12 2 24 36 48 60 72
trakmon write --tracks 1|1 12
trakmon run --read-request 2|256
trakmon sweep --request=5|512
trakmon write --tracks 12 $folder/ta|$folder/take.wav $folder/takes
trakmon run --json $folder/o|$folder/other.wav
EOF

[ $failures = 0 ] && echo "completion offers the commands, options, values and file names"
exit $((failures > 0))
