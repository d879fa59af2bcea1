#!/bin/sh
# Makes the npm package and the Python wheels (scripts/package-bindings.sh) and uses them as
# their users do: the npm package installed into an empty project with no compiler on the
# PATH, its tests run under two Node versions and its Windows addon under Wine; the Linux
# wheel installed into a fresh virtual environment and the Python binding's tests run there.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/package-bindings.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $1"; exit 1; }

# The npm package.

# The Python wheel.
