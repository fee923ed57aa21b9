#!/bin/bash
# Every test: the Linux build's tests (engine on a platform double, trakmon on
# real files, the timing analysis, the .deb, completion and docs), the
# Windows builds and the zip, then the Windows build's tests under Wine and
# Xvfb: the i686 build's, or, where the 32-bit Wine's i386 packages cannot be
# installed, the x86-64 build's under wine64 (test-all-lib.sh). Installs what
# is missing first. Ends with a summary: each suite with its passed, failed
# and skipped tests and its time, which suite did not run and why, and the
# totals on the last line. Exit status 0 only if everything that ran passed
# (and, with TRAKMON_REQUIRE_I686=1, the i686 suite ran).
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)
. "$repo/scripts/test-all-lib.sh"
testAll
