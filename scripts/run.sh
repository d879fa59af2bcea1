#!/bin/sh
# Builds the program in release mode and runs it once.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
cmake -S . -B build/program -DCMAKE_BUILD_TYPE=Release \
    -DCOMPUTER_ID_BUILD_TESTS=OFF -DCOMPUTER_ID_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/program --target computer_id -j "$(nproc)"
exec build/program/app/computer_id
