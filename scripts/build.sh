#!/bin/bash
# Builds the Linux trakmon and its tests into build/ (configured by configure.sh).
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
. "$repo/scripts/configure.sh"
bash "$repo/scripts/install-deps.sh"
configureFolder build
cmake --build "$repo/build" -j"$(nproc)" >/dev/null
