# The Debian packages that building and testing trakmon need, and how they
# are installed. Sourced by install-deps.sh, build-win32.sh, wine-tests.sh,
# test-all.sh and tests/wine/i386-root.sh:
#
#   pkgEnsure [--no-recommends] LIST...   installs what the lists name and this
#                                          machine lacks; 0 when all is there.
#                                          On failure pkgError holds apt's reason.
#
# A list holds "PROBE PACKAGE" pairs: PROBE is a file (an absolute path) or a
# command that PACKAGE provides, and the package is installed only when the
# probe is missing, so that a machine that has everything is not asked anything.
#
# A package mirror can be caught in the middle of a sync for hours, serving an
# index that does not match its Release file ("File has unexpected size ...
# Mirror sync in progress?"). apt-get update then fails for that index and
# keeps the old one, and the packages of the other indexes may still install;
# so an update that fails is said and carried on from, and only a failed
# install is retried, after a pause and a fresh update: TRAKMON_APT_TRIES
# times (3) in all, TRAKMON_APT_PAUSE seconds (20) apart. apt's own checks of
# signatures and sizes are never relaxed.

# What building trakmon needs (the main job).
pkgTrakmon=(
    "cmake cmake" "g++ g++" "make make"
    "/usr/include/CLI/CLI.hpp libcli11-dev"
    "/usr/include/nlohmann/json.hpp nlohmann-json3-dev")
# The Linux tests: GoogleTest, the fault tests' file system (tests/faultfs,
# found through pkg-config; without it those tests are skipped), xmllint for
# the plots' SVG.
pkgTests=(
    "/usr/include/gtest/gtest.h libgtest-dev"
    "pkg-config pkg-config"
    "/usr/include/fuse3/fuse.h libfuse3-dev" "fusermount3 fuse3"
    "xmllint libxml2-utils")
# The .deb and its test.
pkgPackaging=("dpkg-shlibdeps dpkg-dev" "man man-db" "lintian lintian")
# The Windows builds: MinGW-w64 for i686 and x86-64, GoogleTest's sources for
# the cross-built tests, file(1) to check what came out.
pkgCross=(
    "i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix"
    "x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix"
    "/usr/src/googletest googletest" "file file")
# The Wine session's display, and the screenshots' conversion.
pkgWineTools=("Xvfb xvfb" "/usr/bin/convert imagemagick")
# Wine for the x86-64 build (amd64 packages) and for the i686 build (the
# Multi-Arch i386 packages, from the i386 index). Installed without their
# recommendations (fonts, sound and media libraries for other programs).
pkgWine64=("/usr/lib/wine/wine64 wine" "/usr/lib/wine/wine64 wine64")
pkgWine32=("/usr/lib/wine/wine wine" "/usr/lib/wine/wine wine32:i386")
# What makes the i386 root in which the 32-bit Wine runs where wine32:i386
# cannot be installed here (tests/wine/i386-root.sh); the root's own packages
# come from the archive's i386 indexes, into the root alone.
pkgI386Root=("mmdebstrap mmdebstrap")

pkgError=""
pkgUpdateError=""
pkgUpdated=0

# The packages of the named lists whose probe is missing, one a line.
pkgMissing() {
    local list pair probe package
    for list in "$@"; do
        local -n entries=$list
        for pair in "${entries[@]}"; do
            probe=${pair%% *} package=${pair#* }
            case "$probe" in
                /*) [ -e "$probe" ] && continue ;;
                *) command -v "$probe" >/dev/null && continue ;;
            esac
            echo "$package"
        done
        unset -n entries
    done | awk '!seen[$0]++'
}

# apt's reason in one line: its first error, without the mirror's address.
pkgReason() {
    local reason
    reason=$(grep -m1 '^E: ' "$1" | sed -e 's/^E: //' -e 's/ *\[IP: [^]]*\]//')
    [ -n "$reason" ] || reason=$(grep -v '^ *$' "$1" | tail -n1)
    echo "${reason:-no message}"
}

# apt-get update; on failure says so in one line and returns 1 (pkgUpdateError
# holds the reason).
pkgUpdate() {
    local log status
    log=$(mktemp)
    apt-get -o DPkg::Lock::Timeout=600 -qq update >"$log" 2>&1
    status=$?
    if [ $status = 0 ]; then
        pkgUpdated=1
        pkgUpdateError=""
    else
        pkgUpdateError=$(pkgReason "$log")
        echo "packages: apt-get update failed: $pkgUpdateError; carrying on with the package index as it is"
    fi
    rm -f "$log"
    return $status
}

pkgEnsure() {
    # -q, not -qq: on failure apt then names the packages it could not match.
    local options=(-y -q -o DPkg::Lock::Timeout=600)
    if [ "${1:-}" = --no-recommends ]; then
        options+=(--no-install-recommends)
        shift
    fi
    local missing
    missing=($(pkgMissing "$@"))
    [ ${#missing[@]} -gt 0 ] || return 0
    if [ "$(id -u)" != 0 ]; then
        pkgError="${missing[*]} missing, and only root can install them"
        return 1
    fi
    local tries=${TRAKMON_APT_TRIES:-3} pause=${TRAKMON_APT_PAUSE:-20} try log started=$SECONDS
    echo "packages: installing ${missing[*]}"
    log=$(mktemp)
    for ((try = 1; ; try++)); do
        [ $pkgUpdated = 1 ] && [ $try = 1 ] || pkgUpdate
        if DEBIAN_FRONTEND=noninteractive apt-get "${options[@]}" install "${missing[@]}" >"$log" 2>&1; then
            rm -f "$log"
            pkgError=""
            echo "packages: installed in $((SECONDS - started)) s"
            return 0
        fi
        pkgError=$(pkgReason "$log")
        [ $pkgUpdated = 1 ] || pkgError="$pkgError (after apt-get update failed: $pkgUpdateError)"
        [ "$try" -lt "$tries" ] || break
        echo "packages: apt-get install failed: $pkgError; updating the index again in $pause s ($try of $tries)"
        sleep "$pause"
        pkgUpdated=0
    done
    # apt's account of what it could not resolve, its first lines.
    sed -n '/unmet dependencies/,/^E: /p' "$log" | head -n 12
    rm -f "$log"
    return 1
}

# The i386 architecture, for the 32-bit Wine; the index then has to be read again.
pkgAddI386() {
    dpkg --print-foreign-architectures | grep -qx i386 && return 0
    dpkg --add-architecture i386 && pkgUpdated=0
}
