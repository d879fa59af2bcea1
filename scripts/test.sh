#!/bin/sh
# Installs what is missing, then builds and runs every test: the warnings-as-errors debug
# build and, over the same build, valgrind's memcheck of the program and the unit tests; the
# Debian packages and their consumers, the stand-alone program and the Windows .zip under
# Wine; the stand-alone program on a real kernel under QEMU; the Windows build (the one the
# .zip came from) under Wine; a bounded run of the fuzz targets side by side (FUZZ_SECONDS,
# default 60 s each); the static checks (clang-format, clang-tidy, cppcheck); and last the
# AddressSanitizer/UndefinedBehaviorSanitizer build.
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

started=$(date +%s)
run_preset dev
echo "=== valgrind ==="
scripts/valgrind.sh
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
run_preset sanitize
echo "=== all passed in $(($(date +%s) - started)) s ==="
