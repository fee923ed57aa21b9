#!/bin/bash
# Every test: the Linux build's tests (engine on a platform double, trakmon on
# real files, the timing analysis, the .deb, completion and docs), the
# Windows builds and the zip, then the Windows build's tests under Wine and
# Xvfb. Installs what is missing first. Ends with a summary: each suite with
# its passed, failed and skipped tests and its time, which suite did not run
# and why, and the totals on the last line. Exit status 0 only if everything
# that ran passed (and, with TRAKMON_REQUIRE_I686=1, the i686 suite ran).
# docs/testing.md tells more.
#
# The Windows suite runs on the i686 build (the product) under the 32-bit
# Wine, in the first of these ways that can be had:
#   1. the machine's own: wine32:i386, from the i386 index. A mirror in
#      mid-sync can serve an i386 index out of step with the amd64 one, and
#      apt then cannot match the Multi-Arch libraries; so where the root can
#      follow, this is tried once;
#   2. the i386 root (tests/wine/i386-root.sh): a Debian i386 system in
#      /var/cache/trakmon/i386-root with the 32-bit Wine in it, from the
#      archive's main suite alone. Made once per machine (about 5 minutes,
#      0.8 GB), in the background while the Linux build runs, and used by
#      every later run;
#   3. none: the x86-64 build's suite runs instead under wine64, from amd64
#      packages, and the summary says that the i686 suite did not run and why.
#
#   TRAKMON_REQUIRE_I686=1      the i686 suite not running is a failure
#   TRAKMON_SIMULATE_NO_I386=1  behave as if wine32:i386 could not be
#                               installed (to see the other ways on a sound
#                               mirror)
#   TRAKMON_I386_ROOT=auto      the i386 root when wine32:i386 cannot be
#                     always    installed (the default); always: the root,
#                     never     without trying wine32:i386; never: not the
#                               root, the x86-64 suite in its place
#   TRAKMON_LOG_DIR             where each suite's log goes (build-logs/)
#
# Sourced (by tests/packaging/test_all_test.sh, which replaces the steps by
# stubs), this file only defines its functions:
#   testAll   installs, builds and runs every suite, then prints the summary;
#             returns 0 only when every suite that ran passed and none that
#             must run was left out.

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$repo/scripts/packages.sh"

# One line per suite for the summary, and the totals over the suites that ran;
# suitePassed and suiteFailed are the last suite's figures (empty without ctest).
summaryLines=()
suitePassed="" suiteFailed=""
totalPassed=0 totalFailed=0 totalSkipped=0
runFailed=0
i686Reason=""

# ctest's figures in a log of its output: "PASSED FAILED SKIPPED", from its
# closing "N% tests passed, M tests failed out of T" and its per-test lines
# marked ***Skipped (which that line counts as passed). 1 when the log has no
# such closing line (ctest did not run or did not finish).
ctestCounts() {
    local line failed total skipped
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n1)
    [ -n "$line" ] || return 1
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    # Its own lines only (" 12/137 Test  #40: name ...***Skipped"), not lines
    # of that form in the output of a failing test.
    skipped=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*Skipped' "$1")
    echo "$((total - failed - skipped)) $failed $skipped"
}

# Runs a suite, its output shown and kept in LOG, and adds its line to the
# summary:  runSuite NAME LOG COMMAND...
runSuite() {
    local name=$1 log=$2 started=$SECONDS status counts passed failed skipped
    shift 2
    echo "test-all: ---- $name"
    "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    suitePassed="" suiteFailed=""
    local seconds=$((SECONDS - started))
    if counts=$(ctestCounts "$log"); then
        read -r passed failed skipped <<<"$counts"
        totalPassed=$((totalPassed + passed))
        totalFailed=$((totalFailed + failed))
        totalSkipped=$((totalSkipped + skipped))
        summaryLines+=("$(printf '%-38s %d passed, %d failed, %d skipped in %d s' "$name:" "$passed" "$failed" "$skipped" "$seconds")")
        suitePassed=$passed suiteFailed=$failed
        if [ "$failed" != 0 ] || [ "$status" != 0 ]; then
            [ "$failed" != 0 ] || summaryLines+=("$(printf '%-38s FAILED: exit code %d after its tests (see above)' "" "$status")")
            runFailed=1
        fi
    elif [ "$status" = 0 ]; then
        summaryLines+=("$(printf '%-38s passed in %d s' "$name:" "$seconds")")
    else
        summaryLines+=("$(printf '%-38s FAILED in %d s: %s' "$name:" "$seconds" \
            "$(grep -v '^ *$' "$log" | tail -n1)")")
        totalFailed=$((totalFailed + 1))
        runFailed=1
    fi
    return "$status"
}

