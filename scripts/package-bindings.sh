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

scripts/install-deps.sh windows
cmake --preset bindings >/dev/null
cmake --build --preset bindings -j "$jobs"
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$jobs"

# The npm package.

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
