// The Win32_Processor identity strings, as Windows derives them from the processor's
// CPUID registers.
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
// What /proc/cpuinfo offers for processors without CPUID: the first "vendor_id" as the
// manufacturer and the first "model name" as the name.
ProcessorIdentity ParseCpuinfo(std::string_view cpuinfo);
// This machine's processor: the CPUID instruction where there is one, else
// <root>/proc/cpuinfo.
ProcessorIdentity MachineProcessor(const std::filesystem::path& root, const FileReader& files);

} // namespace platform::hardware
