#include "processor.h"

#include "../unicode.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <system_error>

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

struct Implementer {
    std::uint8_t code;
    const char* name;
};

// Frozen: a name added or changed here changes the IDs of every machine of that implementer.
constexpr Implementer kImplementers[] = {
    {0x41, "ARM"},       {0x42, "Broadcom"}, {0x43, "Cavium"}, {0x46, "Fujitsu"},
    {0x48, "HiSilicon"}, {0x4E, "NVIDIA"},   {0x50, "APM"},    {0x51, "Qualcomm"},
    {0x53, "Samsung"},   {0x61, "Apple"},    {0xC0, "Ampere"},
};

std::wstring ImplementerName(unsigned code)
{
    for (const Implementer& implementer : kImplementers) {
        if (implementer.code == code) {
            return WidenUtf8(implementer.name);
        }
    }
    char text[5];
    (void)std::snprintf(text, sizeof text, "0x%02X", code);
    return WidenUtf8(text);
}

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

ProcessorIdentity DecodeMidr(std::uint64_t midr)
{
    const auto implementer = static_cast<unsigned>((midr >> 24) & 0xFFU);
    const auto variant = static_cast<unsigned>((midr >> 20) & 0xFU);
    const auto partNumber = static_cast<unsigned>((midr >> 4) & 0xFFFU);
    const auto revision = static_cast<unsigned>(midr & 0xFU);
    ProcessorIdentity identity;
    identity.manufacturer = ImplementerName(implementer);
    // Four fields of at most three digits each and the fixed words never fill the buffer.
    char description[64];
    (void)std::snprintf(description, sizeof description,
                        "ARMv8 Implementer 0x%02X Part 0x%03X Variant %u Revision %u", implementer,
                        partNumber, variant, revision);
    identity.description = WidenUtf8(description);
    char processorId[17];
    (void)std::snprintf(processorId, sizeof processorId, "%016llX",
                        static_cast<unsigned long long>(midr));
    identity.processorId = WidenUtf8(processorId);
    return identity;
}

std::optional<std::uint64_t> ParseMidrAttribute(std::string_view text)
{
    constexpr std::string_view prefix = "0x";
    constexpr std::size_t digits = 16;
    if (text.ends_with('\n')) {
        text.remove_suffix(1);
    }
    if (text.size() != prefix.size() + digits || !text.starts_with(prefix)) {
        return std::nullopt;
    }
    text.remove_prefix(prefix.size());
    std::uint64_t value = 0;
    const auto [last, failure] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (failure != std::errc() || last != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

ProcessorIdentity ParseCpuinfo(std::string_view cpuinfo)
{
    ProcessorIdentity identity;
    identity.manufacturer = CpuinfoField(cpuinfo, "vendor_id");
    identity.name = CpuinfoField(cpuinfo, "model name");
    return identity;
}

ProcessorIdentity CpuinfoProcessor(const std::filesystem::path& root, const FileReader& files)
{
    const FileContent cpuinfo = files.Read(root / "proc/cpuinfo");
    return ParseCpuinfo(cpuinfo.status == FileContent::Status::Read ? cpuinfo.bytes
                                                                    : std::string());
}

ProcessorIdentity MidrProcessor(const std::filesystem::path& root, const FileReader& files,
                                RegisterRead readRegister)
{
    // cpu0's register rather than the running core's: the cores of a big.LITTLE machine
    // have registers of their own, and the ID must not depend on where the program runs.
    const FileContent attribute =
        files.Read(root / "sys/devices/system/cpu/cpu0/regs/identification/midr_el1");
    if (attribute.status == FileContent::Status::Missing) {
        if (const std::optional<std::uint64_t> midr = readRegister()) {
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
