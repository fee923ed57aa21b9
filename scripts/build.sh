#!/bin/bash
# Builds the Linux trakmon and its tests into build/.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
bash "$repo/scripts/install-deps.sh"
cmake -S "$repo" -B "$repo/build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$repo/build" -j"$(nproc)" >/dev/null
