"""Boots a real kernel under QEMU (TCG, no KVM) once per case of CASES, with the case's
SMBIOS strings and processors, and checks what vm_init.sh reports from inside:

  - the SMBIOS files the kernel exported, and their modes, against what the case configured
    (the kernel's rules: a string of spaces only or an empty one becomes an empty file, other
    strings keep every byte, a missing table gives no files, the serials are root's only);
  - every run of the program (root; a user outside the group computerid; after the shipped
    serials recipe, a member of that group and the other user again): exit code 0, nothing
    on standard error, the whole transcript line by line, each property's status and type,
    and the ID against the SHA-256 of the text the test builds itself from those files and
    from the processors' CPUID leaves, read through the kernel's cpuid driver.

  vm_test.py --kernel VMLINUZ --initramfs INITRAMFS
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "windows"))
import transcript  # noqa: E402  (shared with the Windows test)

BOOT_TIMEOUT = 180
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


@dataclass
class Case:
    name: str
    cpu: str
    brand: bytes  # the processor's brand string, set as QEMU's model-id
    vendor: str
    sockets: int
    smbios: dict = field(default_factory=dict)  # table type: {field: bytes}


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
]


class CheckFailed(Exception):
    pass


def qemu_command(case, kernel, initramfs, report):
    def option(value):
        return value.replace(b",", b",,")

    command = [b"qemu-system-x86_64", b"-machine", b"accel=tcg", b"-m", b"256",
               b"-nodefaults", b"-display", b"none", b"-no-reboot",
               b"-kernel", kernel.encode(), b"-initrd", initramfs.encode(),
               b"-append", b"console=ttyS0 panic=-1 quiet",
               b"-serial", b"null", b"-serial", b"file:" + report.encode(),
               b"-cpu", case.cpu.encode() + b",model-id=" + option(case.brand),
               b"-smp", f"{case.sockets},sockets={case.sockets},cores=1".encode(),
               b"-uuid", b"4c4c4544-0042-3010-8058-b2c04f4d3132"]
    for table, fields in sorted(case.smbios.items()):
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
    files = {}
    for name, (table, qemu_field, root_only) in SMBIOS_FILES.items():
        mode = values[f"mode:boot:{name}"]
        if table not in case.smbios:
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
                         "400:root:root")
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

    processor = processor_values(case, values)
    names = [names for _, _, names in transcript.QUERIES]
    objects = [[[(name, *read(value)) for name, value in
                 zip(names[0], [f"CPU{index}".encode(), *processor])]
                for index in range(case.sockets)]]
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
    return result.comp_id


def check_case(case, kernel, initramfs):
    started = time.monotonic()
    values = boot(case, kernel, initramfs)
    files = exported_files(case, values)
    expect_equal("systemd-tmpfiles exit code and errors", values["tmpfiles"], "0 ")
    ids = {label: check_run(label, values, expected_objects(case, values, files, serials))
           for label, serials in RUNS}
    expect_equal("the member's ID against root's", ids["member"], ids["root"])
    print(f"ok: {case.name}: {len(RUNS)} runs as expected, root's ID {ids['root']}, "
          f"other user's {ids['other']} ({time.monotonic() - started:.1f} s)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kernel", required=True)
    parser.add_argument("--initramfs", required=True)
    arguments = parser.parse_args()
    failed = 0
    for case in CASES:
        try:
            check_case(case, arguments.kernel, arguments.initramfs)
        except (CheckFailed, KeyError, subprocess.SubprocessError) as error:
            print(f"FAIL: {case.name}: {type(error).__name__}: {error}")
            failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
