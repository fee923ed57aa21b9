#!/bin/bash
# The Windows zip as a user gets it: CPack packs this cross build, and the
# unpacked folder must hold both programs and the documentation as in the
# checkout (README.md, docs/, bench/README.md), each program a PE
# file of the build's kind that imports system DLLs only and carries its
# manifest and version resource.
#
#   windows_zip_test.sh BUILD_DIR VERSION OBJDUMP WINDRES "PE32 executable" "Intel 80386"
set -u
build=$1 version=$2 objdump=$3 windres=$4 format=$5 machine=$6
source "$(dirname "$0")/package_test_common.sh"
makePackage "$build" ZIP
zip=$(ls "$scratch"/out/trakmon-"$version"-win*.zip 2>/dev/null)
[ -f "$zip" ] || { ls "$scratch/out"; echo "FAIL: no trakmon-$version-win*.zip"; exit 1; }
folder=$(basename "$zip" .zip)
entries=$(cmake -E tar tf "$zip" | grep -v '/$' | sort | tr '\n' ' ')  # files; folders end in /
documentation=$(cd "$(dirname "$0")/../.." && ls README.md docs/* bench/README.md)
expected=$(printf '%s\n' trakmon.exe trakmon32.exe $documentation | sed "s|^|$folder/|" | sort | tr '\n' ' ')
[ "$entries" = "$expected" ] || fail "the zip holds '$entries', expected '$expected'"
(cd "$scratch" && cmake -E tar xf "$zip")

build_line=$(sed -n 's/^#define TRAKMON_VERSION_AND_BUILD "\(.*\)"$/\1/p' "$build/generated/trakmon_version.h")
for program in trakmon32.exe:GUI trakmon.exe:console; do
    name=${program%:*} subsystem=${program#*:}
    file=$scratch/$folder/$name
    kind=$(file -b "$file")
    [[ $kind == "$format ($subsystem) $machine"* ]] ||
        fail "$name is '$kind', expected a $format $subsystem program for $machine"
    dlls=$("$objdump" -p "$file" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' |
           grep -v -x -E 'kernel32.dll|user32.dll|gdi32.dll|comdlg32.dll|winmm.dll|msvcrt.dll|advapi32.dll')
    [ -z "$dlls" ] || fail "$name needs DLLs beyond the system's: $dlls"
    resources=$("$windres" -i "$file" -O rc)
    grep -q 'requestedExecutionLevel level=""asInvoker""' <<<"$resources" ||
        fail "$name's manifest does not ask to run asInvoker"
    [ "$(grep -c '<supportedOS Id=' <<<"$resources")" = 4 ] ||
        fail "$name's manifest does not name Windows 7, 8, 8.1 and 10/11"
    grep -q "VALUE \"ProductVersion\", \"$build_line\"" <<<"$resources" ||
        fail "$name has no version resource of build $build_line"
    grep -q "VALUE \"OriginalFilename\", \"$name\"" <<<"$resources" ||
        fail "$name's version resource names another file"
done

[ $failures = 0 ] && echo "$(basename "$zip"): both programs, system DLLs only, manifest and version $build_line"
exit $((failures > 0))
