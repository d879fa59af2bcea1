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
fail() { echo "FAIL: $1"; exit 1; }

scripts/install-deps.sh windows
cmake --preset bindings >/dev/null
cmake --build --preset bindings -j "$jobs"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$jobs"

# The npm package.
# The addon of each platform, built with the node-api-headers and node-addon-api of the
# package's lock (bindings/node/package-lock.json) in a build folder of its own, so that the
# presets' folders stay as they are; the Linux one in the bindings preset, the Windows one in
# the mingw preset.
fail() { echo "FAIL: $1"; exit 1; }
node_modules=$out/node
package_version=$(sed -n 's/^  "version": "\(.*\)",$/\1/p' bindings/node/package.json)
[ "$package_version" = "$version" ] ||
    fail "bindings/node/package.json has version $package_version, the project $version"
mkdir -p "$node_modules"
cp bindings/node/package.json bindings/node/package-lock.json "$node_modules/"
(cd "$node_modules" && npm ci --ignore-scripts --no-audit --no-fund >npm-ci.log 2>&1) ||
    { cat "$node_modules/npm-ci.log"; fail "npm ci of the package's dependencies"; }
cmake --preset bindings -B "$out/node-linux" -DCOMPUTER_ID_NODE_MODULES="$root/$node_modules" \
    >/dev/null
cmake --build "$out/node-linux" --target computer_id_node -j "$jobs"
cmake --preset mingw -B "$out/node-win32" -DCOMPUTER_ID_BUILD_TESTS=OFF \
    -DCOMPUTER_ID_INSTALL=OFF -DCOMPUTER_ID_NODE_MODULES="$root/$node_modules" >/dev/null
cmake --build "$out/node-win32" --target computer_id_node -j "$jobs"
linux_addon=$out/node-linux/bindings/node/computer_id.node
needed=$(readelf -d "$linux_addon" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | LC_ALL=C sort |
    tr '\n' ' ')
[ "$needed" = "ld-linux-x86-64.so.2 libc.so.6 " ] ||
    [ "$needed" = "ld-linux-x86-64.so.2 libc.so.6 libm.so.6 " ] ||
    fail "the Linux addon needs $needed"
echo "ok: the Linux addon needs only glibc ($needed)"

# The package's files, its prebuilt addons (stripped), the bundled node-api-headers and
# node-addon-api and, for npm install --build-from-source, the sources that build the addon.
stage=$out/node-package
rm -rf "$stage" "$out"/computer-id-*.tgz
mkdir -p "$stage/prebuilds/linux-x64" "$stage/prebuilds/win32-x64" "$stage/project/bindings/node"
cp LICENSE bindings/node/package.json bindings/node/addon.js bindings/node/index.js \
    bindings/node/index.d.ts bindings/node/install.js "$stage/"
strip --strip-unneeded -o "$stage/prebuilds/linux-x64/computer_id.node" "$linux_addon"
x86_64-w64-mingw32-strip --strip-unneeded -o "$stage/prebuilds/win32-x64/computer_id.node" \
    "$out/node-win32/bindings/node/computer_id.node"
cp -R CMakeLists.txt LICENSE app cmake computer_id platform sha "$stage/project/"
cp bindings/node/CMakeLists.txt bindings/node/exports.map bindings/node/*.cpp \
    "$stage/project/bindings/node/"
cp -R "$node_modules/node_modules" "$stage/"
(cd "$stage" && npm pack --pack-destination "$root/$out" >npm-pack.log 2>&1) ||
    { cat "$stage/npm-pack.log"; fail "npm pack"; }
echo "ok: $out/computer-id-$version.tgz holds the addons for linux-x64 and win32-x64"

# The Python wheels.
# Each wheel is built from a copy of bindings/python with the library inside the package,
# the licence and the version: the Linux library stripped as the .deb's, the DLL the .zip's.
# The Linux wheel's tag names the newest glibc symbol version its library needs as a
# manylinux tag, so that pip installs it only where glibc is that new.
python_stage() { # platform, library
    stage=$out/python-$1
    rm -rf "$stage"
    cp -R bindings/python "$stage"
    cp LICENSE "$stage/"
    echo "$version" >"$stage/VERSION"
    cp "$2" "$stage/computer_id/"
}
python_wheel() { # platform tag
    (cd "$stage" && /usr/bin/python3 -m build --wheel --no-isolation --outdir "$root/$out" \
        "--config-setting=--build-option=--plat-name=$1" >build.log 2>&1) ||
        { cat "$stage/build.log"; exit 1; }
}
rm -f "$out"/computer_id-*.whl
python_stage linux build/bindings/computer_id/libcomputer_id.so.0
strip --strip-unneeded "$stage/computer_id/libcomputer_id.so.0"
glibc=$(objdump -T "$stage/computer_id/libcomputer_id.so.0" | grep -o 'GLIBC_[0-9][0-9.]*' |
    sort -uV | tail -n 1)
python_wheel "manylinux_$(echo "${glibc#GLIBC_}" | cut -d. -f1-2 | tr . _)_x86_64"
python_stage windows build/mingw/computer_id/computer_id.dll
python_wheel win_amd64
echo "Made: $(cd "$out" && echo computer_id-*.whl)"
