#!/bin/bash
# wine-i386.sh (beside this test) in a user namespace with a binfmt_misc of its own,
# empty at first, so that the machine's registrations stay as they are:
#   - with no entry, a run registers one and i386 programs run through it;
#   - a second run uses it; it stays until the last of the two has ended,
#     and that one removes it;
#   - an entry that was there before is used and left in place.
#
#   i386_registration_test.sh PATH/TO/wine-i386.sh
# Exit code 77 (skipped) where the kernel cannot give a namespace its own
# binfmt_misc (before Linux 6.7) or runs i386 programs natively.
set -u
lib=$1
skip() { echo "skipped: $*"; exit 77; }
if [ "${I386_TEST_IN_NAMESPACE:-}" != 1 ]; then
    unshare --user --map-root-user --mount true 2>/dev/null || skip "no user namespaces here"
    I386_TEST_IN_NAMESPACE=1 exec unshare --user --map-root-user --mount bash "$0" "$@"
fi
mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null ||
    skip "this kernel has no binfmt_misc of a namespace's own"
[ -x /usr/local/bin/qemu-i386 ] || skip "qemu-i386 is not installed (nothing here needed it)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TRAKMON_I386_STATE=$work/state
entries=/proc/sys/fs/binfmt_misc
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# A run: acquires, writes how i386 programs run, waits for its go, releases.
startRun() {
    bash -c 'set -eu; . "$1"; i386Acquire >"$2.log" 2>&1; echo "$i386How" >"$2.how"
             while [ ! -e "$2.go" ]; do sleep 0.05; done
             i386Release >>"$2.log" 2>&1; touch "$2.done"' _ "$lib" "$work/$1" &
    for _ in $(seq 600); do [ -s "$work/$1.how" ] && return; sleep 0.05; done
    fail "run $1 did not acquire within 30 s: $(cat "$work/$1.log")"
}
endRun() {
    touch "$work/$1.go"
    for _ in $(seq 600); do [ -e "$work/$1.done" ] && return; sleep 0.05; done
    fail "run $1 did not release within 30 s: $(cat "$work/$1.log")"
}
expectHow() {  # run, words
    grep -q "$2" "$work/$1.how" || fail "run $1: '$(cat "$work/$1.how")', expected '$2'"
}
expectEntry() {  # name, present|absent, when
    local now=absent
    [ -f "$entries/$1" ] && now=present
    [ $now = "$2" ] || fail "entry $1 is $now $3, expected $2"
}

probe=$work/probe
(. "$lib"; mkdir -p "$i386State"; i386WriteProbe >"$probe"; chmod 755 "$probe")
"$probe" 2>/dev/null
[ $? = 42 ] && skip "this kernel runs i386 programs natively"

startRun first
expectHow first "registered for this run"
expectEntry trakmon-i386 present "while the first run goes"
"$probe" 2>/dev/null
status=$?
[ $status = 42 ] || fail "the i386 probe ended with $status through the entry, expected 42"
startRun second
expectHow second "registered by another run"
endRun first
expectEntry trakmon-i386 present "after the first run, while the second goes"
endRun second
expectEntry trakmon-i386 absent "after both runs"
[ -e "$TRAKMON_I386_STATE/registered" ] && fail "the registration mark outlived the entry"

(. "$lib"; echo ":before:M::$i386Magic:$i386Mask:$i386Interpreter:OPF" >"$entries/register") ||
    fail "could not register an entry by hand"
startRun third
expectHow third "entry before, there before this run"
endRun third
expectEntry before present "after a run that found it"
expectEntry trakmon-i386 absent "after a run that found another entry"

[ $failures = 0 ] && echo "registered, shared, removed by the last user; an entry there before left alone"
[ $failures = 0 ]
