#!/bin/sh
# Installs the Debian packages the project needs and are missing.
#   install-deps.sh build   compiler and CMake: enough to build and run the program
#   install-deps.sh test    also the test and benchmark dependencies
#   install-deps.sh windows the MinGW-w64 cross compiler and Wine to run its output
set -eu

profile=${1:-test}
case "$profile" in
build) packages="cmake g++ make" ;;
test) packages="cmake g++ make googletest libgtest-dev libgmock-dev libssl-dev libbenchmark-dev
          clang libclang-rt-14-dev clang-tidy clang-format cppcheck valgrind
          python3-cryptography-vectors python3 qemu-system-x86 busybox-static cpio systemd" ;;
windows) packages="cmake make g++-mingw-w64-x86-64-posix googletest python3
          python3-cryptography-vectors wine wine64" ;;
*) echo "usage: $0 [build|test|windows]" >&2; exit 2 ;;
esac

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $package"
    fi
done

if [ -n "$missing" ]; then
    echo "Installing:$missing"
    sudo_cmd=""
    if [ "$(id -u)" -ne 0 ]; then sudo_cmd=sudo; fi
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends $missing
fi
