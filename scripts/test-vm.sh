#!/bin/sh
# The system test on a real kernel: boots Debian's cloud kernels under QEMU (TCG, no KVM),
# the amd64 one on qemu-system-x86_64 and the arm64 one on qemu-system-aarch64 (machine
# virt, with or without UEFI firmware), into an initramfs per architecture, once for each
# case in tests/system/vm_test.py, which checks what the VM reports. The amd64 initramfs
# holds busybox, the stand-alone program (preset static), the kernel's cpuid driver and
# systemd-tmpfiles with its libraries; the arm64 one the arm64 busybox, the stand-alone
# program (preset arm64-static), print_id linked statically for arm64, the kernel's virtio
# serial drivers (its report port) and the arm64 systemd-tmpfiles with its libraries, from
# the packages that scripts/install-deps.sh vm unpacks. Both hold the serials recipe and the
# users. Installs the Debian packages it needs when missing.
set -eu
cd "$(dirname "$0")/.."
started=$(date +%s)
scripts/install-deps.sh vm

for preset in static arm64-static; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
done
# print_id for arm64, linked statically: the example built by the program that embeds the
# project (tests/consumers), with the flags of the optimised presets.
print_id_build=build/vm/print_id-arm64
cmake -S tests/consumers/add_subdirectory -B "$print_id_build" \
    --toolchain "$(pwd)/cmake/toolchains/aarch64-linux-gnu.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
    -DCMAKE_EXE_LINKER_FLAGS=-static >/dev/null
cmake --build "$print_id_build" --target print_id -j "$(nproc)"

vm=build/vm
userland=$vm/arm64-userland

# new_root FOLDER: the folders, /init, the users and the serials recipe both VMs share.
new_root() {
    root=$1
    rm -rf "$root"
    mkdir -p "$root/bin" "$root/dev" "$root/proc" "$root/sys" "$root/tmp" \
        "$root/etc/tmpfiles.d" "$root/lib/modules" "$root/usr/bin"
    ln -s busybox "$root/bin/sh"
    cp tests/system/vm_init.sh "$root/init"
    cp packaging/computer-id-serials.conf "$root/etc/tmpfiles.d/"
    printf '%s\n' root:x:0:0::/:/bin/sh member:x:1000:1000::/:/bin/sh \
        other:x:1001:1001::/:/bin/sh >"$root/etc/passwd"
    printf '%s\n' root:x:0: computerid:x:990:member member:x:1000: other:x:1001: \
        >"$root/etc/group"
}
# add_modules KERNEL_ROOT MODULE...: the kernel's modules, which /init loads in this order.
add_modules() {
    modules=$(ls -d "$1"/lib/modules/*/kernel)
    shift
    for module in "$@"; do
        cp "$modules/$module" "$root/lib/modules/"
        basename "$module" >>"$root/lib/modules/order"
    done
}
pack() {
    (cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$1"
}

amd64_kernel_root=$(ls -d "$vm"/linux-image-*-cloud-amd64)
new_root "$vm/initramfs-amd64"
cp /bin/busybox "$root/bin/"
cp build/static/app/computer_id "$root/bin/"
add_modules "$amd64_kernel_root" arch/x86/kernel/cpuid.ko
cp /usr/bin/systemd-tmpfiles "$root/usr/bin/"
for library in $(ldd /usr/bin/systemd-tmpfiles | awk '$(NF-1) ~ /^\// { print $(NF-1) }'); do
    cp -L --parents "$library" "$root"
done
pack "$vm/initramfs-amd64.gz"

# arm64_libraries FILE: copies the libraries FILE needs, and theirs, from the unpacked arm64
# packages to the same places in the initramfs.
arm64_libraries() {
    for library in $(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
        found=$(cd "$userland" && find lib usr/lib -name "$library" | head -n 1)
        [ -n "$found" ] || { echo "no $library in $userland" >&2; exit 1; }
        [ ! -e "$root/$found" ] || continue
        (cd "$userland" && cp -L --parents "$found" "$root_path")
        arm64_libraries "$userland/$found"
    done
}
arm64_kernel_root=$(ls -d "$vm"/linux-image-*-cloud-arm64)
new_root "$vm/initramfs-arm64"
root_path=$(pwd)/$root
cp "$userland/bin/busybox" "$root/bin/"
cp build/arm64-static/app/computer_id "$print_id_build/print_id" "$root/bin/"
add_modules "$arm64_kernel_root" drivers/virtio/virtio_ring.ko drivers/virtio/virtio.ko \
    drivers/virtio/virtio_mmio.ko drivers/char/virtio_console.ko
cp "$userland/bin/systemd-tmpfiles" "$root/usr/bin/"
cp -L "$userland/lib/ld-linux-aarch64.so.1" "$root/lib/"
arm64_libraries "$userland/bin/systemd-tmpfiles"
pack "$vm/initramfs-arm64.gz"

python3 -B tests/system/vm_test.py \
    --amd64 "$(ls "$amd64_kernel_root"/boot/vmlinuz-*)" "$vm/initramfs-amd64.gz" \
    --arm64 "$(ls "$arm64_kernel_root"/boot/vmlinuz-*)" "$vm/initramfs-arm64.gz"
echo "--- VM test: $(($(date +%s) - started)) s"
