# Lets this machine run i386 Linux programs (the 32-bit Wine) for the length
# of a test run. Sourced by scripts/wine-tests.sh and tests/wine/i386-root.sh:
#
#   i386Acquire   0 when i386 programs run: natively, through a binfmt_misc
#                 entry that was there before, or through one registered now;
#                 i386How says which. Marks this run as a user until release.
#   i386Release   ends this run's use; the last run using an entry that a
#                 run registered removes it. An entry that was there before
#                 is never touched.
#
# Where the kernel runs no 32-bit code, qemu-i386 emulates it. It must be
# 10.0 or later (Debian 12's 7.2 ignores MAP_FIXED_NOREPLACE, and Wine stops
# with "failed to map the shared user data"): taken from the backports suite
# of the machine's own Debian archive into /usr/local. A registration lasts
# until reboot and changes how every i386 program of the machine starts, so
# it is marked in a folder under /run (gone at reboot too) and removed by the
# last run that uses it; runs of other checkouts may use it at the same time.
# A run killed before its release leaves the entry to the next run, which
# takes it over as registered by another run and removes it when it ends.
#
# For tests: TRAKMON_I386_ENTRY (entry name), TRAKMON_I386_STATE (state folder).

i386Entry=${TRAKMON_I386_ENTRY:-trakmon-i386}
i386State=${TRAKMON_I386_STATE:-/run/lock/trakmon-i386}
i386Binfmt=/proc/sys/fs/binfmt_misc
i386Qemu=/usr/local/bin/qemu-i386
# With the P flag the kernel passes the program's own argv[0]; qemu then
# learns that it runs that way from the name it is reached by.
i386Interpreter=/usr/local/libexec/qemu-binfmt/i386-binfmt-P
# i386 ELF executables and shared objects (e_type 2 or 3, e_machine 3).
i386Magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i386Mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
i386How=""
i386Before=""
i386Holding=0
# The two locks: a short one around every check and change, and the users'
# lock, held shared for the whole run.
i386ChangeFd=7
i386UsersFd=8

# A static i386 program of 93 bytes that exits with status 42: the ELF header,
# one loadable segment, then xor eax,eax; inc eax; xor ebx,ebx; mov bl,42; int 0x80.
i386WriteProbe() {
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
    printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
    printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
    printf '\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
    printf '\x31\xc0\x40\x31\xdb\xb3\x2a\xcd\x80'
}

i386Runs() {
    local probe=$i386State/probe
    if [ ! -x "$probe" ]; then
        i386WriteProbe >"$probe.new" && chmod 755 "$probe.new" && mv "$probe.new" "$probe"
    fi
    "$probe" 2>/dev/null
    [ $? = 42 ]
}

# The enabled binfmt_misc entries that take i386 ELF programs.
i386Entries() {
    local entry
    for entry in "$i386Binfmt"/*; do
        [ -f "$entry" ] || continue
        case "${entry##*/}" in register | status) continue ;; esac
        grep -qx enabled "$entry" 2>/dev/null || continue
        grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" 2>/dev/null &&
            echo "${entry##*/}"
    done
}

# This machine's Debian archive, as apt has it: i386Codename (bookworm),
# i386ArchiveUri and i386ArchiveKeyring (the keyring its sources name). 1 when
# apt knows no such archive.
i386Archive() {
    i386Codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    i386ArchiveUri=$(apt-get indextargets --format '$(REPO_URI)' "Codename: $i386Codename" 'Label: Debian' 2>/dev/null | head -n1)
    # The keyring of the stanza with that archive, in the deb822 sources.
    i386ArchiveKeyring=$(awk -v uri="${i386ArchiveUri%/}" 'BEGIN { RS = ""; FS = "\n" }
        { hit = 0; key = ""
          for (i = 1; i <= NF; i++) {
              if ($i ~ /^URIs:/ && index($i " ", " " uri " ") + index($i " ", " " uri "/ ")) hit = 1
              if ($i ~ /^Signed-By:/) { key = $i; sub(/^Signed-By: */, "", key) } }
          if (hit && key != "") { print key; exit } }' /etc/apt/sources.list.d/*.sources 2>/dev/null)
    [ -n "$i386ArchiveKeyring" ] || i386ArchiveKeyring=/usr/share/keyrings/debian-archive-keyring.gpg
    [ -n "$i386Codename" ] && [ -n "$i386ArchiveUri" ]
}

i386InstallQemu() {
    if [ -x "$i386Qemu" ] && "$i386Qemu" --version | grep -qE 'version (1[0-9]|[2-9][0-9])\.'; then
        mkdir -p "${i386Interpreter%/*}"
        ln -sfn "$i386Qemu" "$i386Interpreter"
        return 0
    fi
    # One suite added for one download, in a scratch apt configuration: the
    # machine's sources and package lists stay as they are.
    local work
    if ! i386Archive; then
        echo "wine-i386: cannot tell this machine's Debian archive; install qemu-i386 10 as $i386Qemu" >&2
        return 1
    fi
    local codename=$i386Codename uri=$i386ArchiveUri keyring=$i386ArchiveKeyring
    work=$(mktemp -d)
    mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
    echo "deb [signed-by=$keyring] $uri $codename-backports main" >"$work/sources.list"
    local apt=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=-
               -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache"
               -o APT::Sandbox::User=root -qq)
    echo "wine-i386: fetching qemu-i386 from $codename-backports"
    if apt-get "${apt[@]}" update &&
       (cd "$work" && apt-get "${apt[@]}" download "qemu-user/$codename-backports") &&
       dpkg-deb -x "$work"/qemu-user_*.deb "$work/root"; then
        install -D -m 755 "$work/root/usr/bin/qemu-i386" "$i386Qemu"
    fi
    rm -rf "$work"
    [ -x "$i386Qemu" ] || { echo "wine-i386: could not install qemu-i386" >&2; return 1; }
    mkdir -p "${i386Interpreter%/*}"
    ln -sfn "$i386Qemu" "$i386Interpreter"
    "$i386Qemu" --version | head -n1
}

