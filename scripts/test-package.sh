#!/bin/sh
# Builds the .deb packages (preset package), checks that each holds exactly its files and
# that lintian finds no error or warning in any of them, that the relative links of the
# program's documents lead to files in the package; builds the example consumers with
# find_package against the -dev package and the library package it depends on, compares
# sha256_file's digests with sha256sum, runs the program unpacked from its package and
# checks that print_id prints that program's ID and nothing else, and so do print_id_c, built
# with the pkg-config file of the unpacked -dev package and of an install under another
# prefix, and the Python package's module, on the library package alone; runs the bindings'
# tests there (Python, and C# under Mono); as root, installs the packages, checks them
# installed and that purging them leaves nothing behind; builds print_id in a program that
# embeds the project with add_subdirectory and checks the same. Then builds the stand-alone
# program (preset static) and its .tar.gz next to the .debs, checks its files and links,
# that the program needs no shared library and that, unpacked, it gives the ID of the .deb's
# program. Last the Windows package: the .zip of the MinGW-w64 build (preset mingw, shared
# with test-windows.sh), its files and links checked, unpacked, with print_id built against
# the unpacked tree; under Wine the unpacked program's transcript is checked and print_id
# must print its ID.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
scratch=$(mktemp -d)
# The packages this installed, purged again whatever happens.
installed=""
purge_installed() {
    [ -z "$installed" ] || DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 \
        purge -y -qq $installed >"$scratch/purge.out" 2>&1 ||
        { cat "$scratch/purge.out"; return 1; }
    installed=""
}
trap 'purge_installed || :; rm -rf "$scratch"' EXIT
trap 'exit 1' HUP INT TERM

. scripts/package-checks.sh

make_and_check_debs package "$(dpkg-architecture -qDEB_HOST_MULTIARCH)"

dpkg -x "$program_deb" "$scratch/program"
check_links "$scratch/program/usr/share/doc/computer-id" "$(basename "$program_deb")"
echo "ok: the links of the README and its documents lead to files in $(basename "$program_deb")"

dpkg -x "$dev_deb" "$scratch/dev"
dpkg -x "$library_deb" "$scratch/dev"
for example in sha256_file print_id; do
    cmake -S "examples/$example" -B "$scratch/$example" -DCMAKE_PREFIX_PATH="$scratch/dev/usr" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$scratch/$example" >/dev/null
done

: >"$scratch/empty"
printf 'x' >"$scratch/one"
head -c 1048577 /dev/urandom >"$scratch/mebibyte-plus-one"
printf 'y' >"$scratch/back\\slash"
for file in "$scratch/empty" "$scratch/one" "$scratch/mebibyte-plus-one" "$scratch/back\\slash"; do
    ours=$("$scratch/sha256_file/sha256_file" "$file")
    theirs=$(sha256sum "$file")
    [ "$ours" = "$theirs" ] || fail "example gives '$ours', sha256sum '$theirs'"
    printf 'ok: %s %s…\n' "$(basename "$file")" "$(printf '%s' "$ours" | cut -c1-16)"
done
ours=$("$scratch/sha256_file/sha256_file" - <"$scratch/one")
theirs=$(sha256sum - <"$scratch/one")
[ "$ours" = "$theirs" ] || fail "example gives '$ours' for standard input, sha256sum '$theirs'"
echo "ok: standard input as -"

output=$("$scratch/program/usr/bin/computer_id" </dev/null) || fail "unpacked program failed"
id=$(printf '%s\n' "$output" | sed -n 's/^comp id = //p')
printf '%s\n' "$id" | grep -Eqx '[0-9a-f]{33,64}' || fail "unpacked program printed no ID"
echo "ok: the program unpacked from $(basename "$program_deb") runs"

# print_id must print the program's ID and nothing else.
check_print_id() {
    "$1" >"$scratch/print_id.out" || fail "$2 failed"
    printf '%s\n' "$id" | cmp -s - "$scratch/print_id.out" ||
        fail "$2 printed '$(cat "$scratch/print_id.out")', the program's ID is '$id'"
}
check_print_id "$scratch/print_id/print_id" "print_id built against $(basename "$dev_deb")"
echo "ok: print_id, built with find_package against $(basename "$dev_deb") and $(basename "$library_deb") alone, prints the program's ID alone"
# An application's ID, the verdict and fingerprints, which the bindings must give alike.
. scripts/binding-expectations.sh
binding_expectations "$scratch/print_id/print_id"
echo "ok: print_id --app gives 64 hex digits, --describe the verdict '$verdict', --match of a fingerprint and its copy with two parts changed names them"

