#!/bin/sh
# Installs what is missing, then builds and runs every test: the warnings-as-errors debug
# build, the installed package and its example consumers, the stand-alone program and the
# Windows .zip under Wine, the stand-alone program on a real kernel under QEMU, the Windows
# build under Wine, a bounded run of each fuzz target (FUZZ_SECONDS, default 60 s each),
# the static checks (clang-format, clang-tidy, cppcheck), valgrind's memcheck of the
# program and the unit tests, and last the AddressSanitizer/UndefinedBehaviorSanitizer
# build.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
jobs=$(nproc)

run_preset() {
    echo "=== $1 ==="
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$jobs"
    ctest --preset "$1" -j "$jobs"
}

run_preset dev
echo "=== package ==="
scripts/test-package.sh
echo "=== vm ==="
scripts/test-vm.sh
echo "=== windows ==="
scripts/test-windows.sh
echo "=== fuzz ==="
scripts/fuzz.sh
echo "=== lint ==="
scripts/lint.sh
echo "=== valgrind ==="
scripts/valgrind.sh
run_preset sanitize
