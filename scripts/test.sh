#!/bin/sh
# Installs what is missing, then builds and runs every test: the warnings-as-errors debug
# build and the AddressSanitizer/UndefinedBehaviorSanitizer build.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
jobs=$(nproc)

for preset in dev sanitize; do
    echo "=== $preset ==="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done
