#!/bin/bash
# Cross-builds the Windows programs and checks what came out: the i686 build
# in build-win32 (the product: trakmon32.exe a PE32 GUI program for i386,
# trakmon.exe a console one) and the same programs for x86-64 in build-win64,
# none needing any DLL but the system's. Builds the programs alone; the
# folders are configured for their tests too (configure.sh), so that
# wine-tests.sh builds on them without configuring them anew.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
. "$repo/scripts/packages.sh"
. "$repo/scripts/configure.sh"
if ! pkgEnsure pkgTrakmon pkgCross; then
    echo "build-win32: the cross builds' packages could not be installed: $pkgError" >&2
    exit 1
fi

fail=0
check() {  # build folder, file, expected kind, objdump
    local kind
    kind=$(file -b "$1/$2")
    case "$kind" in
        "$3"*) ;;
        *) echo "build-win32: $1/$2 is '$kind', expected '$3'" >&2; fail=1 ;;
    esac
    local dlls
    dlls=$($4 -p "$1/$2" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' |
           grep -v -x -E 'kernel32.dll|user32.dll|gdi32.dll|comdlg32.dll|winmm.dll|msvcrt.dll|advapi32.dll' || true)
    if [ -n "$dlls" ]; then
        echo "build-win32: $1/$2 needs DLLs beyond the system's: $dlls" >&2
        fail=1
    fi
}
buildFolder build-win32 trakmon32 trakmon
check "$repo/build-win32" trakmon32.exe "PE32 executable (GUI) Intel 80386" i686-w64-mingw32-objdump
check "$repo/build-win32" trakmon.exe "PE32 executable (console) Intel 80386" i686-w64-mingw32-objdump
buildFolder build-win64 trakmon32 trakmon
check "$repo/build-win64" trakmon32.exe "PE32+ executable (GUI) x86-64" x86_64-w64-mingw32-objdump
check "$repo/build-win64" trakmon.exe "PE32+ executable (console) x86-64" x86_64-w64-mingw32-objdump
[ $fail = 0 ] && echo "build-win32: trakmon32.exe (GUI) and trakmon.exe (console) for i386 (build-win32) and x86-64 (build-win64), system DLLs only"
exit $fail