summaryLine() {  # NAME TEXT
    summaryLines+=("$(printf '%-38s %s' "$1:" "$2")")
}
notRun() {  # NAME REASON
    summaryLine "$1" "NOT run: $2"
}

# ---- The steps (replaced by stubs in the shell test) ----------------------------

linuxPackages() { pkgEnsure pkgTrakmon pkgTests pkgPackaging; }
linuxTests() {
    bash "$repo/scripts/build.sh" && ctest --test-dir "$repo/build" --output-on-failure -j2
}
# The packages of both Windows builds and of wine64 (amd64 packages), with the
# i386 architecture added for what follows.
windowsPackages() { pkgAddI386 && pkgEnsure pkgTrakmon pkgTests pkgCross && pkgEnsure --no-recommends pkgWineTools pkgWine64; }
# The machine's own 32-bit Wine; tried once where the i386 root can follow
# (a mirror in mid-sync stays so for hours, and the root needs no i386 index
# in step with this machine's libraries).
i386Packages() {
    if [ "${TRAKMON_SIMULATE_NO_I386:-0}" = 1 ]; then
        pkgError="simulated (TRAKMON_SIMULATE_NO_I386=1)"
        return 1
    fi
    if [ "${TRAKMON_I386_ROOT:-auto}" = never ]; then
        pkgEnsure --no-recommends pkgWine32
    else
        TRAKMON_APT_TRIES=1 pkgEnsure --no-recommends pkgWine32
    fi
}
# Makes the i386 root unless it is there; its last line of its own
# ("i386-root: ...") says what it did.
i386RootMake() { bash "$repo/tests/wine/i386-root.sh" make; }
windowsBuilds() { bash "$repo/scripts/build-win32.sh"; }
wineSuite() {  # i686 | i686-root | x86_64
    case "$1" in
        i686) bash "$repo/scripts/wine-tests.sh" ;;
        i686-root) bash "$repo/scripts/wine-tests.sh" --i386-root ;;
        x86_64) bash "$repo/scripts/wine-tests.sh" --x86-64 ;;
    esac
}

# ---- The run ---------------------------------------------------------------------

