#!/bin/sh
# The first process of the test VM, run by busybox, on x86-64 and on 64-bit ARM. It loads the
# kernel modules listed in /lib/modules/order and reports on its report port (the second
# serial port on x86-64; on ARM, whose virt machine has one serial port, a virtio serial port),
# one "key value" line each, what the kernel exported, read without the program: whether
# there is an SMBIOS folder, SMBIOS attribute files with their modes (content as hex bytes),
# the package of each processor, the raw CPUID leaves of each x86 processor through the
# kernel's cpuid driver and the MIDR_EL1 of each ARM one; then the program's output (as hex)
# run as root, as a user outside the group computerid, and after the shipped serials recipe
# as a member of that group and again as the other user, and where the VM has print_id, its
# description of the ID as root and as the other user. Then it powers off.
/bin/busybox --install -s /bin
export PATH=/bin:/usr/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
for module in $(cat /lib/modules/order); do
    insmod "/lib/modules/$module"
done
chmod 1777 /tmp

out=/dev/ttyS1
[ "$(uname -m)" != aarch64 ] || out=/dev/vport0p1
# The report port stays open on descriptor 3. The virtio serial port opens once its driver
# has set it up, which may be after /init starts. (command keeps a failed exec from ending
# the shell.)
tries=0
until { command exec 3>>"$out"; } 2>/dev/null || [ "$tries" -eq 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
dmi=/sys/class/dmi/id
cpus=/sys/devices/system/cpu

hex() { od -An -v -tx1 | tr -d ' \n'; }
say() { printf '%s %s\n' "$1" "$2" >&3; }

report_files() {
    for name in board_serial board_vendor board_name bios_vendor product_serial product_uuid \
        chassis_serial; do
        if [ -e "$dmi/$name" ]; then
            say "mode:$1:$name" "$(stat -c '%a:%U:%G' "$dmi/$name")"
        else
            say "mode:$1:$name" missing
        fi
    done
}

run_as() {
    command="/bin/computer_id </dev/null >/tmp/$1.out 2>/tmp/$1.err"
    if [ "$2" = root ]; then
        sh -c "$command"
    else
        su -s /bin/sh "$2" -c "$command"
    fi
    say "status:$1" $?
    say "run:$1" "$(hex <"/tmp/$1.out")"
    say "errors:$1" "$(hex <"/tmp/$1.err")"
}

say begin "$(uname -r)"
if [ -d "$dmi" ]; then say dmi present; else say dmi missing; fi
report_files boot
for name in board_serial board_vendor board_name bios_vendor product_serial; do
    [ -e "$dmi/$name" ] && say "dmi:$name" "$(hex <"$dmi/$name")"
done
say packages "$(sed -n 's/^physical id[[:space:]]*: //p' /proc/cpuinfo | sort -u | tr '\n' ,)"
say cpuinfo "$(hex </proc/cpuinfo)"
for cpu in "$cpus"/cpu[0-9]*; do
    say "package:${cpu#"$cpus"/cpu}" "$(cat "$cpu/topology/physical_package_id")"
    midr=$cpu/regs/identification/midr_el1
    [ ! -e "$midr" ] || say "midr:${cpu#"$cpus"/cpu}" "$(cat "$midr")"
done
for device in /dev/cpu/*/cpuid; do
    [ -e "$device" ] || continue
    cpu=${device#/dev/cpu/}
    cpu=${cpu%/cpuid}
    for leaf in 0 1 2147483650 2147483651 2147483652; do
        say "cpuid:$cpu:$leaf" "$(dd if="$device" bs=16 count=1 skip="$leaf" iflag=skip_bytes \
            2>/dev/null | od -An -v -tx4 | tr -s ' \n' '  ' | sed 's/^ //; s/ $//')"
    done
done

run_as root root
run_as other other
systemd-tmpfiles --create /etc/tmpfiles.d/computer-id-serials.conf 2>/tmp/tmpfiles.err
say tmpfiles "$? $(hex </tmp/tmpfiles.err)"
report_files recipe
run_as member member
run_as other-after-recipe other
if [ -x /bin/print_id ]; then
    for user in root other; do
        output=/tmp/describe-$user.out
        su -s /bin/sh "$user" -c "/bin/print_id --describe </dev/null >$output 2>&1"
        say "describe:$user" "$? $(hex <"$output")"
    done
fi
say end done
poweroff -f
