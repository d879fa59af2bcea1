// The processor of a 64-bit ARM machine, from its Main ID Register (MIDR_EL1), which the
// kernel lets every user read, so root and other users get the same values.
#include "processor.h"

#include <asm/hwcap.h>
#include <sys/auxv.h>

namespace platform::hardware {

namespace {

// cpu0's register rather than the running core's: the cores of a big.LITTLE machine have
// registers of their own, and the ID must not depend on where the program runs.
constexpr const char* kMidrAttribute = "sys/devices/system/cpu/cpu0/regs/identification/midr_el1";

// The read that the kernel emulates for user space where it sets HWCAP_CPUID; without
// that flag the instruction would trap.
std::optional<std::uint64_t> EmulatedMidr()
{
    if ((::getauxval(AT_HWCAP) & HWCAP_CPUID) == 0) {
        return std::nullopt;
    }
    std::uint64_t midr = 0;
    asm volatile("mrs %0, midr_el1" : "=r"(midr));
    return midr;
}

} // namespace

ProcessorIdentity MachineProcessor(const std::filesystem::path& root, const FileReader& files)
{
    const FileContent attribute = files.Read(root / kMidrAttribute);
    if (attribute.status == FileContent::Status::Missing) {
        if (const std::optional<std::uint64_t> midr = EmulatedMidr()) {
            return DecodeMidr(*midr);
        }
        return CpuinfoProcessor(root, files);
    }
    // Another value in its place, or none, would make another machine of this one.
    if (attribute.status != FileContent::Status::Read) {
        throw UnreadableProcessorFile{attribute.error};
    }
    const std::optional<std::uint64_t> midr = ParseMidrAttribute(attribute.bytes);
    if (!midr) {
        throw UnreadableProcessorFile{};
    }
    return DecodeMidr(*midr);
}

} // namespace platform::hardware
