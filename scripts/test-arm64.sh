#!/bin/sh
# The 64-bit ARM build, cross-compiled with Debian's g++-aarch64-linux-gnu: the libraries, the
# program and the unit tests (preset arm64), with the tests run under qemu-aarch64; the four
# arm64 .debs (preset arm64-package), each holding exactly its files, lintian-clean; the
# stand-alone program (preset arm64-static) and its .tar.gz, checked as the x86-64 one is.
# Under qemu-aarch64 the program of the .deb and the unpacked stand-alone one give the same
# ID for each of two processor models, and the two models different IDs. Installs the
# packages it needs when missing (scripts/install-deps.sh arm64).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' HUP INT TERM
scripts/install-deps.sh arm64
. scripts/package-checks.sh

cmake --preset arm64 >/dev/null
cmake --build --preset arm64 -j "$(nproc)"
ctest --preset arm64 -j "$(nproc)"

make_and_check_debs arm64-package aarch64-linux-gnu
dpkg -x "$program_deb" "$scratch/program"

# The ID the program prints for processor model $1, run by the rest of the arguments.
id_for() {
    model=$1
    shift
    output=$(qemu-aarch64 -cpu "$model" "$@" </dev/null) || fail "$* failed on $model"
    printf '%s\n' "$output" | sed -n 's/^comp id = //p'
}
models="cortex-a72 neoverse-n1"
make_and_check_static arm64-static build/arm64-package
ids=""
for model in $models; do
    deb_id=$(id_for "$model" "$scratch/program/usr/bin/computer_id")
    printf '%s\n' "$deb_id" | grep -Eqx '[0-9a-f]{33,64}' ||
        fail "the program of $(basename "$program_deb") printed no ID on $model"
    static=$(id_for "$model" "$static_program")
    [ "$static" = "$deb_id" ] ||
        fail "on $model the stand-alone program gives '$static', the .deb's '$deb_id'"
    case " $ids " in *" $deb_id "*) fail "$model gives the ID of another model: $deb_id" ;; esac
    ids="$ids $deb_id"
    echo "ok: $model: comp id = $deb_id"
done
echo "ok: $(basename "$tarball") holds the program, the README with its documents, the licence and the serials recipe; unpacked, the program is static; it and the program of $(basename "$program_deb") give the same ID under qemu-aarch64 for each of $models, and the models different IDs"
