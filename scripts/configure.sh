# How each build folder of the checkout is configured and built: one
# complete set of options per folder, the same whichever script configures
# it, so that no script reconfigures a folder another one made with other
# options (which would rebuild it, or leave it without what the other one
# needs). Sourced by build.sh, run-benchmark.sh, build-win32.sh and
# wine-tests.sh (and bench/compare-fio runs build.sh):
#
#   buildFolder FOLDER [TARGET...]
#                            configures $repo/FOLDER (repo: the checkout) and
#                            builds the targets in it (all of them when none
#                            is named), TRAKMON_BUILD_JOBS jobs (the cores)
#   configureFolder FOLDER   configures it alone. Release, one of:
#     build                  the Linux trakmon and its tests
#     build-benchmark        trakmon and bench/'s tools alone, without the
#                            tests (no GoogleTest or FUSE needed):
#                            run-benchmark.sh's, and bench/compare-fio's
#     build-win32            the i686 Windows programs and their tests under
#     build-win64            the 32-bit Wine, the x86-64 ones under wine64
#                            (tests/wine: the session in FOLDER/wine-session;
#                            the command line's checks and faultfs from the
#                            Linux build in build/)
#   wineLoader FOLDER        the Wine loader of a Windows build folder
#
# Quiet when it works; on failure CMake's or the compiler's output is shown.

wineLoader() {
    case "$1" in
        build-win32) echo "$repo/tests/wine/wine-i686.sh" ;;
        build-win64) echo /usr/lib/wine/wine64 ;;
    esac
}

configureFolder() {
    local dir=$repo/$1 options=(-DCMAKE_BUILD_TYPE=Release)
    case "$1" in
        build) options+=(-DBUILD_TESTING=ON) ;;
        build-benchmark) options+=(-DBUILD_TESTING=OFF) ;;
        build-win32 | build-win64)
            local toolchain=$repo/cmake/mingw-i686.cmake loader
            [ "$1" = build-win32 ] || toolchain=$repo/cmake/mingw-x86_64.cmake
            loader=$(wineLoader "$1")
            # A folder made with the other toolchain cannot be switched over.
            if [ -f "$dir/CMakeCache.txt" ] &&
               ! grep -q "^CMAKE_TOOLCHAIN_FILE:[A-Z]*=$toolchain\$" "$dir/CMakeCache.txt"; then
                rm -rf "$dir"
            fi
            options+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DBUILD_TESTING=ON
                -DTRAKMON_WINE_TESTS=ON -DTRAKMON_WINE_LOADER="$loader"
                -DCMAKE_CROSSCOMPILING_EMULATOR="$repo/tests/wine/wine-exec.sh;$dir/wine-session;$loader"
                -DTRAKMON_HOST_BUILD="$repo/build"
                -DTRAKMON_HOST_FAULTFS="$repo/build/tests/faultfs/faultfs") ;;
        *) echo "configureFolder: no such build folder: $1" >&2; return 2 ;;
    esac
    local log
    log=$(mktemp)
    if ! cmake -S "$repo" -B "$dir" "${options[@]}" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
}

# With buildProgress=1, a line on stderr every few seconds while it builds:
# how far CMake is and how long it has taken.
buildFolder() {
    local folder=$1 log status=0
    shift
    configureFolder "$folder" || return
    local targets=()
    [ $# = 0 ] || targets=(--target "$@")
    log=$(mktemp)
    cmake --build "$repo/$folder" -j "${TRAKMON_BUILD_JOBS:-$(nproc)}" "${targets[@]}" >"$log" 2>&1 &
    local pid=$! started=$SECONDS said=""
    while kill -0 "$pid" 2>/dev/null; do
        sleep 1
        [ "${buildProgress:-0}" = 1 ] && [ $(((SECONDS - started) % 4)) = 0 ] || continue
        local done
        done=$(grep -o '^\[ *[0-9]*%\]' "$log" | tail -n1 | tr -d '[] ')
        [ "$done" = "$said" ] && [ $(((SECONDS - started) % 12)) != 0 ] && continue
        said=$done
        echo "build: ${done:-0%} of $folder built after $((SECONDS - started)) s" >&2
    done
    wait "$pid" || status=$?
    [ $status = 0 ] || cat "$log" >&2
    rm -f "$log"
    return $status
}
