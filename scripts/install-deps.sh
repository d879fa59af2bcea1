#!/bin/sh
# Installs the Debian packages the project needs and are missing.
#   install-deps.sh build   compiler and CMake: enough to build and run the program
#   install-deps.sh test    also the test, benchmark and cross-build dependencies
set -eu

profile=${1:-test}
packages="cmake g++ make"
if [ "$profile" = test ]; then
    packages="$packages googletest libgtest-dev libgmock-dev libssl-dev libbenchmark-dev python3-cryptography-vectors"
fi

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
