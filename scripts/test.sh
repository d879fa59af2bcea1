#!/bin/sh
# Installs what is missing, then builds and runs every test: the warnings-as-errors debug
# build and the optimised (release) build with their tests; over the debug build, valgrind's
# memcheck of the program and the unit tests; the Debian packages and their consumers, the
# stand-alone program and the Windows .zip under Wine, then the stand-alone program on a
# real kernel under QEMU beside the Windows build (the one the .zip came from) under Wine,
# with the static checks (clang-format, clang-tidy, cppcheck) running beside all three; a
# bounded run of the fuzz targets side by side (FUZZ_SECONDS, default 45 s each); and last
# the AddressSanitizer/UndefinedBehaviorSanitizer build.
set -eu
cd "$(dirname "$0")/.."
# Every package up front: the steps that run side by side must not both call apt.
scripts/install-deps.sh test
scripts/install-deps.sh windows
scripts/install-deps.sh vm
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
step "package, windows and the vm, with the static checks beside them"
# The packages, Wine and the VM leave much of the two cores idle (dpkg, lintian, Wine's
# start-up, QEMU on one core), which the static checks fill; nothing they read is built
# here. QEMU runs the VM on one core beside the Windows tests. Each report follows the one
# before.
lint_log=$(mktemp)
vm_log=$(mktemp)
trap 'rm -f "$lint_log" "$vm_log"' EXIT
scripts/lint.sh >"$lint_log" 2>&1 &
lint=$!
package_status=0
scripts/test-package.sh || package_status=$?
vm_status=0
windows_status=0
if [ "$package_status" -eq 0 ]; then
    scripts/test-vm.sh >"$vm_log" 2>&1 &
    vm=$!
    scripts/test-windows.sh || windows_status=$?
    wait "$vm" || vm_status=$?
    cat "$vm_log"
fi
lint_status=0
wait "$lint" || lint_status=$?
cat "$lint_log"
[ "$package_status" -eq 0 ] && [ "$windows_status" -eq 0 ] && [ "$vm_status" -eq 0 ] &&
    [ "$lint_status" -eq 0 ]
step fuzz
scripts/fuzz.sh
run_preset sanitize
echo "--- step done in $(($(date +%s) - step_started)) s"
echo "=== all passed in $(($(date +%s) - started)) s ==="
