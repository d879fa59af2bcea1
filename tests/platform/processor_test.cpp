#include <platform/posix/hardware/processor.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <ostream>
#include <string>

namespace {

using platform::hardware::CpuidRegisters;
using platform::hardware::DecodeCpuid;
using platform::hardware::ParseCpuinfo;
using platform::hardware::ProcessorIdentity;

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
    CpuidRegisters registers;
    const wchar_t* description;
    const wchar_t* processorId;
};

void PrintTo(const Signature& value, std::ostream* out)
{
    *out << value.name;
}

class CpuidSignatureTest : public ::testing::TestWithParam<Signature> {};

TEST_P(CpuidSignatureTest, GivesDescriptionAndProcessorId)
{
    const ProcessorIdentity identity = DecodeCpuid(GetParam().registers);
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
                  L"AMD64 Family 24 Model 0 Stepping 2", L"178BFBFF00900F02"}),
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

} // namespace
