#!/bin/bash
# The main job: build trakmon, then a real write test and read test of
# 12 tracks on scratch/take.wav inside the checkout (or on the base file
# name given), printing both reports. Further arguments go to trakmon run.
#
#   scripts/run-benchmark.sh [BASE] [--tracks N] [--write-request KB] ...
#
# Installs and builds only what trakmon needs: the trakmon target, no test
# programs, in a build folder of its own, build-benchmark/, configured without
# the tests (-DBUILD_TESTING=OFF, so no GoogleTest or FUSE is needed; see
# configure.sh), through build.sh.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
if [ -x "$repo/build-benchmark/trakmon" ]; then
    echo "build: bringing build-benchmark/trakmon up to date" >&2
else
    echo "build: building trakmon in build-benchmark/ (about 30 s on 2 cores)" >&2
fi
buildProgress=1 bash "$repo/scripts/build.sh" build-benchmark trakmon
base="$repo/scratch/take.wav"
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
    base=$1
    shift
fi
mkdir -p "$(dirname "$base")"
has_tracks=0
for arg in "$@"; do [ "$arg" = --tracks ] && has_tracks=1; done
[ $has_tracks = 1 ] || set -- --tracks 12 "$@"
echo "trakmon run $* $base" >&2
exec "$repo/build-benchmark/trakmon" run "$@" "$base"
