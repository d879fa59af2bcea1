#!/bin/sh
# Installs the Debian packages the project needs and are missing.
#   install-deps.sh build   compiler and CMake: enough to build and run the program
#   install-deps.sh test    also the test and benchmark dependencies; Node.js 20 or later
#                           with npm must be there already (Debian 12's nodejs is 18)
#   install-deps.sh windows the MinGW-w64 cross compiler and Wine to run its output, with
#                           wine64-preloader, without which Wine now and then fails to start
#                           a program (tests/windows/wine_run.py)
#   install-deps.sh vm      QEMU for x86-64 and for 64-bit ARM with its UEFI firmware, the
#                           aarch64 cross compiler, busybox, cpio and systemd-tmpfiles for the
#                           system test; unpacked into build/vm/, not installed: Debian's
#                           cloud kernels for amd64 and arm64, and the arm64 busybox and
#                           systemd-tmpfiles with the libraries it loads (dpkg's arm64
#                           architecture is added when missing)
#   install-deps.sh arm64   the aarch64 cross compiler, qemu-user to run its output, and the
#                           arm64 libraries its tests link and load (dpkg's arm64 architecture
#                           is added when missing)
set -eu

profile=${1:-test}
case "$profile" in
build) packages="cmake g++ make" ;;
test) packages="cmake g++ make googletest libgtest-dev libgmock-dev libssl-dev libbenchmark-dev
          clang libclang-rt-14-dev clang-tidy clang-format cppcheck valgrind ccache
          python3 python3-cryptography-vectors lintian mono-mcs mono-runtime
          libmono-system-runtime-serialization4.0-cil pkg-config dpkg-dev
          python3-build python3-setuptools python3-wheel python3-venv" ;;
windows) packages="cmake make g++-mingw-w64-x86-64-posix googletest python3
          python3-cryptography-vectors wine wine64 wine64-preloader" ;;
vm) packages="cmake g++ make g++-aarch64-linux-gnu python3 qemu-system-x86 qemu-system-arm
          qemu-efi-aarch64 busybox-static cpio systemd" ;;
arm64) packages="cmake make g++-aarch64-linux-gnu qemu-user googletest libssl-dev:arm64
          libstdc++6:arm64 python3-cryptography-vectors dpkg-dev lintian" ;;
*) echo "usage: $0 [build|test|windows|vm|arm64]" >&2; exit 2 ;;
esac

sudo_cmd=""
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=sudo; fi

# Packages named with an architecture need it in dpkg's list, and apt's lists of it; so do
# the arm64 packages that the vm profile downloads.
case "$profile $packages" in
vm* | *:arm64*)
    if ! dpkg --print-foreign-architectures | grep -qx arm64; then
        echo "Adding dpkg's architecture arm64"
        $sudo_cmd dpkg --add-architecture arm64
    fi
    ;;
esac

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done

if [ -n "$missing" ]; then
    echo "Installing:$missing"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends $missing
fi

if [ "$profile" = test ]; then
    # The npm package's tests: Node.js 20 or later and npm, which Debian 12 does not have.
    node_major=$(node -p 'process.versions.node.split(".")[0]' 2>/dev/null) || node_major=0
    if [ "$node_major" -lt 20 ] || ! command -v npm >/dev/null; then
        echo "The npm package's tests need Node.js 20 or later with npm; this machine has" \
            "$(node --version 2>/dev/null || echo "no node"), $(npm --version 2>/dev/null ||
                echo "no npm"). Install them from Node.js's own Debian packages." >&2
        exit 1
    fi
fi

if [ "$profile" = vm ]; then
    cd "$(dirname "$0")/.."
    # unpack FOLDER PACKAGE...: downloads the packages and unpacks them all into
    # build/vm/FOLDER, unless it is there already.
    unpack() {
        folder=build/vm/$1
        shift
        [ ! -d "$folder" ] || return 0
        echo "Unpacking into $folder:" "$@"
        rm -rf build/vm/download "$folder.partial"
        mkdir -p build/vm/download
        # apt's download user must be able to write there.
        chmod 777 build/vm/download
        (cd build/vm/download && apt-get download -q "$@" >download.log 2>&1) ||
            { cat build/vm/download/download.log; exit 1; }
        for deb in build/vm/download/*.deb; do
            dpkg -x "$deb" "$folder.partial"
        done
        mv "$folder.partial" "$folder"
        rm -rf build/vm/download
    }
    kernel_package() {
        apt-cache depends "linux-image-cloud-$1:$1" 2>/dev/null |
            sed -n 's/^ *Depends: \(linux-image-[^ :]*\)\(:[a-z0-9]*\)\{0,1\}$/\1/p'
    }
    for architecture in amd64 arm64; do
        package=$(kernel_package $architecture)
        if [ -z "$package" ]; then
            $sudo_cmd apt-get update -qq
            package=$(kernel_package $architecture)
        fi
        [ -n "$package" ] ||
            { echo "no kernel package behind linux-image-cloud-$architecture" >&2; exit 1; }
        if [ ! -d "build/vm/$package" ]; then
            rm -rf build/vm/linux-image-*-cloud-$architecture
            unpack "$package" "$package:$architecture"
        fi
    done
    # The arm64 busybox and systemd-tmpfiles with the libraries it and libsystemd-shared
    # load. busybox-static is not Multi-Arch: same, so installing the arm64 one would replace
    # the build machine's.
    arm64_userland="busybox-static systemd libsystemd-shared libc6 libacl1 libblkid1 libcap2
        libcrypt1 libgcrypt20 libgpg-error0 libip4tc2 libkmod2 liblz4-1 liblzma5 libmount1
        libssl3 libpam0g libaudit1 libcap-ng0 libseccomp2 libselinux1 libpcre2-8-0 libzstd1"
    unpack arm64-userland $(printf '%s:arm64\n' $arm64_userland)
fi
