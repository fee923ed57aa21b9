#!/bin/bash
# test-all.sh's own logic with its steps and apt-get replaced by stubs: which
# Windows suite runs when the i386 packages cannot be installed, what the
# summary says, and the exit status.
#
#   test_all_test.sh SCRIPTS_DIR
set -u
scripts=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
# The variables under test come from each case alone, not from the run that
# runs this test (test-all.sh with TRAKMON_SIMULATE_NO_I386=1, say).
unset TRAKMON_REQUIRE_I686 TRAKMON_SIMULATE_NO_I386 TRAKMON_APT_TRIES TRAKMON_APT_PAUSE TRAKMON_LOG_DIR

# One case in a subshell. Its environment: I386 (ok | broken: apt cannot
# install wine32:i386, after an update that fails on a mirror in mid-sync),
# LINUX_PKG (ok | broken), LINUX, I686, X64 (the suites' ctest figures
# "passed failed skipped"), and the variables under test.
runCase() {
    (
        . "$scripts/test-all.sh"
        export TRAKMON_LOG_DIR=$work/logs TRAKMON_APT_PAUSE=0 TRAKMON_APT_TRIES=2
        id() { echo 0; }
        dpkg() { echo i386; }
        apt-get() {
            echo "apt-get $*" >>"$work/apt.calls"
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
        wineSuite() {
            local figures=$X64
            [ "$1" = x86_64 ] || figures=$I686
            if [ "$figures" = fail ]; then failingSuite; else fakeCtest "$figures"; fi
        }
        testAll
    ) >"$work/out" 2>&1
}

# name | environment | exit status | lines the output must have (regular
# expressions, ";" between them) | lines it must not have
cases=(
"all suites pass|I386=ok|0|^  Windows i686 suite \(Wine\): +140 passed, 0 failed, 4 skipped in [0-9]+ s$;^  Linux build and ctest: +170 passed, 0 failed, 3 skipped;^310 passed, 0 failed, 7 skipped$|NOT run"
"i386 packages cannot be installed|I386=broken|0|^packages: apt-get install failed: Unable to correct problems.*; updating the index again in 0 s \(1 of 2\)$;^  Windows i686 suite \(Wine\): +NOT run: the 32-bit Wine's i386 packages could not be installed: Unable to correct problems, you have held broken packages. \(after apt-get update failed: Failed to fetch .*Mirror sync in progress\?\)$;^  Windows x86-64 suite \(wine64\): +144 passed, 0 failed, 4 skipped;^i686 Windows suite NOT run: .*; the x86-64 Windows suite ran instead \(144 passed, 0 failed\)$;^314 passed, 0 failed, 7 skipped$|IP:"
"i386 missing and required|I386=broken TRAKMON_REQUIRE_I686=1|1|^test-all: TRAKMON_REQUIRE_I686=1 requires the i686 suite: this run will end as failed$;^i686 Windows suite NOT run: .*Unable to correct problems;^test-all: FAILED: TRAKMON_REQUIRE_I686=1 requires the i686 Windows suite;^  Windows x86-64 suite \(wine64\): +144 passed|everything that ran passed"
"i386 missing, simulated|I386=ok TRAKMON_SIMULATE_NO_I386=1|0|^i686 Windows suite NOT run: the 32-bit Wine's i386 packages could not be installed: simulated \(TRAKMON_SIMULATE_NO_I386=1\); the x86-64 Windows suite ran instead|wine32:i386"
"fallback suite fails|I386=broken X64='143 1 4'|1|^  Windows x86-64 suite \(wine64\): +143 passed, 1 failed, 4 skipped;ran instead \(143 passed, 1 failed\)$;^313 passed, 1 failed, 7 skipped$|everything that ran passed"
"a suite's script fails after its tests passed|I386=ok I686='140 0 4 1'|1|^  Windows i686 suite \(Wine\): +140 passed, 0 failed, 4 skipped;^ +FAILED: exit code 1 after its tests|everything that ran passed"
"fallback suite fails before its tests|I386=broken X64=fail|1|^  Windows x86-64 suite \(wine64\): +FAILED in [0-9]+ s: wine-tests: Xvfb did not start$;the x86-64 Windows suite ran instead and failed before its tests ended$;^170 passed, 1 failed, 3 skipped$|everything that ran passed"
"a Linux test fails|I386=ok LINUX='169 1 3'|1|^  Linux build and ctest: +169 passed, 1 failed, 3 skipped;^test-all: FAILED$;^309 passed, 1 failed, 7 skipped$|NOT run"
"Linux packages cannot be installed|I386=ok LINUX_PKG=broken|1|^test-all: the Linux build's packages could not be installed: Unable to locate package linux-pkg;^  Linux build and ctest: +NOT run: its packages could not be installed: Unable to locate package linux-pkg$|"
)

for entry in "${cases[@]}"; do
    IFS='|' read -r name environment expected must mustNot <<<"$entry"
    rm -f "$work/apt.calls"
    eval "LINUX_PKG=ok LINUX='170 0 3' I686='140 0 4' X64='144 0 4' $environment runCase"
    status=$?
    problems=()
    [ "$status" = "$expected" ] || problems+=("exit status $status, expected $expected")
    IFS=';' read -r -a patterns <<<"$must"
    for pattern in "${patterns[@]}"; do
        grep -Eq -- "$pattern" "$work/out" || problems+=("no line matches: $pattern")
    done
    if [ -n "$mustNot" ] && grep -Eq -- "$mustNot" "$work/out"; then
        problems+=("a line matches what must not be there: $mustNot")
    fi
    # The totals close the run, alone on the last line.
    tail -n1 "$work/out" | grep -Eqx '[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped' ||
        problems+=("last line is not the totals: $(tail -n1 "$work/out")")
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
