#!/bin/bash
# test-all.sh's own logic with its steps and apt-get replaced by stubs: which
# way the i686 Windows suite runs (the machine's 32-bit Wine, the i386 root,
# or none, and the x86-64 suite in its place), what the summary says, and the
# exit status.
#
#   test_all_test.sh SCRIPTS_DIR
set -u
scripts=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
# The variables under test come from each case alone, not from the run that
# runs this test (test-all.sh with TRAKMON_SIMULATE_NO_I386=1, say).
unset TRAKMON_REQUIRE_I686 TRAKMON_SIMULATE_NO_I386 TRAKMON_I386_ROOT TRAKMON_APT_TRIES TRAKMON_APT_PAUSE TRAKMON_LOG_DIR

# One case in a subshell. Its environment: I386 (ok | broken: apt cannot
# install wine32:i386, after an update that fails on a mirror in mid-sync),
# ROOT (made | there | broken: the i386 root is made, was there, or cannot be
# made), LINUX_PKG (ok | broken), LINUX, I686, X64 (the suites' ctest
# figures "passed failed skipped"), and the variables under test.
runCase() {
    (
        . "$scripts/test-all.sh"
        export TRAKMON_LOG_DIR=$work/logs TRAKMON_APT_PAUSE=0 TRAKMON_APT_TRIES=2
        id() { echo 0; }
        dpkg() { echo i386; }
        apt-get() {
            echo "apt-get $*" >>"$work/calls"
            case "$*" in
            *update*)
                [ "$I386" = ok ] && return 0
                echo "E: Failed to fetch http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (123 != 456). Mirror sync in progress? [IP: 192.0.2.1 80]"
                return 100 ;;
            *wine32:i386*)
                [ "$I386" = ok ] && return 0
                printf '%s\n' "The following packages have unmet dependencies:" \
                    " libc6:i386 : Breaks: libc6 (!= 2.36-9+deb12u1) but 2.36-9+deb12u9 is to be installed" \
                    "E: Unable to correct problems, you have held broken packages."
                return 100 ;;
            *linux-pkg*)
                [ "$LINUX_PKG" = ok ] && return 0
                echo "E: Unable to locate package linux-pkg"
                return 100 ;;
            esac
        }
        # Every list found complete but these two, so that apt-get is asked.
        for list in pkgTrakmon pkgTests pkgPackaging pkgCross pkgWineTools pkgWine64; do
            eval "$list=()"
        done
        pkgTrakmon=("$work/absent linux-pkg")
        pkgWine32=("$work/absent wine" "$work/absent wine32:i386")
        fakeCtest() {  # "passed failed skipped [exit status]", as ctest prints them
            local passed failed skipped status i n=0
            read -r passed failed skipped status <<<"$1"
            local total=$((passed + failed + skipped))
            for ((i = 0; i < passed; i++)); do echo "$((++n))/$total Test #$n: t$n ....   Passed    0.01 sec"; done
            for ((i = 0; i < failed; i++)); do echo "$((++n))/$total Test #$n: t$n ....***Failed    0.01 sec"; done
            for ((i = 0; i < skipped; i++)); do echo "$((++n))/$total Test #$n: t$n ....***Skipped   0.01 sec"; done
            # A failing test's output may hold lines of ctest's own form.
            echo "  | 1/1 Test #1: inner ....***Skipped   0.01 sec"
            echo
            echo "$(((passed + skipped) * 100 / total))% tests passed, $failed tests failed out of $total"
            [ -z "$status" ] || return "$status"
            [ "$failed" = 0 ]
        }
        failingSuite() { echo "wine-tests: Xvfb did not start"; return 1; }
        linuxTests() { fakeCtest "$LINUX"; }
        windowsBuilds() { echo "build-win32: built"; }
        i386RootMake() {
            echo "i386-root make" >>"$work/calls"
            # Registering qemu-i386 for the time has the last word.
            trap 'echo "wine-i386: binfmt_misc entry trakmon-i386 removed"' RETURN
            case "$ROOT" in
                made) echo "i386-root: made /var/cache/trakmon/i386-root in 280 s, 779M" ;;
                there) echo "i386-root: /var/cache/trakmon/i386-root is there (made in 280 s on 2025-06-01 10:00 UTC), used as it is" ;;
                broken) echo "E: setup failed: E: cannot find /usr/bin/mmdebstrap"
                        echo "i386-root: mmdebstrap failed (its output is above)"; return 1 ;;
            esac
        }
        wineSuite() {
            echo "wine-tests $1" >>"$work/calls"
            local figures=$X64
            [ "$1" = x86_64 ] || figures=$I686
            if [ "$figures" = fail ]; then failingSuite; else fakeCtest "$figures"; fi
        }
        testAll
    ) >"$work/out" 2>&1
}

