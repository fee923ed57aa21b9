#!/bin/bash
# README.md's command lines and option table against what trakmon's --help
# says: every command with exactly its options, every option with its
# allowed values and default, and nothing the program does not have.
#
#   readme_options_test.sh TRAKMON README.md
set -u
trakmon=$1 readme=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The table: "| `--tracks N` | 1, 2, 12 | 1 |" as "--tracks<TAB>1, 2, 12<TAB>1",
# one line per option of a row.
table=$(awk -F'|' '
    /^\| option \| values \| default \|/ { inTable = 1; next }
    inTable && !/^\|/ { inTable = 0 }
    inTable && !/^\|---/ {
        values = $3; default = $4
        gsub(/^ +| +$/, "", values); gsub(/^ +| +$/, "", default)
        cell = $2
        while (match(cell, /--[a-z][a-z-]*/)) {
            print substr(cell, RSTART, RLENGTH) "\t" values "\t" default
            cell = substr(cell, RSTART + RLENGTH)
        }
    }' "$readme")
[ -n "$table" ] || fail "README.md has no option table (| option | values | default |)"
tableValues() { awk -F'\t' -v o="$1" '$1 == o { print $2; exit }' <<<"$table"; }
tableDefault() { awk -F'\t' -v o="$1" '$1 == o { print $3; exit }' <<<"$table"; }

commands=$("$trakmon" --help | awk '/^Subcommands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }')
[ -n "$commands" ] || fail "trakmon --help lists no commands"
allOptions=""
for command in $commands; do
    # "  --tracks UINT:1|2|12=1" takes a value; "  --json    text" is a flag.
    options=$("$trakmon" "$command" --help |
              sed -n -E 's/^  (-[a-zA-Z],)?(--[a-z][a-z-]*)( ([A-Z][^ ]*))?( .*)?$/\2 \4/p' |
              grep -v '^--help ')
    names=$(awk '{print $1}' <<<"$options" | sort | tr '\n' ' ')
    allOptions+=" $names"

    synopsis=$(grep -E "^trakmon $command( |\$)" "$readme" | head -n1)
    if [ -z "$synopsis" ]; then
        fail "README.md has no command line for trakmon $command"
    else
        listed=$(grep -oE -- '--[a-z][a-z-]*' <<<"$synopsis" | sort | tr '\n' ' ')
        [ "$listed" = "$names" ] ||
            fail "README.md: 'trakmon $command' lists '$listed', --help has '$names'"
    fi

    while read -r name type; do
        [ -n "$name" ] || continue
        if ! grep -q "^$name	" <<<"$table"; then
            fail "README.md's option table lacks $name ($command)"
            continue
        fi
        if [ -z "$type" ]; then
            [ "$(tableDefault "$name")" = off ] || fail "README.md: the flag $name's default is not 'off'"
            continue
        fi
        choices=$(tr ':' '\n' <<<"${type%%=*}" | grep '|' | head -n1)
        if [ -n "$choices" ]; then
            [ "$(tableValues "$name")" = "${choices//|/, }" ] ||
                fail "README.md: $name's values are '$(tableValues "$name")', --help has '${choices//|/, }'"
        fi
        if [[ $type == *=* ]]; then
            [ "$(tableDefault "$name")" = "${type#*=}" ] ||
                fail "README.md: $name's default is '$(tableDefault "$name")', --help has '${type#*=}'"
        fi
    done <<<"$options"
done

for name in $(cut -f1 <<<"$table"); do
    [[ " $allOptions " == *" $name "* ]] || fail "README.md's option table has $name, which no command takes"
done

[ $failures = 0 ] && echo "README.md's command lines and option table agree with --help"
exit $((failures > 0))
