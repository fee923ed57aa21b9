#!/bin/bash
# The documentation's links: every relative link and picture in README.md,
# docs/*.md and bench/README.md names a file that exists, and every #anchor a
# heading of the page it points into (as GitHub makes anchors of headings).
# Links to other sites are not followed. A failure names the page, the line
# and the link.
#
#   docs_links_test.sh SOURCE_DIR
set -u
root=$1
cd "$root" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The anchors of a page's headings, fenced code left out: lower case, all but
# letters, digits, spaces, "_" and "-" dropped, spaces made "-"; a repeated
# one gets "-1", "-2", ...
anchors() {
    awk '
        /^ *(```|~~~)/ { fenced = !fenced; next }
        fenced || !/^#+ / { next }
        {
            heading = tolower($0)
            sub(/^#+ +/, "", heading); sub(/ +#* *$/, "", heading)
            gsub(/[^a-z0-9 _-]/, "", heading)
            gsub(/ /, "-", heading)
            n = seen[heading]++
            print (n ? heading "-" n : heading)
        }' "$1"
}

# "LINE<TAB>TARGET" for every link and picture of a page, fenced code and
# code spans left out.
links() {
    awk '
        /^ *(```|~~~)/ { fenced = !fenced; next }
        fenced { next }
        {
            line = $0
            gsub(/`[^`]*`/, "", line)
            while (match(line, /\]\([^) ]+( "[^"]*")?\)/)) {
                target = substr(line, RSTART + 2, RLENGTH - 3)
                sub(/ ".*/, "", target)
                print NR "\t" target
                line = substr(line, RSTART + RLENGTH)
            }
        }' "$1"
}

pages=(README.md docs/*.md bench/README.md)
checked=0
for page in "${pages[@]}"; do
    [ -f "$page" ] || { fail "$page does not exist"; continue; }
    while IFS=$'\t' read -r line target; do
        case $target in
            [a-z]*:*) continue ;;  # http:, https:, mailto:
        esac
        checked=$((checked + 1))
        path=${target%%#*} anchor=""
        [[ $target == *#* ]] && anchor=${target#*#}
        file=$page
        [ -n "$path" ] && file=$(dirname "$page")/$path
        if [ ! -e "$file" ]; then
            fail "$page:$line: $target: no such file ($file)"
            continue
        fi
        [ -n "$anchor" ] || continue
        if [[ $file != *.md ]]; then
            fail "$page:$line: $target: an anchor into a file that is not Markdown"
        elif ! anchors "$file" | grep -qxF -- "$anchor"; then
            fail "$page:$line: $target: no heading #$anchor in $file"
        fi
    done < <(links "$page")
done

[ $failures = 0 ] && echo "$checked links in ${#pages[@]} pages lead to files and headings that exist"
exit $((failures > 0))
