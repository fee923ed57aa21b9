#!/bin/bash
# Every test: the Linux build's tests (engine on a platform double, trakmon on
# real files, the timing analysis, the .deb, completion and README), the
# 32-bit Windows build and its zip, then the Windows build's tests under Wine
# and Xvfb. Installs what is missing first. Exit status 0 only if all pass.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
bash "$repo/scripts/install-deps.sh" packaging
bash "$repo/scripts/build.sh"
status=0
ctest --test-dir "$repo/build" --output-on-failure -j2 || status=1
bash "$repo/scripts/build-win32.sh" || status=1
bash "$repo/scripts/wine-tests.sh" || status=1
exit $status
