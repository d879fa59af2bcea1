// The processor of a 64-bit ARM machine, from its Main ID Register (MIDR_EL1), which the
// kernel lets every user read, so root and other users get the same values.
#include "processor.h"

#include <asm/hwcap.h>
#include <sys/auxv.h>

namespace platform::hardware {

namespace {

// The read that the kernel emulates for user space where it sets HWCAP_CPUID; without
// that flag the instruction would trap. It gives the running core's register.
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
    return MidrProcessor(root, files, EmulatedMidr);
}

} // namespace platform::hardware
