#include <platform/posix/hardware/processor.h>

#include <support/fake_tree.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ostream>
#include <string>
#include <variant>

namespace {

using platform::hardware::CpuidRegisters;
using platform::hardware::DecodeCpuid;
using platform::hardware::DecodeMidr;
using platform::hardware::FileContent;
using platform::hardware::FileReader;
using platform::hardware::MidrProcessor;
using platform::hardware::ParseCpuinfo;
using platform::hardware::ParseMidrAttribute;
using platform::hardware::ProcessorIdentity;
using platform::hardware::UnreadableProcessorFile;
using test_support::FailingReader;
using test_support::FakeTree;

// Lays text out in registers the way the processor does: four bytes per register, first
// byte lowest.
template <std::size_t Count>
std::array<std::uint32_t, Count> Registers(const std::string& text)
{
    std::array<std::uint32_t, Count> registers{};
    std::memcpy(registers.data(), text.data(), std::min(text.size(), Count * 4));
    return registers;
}

CpuidRegisters Cpu(const char* vendor, std::uint32_t signature, std::uint32_t features)
{
    return {Registers<3>(vendor), signature, features, std::nullopt};
}

struct Signature {
    const char* name;
    std::variant<CpuidRegisters, std::uint64_t> registers; // CPUID's, or MIDR_EL1
    const wchar_t* description;
    const wchar_t* processorId;
};

void PrintTo(const Signature& value, std::ostream* out)
{
    *out << value.name;
}

class CpuidSignatureTest : public ::testing::TestWithParam<Signature> {};

ProcessorIdentity Decode(const CpuidRegisters& registers)
{
    return DecodeCpuid(registers);
}
ProcessorIdentity Decode(std::uint64_t midr)
{
    return DecodeMidr(midr);
}

TEST_P(CpuidSignatureTest, GivesDescriptionAndProcessorId)
{
    const ProcessorIdentity identity =
        std::visit([](const auto& registers) { return Decode(registers); }, GetParam().registers);
    EXPECT_EQ(identity.description, GetParam().description);
    EXPECT_EQ(identity.processorId, GetParam().processorId);
}

INSTANTIATE_TEST_SUITE_P(
    Processors, CpuidSignatureTest,
    ::testing::Values(
        Signature{"IntelFamily6", Cpu("GenuineIntel", 0x000906EA, 0xBFEBFBFF),
                  L"Intel64 Family 6 Model 158 Stepping 10", L"BFEBFBFF000906EA"},
        Signature{"AmdExtendedFamily", Cpu("AuthenticAMD", 0x00B00F21, 0x178BFBFF),
                  L"AMD64 Family 26 Model 2 Stepping 1", L"178BFBFF00B00F21"},
        Signature{"AmdFamily15ExtendedModel", Cpu("AuthenticAMD", 0x00830F10, 0x178BFBFF),
                  L"AMD64 Family 23 Model 49 Stepping 0", L"178BFBFF00830F10"},
        Signature{"IntelFamily15", Cpu("GenuineIntel", 0x00000F43, 0xBFEBFBFF),
                  L"Intel64 Family 15 Model 4 Stepping 3", L"BFEBFBFF00000F43"},
        Signature{"ExtendedFieldsIgnoredBelowFamily6", Cpu("GenuineIntel", 0x0FF10543, 0x0000ABCD),
                  L"Intel64 Family 5 Model 4 Stepping 3", L"0000ABCD0FF10543"},
        Signature{"ExtendedFamilyIgnoredForFamily6", Cpu("GenuineIntel", 0x0FFF06A0, 0),
                  L"Intel64 Family 6 Model 250 Stepping 0", L"000000000FFF06A0"},
        Signature{"OtherVendorIsAmd64", Cpu("HygonGenuine", 0x00900F02, 0x178BFBFF),
                  L"AMD64 Family 24 Model 0 Stepping 2", L"178BFBFF00900F02"},
        Signature{"CortexA72", std::uint64_t{0x410FD083},
                  L"ARMv8 Implementer 0x41 Part 0xD08 Variant 0 Revision 3", L"00000000410FD083"},
        Signature{"NeoverseN1", std::uint64_t{0x413FD0C1},
                  L"ARMv8 Implementer 0x41 Part 0xD0C Variant 3 Revision 1", L"00000000413FD0C1"},
        Signature{"CortexA53", std::uint64_t{0x410FD034},
                  L"ARMv8 Implementer 0x41 Part 0xD03 Variant 0 Revision 4", L"00000000410FD034"},
        Signature{"MidrAllZero", std::uint64_t{0},
                  L"ARMv8 Implementer 0x00 Part 0x000 Variant 0 Revision 0", L"0000000000000000"},
        Signature{"MidrFieldsAtTheirMaximum", std::uint64_t{0xFFFFFFFF},
                  L"ARMv8 Implementer 0xFF Part 0xFFF Variant 15 Revision 15", L"00000000FFFFFFFF"},
        // Architecture (bits 19:16) and the upper word reach only the processor ID.
        Signature{"MidrFieldsApartFromTheirNeighbours", std::uint64_t{0x8000000051A71AF2},
                  L"ARMv8 Implementer 0x51 Part 0x1AF Variant 10 Revision 2", L"8000000051A71AF2"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CpuidTextTest, VendorAndBrandRunToTheFirstNulWithPaddingKept)
{
    CpuidRegisters registers = Cpu("GenuineIntel", 0x000906EA, 0xBFEBFBFF);
    registers.brand = Registers<12>("  Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz   ");
    ProcessorIdentity identity = DecodeCpuid(registers);
    EXPECT_EQ(identity.manufacturer, L"GenuineIntel");
    EXPECT_EQ(identity.name, L"  Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz   ");

    registers.brand = Registers<12>(std::string("AMD EPYC\0left over", 18));
    EXPECT_EQ(DecodeCpuid(registers).name, L"AMD EPYC");
    registers.brand = Registers<12>(std::string(48, 'x'));
    EXPECT_EQ(DecodeCpuid(registers).name, std::wstring(48, L'x'));
    registers.brand = Registers<12>("");
    EXPECT_EQ(DecodeCpuid(registers).name, std::nullopt);
    registers.brand.reset();
    EXPECT_EQ(DecodeCpuid(registers).name, std::nullopt);

    registers.vendor = Registers<3>(std::string("Odd\0Vendor", 10));
    identity = DecodeCpuid(registers);
    EXPECT_EQ(identity.manufacturer, L"Odd");
    EXPECT_EQ(identity.description, L"AMD64 Family 6 Model 158 Stepping 10");
}

TEST(CpuinfoTest, TakesTheFirstProcessorsVendorAndModelName)
{
    const ProcessorIdentity identity =
        ParseCpuinfo("processor\t: 0\nvendor_id\t: AuthenticAMD\nmodel name\t: AMD EPYC 7B13  \n\n"
                     "processor\t: 1\nvendor_id\t: Other\nmodel name\t: Other\n");
    EXPECT_EQ(identity,
              (ProcessorIdentity{L"AuthenticAMD", L"AMD EPYC 7B13  ", std::nullopt, std::nullopt}));
    EXPECT_EQ(ParseCpuinfo("processor\t: 0\nCPU implementer\t: 0x41\nmodel name\t:\n"),
              ProcessorIdentity{});
}

TEST(MidrTest, ImplementerNamesAreFrozenAndNameIsNull)
{
    const struct {
        std::uint64_t implementer;
        const wchar_t* manufacturer;
    } names[] = {
        {0x40, L"0x40"},   {0x41, L"ARM"},      {0x42, L"Broadcom"},  {0x43, L"Cavium"},
        {0x44, L"0x44"},   {0x46, L"Fujitsu"},  {0x48, L"HiSilicon"}, {0x4E, L"NVIDIA"},
        {0x50, L"APM"},    {0x51, L"Qualcomm"}, {0x53, L"Samsung"},   {0x61, L"Apple"},
        {0xC0, L"Ampere"}, {0xC1, L"0xC1"},     {0x0A, L"0x0A"},
    };
    for (const auto& [implementer, manufacturer] : names)
        EXPECT_EQ(DecodeMidr(implementer << 24).manufacturer, manufacturer) << implementer;
    EXPECT_EQ(DecodeMidr(0x410FD083).name, std::nullopt);
}

TEST(MidrTest, AttributeIsTheKernelsHexAndNothingElse)
{
    EXPECT_EQ(ParseMidrAttribute("0x00000000410fd083\n"), 0x410FD083U);
    EXPECT_EQ(ParseMidrAttribute("0x8000000051A01AF0"), 0x8000000051A01AF0U);
    for (const char* malformed :
         {"", "\n", "00000000410fd083\n", "0x410fd083\n", "0x000000000410fd083\n",
          "0X00000000410fd083\n", "0x00000000410fd08g\n", "0x-0000000410fd083\n",
          " 0x00000000410fd083\n", "0x00000000410fd083\n\n", "0x00000000410fd083 \n"})
        EXPECT_EQ(ParseMidrAttribute(malformed), std::nullopt) << malformed;
}

// cpu0's file first, the register read only without it, /proc/cpuinfo only without both;
// a file that is there but cannot be used fails rather than fall through to another value.
TEST(MidrTest, MachineTakesCpu0sFileThenTheRegisterThenCpuinfo)
{
    const auto noRegister = [] { return std::optional<std::uint64_t>(); };
    const auto neoverseN1Register = [] { return std::optional<std::uint64_t>(0x413FD0C1); };
    const FakeTree tree;
    const FileReader files;
    tree.Write("proc/cpuinfo", "processor\t: 0\nmodel name\t: Board CPU\n");
    EXPECT_EQ(MidrProcessor(tree.Root(), files, noRegister),
              (ProcessorIdentity{std::nullopt, L"Board CPU", std::nullopt, std::nullopt}));
    EXPECT_EQ(MidrProcessor(tree.Root(), files, neoverseN1Register), DecodeMidr(0x413FD0C1));

    const std::string cpus = "sys/devices/system/cpu/";
    tree.Write(cpus + "cpu4/regs/identification/midr_el1", "0x00000000410fd0c0\n");
    EXPECT_EQ(MidrProcessor(tree.Root(), files, noRegister).processorId, std::nullopt);
    tree.Write(cpus + "cpu0/regs/identification/midr_el1", "0x00000000410fd034\n");
    EXPECT_EQ(MidrProcessor(tree.Root(), files, neoverseN1Register), DecodeMidr(0x410FD034));

    for (const FileContent::Status status :
         {FileContent::Status::Denied, FileContent::Status::Failed}) {
        const FailingReader failing({"midr_el1"}, status);
        EXPECT_THROW((void)MidrProcessor(tree.Root(), failing, neoverseN1Register),
                     UnreadableProcessorFile);
    }
    tree.Write(cpus + "cpu0/regs/identification/midr_el1", "\n");
    EXPECT_THROW((void)MidrProcessor(tree.Root(), files, neoverseN1Register),
                 UnreadableProcessorFile);
}

} // namespace
