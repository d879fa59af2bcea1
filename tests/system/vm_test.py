"""Boots a real kernel under QEMU (TCG, no KVM) once per case of CASES, with the case's
architecture, SMBIOS strings and processors, and checks what vm_init.sh reports from inside:

  - the SMBIOS files the kernel exported, and their modes, against what the case configured
    (the kernel's rules: a string of spaces only or an empty one becomes an empty file, other
    strings keep every byte, a missing table gives no files, the serials are root's only; an
    ARM machine booted without UEFI firmware has no SMBIOS and no SMBIOS folder at all);
  - every run of the program (root; a user outside the group computerid; after the shipped
    serials recipe, a member of that group and the other user again): exit code 0, nothing
    on standard error, the whole transcript line by line, each property's status and type,
    and the ID against the SHA-256 of the text the test builds itself from those files and
    from the processors' registers: on x86-64 the CPUID leaves, read through the kernel's
    cpuid driver, on ARM MIDR_EL1, decoded here, with one processor object per package the
    kernel exported;
  - on ARM, the verdict of print_id --describe as root and as the other user; that the two
    ARM models without SMBIOS get different IDs.

  vm_test.py --amd64 VMLINUZ INITRAMFS --arm64 VMLINUZ INITRAMFS
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "windows"))
import transcript  # noqa: E402  (shared with the Windows test)

BOOT_TIMEOUT = 180
# Debian's UEFI firmware for QEMU's ARM virt machine; through it the -smbios tables reach the
# kernel.
ARM_FIRMWARE = b"/usr/share/qemu-efi-aarch64/QEMU_EFI.fd"
VT_NULL = 1
WBEM_E_ACCESS_DENIED = 0x80041003

# The SMBIOS files the provider reads: (table type, QEMU field name, root only).
SMBIOS_FILES = {
    "board_serial": (2, "serial", True),
    "board_vendor": (2, "manufacturer", False),
    "board_name": (2, "product", False),
    "bios_vendor": (0, "vendor", False),
    "product_serial": (1, "serial", True),
}
# Root's serials that the provider does not read, which the serials recipe leaves alone.
OTHER_SERIALS = ["product_uuid", "chassis_serial"]
# Property by property, in the order of each query's select list; None for one that the
# provider always leaves null.
SOURCES = {
    "Win32_BaseBoard": ["board_serial", "board_vendor", "board_name", None, None],
    "Win32_BIOS": ["bios_vendor", "product_serial"],
}
# The runs of vm_init.sh: name, whether it may read the serial numbers.
RUNS = [("root", True), ("other", False), ("member", True), ("other-after-recipe", False)]
# The users print_id --describe runs as, with whether they may read the serial numbers.
DESCRIBE_RUNS = [("root", True), ("other", False)]
# MIDR_EL1's implementer codes and the names the program gives them; any other code is named
# by its two hex digits.
ARM_IMPLEMENTERS = {0x41: "ARM", 0x42: "Broadcom", 0x43: "Cavium", 0x46: "Fujitsu",
                    0x48: "HiSilicon", 0x4E: "NVIDIA", 0x50: "APM", 0x51: "Qualcomm",
                    0x53: "Samsung", 0x61: "Apple", 0xC0: "Ampere"}


@dataclass
class Case:
    name: str
    cpu: str
    brand: bytes  # x86-64: the processor's brand string, set as QEMU's model-id
    vendor: str  # x86-64: the CPUID vendor; ARM: the implementer's name
    sockets: int
    # table type: {field: bytes}; None for an ARM machine booted without firmware
    smbios: dict = field(default_factory=dict)
    arch: str = "amd64"
    midr: int = 0  # ARM: the MIDR_EL1 of QEMU's model

    @property
    def arm(self):
        return self.arch == "arm64"


CASES = [
    Case("two Intel packages", "Skylake-Client", b"Intel(R) Core(TM) i7-6700 CPU @ 3.40GHz",
         "GenuineIntel", 2,
         {0: {"vendor": b"American Megatrends Inc."}, 1: {"serial": b"System Serial 4711"},
          2: {"manufacturer": b"ASUSTeK COMPUTER INC.", "product": b"PRIME Z370-A",
              "serial": b"BSN-4711"}}),
    Case("leading and trailing spaces kept", "qemu64", b"  Padded Brand   ", "AuthenticAMD", 1,
         {0: {"vendor": b"Award Software  "}, 1: {"serial": b"SN-1 "},
          2: {"manufacturer": b"Gigabyte  ", "product": b"  Leading", "serial": b"BSN 2   "}}),
    Case("all-space and empty strings", "EPYC", b"AMD EPYC Processor", "AuthenticAMD", 2,
         {0: {"vendor": b"   "}, 1: {"serial": b""},
          2: {"manufacturer": b"", "product": b" ", "serial": b"      "}}),
    Case("non-ASCII vendor and board", "Skylake-Client", b"Intel Core Processor (Skylake)",
         "GenuineIntel", 1,
         {0: {"vendor": "Société Générale €".encode()}, 1: {"serial": "N°42".encode()},
          2: {"manufacturer": "Carte mère".encode(), "product": b"Caf\xe9",
              "serial": "ß".encode()}}),
    Case("no base-board table", "qemu64", b"QEMU Virtual CPU version 2.5+", "AuthenticAMD", 1,
         {0: {"vendor": b"SeaBIOS"}, 1: {"serial": b"VM-SN-5"}}),
    Case("ARM Cortex-A72, two packages, UEFI with serials", "cortex-a72", None, "ARM", 2,
         {0: {"vendor": b"EFI Development Kit II / OVMF"}, 1: {"serial": b"ARM-SN-72"},
          2: {"manufacturer": b"Ampere Computing", "product": b"Mt.Jade", "serial": b"BSN-A72"}},
         arch="arm64", midr=0x410FD083),
    Case("ARM Neoverse-N1, UEFI without serials", "neoverse-n1", None, "ARM", 1,
         {0: {"vendor": b"EFI Development Kit II / OVMF"}, 1: {"serial": b""},
          2: {"manufacturer": b"Ampere Computing", "product": b"Mt.Jade", "serial": b""}},
         arch="arm64", midr=0x414FD0C1),
    Case("ARM Cortex-A72, two packages, without SMBIOS", "cortex-a72", None, "ARM", 2, None,
         arch="arm64", midr=0x410FD083),
    Case("ARM Neoverse-N1, two packages, without SMBIOS", "neoverse-n1", None, "ARM", 2, None,
         arch="arm64", midr=0x414FD0C1),
]
# The ARM models on machines without SMBIOS, whose IDs must differ.
ARM_MODELS_WITHOUT_SMBIOS = [case.name for case in CASES if case.arm and case.smbios is None]


class CheckFailed(Exception):
    pass


def option(value):
    return value.replace(b",", b",,")


def qemu_command(case, kernel, initramfs, report):
    if case.arm:
        # The virt machine's one serial port is the kernel's console; the report goes to a
        # virtio serial port, which, unlike a virtio console, never drops what is written.
        command = [b"qemu-system-aarch64", b"-machine", b"virt,accel=tcg",
                   b"-append", b"console=ttyAMA0 panic=-1 quiet", b"-cpu", case.cpu.encode(),
                   b"-serial", b"null", b"-device", b"virtio-serial-device",
                   b"-chardev", b"file,id=report,path=" + option(report.encode()),
                   b"-device", b"virtserialport,chardev=report,name=report"]
        if case.smbios is not None:
            command += [b"-bios", ARM_FIRMWARE]
    else:
        command = [b"qemu-system-x86_64", b"-machine", b"accel=tcg",
                   b"-append", b"console=ttyS0 panic=-1 quiet",
                   b"-serial", b"null", b"-serial", b"file:" + report.encode(),
                   b"-cpu", case.cpu.encode() + b",model-id=" + option(case.brand)]
    command += [b"-m", b"256", b"-nodefaults", b"-display", b"none", b"-no-reboot",
                b"-kernel", kernel.encode(), b"-initrd", initramfs.encode(),
                b"-smp", f"{case.sockets},sockets={case.sockets},cores=1".encode(),
                b"-uuid", b"4c4c4544-0042-3010-8058-b2c04f4d3132"]
    for table, fields in sorted((case.smbios or {}).items()):
        settings = b",".join(name.encode() + b"=" + option(value)
                             for name, value in fields.items())
        command += [b"-smbios", f"type={table},".encode() + settings]
    return command


def boot(case, kernel, initramfs):
    """The report of vm_init.sh as {key: value}."""
    with tempfile.TemporaryDirectory() as folder:
        report = os.path.join(folder, "report")
        subprocess.run(qemu_command(case, kernel, initramfs, report), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=BOOT_TIMEOUT, check=True)
        with open(report, "rb") as file:
            lines = file.read().decode("ascii").splitlines()
    values = dict(line.partition(" ")[::2] for line in lines)
    if values.get("end") != "done":
        raise CheckFailed(f"the VM did not finish its report: {lines}")
    return values


def expect_equal(what, actual, expected):
    if actual != expected:
        raise CheckFailed(f"{what}: {actual!r}, expected {expected!r}")


def exported_files(case, values):
    """The SMBIOS files as the kernel exported them, after checking them against the case."""
    expect_equal("the SMBIOS folder", values["dmi"],
                 "missing" if case.smbios is None else "present")
    tables = case.smbios or {}
    files = {}
    for name, (table, qemu_field, root_only) in SMBIOS_FILES.items():
        mode = values[f"mode:boot:{name}"]
        if table not in tables:
            expect_equal(f"{name} without a type {table} table", mode, "missing")
            expect_equal(f"{name} after the recipe", values[f"mode:recipe:{name}"], mode)
            files[name] = None
            continue
        expect_equal(f"mode of {name}", mode, "400:root:root" if root_only else "444:root:root")
        configured = case.smbios[table][qemu_field]
        content = bytes.fromhex(values[f"dmi:{name}"])
        expect_equal(f"{name} for {configured!r}", content,
                     (configured if configured.strip(b" ") else b"") + b"\n")
        files[name] = content
        recipe_mode = "440:root:computerid" if root_only else mode
        expect_equal(f"mode of {name} after the recipe", values[f"mode:recipe:{name}"],
                     recipe_mode)
    for name in OTHER_SERIALS:
        for moment in ("boot", "recipe"):
            expect_equal(f"mode of {name} ({moment})", values[f"mode:{moment}:{name}"],
                         "missing" if case.smbios is None else "400:root:root")
    return files


def cpuid(values, cpu, leaf):
    registers = values[f"cpuid:{cpu}:{leaf}"].split()
    if len(registers) != 4:
        raise CheckFailed(f"CPUID leaf {leaf:#x} of CPU {cpu}: {registers}")
    return [int(register, 16) for register in registers]


def register_text(registers):
    data = b"".join(register.to_bytes(4, "little") for register in registers)
    return data.partition(b"\0")[0]


def cpuinfo_fields(values, key):
    text = bytes.fromhex(values["cpuinfo"]).decode()
    return [line.partition(":")[2].strip() for line in text.splitlines()
            if line.partition(":")[0].strip() == key]


def processor_values(case, values):
    """The number of packages and the Win32_Processor values of one package."""
    if case.arm:
        return arm_processor_values(case, values)
    return case.sockets, x86_processor_values(case, values)


def arm_processor_values(case, values):
    """The number of packages the kernel exported, and the values of one from the MIDR_EL1 of
    the first processor, after checking every processor's register against the case's."""
    cpus = sorted(int(key.partition(":")[2]) for key in values if key.startswith("package:"))
    expect_equal("processors", cpus, list(range(case.sockets)))
    for cpu in cpus:
        register = values[f"midr:{cpu}"]
        if not re.fullmatch("0x[0-9a-f]{16}", register):
            raise CheckFailed(f"MIDR_EL1 of CPU {cpu}: {register!r}")
        expect_equal(f"MIDR_EL1 of CPU {cpu}", int(register, 16), case.midr)
    packages = len({values[f"package:{cpu}"] for cpu in cpus})
    midr = int(values["midr:0"], 16)
    implementer = midr >> 24
    name = ARM_IMPLEMENTERS.get(implementer, f"0x{implementer:02X}")
    expect_equal("implementer", name, case.vendor)
    description = (f"ARMv8 Implementer 0x{implementer:02X} Part 0x{(midr >> 4) & 0xFFF:03X} "
                   f"Variant {(midr >> 20) & 0xF} Revision {midr & 0xF}")
    return packages, [name.encode(), None, description.encode(), f"{midr:016X}".encode()]


def x86_processor_values(case, values):
    """The Win32_Processor values of one package, from the CPUID leaves of the first
    processor, after checking them against the case and against the kernel's own decoding
    in /proc/cpuinfo."""
    expect_equal("packages in /proc/cpuinfo", values["packages"],
                 "".join(f"{package}," for package in range(case.sockets)))
    _, ebx, ecx, edx = cpuid(values, 0, 0)
    vendor = register_text([ebx, edx, ecx]).decode()
    expect_equal("CPUID vendor", vendor, case.vendor)
    expect_equal("vendor_id in /proc/cpuinfo", set(cpuinfo_fields(values, "vendor_id")), {vendor})
    brand = register_text(cpuid(values, 0, 0x80000002) + cpuid(values, 0, 0x80000003) +
                          cpuid(values, 0, 0x80000004))
    expect_equal("CPUID brand string", brand, case.brand)
    # The kernel trims the brand string for "model name"; the program keeps it whole.
    expect_equal("model name in /proc/cpuinfo", set(cpuinfo_fields(values, "model name")),
                 {brand.strip(b" ").decode()})
    signature, _, _, features = cpuid(values, 0, 1)
    family, model, stepping = (cpuinfo_fields(values, key)[0]
                               for key in ("cpu family", "model", "stepping"))
    architecture = "Intel64" if vendor == "GenuineIntel" else "AMD64"
    for cpu in range(1, case.sockets):
        expect_equal(f"CPUID signature of CPU {cpu}", cpuid(values, cpu, 1)[0], signature)
    return [vendor.encode(), brand, f"{architecture} Family {family} Model {model} "
            f"Stepping {stepping}".encode(), f"{features:08X}{signature:08X}".encode()]


def expected_objects(case, values, files, reads_serials):
    """For each query, its objects as lists of (property, hr, vt, text or None)."""
    def read(value):
        return (0, transcript.VT_BSTR, value) if value else (0, VT_NULL, None)

    packages, processor = processor_values(case, values)
    names = [names for _, _, names in transcript.QUERIES]
    objects = [[[(name, *read(value)) for name, value in
                 zip(names[0], [f"CPU{index}".encode(), *processor])]
                for index in range(packages)]]
    for (wmi_class, _, properties) in transcript.QUERIES[1:]:
        if all(files[source] is None for source in SOURCES[wmi_class] if source):
            objects.append([])
            continue
        reads = []
        for name, source in zip(properties, SOURCES[wmi_class]):
            content = None if source is None else files[source]
            if content is not None and SMBIOS_FILES[source][2] and not reads_serials:
                reads.append((name, WBEM_E_ACCESS_DENIED, 0, None))
                continue
            text = content[:-1].decode("utf-8", "replace") if content else ""
            reads.append((name, *read(transcript.narrow(text))))
        objects.append([reads])
    return objects


def check_run(label, values, objects):
    expect_equal(f"{label}: exit code", values[f"status:{label}"], "0")
    expect_equal(f"{label}: standard error", values[f"errors:{label}"], "")
    output = bytes.fromhex(values[f"run:{label}"])
    try:
        result = transcript.parse(output, line_end="\n", objects_required=False)
    except transcript.TranscriptError as error:
        raise CheckFailed(f"{label}: {error}\n{output.decode('ascii', 'replace')}") from None
    for run, expected in zip(result.queries, objects):
        expect_equal(f"{label}: {run.wmi_class} reads",
                     [[(read.name, read.hr, read.vt) for read in reads] for reads in run.objects],
                     [[entry[:3] for entry in reads] for reads in expected])
    text = b"".join(entry[3] + b"\n" for query in objects for reads in query for entry in reads
                    if entry[3] is not None)
    expect_equal(f"{label}: comp id of {text!r}", result.comp_id, transcript.computer_id(text))
    return result


def check_description(user, values, files, reads_serials):
    """print_id's verdict: a serial number when the user reads one that is not empty (the
    cases set no placeholder), else model only."""
    status, _, output = values[f"describe:{user}"].partition(" ")
    text = bytes.fromhex(output).decode("ascii")
    expect_equal(f"print_id --describe as {user}: exit code", status, "0")
    verdicts = re.findall(r"^verdict: ([a-z ]+):", text, re.MULTILINE)
    serial = any(files[name] not in (None, b"\n")
                 for name, (_, _, root_only) in SMBIOS_FILES.items() if root_only)
    expect_equal(f"print_id --describe as {user}: verdict in {text!r}", verdicts,
                 ["serial number" if serial and reads_serials else "model only"])
    return verdicts[0]


def check_case(case, kernel, initramfs):
    """Root's ID, after checking every run."""
    started = time.monotonic()
    values = boot(case, kernel, initramfs)
    files = exported_files(case, values)
    expect_equal("systemd-tmpfiles exit code and errors", values["tmpfiles"], "0 ")
    runs = {label: check_run(label, values, expected_objects(case, values, files, serials))
            for label, serials in RUNS}
    ids = {label: run.comp_id for label, run in runs.items()}
    expect_equal("the member's ID against root's", ids["member"], ids["root"])
    verdicts = ""
    if case.arm:
        expect_equal("the other user's processor reads against root's",
                     runs["other"].queries[0], runs["root"].queries[0])
        verdicts = ", verdicts " + " / ".join(
            check_description(user, values, files, serials) for user, serials in DESCRIBE_RUNS)
    print(f"ok: {case.name}: {len(RUNS)} runs as expected, root's ID {ids['root']}, "
          f"other user's {ids['other']}{verdicts} ({time.monotonic() - started:.1f} s)")
    return ids["root"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for arch in ("amd64", "arm64"):
        parser.add_argument(f"--{arch}", nargs=2, required=True,
                            metavar=("VMLINUZ", "INITRAMFS"))
    arguments = parser.parse_args()
    failed = 0
    root_ids = {}
    arm_started = None
    for case in CASES:
        if case.arm and arm_started is None:
            arm_started = time.monotonic()
        try:
            root_ids[case.name] = check_case(case, *getattr(arguments, case.arch))
        except (CheckFailed, KeyError, subprocess.SubprocessError) as error:
            print(f"FAIL: {case.name}: {type(error).__name__}: {error}")
            failed += 1
    models = [root_ids.get(name) for name in ARM_MODELS_WITHOUT_SMBIOS]
    if None not in models and len(set(models)) != len(models):
        print(f"FAIL: {' and '.join(ARM_MODELS_WITHOUT_SMBIOS)} get the same ID {models[0]}")
        failed += 1
    print(f"--- arm64 cases: {time.monotonic() - arm_started:.0f} s")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
