#!/bin/bash
# Checks that bench/slow-disk leaves nothing behind: after a command that
# ends, one that fails, a termination request, a hang-up and Ctrl-C during
# the command, and a run killed outright and then undone by down. Run by
# hand, as root, with no slow disk up (about a minute; not run by CI):
#
#   bench/slow_disk_test.sh
#
# Nothing left means: no state file, no loop device on the backing file, no
# backing file, no mount, no cap line of any device other than those there
# before, and the four dirty values as they were.
set -u
here=$(cd "$(dirname "$0")" && pwd)
slow=$here/slow-disk
backing=/var/tmp/trakmon-slow-disk.img
failures=0 passed=0

snapshot() {
    local file
    for file in read_bps_device write_bps_device read_iops_device write_iops_device; do
        echo "$file: $(grep -v ' 0$' /sys/fs/cgroup/blkio/blkio.throttle.$file | tr '\n' ' ')"
    done
    sysctl vm.dirty_bytes vm.dirty_ratio vm.dirty_background_bytes vm.dirty_background_ratio
}

before=$(snapshot)

check() {  # NAME
    local after left=""
    after=$(snapshot)
    [ "$after" = "$before" ] || left="$left caps or dirty values differ:\n$after\n"
    [ ! -e /run/trakmon-slow-disk/state ] || left="$left state file;"
    [ ! -e "$backing" ] || left="$left backing file;"
    [ -z "$(losetup -j "$backing" 2>/dev/null)" ] || left="$left loop device;"
    ! mountpoint -q /run/trakmon-slow-disk/mount 2>/dev/null || left="$left mount;"
    if [ -z "$left" ]; then
        echo "ok: $1"
        passed=$((passed + 1))
    else
        echo -e "FAILED: $1: left behind:$left"
        failures=$((failures + 1))
        "$slow" down >/dev/null 2>&1
    fi
}

expectStatus() {  # NAME WANTED GOT
    if [ "$2" != "$3" ]; then
        echo "FAILED: $1: exit status $3, not $2"
        failures=$((failures + 1))
    fi
}

[ ! -e /run/trakmon-slow-disk/state ] || { echo "a slow disk is up; bench/slow-disk down first" >&2; exit 1; }

"$slow" run usb --size 1 -- true 2>/dev/null
expectStatus "true" 0 $?
check "a command that ends"

"$slow" run hdd --size 1 -- sh -c 'test -d "$SLOW_DISK_MOUNT" && test -b "$SLOW_DISK_DEVICE" && exit 3' 2>/dev/null
expectStatus "exit 3" 3 $?
check "a command that fails, its status passed on"

for signal in TERM HUP; do
    # sleep ends at the termination request it is passed, 143.
    "$slow" run usb --size 1 -- sleep 60 2>/dev/null &
    pid=$!
    sleep 3
    kill -$signal $pid
    wait $pid
    expectStatus "$signal" 143 $?
    check "a $signal to the script while the command runs"
done

# Ctrl-C goes to the whole foreground group: here, to the script and its command.
setsid bash -c "\"$slow\" run usb --size 1 -- sleep 60 2>/dev/null & pid=\$!; sleep 3; kill -INT -\$\$; wait \$pid; echo \$? >/tmp/slow_disk_test.status" &
wait $!
expectStatus "Ctrl-C" 130 "$(cat /tmp/slow_disk_test.status)"
rm -f /tmp/slow_disk_test.status
check "Ctrl-C while the command runs"

"$slow" run usb --size 1 -- sleep 60 2>/dev/null &
pid=$!
sleep 3
kill -KILL $pid
wait $pid 2>/dev/null
if [ -e /run/trakmon-slow-disk/state ]; then
    "$slow" status | grep -q '^usb disk' || { echo "FAILED: status after a killed run"; failures=$((failures + 1)); }
    "$slow" up usb --size 1 >/dev/null 2>&1 && { echo "FAILED: a second up was not refused"; failures=$((failures + 1)); }
    "$slow" down 2>/dev/null
fi
check "a run killed outright, then down"

echo "$passed passed, $failures failed"
[ $failures = 0 ]
