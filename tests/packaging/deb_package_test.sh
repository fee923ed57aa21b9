#!/bin/bash
# The .deb as a user gets it: CPack builds it from this build, it is unpacked
# into a scratch root (dpkg -x: the machine's own package database and /usr
# stay as they were), and the unpacked trakmon, manual page and files are used.
#
#   deb_package_test.sh BUILD_DIR VERSION
set -u
build=$1 version=$2
for tool in cpack dpkg-deb dpkg-shlibdeps man; do
    if ! command -v $tool >/dev/null; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done
source "$(dirname "$0")/package_test_common.sh"
makePackage "$build" DEB
deb=$scratch/out/trakmon_${version}_amd64.deb
[ -f "$deb" ] || { ls "$scratch/out"; echo "FAIL: no $(basename "$deb")"; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *"libc6 (>="* && $depends == *libstdc++6* ]] ||
    fail "Depends is not what dpkg-shlibdeps computes: '$depends'"

listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
# The documentation as in the checkout: README.md, every page and picture of
# docs/, bench/README.md.
documentation=$(cd "$(dirname "$0")/../.." && ls README.md docs/* bench/README.md)
for file in usr/bin/trakmon usr/share/man/man1/trakmon.1.gz \
            usr/share/bash-completion/completions/trakmon \
            $(sed 's|^|usr/share/doc/trakmon/|' <<<"$documentation") \
            usr/share/doc/trakmon/copyright usr/share/doc/trakmon/changelog.gz; do
    grep -qx "./$file" <<<"$listing" || fail "the package lacks /$file"
done

root=$scratch/root
dpkg -x "$deb" "$root"
installed=$root/usr/bin/trakmon
expected=$("$build/trakmon" --version)
actual=$("$installed" --version)
[ "$actual" = "$expected" ] || fail "installed --version says '$actual', the build '$expected'"

mkdir "$scratch/data"
if ! "$installed" run --tracks 1 "$scratch/data/take.wav" >"$scratch/run.out" 2>&1; then
    cat "$scratch/run.out"
    fail "a 1-track run of the installed trakmon failed"
elif ! grep -q "Disk Read Test Results" "$scratch/run.out"; then
    cat "$scratch/run.out"
    fail "the installed trakmon's run printed no read report"
fi

page=$(MANWIDTH=80 man --warnings -P cat -l "$root/usr/share/man/man1/trakmon.1.gz" 2>"$scratch/man.err")
[ -s "$scratch/man.err" ] && fail "man reports problems with the page: $(cat "$scratch/man.err")"
for heading in NAME SYNOPSIS DESCRIPTION COMMANDS OPTIONS "EXIT STATUS" FILES EXAMPLES "SEE ALSO"; do
    grep -qx "$heading" <<<"$page" || fail "the rendered page has no $heading section"
done

if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb" >"$scratch/lintian.out" 2>&1 || fail "lintian reports errors"
    grep -v '^running with root' "$scratch/lintian.out"
else
    echo "lintian is not installed: the package's Debian checks were not run"
fi

[ $failures = 0 ] && echo "the .deb installs a working trakmon, page, completion and documentation"
exit $((failures > 0))
