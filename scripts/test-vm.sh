#!/bin/sh
# The system test on a real kernel: boots Debian's cloud kernel under QEMU (TCG, no KVM)
# into an initramfs that holds busybox, the stand-alone program (preset static), the kernel's
# cpuid driver, systemd-tmpfiles with its libraries and the serials recipe, once for each
# case in tests/system/vm_test.py, which checks what the VM reports. Installs the Debian
# packages it needs when missing, and unpacks the kernel (scripts/install-deps.sh vm).
set -eu
cd "$(dirname "$0")/.."
started=$(date +%s)
scripts/install-deps.sh vm

cmake --preset static >/dev/null
cmake --build --preset static -j "$(nproc)"

vm=build/vm
kernel_root=$(ls -d "$vm"/linux-image-*-cloud-amd64)
kernel=$(ls "$kernel_root"/boot/vmlinuz-*)

root="$vm/initramfs"
rm -rf "$root"
mkdir -p "$root/bin" "$root/dev" "$root/proc" "$root/sys" "$root/tmp" "$root/etc/tmpfiles.d" \
    "$root/lib/modules" "$root/usr/bin"
cp /bin/busybox "$root/bin/"
ln -s busybox "$root/bin/sh"
cp build/static/app/computer_id "$root/bin/"
cp tests/system/vm_init.sh "$root/init"
cp "$kernel_root"/lib/modules/*/kernel/arch/x86/kernel/cpuid.ko "$root/lib/modules/"
cp /usr/bin/systemd-tmpfiles "$root/usr/bin/"
for library in $(ldd /usr/bin/systemd-tmpfiles | awk '$(NF-1) ~ /^\// { print $(NF-1) }'); do
    cp -L --parents "$library" "$root"
done
cp packaging/computer-id-serials.conf "$root/etc/tmpfiles.d/"
printf '%s\n' root:x:0:0::/:/bin/sh member:x:1000:1000::/:/bin/sh other:x:1001:1001::/:/bin/sh \
    >"$root/etc/passwd"
printf '%s\n' root:x:0: computerid:x:990:member member:x:1000: other:x:1001: >"$root/etc/group"
(cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$vm/initramfs.gz"

python3 -B tests/system/vm_test.py --kernel "$kernel" --initramfs "$vm/initramfs.gz"
echo "--- VM test: $(($(date +%s) - started)) s"