# binfmt_misc's entries, to be read and changed: mounted where they are not
# (by the scripts that source this file, in a mount namespace of their own,
# so that the mount ends with them).
i386MountBinfmt() {
    mountpoint -q "$i386Binfmt" || mount -t binfmt_misc binfmt_misc "$i386Binfmt" 2>/dev/null
}

# Registers the entry and marks it as registered by a run.
i386Register() {
    local name=$1
    i386MountBinfmt || return 1
    echo ":$name:M::$i386Magic:$i386Mask:$i386Interpreter:OPF" >"$i386Binfmt/register" || return 1
    echo "$name" >"$i386State/registered"
}

i386Acquire() {
    mkdir -p "$i386State" || return 1
    eval "exec $i386ChangeFd>\"\$i386State/change.lock\""
    flock "$i386ChangeFd"
    local ok=0 entries
    [ "$(id -u)" != 0 ] || i386MountBinfmt
    if i386Runs; then
        entries=$(i386Entries | tr '\n' ' ')
        if [ -z "$entries" ]; then
            i386How="natively"
        elif [ -f "$i386State/registered" ] &&
             [ -f "$i386Binfmt/$(cat "$i386State/registered")" ]; then
            i386How="through qemu-i386 (binfmt_misc entry $(cat "$i386State/registered"), registered by another run)"
        else
            i386Before=${entries% }
            i386How="through binfmt_misc entry $i386Before, there before this run"
        fi
    elif [ "$(id -u)" != 0 ]; then
        echo "wine-i386: this kernel runs no 32-bit code, and only root can register qemu-i386 for it" >&2
        ok=1
    elif i386InstallQemu && i386Register "$i386Entry" && i386Runs; then
        i386How="through qemu-i386 (binfmt_misc entry $i386Entry, registered for this run)"
    else
        echo "wine-i386: this kernel runs no 32-bit code, and qemu-i386 could not be registered for it" >&2
        ok=1
    fi
    if [ $ok = 0 ]; then
        eval "exec $i386UsersFd>\"\$i386State/users.lock\""
        flock -s "$i386UsersFd"
        i386Holding=1
    fi
    flock -u "$i386ChangeFd"
    eval "exec $i386ChangeFd>&-"
    return $ok
}

i386Release() {
    [ $i386Holding = 1 ] || return 0
    i386Holding=0
    eval "exec $i386ChangeFd>\"\$i386State/change.lock\""
    flock "$i386ChangeFd"
    local name
    name=$(cat "$i386State/registered" 2>/dev/null || true)
    # The users' lock turns exclusive only when no other run holds it.
    if [ -z "$name" ]; then
        [ -z "$i386Before" ] || echo "wine-i386: binfmt_misc entry $i386Before was there before this run; left in place"
    elif flock -x -n "$i386UsersFd"; then
        # The entry and its mark first, the word after: a run that is being
        # stopped may have no one left to read it.
        local removed=0
        if [ -f "$i386Binfmt/$name" ]; then
            echo -1 >"$i386Binfmt/$name" && removed=1
        fi
        rm -f "$i386State/registered"
        [ $removed = 0 ] || echo "wine-i386: binfmt_misc entry $name removed" 2>/dev/null
    else
        echo "wine-i386: binfmt_misc entry $name left to the other run still using it"
    fi
    eval "exec $i386UsersFd>&-"
    flock -u "$i386ChangeFd"
    eval "exec $i386ChangeFd>&-"
}
