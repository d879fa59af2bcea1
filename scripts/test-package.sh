#!/bin/sh
# Installs a release build into a scratch prefix, builds the example consumer against it
# with find_package, compares its digests with sha256sum, then builds the .deb, checks its
# contents and runs the program unpacked from it; then builds the stand-alone program
# (preset static) and its .tar.gz next to the .deb, checks that the program needs no shared
# library and that, unpacked, it gives the ID of the .deb's program.
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
    ./usr/lib/cmake/ComputerID/ComputerIDConfigVersion.cmake \
    ./usr/share/doc/computer-id/examples/computer-id-serials.conf; do
    printf '%s\n' "$contents" | grep -qx "$expected" || fail "$expected missing from $(basename "$deb")"
done
if printf '%s\n' "$contents" | grep -q 'tmpfiles\.d'; then
    fail "$(basename "$deb") enables a tmpfiles.d rule"
fi
dpkg -x "$deb" "$scratch/unpacked"
output=$("$scratch/unpacked/usr/bin/computer_id" </dev/null) || fail "unpacked program failed"
id=$(printf '%s\n' "$output" | sed -n 's/^comp id = //p')
printf '%s\n' "$id" | grep -Eqx '[0-9a-f]{33,64}' || fail "unpacked program printed no ID"
echo "ok: $(basename "$deb") holds the program, libraries, headers, package and serials recipe; unpacked program runs"

cmake --preset static >/dev/null
cmake --build --preset static -j "$(nproc)"
(cd build/static && cpack -B "$root/$build" >/dev/null)
tarball=$(ls "$build"/computer-id-*-static.tar.gz)
folder=$(basename "$tarball" .tar.gz)
[ "$(tar -tzf "$tarball" | LC_ALL=C sort)" = "$folder/README.md
$folder/computer-id-serials.conf
$folder/computer_id" ] || fail "$(basename "$tarball") holds: $(tar -tzf "$tarball" | tr '\n' ' ')"
tar -xzf "$tarball" -C "$scratch"
program="$scratch/$folder/computer_id"
if readelf -l "$program" | grep -q 'program interpreter'; then
    fail "the stand-alone program needs the dynamic loader"
fi
output=$("$program" </dev/null) || fail "stand-alone program failed"
static_id=$(printf '%s\n' "$output" | sed -n 's/^comp id = //p')
[ "$static_id" = "$id" ] || fail "stand-alone program gives '$static_id', the .deb's '$id'"
echo "ok: $(basename "$tarball") holds the program, the README and the serials recipe; unpacked, the program is static and gives the .deb's ID"
cd "$root"
