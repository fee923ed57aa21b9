#!/bin/bash
# Installs what building and testing trakmon on Linux needs and a fresh
# Debian 12 machine may lack (the lists are in packages.sh). Quiet and quick
# when everything is there.
#
#   install-deps.sh trakmon    the trakmon program alone: CMake, g++, CLI11, nlohmann-json
#   install-deps.sh            also its tests: GoogleTest, FUSE 3, xmllint
#   install-deps.sh packaging  also what the .deb and its test need
set -eu
. "$(dirname "$0")/packages.sh"
case "${1:-}" in
    trakmon) lists=(pkgTrakmon) ;;
    "") lists=(pkgTrakmon pkgTests) ;;
    packaging) lists=(pkgTrakmon pkgTests pkgPackaging) ;;
    *) echo "usage: install-deps.sh [trakmon|packaging]" >&2; exit 2 ;;
esac
if ! pkgEnsure "${lists[@]}"; then
    echo "install-deps: could not install $(pkgMissing "${lists[@]}" | tr '\n' ' ')— $pkgError" >&2
    exit 1
fi
