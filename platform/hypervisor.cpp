#include <platform/hypervisor.h>

#include <array>
#include <cstdint>
#include <cstring>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <intrin.h>
#define PLATFORM_HAS_CPUID 1
#elif defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define PLATFORM_HAS_CPUID 1
#endif

namespace platform {

#ifdef PLATFORM_HAS_CPUID
namespace {

// EAX, EBX, ECX, EDX of a CPUID leaf, asked without checking the highest leaf: the
// hypervisor leaves lie above it.
std::array<std::uint32_t, 4> Cpuid(std::uint32_t leaf)
{
#ifdef _MSC_VER
    int registers[4];
    __cpuid(registers, static_cast<int>(leaf));
    return {static_cast<std::uint32_t>(registers[0]), static_cast<std::uint32_t>(registers[1]),
            static_cast<std::uint32_t>(registers[2]), static_cast<std::uint32_t>(registers[3])};
#else
    std::uint32_t eax = 0;
    std::uint32_t ebx = 0;
    std::uint32_t ecx = 0;
    std::uint32_t edx = 0;
    __cpuid(leaf, eax, ebx, ecx, edx);
    return {eax, ebx, ecx, edx};
#endif
}

constexpr std::uint32_t kHypervisorBit = 1U << 31;
constexpr std::uint32_t kHypervisorLeaf = 0x40000000U;

} // namespace

Hypervisor DetectHypervisor()
{
    if ((Cpuid(1)[2] & kHypervisorBit) == 0) {
        return {false, {}};
    }
    // The vendor string is EBX, ECX, EDX in that order, padded with NULs.
    const std::array<std::uint32_t, 4> vendorLeaf = Cpuid(kHypervisorLeaf);
    char vendor[12];
    std::memcpy(vendor, &vendorLeaf[1], 4);
    std::memcpy(vendor + 4, &vendorLeaf[2], 4);
    std::memcpy(vendor + 8, &vendorLeaf[3], 4);
    std::size_t length = sizeof vendor;
    while (length > 0 && vendor[length - 1] == '\0')
        --length;
    return {true, std::string(vendor, length)};
}

#else

Hypervisor DetectHypervisor()
{
    return {false, {}};
}

#endif

} // namespace platform
