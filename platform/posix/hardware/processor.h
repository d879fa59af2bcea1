// The Win32_Processor identity strings: on x86 as Windows derives them from the processor's
// CPUID registers; on 64-bit ARM from the Main ID Register (MIDR_EL1), in a form of this
// project's own.
#pragma once

#include "file_reader.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::hardware {

struct CpuidRegisters {
    // Leaf 0 EBX, EDX, ECX: the order in which the vendor string's bytes run.
    std::array<std::uint32_t, 3> vendor{};
    std::uint32_t signature = 0; // leaf 1 EAX
    std::uint32_t features = 0;  // leaf 1 EDX
    // Leaves 0x80000002 to 0x80000004, EAX EBX ECX EDX each; empty when the processor
    // has no brand string.
    std::optional<std::array<std::uint32_t, 12>> brand;
};

// Each value is empty where the processor gives nothing for it (a null property).
struct ProcessorIdentity {
    std::optional<std::wstring> manufacturer;
    std::optional<std::wstring> name;
    std::optional<std::wstring> description;
    std::optional<std::wstring> processorId;

    bool operator==(const ProcessorIdentity&) const = default;
};

ProcessorIdentity DecodeCpuid(const CpuidRegisters& registers);
// The implementer's name as the manufacturer (or "0x" and its two hex digits where the
// implementer is not one this project names), no name, the register's fields as the
// description and the register as the processor ID. These strings enter stored IDs.
ProcessorIdentity DecodeMidr(std::uint64_t midr);
// MIDR_EL1 as the kernel writes it in sysfs: "0x", 16 hex digits, a newline. Empty for
// anything else.
std::optional<std::uint64_t> ParseMidrAttribute(std::string_view text);
// What /proc/cpuinfo offers for processors whose registers cannot be read: the first
// "vendor_id" as the manufacturer and the first "model name" as the name.
ProcessorIdentity ParseCpuinfo(std::string_view cpuinfo);
// ParseCpuinfo of <root>/proc/cpuinfo; nothing where it cannot be read.
ProcessorIdentity CpuinfoProcessor(const std::filesystem::path& root, const FileReader& files);

// A file that the processor's values come from is there but could not be read (error is
// its errno), or holds no value of the kind it always holds (error is 0).
struct UnreadableProcessorFile {
    int error = 0;
};

// A 64-bit ARM processor: cpu0's MIDR_EL1 from <root>/sys, or where that file is missing
// the register as readRegister gives it, or where that gives nothing CpuinfoProcessor.
// Throws UnreadableProcessorFile when the file is there but cannot be read or is malformed.
using RegisterRead = std::optional<std::uint64_t> (*)();
ProcessorIdentity MidrProcessor(const std::filesystem::path& root, const FileReader& files,
                                RegisterRead readRegister);

// This machine's processor, from the source of this architecture (processor_<arch>.cpp):
// CPUID on x86; MIDR_EL1 on 64-bit ARM; elsewhere, and where those cannot be read,
// <root>/proc/cpuinfo. Throws UnreadableProcessorFile.
ProcessorIdentity MachineProcessor(const std::filesystem::path& root, const FileReader& files);

} // namespace platform::hardware
