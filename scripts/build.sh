#!/bin/bash
# Builds a Linux build folder of the checkout (configured as configure.sh
# says), after installing what it needs:
#
#   scripts/build.sh                              trakmon and its tests, in build/
#   scripts/build.sh build-benchmark [TARGET...]  trakmon (or the targets named:
#                                                 bare_loop, trakmon_loop_bench)
#                                                 without the tests
#   scripts/build.sh build [TARGET...]            the targets named, in build/
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
. "$repo/scripts/configure.sh"
folder=${1:-build}
[ $# = 0 ] || shift
case "$folder" in
    build) bash "$repo/scripts/install-deps.sh" ;;
    build-benchmark) bash "$repo/scripts/install-deps.sh" trakmon; [ $# -gt 0 ] || set -- trakmon ;;
    *) echo "usage: build.sh [build|build-benchmark] [TARGET...]" >&2; exit 2 ;;
esac
buildFolder "$folder" "$@"
