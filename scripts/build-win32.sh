#!/bin/bash
# Cross-builds the 32-bit Windows programs into build-win32, packs them into
# the zip (build-win32/package/trakmon-<version>-win32.zip) and checks what
# the zip holds: trakmon32.exe a PE32 GUI program for i386, trakmon.exe a
# console one, neither needing any DLL but the system's, both with their
# manifest and version resource, and the README.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v file >/dev/null || need+=(file)
[ -f /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
[ -d /usr/src/googletest ] || need+=(googletest)
if [ ${#need[@]} -gt 0 ]; then
    echo "build-win32: installing ${need[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi
out=$repo/build-win32
# The programs alone: their tests are built and run by wine-tests.sh.
configure=(cmake -S "$repo" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake"
           -DBUILD_TESTING=OFF)
"${configure[@]}" >/dev/null 2>&1 || "${configure[@]}"
cmake --build "$out" -j"$(nproc)" >/dev/null
rm -rf "$out/package"
cpack --config "$out/CPackConfig.cmake" -B "$out/package" >/dev/null
zip=$(ls "$out"/package/trakmon-*-win32.zip)
cmake -E chdir "$out/package" cmake -E tar xf "$zip"
unpacked=${zip%.zip}
build=$(sed -n 's/^#define TRAKMON_VERSION_AND_BUILD "\(.*\)"$/\1/p' "$out/generated/trakmon_version.h")

fail=0
check() {  # file, expected kind
    local kind
    kind=$(file -b "$unpacked/$1")
    case "$kind" in
        "PE32 executable ($2) Intel 80386"*) ;;
        *) echo "build-win32: $1 is '$kind', expected a PE32 $2 program for i386" >&2; fail=1 ;;
    esac
    local dlls
    dlls=$(i686-w64-mingw32-objdump -p "$unpacked/$1" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' |
           grep -v -x -E 'kernel32.dll|user32.dll|gdi32.dll|comdlg32.dll|winmm.dll|msvcrt.dll|advapi32.dll' || true)
    if [ -n "$dlls" ]; then
        echo "build-win32: $1 needs DLLs beyond the system's: $dlls" >&2
        fail=1
    fi
    local resources
    resources=$(i686-w64-mingw32-windres -i "$unpacked/$1" -O rc)
    grep -q 'requestedExecutionLevel level=""asInvoker""' <<<"$resources" &&
        [ "$(grep -c '<supportedOS Id=' <<<"$resources")" = 4 ] ||
        { echo "build-win32: $1 has no manifest asking for asInvoker on Windows 7 to 11" >&2; fail=1; }
    grep -q "VALUE \"ProductVersion\", \"$build\"" <<<"$resources" &&
        grep -q "VALUE \"OriginalFilename\", \"$1\"" <<<"$resources" ||
        { echo "build-win32: $1 has no version resource of build $build" >&2; fail=1; }
}
check trakmon32.exe GUI
check trakmon.exe console
[ -f "$unpacked/README.md" ] || { echo "build-win32: $(basename "$zip") has no README.md" >&2; fail=1; }
[ $fail = 0 ] && echo "build-win32: $(basename "$zip"): trakmon32.exe (GUI) and trakmon.exe (console), PE32 i386, system DLLs only, manifest and version $build"
exit $fail
