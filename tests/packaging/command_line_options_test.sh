#!/bin/bash
# The command lines and option tables of docs/command-line.md against what
# trakmon's --help says: every command with exactly its options, every option
# with its allowed values and default, and nothing the program does not have.
#
#   command_line_options_test.sh TRAKMON docs/command-line.md
set -u
trakmon=$1 doc=$2
page=docs/$(basename "$doc")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The tables: "| `--tracks N` | 1, 2, 12 | 1 |" as "--tracks<TAB>1, 2, 12<TAB>1<TAB>",
# one line per option of a row. A row whose option cell ends in commands in
# brackets, "(write, read)", is for those commands ("<TAB>write,read").
table=$(awk -F'|' '
    /^\| option \| values \| default \|/ { inTable = 1; next }
    inTable && !/^\|/ { inTable = 0 }
    inTable && !/^\|---/ {
        values = $3; default = $4
        gsub(/^ +| +$/, "", values); gsub(/^ +| +$/, "", default)
        cell = $2
        commands = ""
        if (match(cell, /\([a-z, ]+\) *$/)) {
            commands = substr(cell, RSTART + 1)
            gsub(/[) ]/, "", commands)
        }
        while (match(cell, /--[a-z][a-z-]*/)) {
            print substr(cell, RSTART, RLENGTH) "\t" values "\t" default "\t" commands
            cell = substr(cell, RSTART + RLENGTH)
        }
    }' "$doc")
[ -n "$table" ] || fail "$page has no option table (| option | values | default |)"
# The row of option $1 for command $2: one that names the command, else one
# that names none.
tableRow() {
    awk -F'\t' -v o="$1" -v c="$2" '
        $1 == o && index("," $4 ",", "," c ",") { print; found = 1; exit }
        $1 == o && $4 == "" && general == "" { general = $0 }
        END { if (!found && general != "") print general }' <<<"$table"
}
tableValues() { tableRow "$1" "$2" | cut -f2; }
tableDefault() { tableRow "$1" "$2" | cut -f3; }

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

    synopsis=$(grep -E "^trakmon $command( |\$)" "$doc" | head -n1)
    if [ -z "$synopsis" ]; then
        fail "$page has no command line for trakmon $command"
    else
        listed=$(grep -oE -- '--[a-z][a-z-]*' <<<"$synopsis" | sort | tr '\n' ' ')
        [ "$listed" = "$names" ] ||
            fail "$page: 'trakmon $command' lists '$listed', --help has '$names'"
    fi

    while read -r name type; do
        [ -n "$name" ] || continue
        if [ -z "$(tableRow "$name" "$command")" ]; then
            fail "$page's option table lacks $name ($command)"
            continue
        fi
        if [ -z "$type" ]; then
            [ "$(tableDefault "$name" "$command")" = off ] || fail "$page: the flag $name's default is not 'off'"
            continue
        fi
        choices=$(tr ':' '\n' <<<"${type%%=*}" | grep '|' | head -n1)
        if [ -n "$choices" ]; then
            [ "$(tableValues "$name" "$command")" = "${choices//|/, }" ] ||
                fail "$page: $name's values ($command) are '$(tableValues "$name" "$command")', --help has '${choices//|/, }'"
        fi
        if [[ $type == *=* ]]; then
            [ "$(tableDefault "$name" "$command")" = "${type#*=}" ] ||
                fail "$page: $name's default ($command) is '$(tableDefault "$name" "$command")', --help has '${type#*=}'"
        fi
    done <<<"$options"
done

for name in $(cut -f1 <<<"$table"); do
    [[ " $allOptions " == *" $name "* ]] || fail "$page's option table has $name, which no command takes"
done

[ $failures = 0 ] && echo "$page's command lines and option table agree with --help"
exit $((failures > 0))
