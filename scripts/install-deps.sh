#!/bin/bash
# Installs what building and testing trakmon on Linux needs and a fresh
# Debian 12 machine may lack. Quiet and quick when everything is there.
#
#   install-deps.sh           building: CMake, g++, GoogleTest, CLI11, nlohmann-json
#   install-deps.sh packaging  also what the .deb and its test need
set -eu
need=()
for tool in cmake g++ make; do command -v $tool >/dev/null || need+=($tool); done
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -f /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
command -v xmllint >/dev/null || need+=(libxml2-utils)  # the plot tests check the SVG
if [ "${1:-}" = packaging ]; then
    command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
    command -v man >/dev/null || need+=(man-db)
    command -v lintian >/dev/null || need+=(lintian)
fi
if [ ${#need[@]} -gt 0 ]; then
    echo "install-deps: installing ${need[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: run as root (or install these packages first)" >&2
        exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi
