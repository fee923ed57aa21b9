#!/bin/bash
# Cross-builds the 32-bit Windows programs into build-win32 and checks what
# came out: trakmon32.exe a PE32 GUI program for i386, trakmon.exe a console
# one, neither needing any DLL but the system's.
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
configure=(cmake -S "$repo" -B "$out" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake")
"${configure[@]}" >/dev/null 2>&1 || "${configure[@]}"
cmake --build "$out" -j"$(nproc)" --target trakmon32 trakmon >/dev/null

fail=0
check() {  # file, expected kind
    local kind
    kind=$(file -b "$out/$1")
    case "$kind" in
        "PE32 executable ($2) Intel 80386"*) ;;
        *) echo "build-win32: $1 is '$kind', expected a PE32 $2 program for i386" >&2; fail=1 ;;
    esac
    local dlls
    dlls=$(i686-w64-mingw32-objdump -p "$out/$1" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' |
           grep -v -x -E 'kernel32.dll|user32.dll|gdi32.dll|comdlg32.dll|winmm.dll|msvcrt.dll|advapi32.dll' || true)
    if [ -n "$dlls" ]; then
        echo "build-win32: $1 needs DLLs beyond the system's: $dlls" >&2
        fail=1
    fi
}
check trakmon32.exe GUI
check trakmon.exe console
[ $fail = 0 ] && echo "build-win32: trakmon32.exe (GUI) and trakmon.exe (console), PE32 i386, system DLLs only"
exit $fail
