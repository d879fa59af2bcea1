#!/bin/sh
# Installs what is missing, then builds and runs every test: the warnings-as-errors debug
# build and the optimised (release) build with their tests; over the debug build, valgrind's
# memcheck of the program and the unit tests; the Debian packages and their consumers, the
# stand-alone program and the Windows .zip under Wine; the npm package and the Python wheel,
# installed as their users install them; the arm64 cross build with its unit tests under
# qemu-user, its .debs and stand-alone program; the stand-alone programs on real x86-64 and
# arm64 kernels under QEMU; the Windows build (the one the .zip came from) under Wine; a bounded
# run of the fuzz targets side by side (FUZZ_SECONDS, default 45 s each); the static checks
# (clang-format, clang-tidy, cppcheck); and last the AddressSanitizer/UndefinedBehaviorSanitizer
# build.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
jobs=$(nproc)
# The optimised builds (release, then the packages' and the stand-alone program's) compile
# the same sources with the same flags; ccache compiles them once. Every build folder that
# the command configures picks the launcher up from the environment.
export CMAKE_CXX_COMPILER_LAUNCHER=ccache
export CCACHE_DIR="$PWD/build/ccache"

step_started=""
# Ends the step before, if any, with its time and names the next.
step() {
    if [ -n "$step_started" ]; then
        echo "--- step done in $(($(date +%s) - step_started)) s"
    fi
    step_started=$(date +%s)
    echo "=== $1 ==="
}

run_preset() {
    step "$1"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$jobs"
    ctest --preset "$1" -j "$jobs"
}

started=$(date +%s)
run_preset dev
run_preset release
step valgrind
scripts/valgrind.sh
step package
scripts/test-package.sh
step bindings
scripts/test-bindings.sh
step arm64
scripts/test-arm64.sh
step "windows, and the vm beside it"
# QEMU runs the VM on one core and Wine's test processes leave the other half idle, so the
# two run side by side; the VM's report follows the Windows one.
vm_log=$(mktemp)
trap 'rm -f "$vm_log"' EXIT
scripts/test-vm.sh >"$vm_log" 2>&1 &
vm=$!
windows_status=0
scripts/test-windows.sh || windows_status=$?
vm_status=0
wait "$vm" || vm_status=$?
cat "$vm_log"
[ "$windows_status" -eq 0 ] && [ "$vm_status" -eq 0 ]
step fuzz
scripts/fuzz.sh
step lint
scripts/lint.sh
run_preset sanitize
echo "--- step done in $(($(date +%s) - step_started)) s"
echo "=== all passed in $(($(date +%s) - started)) s ==="