testAll() {
    local logs=${TRAKMON_LOG_DIR:-$repo/build-logs} started=$SECONDS
    mkdir -p "$logs"
    local linuxName="Linux build and ctest" win32Name="Windows i686 suite (Wine)"
    local rootSuiteName="Windows i686 suite (Wine, i386 root)" rootName="i386 root (32-bit Wine)"
    local win64Name="Windows x86-64 suite (wine64)" buildName="Windows builds (i686, x86-64)"
    local rootWay=${TRAKMON_I386_ROOT:-auto}
    case "$rootWay" in
        auto | always | never) ;;
        *) echo "test-all: TRAKMON_I386_ROOT is auto, always or never, not '$rootWay'" >&2; return 2 ;;
    esac

    # The packages first: they decide which way the i686 suite runs, and the
    # i386 root, where it is the way, is made while the Linux build runs.
    local linuxReady=1 windowsReady=1 way="" rootPid=""
    if ! linuxPackages; then
        echo "test-all: the Linux build's packages could not be installed: $pkgError"
        notRun "$linuxName" "its packages could not be installed: $pkgError"
        runFailed=1
        linuxReady=0
    fi
    if ! windowsPackages; then
        echo "test-all: the Windows builds' packages could not be installed: $pkgError"
        notRun "$buildName" "their packages could not be installed: $pkgError"
        notRun "$win32Name" "the Windows builds' packages could not be installed"
        runFailed=1
        windowsReady=0
    elif [ "$rootWay" = always ]; then
        echo "test-all: TRAKMON_I386_ROOT=always: the i686 suite runs in the i386 root"
        way=root
    elif i386Packages; then
        way=machine
    else
        i686Reason="the 32-bit Wine's i386 packages could not be installed: $pkgError"
        if [ "$rootWay" = never ]; then
            i686Reason="$i686Reason, and TRAKMON_I386_ROOT=never leaves out the i386 root"
        else
            echo "test-all: $i686Reason; the i686 suite runs in the i386 root instead"
            way=root
        fi
    fi
    if [ "$way" = root ]; then
        echo "test-all: ---- $rootName, in the background (log: $logs/i386-root.log)"
        i386RootMake >"$logs/i386-root.log" 2>&1 &
        rootPid=$!
    fi

    [ $linuxReady = 0 ] || runSuite "$linuxName" "$logs/linux.log" linuxTests || true

    local instead="the x86-64 Windows suite did not run either" builds=0
    if [ $windowsReady = 1 ]; then
        runSuite "$buildName" "$logs/windows-builds.log" windowsBuilds && builds=1
    fi
    if [ -n "$rootPid" ]; then
        local rootStatus=0 rootSaid
        wait "$rootPid" || rootStatus=$?
        # What the root's script said last (its registration of qemu-i386
        # may say more after it), or else the last line.
        rootSaid=$(grep '^i386-root: ' "$logs/i386-root.log" | tail -n1)
        [ -n "$rootSaid" ] || rootSaid=$(grep -v '^ *$' "$logs/i386-root.log" | tail -n1)
        rootSaid=${rootSaid#i386-root: }
        echo "test-all: $rootName: $rootSaid"
        if [ $rootStatus = 0 ]; then
            summaryLine "$rootName" "$rootSaid"
        else
            summaryLine "$rootName" "NOT made: $rootSaid"
            i686Reason="${i686Reason:+$i686Reason; }the i386 root could not be made: $rootSaid"
            way=""
        fi
    fi
    if [ $windowsReady = 1 ] && [ -z "$way" ]; then
        echo "test-all: $i686Reason; the x86-64 Windows suite runs instead under wine64"
        [ "${TRAKMON_REQUIRE_I686:-0}" != 1 ] ||
            echo "test-all: TRAKMON_REQUIRE_I686=1 requires the i686 suite: this run will end as failed"
    fi
    if [ $builds = 1 ]; then
        case "$way" in
            machine) runSuite "$win32Name" "$logs/wine-i686.log" wineSuite i686 || true ;;
            root) runSuite "$rootSuiteName" "$logs/wine-i686.log" wineSuite i686-root || true ;;
            *)
                notRun "$win32Name" "$i686Reason"
                runSuite "$win64Name" "$logs/wine-x86_64.log" wineSuite x86_64 || true
                if [ -n "$suitePassed" ]; then
                    instead="the x86-64 Windows suite ran instead ($suitePassed passed, $suiteFailed failed)"
                else
                    instead="the x86-64 Windows suite ran instead and failed before its tests ended"
                fi ;;
        esac
    elif [ $windowsReady = 1 ]; then
        notRun "$win32Name" "the Windows builds failed"
    fi

    echo
    echo "test-all: summary after $((SECONDS - started)) s (logs in ${logs#"$repo"/})"
    printf '  %s\n' "${summaryLines[@]}"
    if [ -z "$way" ] && [ -n "$i686Reason" ]; then
        echo "i686 Windows suite NOT run: $i686Reason; $instead"
        if [ "${TRAKMON_REQUIRE_I686:-0}" = 1 ]; then
            echo "test-all: FAILED: TRAKMON_REQUIRE_I686=1 requires the i686 Windows suite, and it did not run"
            runFailed=1
        fi
    fi
    echo "test-all: $([ $runFailed = 0 ] && echo 'everything that ran passed' || echo FAILED)"
    echo "$totalPassed passed, $totalFailed failed, $totalSkipped skipped"
    return $runFailed
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -u
    testAll
fi
