#!/bin/sh
# Makes the npm package and the Python wheels (scripts/package-bindings.sh) and uses them as
# their users do: the npm package installed into an empty project with no compiler on the
# PATH, its tests run under two Node versions and its Windows addon under Wine; the Linux
# wheel installed into a fresh virtual environment and the Python binding's tests run there,
# the files and tags of both wheels checked.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/package-bindings.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $1"; exit 1; }

# The npm package.

# The Python wheel.
# The console program of the bindings build gives the ID, and print_id, built in a program
# that embeds the project as test-package.sh builds it, an application's ID and the verdict,
# which the wheel's package must give alike.
id=$(build/bindings/app/computer_id </dev/null | sed -n 's/^comp id = //p')
printf '%s\n' "$id" | grep -Eqx '[0-9a-f]{33,64}' || fail "the console program printed no ID"
cmake -S tests/consumers/add_subdirectory -B "$scratch/embedding" -DCMAKE_BUILD_TYPE=Release \
    >/dev/null
cmake --build "$scratch/embedding" -j "$(nproc)" >/dev/null
app_key=000102030405060708090a0b0c0d0e0f
app_id=$("$scratch/embedding/print_id" --app "$app_key") || fail "print_id --app failed"
verdict=$("$scratch/embedding/print_id" --describe | sed -n 's/^verdict: \([a-z ]*\):.*/\1/p')
[ "$verdict" = "serial number" ] || [ "$verdict" = "model only" ] ||
    fail "print_id --describe gives no verdict"

linux_wheel=$(ls build/bindings/computer_id-*-manylinux_*_x86_64.whl)
windows_wheel=$(ls build/bindings/computer_id-*-win_amd64.whl)
wheel_version=$(basename "$linux_wheel" | cut -d- -f2)
# A wheel's files, unpacked into folder $2, must be the sources' package with the library $3
# inside and the metadata, and its WHEEL file must give the tag $4 and not pure Python.
check_wheel() {
    info=computer_id-$wheel_version.dist-info
    [ "$(cd "$2" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)" = "$(printf '%s\n' \
        "computer_id/$3" computer_id/__init__.py computer_id/py.typed "$info/LICENSE" \
        "$info/METADATA" "$info/RECORD" "$info/WHEEL" "$info/top_level.txt" | LC_ALL=C sort)" ] ||
        fail "$(basename "$1") holds: $(cd "$2" && find . -type f | tr '\n' ' ')"
    grep -qx "Tag: $4" "$2/$info/WHEEL" && grep -qx 'Root-Is-Purelib: false' "$2/$info/WHEEL" ||
        fail "$(basename "$1") is tagged: $(tr '\n' ' ' <"$2/$info/WHEEL")"
    [ "$(basename "$1")" = "computer_id-$wheel_version-$4.whl" ] || fail "$(basename "$1") is not $4"
    grep -qx "Version: $wheel_version" "$2/$info/METADATA" || fail "$(basename "$1")'s metadata"
    cmp -s bindings/python/computer_id/__init__.py "$2/computer_id/__init__.py" ||
        fail "$(basename "$1") holds another __init__.py"
}
/usr/bin/python3 -m zipfile -e "$linux_wheel" "$scratch/linux_wheel"
/usr/bin/python3 -m zipfile -e "$windows_wheel" "$scratch/windows_wheel"
# The Linux wheel's library needs glibc alone, and the manylinux tag names the newest of its
# glibc symbol versions.
library=$scratch/linux_wheel/computer_id/libcomputer_id.so.0
others=$(objdump -p "$library" | awk '$1 == "NEEDED" {print $2}' |
    grep -vx 'libc\.so\.6\|libm\.so\.6\|ld-linux-x86-64\.so\.2' | tr '\n' ' ') || :
