// The processor of an x86 machine, from the CPUID instruction.
#include "processor.h"

#include <cpuid.h>

namespace platform::hardware {

namespace {

std::optional<CpuidRegisters> ReadCpuid()
{
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    CpuidRegisters registers;
    if (__get_cpuid(0, &eax, &ebx, &ecx, &edx) == 0) {
        return std::nullopt;
    }
    registers.vendor = {ebx, edx, ecx};
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return std::nullopt;
    }
    registers.signature = eax;
    registers.features = edx;
    std::array<std::uint32_t, 12> brand{};
    for (unsigned leaf = 0; leaf < 3; ++leaf) {
        if (__get_cpuid(0x80000002U + leaf, &eax, &ebx, &ecx, &edx) == 0) {
            return registers;
        }
        const std::size_t first = std::size_t{leaf} * 4;
        brand[first] = eax;
        brand[first + 1] = ebx;
        brand[first + 2] = ecx;
        brand[first + 3] = edx;
    }
    registers.brand = brand;
    return registers;
}

} // namespace

ProcessorIdentity MachineProcessor(const std::filesystem::path& root, const FileReader& files)
{
    if (const std::optional<CpuidRegisters> registers = ReadCpuid()) {
        return DecodeCpuid(*registers);
    }
    return CpuinfoProcessor(root, files);
}

} // namespace platform::hardware
