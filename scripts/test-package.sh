#!/bin/sh
# Installs a release build into a scratch prefix, builds the example consumer against it
# with find_package, compares its digests with sha256sum, then builds the .deb, checks its
# contents and runs the program unpacked from it.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=build/package
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $1"; exit 1; }

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCOMPUTER_ID_WARNINGS_AS_ERRORS=ON \
    -DCOMPUTER_ID_BUILD_TESTS=OFF -DCOMPUTER_ID_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null

cmake -S examples/sha256_file -B "$scratch/example" -DCMAKE_PREFIX_PATH="$scratch/prefix" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/example" >/dev/null

: >"$scratch/empty"
printf 'x' >"$scratch/one"
head -c 1048577 /dev/urandom >"$scratch/mebibyte-plus-one"
for file in "$scratch/empty" "$scratch/one" "$scratch/mebibyte-plus-one"; do
    ours=$("$scratch/example/sha256_file" "$file")
    theirs=$(sha256sum "$file")
    [ "$ours" = "$theirs" ] || fail "example gives '$ours', sha256sum '$theirs'"
    echo "ok: $(basename "$file") $(echo "$ours" | cut -c1-16)…"
done

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/computer-id_*.deb)
contents=$(dpkg -c "$deb" | awk '{print $6}')
for expected in ./usr/bin/computer_id ./usr/include/sha/sha.h \
    ./usr/include/computer_id/computer_id.h ./usr/include/computer_id/id_generation_error.h \
    ./usr/lib/libsha.a ./usr/lib/libcomputer_id.a ./usr/lib/cmake/ComputerID/ComputerIDConfig.cmake \
    ./usr/lib/cmake/ComputerID/ComputerIDConfigVersion.cmake; do
    printf '%s\n' "$contents" | grep -qx "$expected" || fail "$expected missing from $(basename "$deb")"
done
dpkg -x "$deb" "$scratch/unpacked"
output=$("$scratch/unpacked/usr/bin/computer_id" </dev/null) || fail "unpacked program failed"
printf '%s\n' "$output" | grep -Eq '^comp id = [0-9a-f]{33,64}$' || fail "unpacked program printed no ID"
echo "ok: $(basename "$deb") holds the program, libraries, headers and package; unpacked program runs"
cd "$root"