# print_id_c, built with the pkg-config file of $3 in the library folder $1 below the prefix
# $2, must take the headers below that prefix and print the program's ID.
check_print_id_c() {
    cflags=$(PKG_CONFIG_LIBDIR="$1/pkgconfig" pkg-config --cflags computer-id | sed 's/ *$//')
    [ "$(realpath "${cflags#-I}")" = "$(realpath "$2/include")" ] ||
        fail "the pkg-config file of $3 gives $cflags"
    rm -rf "$scratch/print_id_c"
    cp -R examples/print_id_c "$scratch/print_id_c"
    PKG_CONFIG_LIBDIR="$1/pkgconfig" make -s -C "$scratch/print_id_c" >/dev/null
    (export LD_LIBRARY_PATH="$1"
        check_print_id "$scratch/print_id_c/print_id" "print_id_c built against $3")
}
# The C interface as its packages give it: examples/print_id_c built with the pkg-config file
# of the -dev package where it was unpacked and of an install under another prefix, which
# finds the prefix from its own folder; that build and the Python package's module run on the
# library package alone, which has libcomputer_id.so.0 and no libcomputer_id.so link.
check_print_id_c "$scratch/dev/${libdir#./}" "$scratch/dev/usr" "$(basename "$dev_deb")"
cmake --install "$build" --prefix "$scratch/installed" >/dev/null
check_print_id_c "$scratch/installed/${libdir#./usr/}" "$scratch/installed" \
    "cmake --install --prefix"
dpkg -x "$library_deb" "$scratch/library"
runtime_libdir="$scratch/library/${libdir#./}"
dpkg -x "$python_deb" "$scratch/python"
printf '#!/usr/bin/python3\nimport computer_id\nprint(computer_id.get())\n' >"$scratch/print_id.py"
chmod +x "$scratch/print_id.py"
(export LD_LIBRARY_PATH="$runtime_libdir"
    export PYTHONPATH="$scratch/python/usr/lib/python3/dist-packages"
    check_print_id "$scratch/print_id_c/print_id" "print_id_c on $(basename "$library_deb") alone"
    check_print_id "$scratch/print_id.py" "the Python module of $(basename "$python_deb")")
echo "ok: print_id_c, built with pkg-config against $(basename "$dev_deb") unpacked and against an install with cmake --install --prefix, and the Python module of $(basename "$python_deb") print the program's ID alone through $(basename "$library_deb") alone"

# The .so exports the C functions and nothing else.
exports=$(nm -D --defined-only "$scratch/dev/${libdir#./}/libcomputer_id.so.0" |
    awk '$2 == "T" {print $3}' | LC_ALL=C sort | tr '\n' ' ')
[ "$exports" = "computer_id_describe@@COMPUTER_ID_0 computer_id_fingerprint@@COMPUTER_ID_0 computer_id_get@@COMPUTER_ID_0 computer_id_get_for_app@@COMPUTER_ID_0 computer_id_get_traced@@COMPUTER_ID_0 computer_id_match@@COMPUTER_ID_0 computer_id_version@@COMPUTER_ID_0 " ] ||
    fail "$(basename "$library_deb")'s library exports: $exports"
echo "ok: the library of $(basename "$library_deb") exports exactly the seven C functions"

# The bindings' tests with Debian's python3 and Mono, first on the library package alone,
# then on a library whose WMI connection fails (a test build, by the library package's file
# name alone), which each binding must turn into its exception with the message and status
# of the C interface.
cmake --preset dev >/dev/null
cmake --build --preset dev --target computer_id_c_failing -j "$(nproc)" >/dev/null
mkdir "$scratch/failing"
cp build/dev/tests/bindings/libcomputer_id.so.0 "$scratch/failing/"
mcs -nologo -warnaserror -r:System.Runtime.Serialization -out:"$scratch/binding_check.exe" \
    "$scratch/dev/usr/share/computer-id/csharp/ComputerId.cs" tests/bindings/BindingCheck.cs
(export PYTHONPATH="$scratch/python/usr/lib/python3/dist-packages"
    export LD_LIBRARY_PATH="$runtime_libdir"
    COMPUTER_ID_EXPECTED_ID=$id COMPUTER_ID_APP_KEY=$app_key COMPUTER_ID_EXPECTED_APP_ID=$app_id \
        COMPUTER_ID_EXPECTED_VERDICT=$verdict COMPUTER_ID_EXPECTED_FINGERPRINT=$fingerprint \
        COMPUTER_ID_OTHER_KEY=$other_key COMPUTER_ID_OTHER_FINGERPRINT=$other_fingerprint \
        COMPUTER_ID_CHANGED_FINGERPRINT=$changed_fingerprint COMPUTER_ID_EXPECTED_MATCH=$match \
        /usr/bin/python3 -B -m unittest -q tests/bindings/computer_id_binding_test.py ||
        fail "the Python binding's test"
    mono "$scratch/binding_check.exe" id "$id" "$app_key" "$app_id" "$verdict" "$fingerprint" \
        "$other_key" "$other_fingerprint" "$changed_fingerprint" "$match" ||
        fail "the C# binding gives no ID or another"
    export LD_LIBRARY_PATH="$scratch/failing"
    COMPUTER_ID_EXPECTED_STATUS=1 COMPUTER_ID_EXPECTED_MESSAGE=$connection_failure \
        /usr/bin/python3 -B -m unittest -q tests/bindings/computer_id_binding_test.py ||
        fail "the Python binding's test of a failure"
    mono "$scratch/binding_check.exe" error 1 "$connection_failure" ||
        fail "the C# binding's exception for a failure") >"$scratch/bindings.out" 2>&1 ||
    { cat "$scratch/bindings.out"; exit 1; }
echo "ok: the Python module of $(basename "$python_deb") and ComputerId.cs of $(basename "$dev_deb") (Mono), on $(basename "$library_deb") alone, give the program's ID, print_id's application ID, verdict, fingerprints and match, refuse cut fingerprints and those of two keys, the module takes bytes-like keys alone, and both raise the C interface's status and message for a failing connection"

# Installed and purged again, the packages leave nothing behind, the Python module's byte
# code included, which its package compiles on install and removes before the module. As
# root only, where none of them is installed: those are left as they are.
packages=$(for deb in "$program_deb" "$library_deb" "$dev_deb" "$python_deb"; do
    dpkg-deb -f "$deb" Package; done)
present=$(dpkg-query -W -f='${db:Status-Status} ${Package}\n' $packages 2>/dev/null |
    sed '/^not-installed /d; s/^[^ ]* //') || :
if [ "$(id -u)" -ne 0 ] || [ -n "$present" ]; then
    echo "skip: installing and purging the packages, which needs root and none of them installed: ${present:-not root}"
else
    python_dir=/usr/lib/python3/dist-packages
    find "$python_dir" | LC_ALL=C sort >"$scratch/python-before"
    installed=$packages
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y -qq \
        --no-install-recommends "$root/$program_deb" "$root/$library_deb" "$root/$dev_deb" \
        "$root/$python_deb" >"$scratch/install.out" 2>&1 ||
        { cat "$scratch/install.out"; fail "apt-get cannot install the packages"; }
    byte_code=$(/usr/bin/python3 -c \
        "import importlib.util; print(importlib.util.cache_from_source('$python_dir/computer_id/__init__.py'))")
    [ -f "$byte_code" ] || fail "installing $(basename "$python_deb") compiled no $byte_code"
    (unset PYTHONDONTWRITEBYTECODE
        check_print_id "$scratch/print_id.py" "the installed Python module, imported as root")
    check_print_id_c "/${libdir#./}" /usr "the installed $(basename "$dev_deb")"
    dpkg -L $packages | grep -vx '/\.' | LC_ALL=C sort -u >"$scratch/files"
    purge_installed || fail "apt-get cannot purge the packages"
    while read -r path; do
        [ ! -e "$path" ] || { [ -d "$path" ] && dpkg -S "$path" >/dev/null 2>&1; } ||
            fail "purging the packages left $path"
    done <"$scratch/files"
    find "$python_dir" | LC_ALL=C sort | diff "$scratch/python-before" - ||
        fail "purging the packages changed $python_dir"
    error=$(PYTHONPATH="$scratch/python$python_dir" /usr/bin/python3 -B -c "
try:
    import computer_id
except ImportError as error:
    print(error, 'from', type(error.__cause__).__name__)")
    [ "$error" = "computer_id cannot load libcomputer_id.so.0 (installed by the package libcomputer-id0) from OSError" ] ||
        fail "the Python module without its library gives: $error"
    echo "ok: installed, the packages give the program's ID to print_id_c built with the pkg-config file and to the Python module imported as root, whose byte code the install compiled; purged, they leave nothing behind, and the Python module alone raises ImportError naming the library and its package"
fi

embedding=tests/consumers/add_subdirectory
cmake -S "$embedding" -B "$scratch/embedding" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/embedding" -j "$(nproc)" >/dev/null
[ ! -e "$scratch/embedding/CPackConfig.cmake" ] || fail "the embedded project set up CPack"
check_print_id "$scratch/embedding/print_id" "print_id embedding the project"
echo "ok: print_id, built in a program that embeds the project with add_subdirectory, prints the program's ID alone"

make_and_check_static static "$build"
output=$("$static_program" </dev/null) || fail "stand-alone program failed"
static_id=$(printf '%s\n' "$output" | sed -n 's/^comp id = //p')
[ "$static_id" = "$id" ] || fail "stand-alone program gives '$static_id', the .deb's '$id'"
echo "ok: $(basename "$tarball") holds the program, the README with its documents, the licence and the serials recipe; unpacked, the program is static and gives the .deb's ID"

scripts/install-deps.sh windows
windows_build=build/mingw
toolchain=cmake/toolchains/mingw-w64-x86_64.cmake
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$(nproc)"
rm -f "$windows_build"/computer-id-*.zip
(cd "$windows_build" && cpack -G ZIP >/dev/null)
zip=$(ls "$windows_build"/computer-id-*.zip)
folder=$(basename "$zip" .zip)
mkdir "$scratch/windows"
(cd "$scratch/windows" && cmake -E tar xf "$root/$zip")
tree="$scratch/windows/$folder"
expected=$( (printf '%s\n' bin/computer_id.exe bin/computer_id.dll bin/computer_id/__init__.py \
        bin/computer_id/py.typed bin/computer_id/computer_id.dll \
        share/computer-id/csharp/ComputerId.cs share/doc/computer-id/LICENSE
    readme_docs share/doc/computer-id/
    public_headers include/
    printf '%s\n' lib/libcomputer_id.a lib/libcomputer_id_platform.a lib/libcomputer_id_sha.a \
        lib/libcomputer_id.dll.a lib/computer_id.lib lib/computer_id.def
    for file in Config ConfigVersion Targets Targets-release; do
        echo "lib/cmake/ComputerID/ComputerID$file.cmake"
    done) | LC_ALL=C sort)
[ "$(cd "$tree" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)" = "$expected" ] ||
    fail "$(basename "$zip") holds: $(cd "$tree" && find . -type f | tr '\n' ' ')"
cmp -s "$tree/bin/computer_id.dll" "$tree/bin/computer_id/computer_id.dll" ||
    fail "the Python package in $(basename "$zip") holds another computer_id.dll than bin/"
check_links "$tree/share/doc/computer-id" "$(basename "$zip")"
# The cross toolchain finds packages only below its own root, so the package folder is
# named directly.
cmake -S examples/print_id -B "$scratch/print_id-windows" --toolchain "$root/$toolchain" \
    -DComputerID_DIR="$tree/lib/cmake/ComputerID" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$scratch/print_id-windows" >/dev/null

. scripts/wine-env.sh
python3 -B tests/windows/program_test.py transcript --record "$scratch/windows-transcript" \
    -- wine "$tree/bin/computer_id.exe"
windows_id=$(sed -n 's/^comp id = //p' "$scratch/windows-transcript")
wine_run "$scratch/print_id-windows/print_id.exe" </dev/null >"$scratch/print_id-windows.out" ||
    fail "print_id.exe failed"
printf '%s\r\n' "$windows_id" | cmp -s - "$scratch/print_id-windows.out" ||
    fail "print_id.exe printed '$(cat "$scratch/print_id-windows.out")', the program's ID is '$windows_id'"

# The DLL as a program of another compiler loads it, on a thread where COM was started
# multithreaded; it imports only Windows' own DLLs and exports only the C functions.
dll="$tree/bin/computer_id.dll"
imports=$(x86_64-w64-mingw32-objdump -p "$dll" | sed -n 's/^\tDLL Name: //p' | LC_ALL=C sort -f |
    tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll ole32.dll OLEAUT32.dll " ] ||
    fail "computer_id.dll imports $imports"
exports=$(x86_64-w64-mingw32-objdump -p "$dll" | sed -n 's/^\t\[ *[0-9]*\] \(computer_id.*\)$/\1/p' |
    tr '\n' ' ')
[ "$exports" = "computer_id_describe computer_id_fingerprint computer_id_get computer_id_get_for_app computer_id_get_traced computer_id_match computer_id_version " ] ||
    fail "computer_id.dll exports $exports"
x86_64-w64-mingw32-gcc-posix -std=c89 -Wall -Wextra -Wpedantic -Werror -I "$tree/include" \
    tests/consumers/load_library.c -lole32 -o "$scratch/load_library.exe"
dll_path=$(wine_run winepath -w "$dll" </dev/null) || fail "winepath failed"
wine_run "$scratch/load_library.exe" "$dll_path" "$version" </dev/null \
    >"$scratch/load_library.out" || fail "load_library.exe failed"
printf '%s\r\n' "$windows_id" | cmp -s - "$scratch/load_library.out" ||
    fail "load_library.exe printed '$(cat "$scratch/load_library.out")', the program's ID is '$windows_id'"
timeout 120 wineserver -w
echo "ok: computer_id.dll imports only Windows' DLLs and exports the C functions alone; loaded with LoadLibrary on a thread with COM started multithreaded, it gives the program's ID and leaves COM so"
echo "ok: $(basename "$zip") holds exactly the program, the DLL with its import libraries and .def, the static libraries, public headers and package, the bindings (the Python package with its copy of the DLL), the README with its documents and the licence; unpacked, the program's transcript checks out under Wine and print_id.exe, built against it, prints its ID alone"
cd "$root"