# name | environment | exit status | lines the output must have (regular
# expressions, ";" between them) | lines it must not have
# name | environment | exit status | lines the output must have (regular
# expressions, ";" between them) | lines it must not have. The output ends
# with a line "called: ..." for each step that apt-get and the stubs were
# called for.
cases=(
"all suites pass, the machine's 32-bit Wine|I386=ok|0|^  Windows i686 suite \(Wine\): +140 passed, 0 failed, 4 skipped in [0-9]+ s$;^  Linux build and ctest: +170 passed, 0 failed, 3 skipped;^310 passed, 0 failed, 7 skipped$|NOT run|i386 root"
"wine32:i386 cannot be installed: the i386 root is made|I386=broken|0|^test-all: the 32-bit Wine's i386 packages could not be installed: Unable to correct problems, you have held broken packages. \(after apt-get update failed: Failed to fetch .*Mirror sync in progress\?\); the i686 suite runs in the i386 root instead$;^  i386 root \(32-bit Wine\): +made /var/cache/trakmon/i386-root in 280 s, 779M$;^  Windows i686 suite \(Wine, i386 root\): +140 passed, 0 failed, 4 skipped in [0-9]+ s$;^called: wine-tests i686-root$;^310 passed, 0 failed, 7 skipped$|NOT run|updating the index again|IP:|x86-64 Windows suite|suite \(wine64\)"
"the root forced and there: used as it is|I386=ok ROOT=there TRAKMON_I386_ROOT=always|0|^  i386 root \(32-bit Wine\): +/var/cache/trakmon/i386-root is there \(made in 280 s on .*\), used as it is$;^  Windows i686 suite \(Wine, i386 root\): +140 passed|NOT run|called: apt-get .*wine32"
"wine32:i386 missing, simulated|I386=ok TRAKMON_SIMULATE_NO_I386=1|0|^test-all: the 32-bit Wine's i386 packages could not be installed: simulated \(TRAKMON_SIMULATE_NO_I386=1\); the i686 suite runs in the i386 root instead$;^  Windows i686 suite \(Wine, i386 root\): +140 passed|NOT run|wine32:i386"
"nor the root: the x86-64 suite instead|I386=broken ROOT=broken|0|^  i386 root \(32-bit Wine\): +NOT made: mmdebstrap failed \(its output is above\)$;^  Windows i686 suite \(Wine\): +NOT run: the 32-bit Wine's i386 packages could not be installed: Unable to correct problems.*; the i386 root could not be made: mmdebstrap failed \(its output is above\)$;^  Windows x86-64 suite \(wine64\): +144 passed, 0 failed, 4 skipped;^i686 Windows suite NOT run: .*; the x86-64 Windows suite ran instead \(144 passed, 0 failed\)$;^314 passed, 0 failed, 7 skipped$|IP:"
"nor the root, and the i686 suite required|I386=broken ROOT=broken TRAKMON_REQUIRE_I686=1|1|^test-all: TRAKMON_REQUIRE_I686=1 requires the i686 suite: this run will end as failed$;^i686 Windows suite NOT run: .*the i386 root could not be made;^test-all: FAILED: TRAKMON_REQUIRE_I686=1 requires the i686 Windows suite;^  Windows x86-64 suite \(wine64\): +144 passed|everything that ran passed"
"the root left out: wine32:i386 retried, then the x86-64 suite|I386=broken TRAKMON_I386_ROOT=never|0|^packages: apt-get install failed: Unable to correct problems.*; updating the index again in 0 s \(1 of 2\)$;^  Windows i686 suite \(Wine\): +NOT run: the 32-bit Wine's i386 packages could not be installed: .*Mirror sync in progress\?\), and TRAKMON_I386_ROOT=never leaves out the i386 root$;^  Windows x86-64 suite \(wine64\): +144 passed|IP:|i386-root"
"fallback suite fails|I386=broken ROOT=broken X64='143 1 4'|1|^  Windows x86-64 suite \(wine64\): +143 passed, 1 failed, 4 skipped;ran instead \(143 passed, 1 failed\)$;^313 passed, 1 failed, 7 skipped$|everything that ran passed"
"the root's suite fails after its tests passed|I386=broken I686='140 0 4 1'|1|^  Windows i686 suite \(Wine, i386 root\): +140 passed, 0 failed, 4 skipped;^ +FAILED: exit code 1 after its tests|everything that ran passed"
"fallback suite fails before its tests|I386=broken ROOT=broken X64=fail|1|^  Windows x86-64 suite \(wine64\): +FAILED in [0-9]+ s: wine-tests: Xvfb did not start$;the x86-64 Windows suite ran instead and failed before its tests ended$;^170 passed, 1 failed, 3 skipped$|everything that ran passed"
"a Linux test fails|I386=ok LINUX='169 1 3'|1|^  Linux build and ctest: +169 passed, 1 failed, 3 skipped;^test-all: FAILED$;^309 passed, 1 failed, 7 skipped$|NOT run"
"Linux packages cannot be installed|I386=ok LINUX_PKG=broken|1|^test-all: the Linux build's packages could not be installed: Unable to locate package linux-pkg;^  Linux build and ctest: +NOT run: its packages could not be installed: Unable to locate package linux-pkg$|"
)

for entry in "${cases[@]}"; do
    IFS='|' read -r name environment expected must mustNot <<<"$entry"
    rm -f "$work/calls"
    eval "LINUX_PKG=ok ROOT=made LINUX='170 0 3' I686='140 0 4' X64='144 0 4' $environment runCase"
    status=$?
    # The totals close the run, alone on the last line.
    last=$(tail -n1 "$work/out")
    [ ! -f "$work/calls" ] || sed 's/^/called: /' "$work/calls" >>"$work/out"
    problems=()
    [ "$status" = "$expected" ] || problems+=("exit status $status, expected $expected")
    IFS=';' read -r -a patterns <<<"$must"
    for pattern in "${patterns[@]}"; do
        grep -Eq -- "$pattern" "$work/out" || problems+=("no line matches: $pattern")
    done
    if [ -n "$mustNot" ] && grep -Eq -- "$mustNot" "$work/out"; then
        problems+=("a line matches what must not be there: $mustNot")
    fi
    grep -Eqx '[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped' <<<"$last" ||
        problems+=("last line is not the totals: $last")
    if [ ${#problems[@]} = 0 ]; then
        echo "ok: $name"
    else
        echo "FAILED: $name ($environment)"
        printf '  %s\n' "${problems[@]}"
        echo "  ---- output, without the stubs' per-test lines:"
        grep -v ' Test #[0-9]*: t' "$work/out" | sed 's/^/  | /'
        failures=$((failures + 1))
    fi
done
exit $((failures > 0))
