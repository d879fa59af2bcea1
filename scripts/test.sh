#!/bin/sh
# Installs what is missing, then builds and runs every test: the warnings-as-errors debug
# build and, over the same build, valgrind's memcheck of the program and the unit tests; the
# Debian packages and their consumers, the stand-alone program and the Windows .zip under
# Wine, with the optimised (release) build and its tests beside them; the stand-alone
# program on a real kernel under QEMU; the Windows build (the one the .zip came from) under
# Wine; a bounded run of the fuzz targets side by side (FUZZ_SECONDS, default 60 s each); the
# static checks (clang-format, clang-tidy, cppcheck); and last the
# AddressSanitizer/UndefinedBehaviorSanitizer build.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
jobs=$(nproc)

step_started=""
# Ends the step before, if any, with its time and names the next.
step() {
    if [ -n "$step_started" ]; then
        echo "--- step done in $(($(date +%s) - step_started)) s"
    fi
    step_started=$(date +%s)
    echo "=== $1 ==="
}

build_and_test() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$jobs"
    ctest --preset "$1" -j "$jobs"
}

run_preset() {
    step "$1"
    build_and_test "$1"
}

# Runs a command in the background beside the rest of the arguments, a command of its own;
# the background one's report follows. Fails if either failed.
beside_log=$(mktemp)
trap 'rm -f "$beside_log"' EXIT
beside() {
    $1 >"$beside_log" 2>&1 &
    background=$!
    shift
    status=0
    "$@" || status=$?
    background_status=0
    wait "$background" || background_status=$?
    cat "$beside_log"
    [ "$status" -eq 0 ] && [ "$background_status" -eq 0 ]
}

started=$(date +%s)
run_preset dev
step valgrind
scripts/valgrind.sh
# Much of the package check is single-threaded (configuring, packing, Wine), so the optimised
# build and its tests run beside it.
step "package, and the release build beside it"
beside "build_and_test release" scripts/test-package.sh
# QEMU runs the VM on one core and Wine's test processes leave the other half idle, so the
# two run side by side.
step "windows, and the vm beside it"
beside scripts/test-vm.sh scripts/test-windows.sh
step fuzz
scripts/fuzz.sh
step lint
scripts/lint.sh
run_preset sanitize
echo "--- step done in $(($(date +%s) - step_started)) s"
echo "=== all passed in $(($(date +%s) - started)) s ==="
