# Sourced by the package tests: a scratch folder removed on exit, a count of
# failures, and the package that CPack makes of a build.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# makePackage BUILD_DIR GENERATOR: the package in $scratch/out, or the test ends.
makePackage() {
    if ! cpack --config "$1/CPackConfig.cmake" -G "$2" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
        cat "$scratch/cpack.log"
        echo "FAIL: cpack could not build the $2 package"
        exit 1
    fi
}
