#!/bin/bash
# The i386 root: a Debian system of the i386 architecture in a folder, with
# the 32-bit Wine in it, for the i686 build's tests where the machine's own
# 32-bit Wine (wine32:i386) cannot be installed. Its packages come from the
# main suite of the machine's Debian archive and that suite's updates,
# through apt with all of its signature and size checks (mmdebstrap). Inside
# it no amd64 library asks for an i386 twin of the same version, so an i386
# index out of step with the machine's amd64 libraries (a mirror in mid-sync)
# does not stand in the way. Every i386 program in it runs as the 32-bit Wine
# does on this machine: natively, or through qemu-i386 (wine-i386.sh).
#
#   i386-root.sh make     makes the root unless it is there and whole; its
#                         last line says how long it took and how big it is,
#                         or that the root was there already
#   i386-root.sh status   whether it is there and whole, its size
#   i386-root.sh remove   removes it (after the runs using it have ended)
#
# Made once per machine, outside any checkout, and used by the runs of every
# checkout: TRAKMON_I386_ROOT_DIR, /var/cache/trakmon/i386-root by default.
# It is whole when its stamp (etc/trakmon-i386-root in it) holds this file's
# recipe; it is made in a scratch folder beside it and renamed into place
# only then, so an interrupted make leaves nothing that looks whole (the next
# make removes its scratch folder). The lock beside it (i386-root.lock) is
# held exclusively while the root is made or removed, and shared by each run
# that uses it: a second make waits for the first and finds the root made.
#
# Sourced (by wine-tests.sh and wine-ctest.sh):
#   i386RootHold          holds the root for the caller's run (the shared
#                         lock, on descriptor 6 until the caller ends); 1 if
#                         it is not whole
#   i386RootMount ROOT PATH...
#                         mounts in the root, in the caller's mount namespace
#                         (a private one), what its programs need of this
#                         machine: /dev, /proc, /sys, and each PATH at the
#                         same path (the checkout, /tmp)

i386Root=${TRAKMON_I386_ROOT_DIR:-/var/cache/trakmon/i386-root}
i386RootStamp=etc/trakmon-i386-root
# The 32-bit Wine, as the machine's own would be installed (packages.sh:
# pkgWine32), without recommendations.
i386RootPackages=(wine wine32)
i386RootFd=6

i386RootHere=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
declare -F i386Acquire >/dev/null || . "$i386RootHere/wine-i386.sh"

# What a whole root was made from: the first line of its stamp. Changing how
# the root is made changes this line, and the next make makes it anew.
i386RootRecipe() {
    local codename
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    echo "trakmon i386 root 1: Debian $codename i386, essential packages and ${i386RootPackages[*]}, from $codename and $codename-updates"
}

i386RootWhole() {
    [ "$(head -n1 "$i386Root/$i386RootStamp" 2>/dev/null)" = "$(i386RootRecipe)" ]
}

# The lock, taken as $1 (-s shared, -x exclusive) on descriptor 6 (i386RootFd).
i386RootLock() {
    mkdir -p "${i386Root%/*}" || return 1
    eval "exec $i386RootFd>\"\$i386Root.lock\"" || return 1
    flock "$1" -w 3600 "$i386RootFd" && return 0
    echo "i386-root: $i386Root.lock still held after an hour" >&2
    return 1
}

i386RootHold() {
    i386RootLock -s || return 1
    i386RootWhole && return 0
    echo "i386-root: $i386Root is not there, or not whole: bash tests/wine/i386-root.sh make" >&2
    return 1
}

i386RootMount() {
    local root=$1 path
    shift
    mount --rbind /dev "$root/dev" && mount -t proc proc "$root/proc" &&
        mount --rbind /sys "$root/sys" || return 1
    # Each PATH a shared mount first, so that what is mounted under it later
    # (faultfs, during the tests) shows in the root too.
    for path in "$@"; do
        mount --bind "$path" "$path" && mount --make-shared "$path" &&
            mkdir -p "$root$path" && mount --rbind "$path" "$root$path" || return 1
    done
}

