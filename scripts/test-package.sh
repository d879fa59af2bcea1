#!/bin/sh
# Installs a release build into a scratch prefix, builds the example consumers against it
# with find_package, compares sha256_file's digests with sha256sum, then builds the .deb,
# checks its contents, runs the program unpacked from it and checks that print_id prints
# that program's ID and nothing else; then builds the stand-alone program (preset static)
# and its .tar.gz next to the .deb, checks that the program needs no shared library and
# that, unpacked, it gives the ID of the .deb's program. Last the Windows package: the .zip
# of a MinGW-w64 build, unpacked, with print_id built against the unpacked tree; under Wine
# the unpacked program's transcript is checked and print_id must print its ID.
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

for example in sha256_file print_id; do
    cmake -S "examples/$example" -B "$scratch/$example" -DCMAKE_PREFIX_PATH="$scratch/prefix" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$scratch/$example" >/dev/null
done

: >"$scratch/empty"
printf 'x' >"$scratch/one"
head -c 1048577 /dev/urandom >"$scratch/mebibyte-plus-one"
for file in "$scratch/empty" "$scratch/one" "$scratch/mebibyte-plus-one"; do
    ours=$("$scratch/sha256_file/sha256_file" "$file")
    theirs=$(sha256sum "$file")
    [ "$ours" = "$theirs" ] || fail "example gives '$ours', sha256sum '$theirs'"
    echo "ok: $(basename "$file") $(echo "$ours" | cut -c1-16)…"
done

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/computer-id_*.deb)
contents=$(dpkg -c "$deb" | awk '{print $6}')
for expected in ./usr/bin/computer_id ./usr/include/computer_id/sha/sha.h \
    ./usr/include/computer_id/computer_id.h ./usr/include/computer_id/id_generation_error.h \
    ./usr/lib/libcomputer_id_sha.a ./usr/lib/libcomputer_id.a ./usr/lib/cmake/ComputerID/ComputerIDConfig.cmake \
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

"$scratch/print_id/print_id" >"$scratch/print_id.out" || fail "print_id failed"
printf '%s\n' "$id" | cmp -s - "$scratch/print_id.out" ||
    fail "print_id printed '$(cat "$scratch/print_id.out")', the program's ID is '$id'"
echo "ok: print_id, built against the installed package, prints the program's ID alone"

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

scripts/install-deps.sh windows
windows_build=build/package-mingw
toolchain=cmake/toolchains/mingw-w64-x86_64.cmake
cmake --preset mingw -B "$windows_build" -DCOMPUTER_ID_BUILD_TESTS=OFF >/dev/null
cmake --build "$windows_build" -j "$(nproc)"
(cd "$windows_build" && cpack -G ZIP >/dev/null)
zip=$(ls "$windows_build"/computer-id-*.zip)
folder=$(basename "$zip" .zip)
mkdir "$scratch/windows"
(cd "$scratch/windows" && cmake -E tar xf "$root/$zip")
tree="$scratch/windows/$folder"
for expected in bin/computer_id.exe include/computer_id/sha/sha.h include/computer_id/computer_id.h \
    include/computer_id/id_generation_error.h lib/libcomputer_id_sha.a lib/libcomputer_id.a \
    lib/cmake/ComputerID/ComputerIDConfig.cmake; do
    [ -f "$tree/$expected" ] || fail "$expected missing from $(basename "$zip")"
done
# The cross toolchain finds packages only below its own root, so the package folder is
# named directly.
cmake -S examples/print_id -B "$scratch/print_id-windows" --toolchain "$root/$toolchain" \
    -DComputerID_DIR="$tree/lib/cmake/ComputerID" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/print_id-windows" >/dev/null

. scripts/wine-env.sh
python3 -B tests/windows/program_test.py transcript --record "$scratch/windows-transcript" \
    -- wine "$tree/bin/computer_id.exe"
windows_id=$(sed -n 's/^comp id = //p' "$scratch/windows-transcript")
wine "$scratch/print_id-windows/print_id.exe" </dev/null >"$scratch/print_id-windows.out" ||
    fail "print_id.exe failed"
printf '%s\r\n' "$windows_id" | cmp -s - "$scratch/print_id-windows.out" ||
    fail "print_id.exe printed '$(cat "$scratch/print_id-windows.out")', the program's ID is '$windows_id'"
timeout 120 wineserver -w
echo "ok: $(basename "$zip") holds the program, libraries, headers and package; unpacked, the program's transcript checks out under Wine and print_id.exe, built against it, prints its ID alone"
cd "$root"
