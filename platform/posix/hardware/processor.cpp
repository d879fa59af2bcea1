#include "processor.h"

#include "../unicode.h"

#include <cstdio>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace platform::hardware {

namespace {

// The bytes of the registers in memory order, up to the first NUL; empty text is null.
template <std::size_t Count>
std::optional<std::wstring> RegisterText(const std::array<std::uint32_t, Count>& registers)
{
    std::string bytes;
    for (const std::uint32_t value : registers) {
        for (int shift = 0; shift < 32; shift += 8) {
            const auto byte = static_cast<char>((value >> shift) & 0xFFU);
            if (byte == '\0') {
                return bytes.empty() ? std::nullopt : std::optional(WidenUtf8(bytes));
            }
            bytes.push_back(byte);
        }
    }
    return bytes.empty() ? std::nullopt : std::optional(WidenUtf8(bytes));
}

std::wstring Description(const std::optional<std::wstring>& vendor, std::uint32_t signature)
{
    const std::uint32_t stepping = signature & 0xFU;
    const std::uint32_t baseModel = (signature >> 4) & 0xFU;
    const std::uint32_t baseFamily = (signature >> 8) & 0xFU;
    const std::uint32_t extendedModel = (signature >> 16) & 0xFU;
    const std::uint32_t extendedFamily = (signature >> 20) & 0xFFU;
    const std::uint32_t family = baseFamily == 0xF ? baseFamily + extendedFamily : baseFamily;
    const std::uint32_t model =
        baseFamily == 0x6 || baseFamily == 0xF ? baseModel + (extendedModel << 4) : baseModel;
    const char* architecture = vendor == L"GenuineIntel" ? "Intel64" : "AMD64";
    // Three numbers below 2^9 and the architecture never fill the buffer.
    char text[64];
    (void)std::snprintf(text, sizeof text, "%s Family %u Model %u Stepping %u", architecture,
                        static_cast<unsigned>(family), static_cast<unsigned>(model),
                        static_cast<unsigned>(stepping));
    return WidenUtf8(text);
}

std::wstring ProcessorId(std::uint32_t features, std::uint32_t signature)
{
    // Sixteen digits and the terminator: exactly the buffer.
    char text[17];
    (void)std::snprintf(text, sizeof text, "%08X%08X", static_cast<unsigned>(features),
                        static_cast<unsigned>(signature));
    return WidenUtf8(text);
}

std::optional<std::wstring> CpuinfoField(std::string_view cpuinfo, std::string_view key)
{
    while (!cpuinfo.empty()) {
        const std::size_t end = cpuinfo.find('\n');
        std::string_view line = cpuinfo.substr(0, end);
        cpuinfo = end == std::string_view::npos ? std::string_view() : cpuinfo.substr(end + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        std::string_view name = line.substr(0, colon);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) {
            name.remove_suffix(1);
        }
        if (name != key) {
            continue;
        }
        std::string_view value = line.substr(colon + 1);
        if (value.starts_with(' ')) {
            value.remove_prefix(1);
        }
        return value.empty() ? std::nullopt : std::optional(WidenUtf8(value));
    }
    return std::nullopt;
}

#if defined(__x86_64__) || defined(__i386__)
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
#endif

} // namespace

ProcessorIdentity DecodeCpuid(const CpuidRegisters& registers)
{
    ProcessorIdentity identity;
    identity.manufacturer = RegisterText(registers.vendor);
    if (registers.brand) {
        identity.name = RegisterText(*registers.brand);
    }
    identity.description = Description(identity.manufacturer, registers.signature);
    identity.processorId = ProcessorId(registers.features, registers.signature);
    return identity;
}

ProcessorIdentity ParseCpuinfo(std::string_view cpuinfo)
{
    ProcessorIdentity identity;
    identity.manufacturer = CpuinfoField(cpuinfo, "vendor_id");
    identity.name = CpuinfoField(cpuinfo, "model name");
    return identity;
}

ProcessorIdentity MachineProcessor(const std::filesystem::path& root, const FileReader& files)
{
#if defined(__x86_64__) || defined(__i386__)
    if (const std::optional<CpuidRegisters> registers = ReadCpuid()) {
        return DecodeCpuid(*registers);
    }
#endif
    const FileContent cpuinfo = files.Read(root / "proc/cpuinfo");
    return ParseCpuinfo(cpuinfo.status == FileContent::Status::Read ? cpuinfo.bytes
                                                                    : std::string());
}

} // namespace platform::hardware
