#!/bin/bash
# How i386-root.sh makes the root, with a stand-in for mmdebstrap (which
# lays a few files and says when it ran) in a scratch folder: a root is made
# whole or not at all, a whole one is used as it is, what an interrupted
# make left is never taken for a root, and two makes at once make it once.
#
#   i386_root_test.sh PATH/TO/i386-root.sh
set -u
lib=$1
testDir=$(mktemp -d)
trap 'rm -rf "$testDir"' EXIT
failures=0

# One make in a subshell, as the script's own make does it, with the
# archive and the registration of qemu-i386 taken as given.
make() {
    (
        . "$lib"
        i386Archive() { i386Codename=bookworm i386ArchiveUri=http://deb.example/debian i386ArchiveKeyring=/k.gpg; }
        i386How="natively"
        mmdebstrap() {
            local target=${*: -3:1}  # ... SUITE TARGET SOURCE SOURCE
            echo "mmdebstrap $target" >>"$testDir/calls"
            mkdir -p "$target/etc" "$target/usr/lib/wine"
            echo wine >"$target/usr/lib/wine/wine"
            sleep "${SLOW:-0}"
            [ "${BROKEN:-0}" = 0 ]
        }
        i386RootMake
    )
}

root=$testDir/cache/i386-root
export TRAKMON_I386_ROOT_DIR=$root
recipe=$(. "$lib" && i386RootRecipe)
stamp() { head -n1 "$root/etc/trakmon-i386-root" 2>/dev/null; }
calls() { [ -f "$testDir/calls" ] && wc -l <"$testDir/calls" || echo 0; }
leftovers() { ls -d "$root".new.* "$root".old.* 2>/dev/null | wc -l; }
check() {  # name, what it says, what it should say
    if [ "$2" != "$3" ]; then
        echo "FAILED: $1: '$2', expected '$3'"
        echo "  ---- the make said:"
        sed 's/^/  | /' "$testDir/out"
        failures=$((failures + 1))
    fi
}

# A fresh cache: made, stamped, nothing left beside it.
rm -rf "$testDir/cache" "$testDir/calls"; make >"$testDir/out" 2>&1
check "made: exit" "$?" 0
check "made: stamp" "$(stamp)" "$recipe"
check "made: mmdebstrap runs" "$(calls)" 1
check "made: scratch left" "$(leftovers)" 0
check "made: says so" "$(tail -n1 "$testDir/out" | sed -E 's/ in [0-9]+ s, .*//')" "i386-root: made $root"

# Whole: used as it is.
make >"$testDir/out" 2>&1
check "whole: exit" "$?" 0
check "whole: mmdebstrap runs" "$(calls)" 1
check "whole: says so" "$(tail -n1 "$testDir/out" | grep -c 'is there (made in [0-9]* s on .*), used as it is')" 1

# What a make that was killed leaves: a scratch folder with everything in
# it, and no root. Not taken for the root; removed by the next make.
rm -rf "$testDir/cache" "$testDir/calls"
mkdir -p "$root.new.abc123/etc"
echo "$recipe" >"$root.new.abc123/etc/trakmon-i386-root"
(. "$lib"; i386RootHold 2>/dev/null)
check "interrupted: held as whole" "$?" 1
make >"$testDir/out" 2>&1
check "interrupted: made anew" "$(stamp):$(calls):$(leftovers)" "$recipe:1:0"

# Made by an older recipe: made anew, the old one removed.
echo "trakmon i386 root 0: an older recipe" >"$root/etc/trakmon-i386-root"
touch "$root/old-file"
make >"$testDir/out" 2>&1
check "other recipe: made anew" "$(stamp):$(calls):$(leftovers)" "$recipe:2:0"
check "other recipe: old root gone" "$([ -e "$root/old-file" ] && echo kept || echo gone)" gone

# mmdebstrap fails: no root, no scratch.
rm -rf "$testDir/cache" "$testDir/calls"
BROKEN=1 make >"$testDir/out" 2>&1
check "failing: exit" "$?" 1
check "failing: root and scratch" "$([ -e "$root" ] && echo root || echo none):$(leftovers)" "none:0"

# Two makes at once: one makes it while the other waits, then finds it.
rm -rf "$testDir/cache" "$testDir/calls"
SLOW=1 make >"$testDir/out.1" 2>&1 &
SLOW=1 make >"$testDir/out.2" 2>&1 &
wait %1; first=$?
wait %2; second=$?
cat "$testDir/out.1" "$testDir/out.2" >"$testDir/out"
check "at once: exits" "$first:$second" "0:0"
check "at once: mmdebstrap runs" "$(calls)" 1
check "at once: stamp" "$(stamp)" "$recipe"

[ $failures = 0 ] && echo "made whole or not at all, used as it is when whole, made once by two makes at once"
[ $failures = 0 ]