[ -z "$others" ] || fail "the wheel's libcomputer_id.so.0 needs $others"
glibc=$(objdump -T "$library" | grep -o 'GLIBC_[0-9][0-9.]*' | sort -uV | tail -n 1)
manylinux=manylinux_$(echo "${glibc#GLIBC_}" | cut -d. -f1-2 | tr . _)_x86_64
check_wheel "$linux_wheel" "$scratch/linux_wheel" libcomputer_id.so.0 "py3-none-$manylinux"
check_wheel "$windows_wheel" "$scratch/windows_wheel" computer_id.dll py3-none-win_amd64
cmp -s build/mingw/computer_id/computer_id.dll "$scratch/windows_wheel/computer_id/computer_id.dll" ||
    fail "$(basename "$windows_wheel") holds another computer_id.dll than the .zip's"
echo "ok: $(basename "$linux_wheel") holds the package with a library that needs glibc alone, $glibc at newest, and $(basename "$windows_wheel") the package with the .zip's computer_id.dll; neither is pure Python"

# Installed with pip into a fresh virtual environment, without the project's build or any
# library path: the package loads the library inside it and gives the console program's
# ID, print_id's application ID and verdict, and the library's version is the wheel's.
unset LD_LIBRARY_PATH PYTHONPATH
/usr/bin/python3 -m venv "$scratch/venv"
python=$scratch/venv/bin/python
"$python" -m pip install -q --no-index --disable-pip-version-check "$linux_wheel" \
    >"$scratch/pip.out" 2>&1 || { cat "$scratch/pip.out"; fail "pip cannot install $linux_wheel"; }
wheel_id=$(cd "$scratch" && "$python" -c "import computer_id; print(computer_id.get())") ||
    fail "the wheel's package gives no ID"
[ "$wheel_id" = "$id" ] || fail "the wheel's package gives '$wheel_id', the program '$id'"
# The package's folder, then the version and every file of the library that the package loaded.
(cd "$scratch" && "$python" -c "import os, computer_id
print(os.path.dirname(computer_id.__file__), computer_id.version(), *sorted({line.split()[-1]
    for line in open('/proc/self/maps') if 'libcomputer_id' in line}))") >"$scratch/loaded"
read -r package library_version loaded <"$scratch/loaded"
[ "$library_version $loaded" = "$wheel_version $(realpath "$package/libcomputer_id.so.0")" ] ||
    fail "the wheel's package loaded $loaded, version $library_version"
COMPUTER_ID_EXPECTED_ID=$id COMPUTER_ID_APP_KEY=$app_key COMPUTER_ID_EXPECTED_APP_ID=$app_id \
    COMPUTER_ID_EXPECTED_VERDICT=$verdict "$python" -B tests/bindings/computer_id_binding_test.py \
    -q >"$scratch/binding_test.out" 2>&1 ||
    { cat "$scratch/binding_test.out"; fail "the Python binding's test on the wheel"; }
echo "ok: $(basename "$linux_wheel"), installed with pip into a fresh virtual environment, loads its own library and gives the program's ID, print_id's application ID and verdict, and its version"

# The package loads whichever library is inside it, so its failure path is tested on a copy
# of the installed package whose library is the one scripted to fail its WMI connection.
cmake --preset dev >/dev/null
cmake --build --preset dev --target computer_id_c_failing -j "$(nproc)" >/dev/null
mkdir "$scratch/failing"
cp -R "$package" "$scratch/failing/computer_id"
cp build/dev/tests/bindings/libcomputer_id.so.0 "$scratch/failing/computer_id/"
PYTHONPATH=$scratch/failing COMPUTER_ID_EXPECTED_STATUS=1 \
    COMPUTER_ID_EXPECTED_MESSAGE="Could not connect. Error code = 0x8004100e" \
    "$python" -B tests/bindings/computer_id_binding_test.py -q >"$scratch/binding_test.out" 2>&1 ||
    { cat "$scratch/binding_test.out"; fail "the Python binding's test of a failure on the wheel"; }
echo "ok: the wheel's package with a library whose WMI connection fails raises its status and message"