i386RootMake() {
    local started=$SECONDS
    i386RootLock -x || return 1
    if i386RootWhole; then
        echo "i386-root: $i386Root is there ($(sed -n 2p "$i386Root/$i386RootStamp")), used as it is"
        return 0
    fi
    # What an interrupted make or remove left behind.
    rm -rf --one-file-system "$i386Root".new.* "$i386Root".old.*
    if ! i386Archive; then
        echo "i386-root: cannot tell this machine's Debian archive from apt's sources" >&2
        return 1
    fi
    local codename=$i386Codename source="deb [signed-by=$i386ArchiveKeyring] $i386ArchiveUri"
    local work
    work=$(mktemp -d "$i386Root.new.XXXXXX") || return 1
    echo "i386-root: making $i386Root: Debian $codename i386 with ${i386RootPackages[*]}; every package's scripts run as i386 programs, $i386How"
    # The qemu-i386 of wine-i386.sh is opened by the kernel when it is
    # registered (flag F), so the root needs no copy of it; mmdebstrap's own
    # check (--skip=check/qemu) would look for an entry of another name and
    # want a copy. The documentation and translations are left out.
    local options=(--arch=i386 --variant=essential --skip=check/qemu
        --include="$(IFS=,; echo "${i386RootPackages[*]}")")
    local folder
    for folder in doc man info locale; do
        options+=(--dpkgopt="path-exclude=/usr/share/$folder/*")
    done
    if ! mmdebstrap "${options[@]}" "$codename" "$work" \
            "$source $codename main" "$source $codename-updates main"; then
        rm -rf --one-file-system "$work"
        echo "i386-root: mmdebstrap failed (its output is above)" >&2
        return 1
    fi
    printf '%s\n%s\n' "$(i386RootRecipe)" "made in $((SECONDS - started)) s on $(date -u '+%F %H:%M UTC')" \
        >"$work/$i386RootStamp"
    if [ -e "$i386Root" ]; then
        mv -T "$i386Root" "$(mktemp -u "$i386Root.old.XXXXXX")" || return 1
    fi
    mv -T "$work" "$i386Root" || return 1
    rm -rf --one-file-system "$i386Root".old.*
    echo "i386-root: made $i386Root in $((SECONDS - started)) s, $(du -sh "$i386Root" | cut -f1)"
}

i386RootMain() {
    case "${1:-}" in
    make)
        if i386RootWhole; then
            echo "i386-root: $i386Root is there ($(sed -n 2p "$i386Root/$i386RootStamp")), used as it is"
            return 0
        fi
        # Its own mount namespace: whatever is mounted while the root is made
        # (binfmt_misc, mmdebstrap's mounts in the root) ends with it.
        if [ "${TRAKMON_I386_ROOT_NS:-}" != $$ ]; then
            TRAKMON_I386_ROOT_NS=$$ exec unshare --mount bash "$0" "$@"
        fi
        local repo
        repo=$(cd "$i386RootHere/../.." && pwd)
        . "$repo/scripts/packages.sh"
        if ! pkgEnsure --no-recommends pkgI386Root; then
            echo "i386-root: mmdebstrap could not be installed: $pkgError" >&2
            return 1
        fi
        i386Acquire || return 1
        local status=0
        i386RootMake || status=$?
        i386Release
        return $status
        ;;
    status)
        if i386RootWhole; then
            echo "i386-root: $i386Root is there ($(sed -n 2p "$i386Root/$i386RootStamp")), $(du -sh "$i386Root" | cut -f1)"
        elif [ -e "$i386Root" ]; then
            echo "i386-root: $i386Root is there but was made otherwise; the next make makes it anew"
        else
            echo "i386-root: $i386Root is not there"
            return 1
        fi
        ;;
    remove)
        i386RootLock -x || return 1
        local size
        size=$(du -sch "$i386Root" "$i386Root".new.* "$i386Root".old.* 2>/dev/null | tail -n1 | cut -f1)
        rm -rf --one-file-system "$i386Root" "$i386Root".new.* "$i386Root".old.* &&
            echo "i386-root: removed $i386Root ($size)"
        ;;
    *)
        echo "usage: i386-root.sh make|status|remove" >&2
        return 2
        ;;
    esac
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -u
    i386RootMain "$@"
fi
