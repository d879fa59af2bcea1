#include "wmi_client.h"

#include <support/fake_tree.h>

#include <computer_id/hardware_queries.h>

#include <platform/posix/hardware/hardware_provider.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#if defined(__aarch64__)
#include <asm/hwcap.h>
#include <sys/auxv.h>
#endif

namespace {

using platform::hardware::DecodeMidr;
using platform::hardware::FileContent;
using platform::hardware::FileReader;
using platform::hardware::HardwareProvider;
using platform::hardware::ProcessorIdentity;
using platform_test::Connection;
using platform_test::Failed;
using platform_test::Null;
using platform_test::Objects;
using platform_test::Text;
using test_support::FailingReader;
using test_support::FakeTree;

// The inventory's queries as the library sends them.
std::wstring QueryText(std::size_t index)
{
    const std::string_view text = Lib_ComputerID::kQueryTexts[index];
    return {text.begin(), text.end()};
}
std::vector<const wchar_t*> PropertyNames(std::size_t index)
{
    const auto properties = Lib_ComputerID::kHardwareQueries[index].Properties();
    return {properties.begin(), properties.end()};
}
const std::wstring processorQueryText = QueryText(0);
const std::wstring baseBoardQueryText = QueryText(1);
const std::wstring biosQueryText = QueryText(2);
const wchar_t* const processorQuery = processorQueryText.c_str();
const wchar_t* const baseBoardQuery = baseBoardQueryText.c_str();
const wchar_t* const biosQuery = biosQueryText.c_str();
const std::vector<const wchar_t*> processorNames = PropertyNames(0);
const std::vector<const wchar_t*> baseBoardNames = PropertyNames(1);
const std::vector<const wchar_t*> biosNames = PropertyNames(2);

const ProcessorIdentity xeon{L"GenuineIntel", L"Intel(R) Xeon(R) CPU   ",
                             L"Intel64 Family 6 Model 158 Stepping 10", std::nullopt};

class HardwareProviderTest : public ::testing::Test {
protected:
    // Connects to a provider over the tree as it is now and collects what the query gives.
    Objects
    Run(const wchar_t* query, const std::vector<const wchar_t*>& names,
        const std::shared_ptr<const FileReader>& files = std::make_shared<const FileReader>()) const
    {
        const HardwareProvider provider(tree.Root(), files, xeon);
        return Connection(provider).Collect(query, names);
    }

    HRESULT QueryStatus(const wchar_t* query, const std::shared_ptr<const FileReader>& files) const
    {
        return QueryStatus(HardwareProvider(tree.Root(), files, xeon), query);
    }

    static HRESULT QueryStatus(const HardwareProvider& provider, const wchar_t* query)
    {
        IEnumWbemClassObject* enumerator = nullptr;
        const HRESULT hr = Connection(provider).Exec(query, &enumerator);
        if (enumerator != nullptr)
            enumerator->Release();
        return hr;
    }

    void FullSmbios() const
    {
        tree.Dmi("board_serial", "MB-1234  \n");
        tree.Dmi("board_vendor", "ASUSTeK COMPUTER INC.\n");
        tree.Dmi("board_name", "PRIME B450M-A\n");
        tree.Dmi("bios_vendor", "American Megatrends Inc.\n");
        tree.Dmi("product_serial", "System Serial Number\n");
    }

    FakeTree tree;
};

TEST_F(HardwareProviderTest, FullSmbiosGivesOneBoardAndOneBios)
{
    FullSmbios();
    EXPECT_EQ(Run(baseBoardQuery, baseBoardNames),
              (Objects{{Text(L"MB-1234  "), Text(L"ASUSTeK COMPUTER INC."), Text(L"PRIME B450M-A"),
                        Null(), Null()}}));
    EXPECT_EQ(Run(biosQuery, biosNames),
              (Objects{{Text(L"American Megatrends Inc."), Text(L"System Serial Number")}}));
}

TEST_F(HardwareProviderTest, WithoutSmbiosBoardAndBiosHaveNoObject)
{
    EXPECT_EQ(Run(baseBoardQuery, baseBoardNames), Objects{});
    EXPECT_EQ(Run(biosQuery, biosNames), Objects{});
}

// A real kernel's tree for firmware without a type 2 table (seen under QEMU without
// -smbios type=2): the folder is there, the board's files are not.
TEST_F(HardwareProviderTest, BoardWithoutItsTableHasNoObject)
{
    tree.Dmi("bios_vendor", "SeaBIOS\n");
    tree.Dmi("product_serial", "\n");
    tree.Dmi("sys_vendor", "QEMU\n");
    EXPECT_EQ(Run(baseBoardQuery, baseBoardNames), Objects{});
    EXPECT_EQ(Run(biosQuery, biosNames), (Objects{{Text(L"SeaBIOS"), Null()}}));
}

TEST_F(HardwareProviderTest, RootOnlyFilesFailWithAccessDeniedAndOthersStillRead)
{
    FullSmbios();
    const auto denying = std::make_shared<const FailingReader>(
        std::set<std::string>{"board_serial", "product_serial"}, FileContent::Status::Denied);
    EXPECT_EQ(Run(baseBoardQuery, baseBoardNames, denying),
              (Objects{{Failed(static_cast<HRESULT>(0x80041003U)), Text(L"ASUSTeK COMPUTER INC."),
                        Text(L"PRIME B450M-A"), Null(), Null()}}));
    EXPECT_EQ(Run(biosQuery, biosNames, denying),
              (Objects{{Text(L"American Megatrends Inc."), Failed(WBEM_E_ACCESS_DENIED)}}));
}

// A file that is there but cannot be read (no descriptor left, an I/O error) fails the
// query: an object without that value, or one package fewer, would be another machine.
TEST_F(HardwareProviderTest, FilesThatExistButCannotBeReadFailTheQuery)
{
    FullSmbios();
    for (const char* cpu : {"cpu0", "cpu1"})
        tree.Write(std::string("sys/devices/system/cpu/") + cpu + "/topology/physical_package_id",
                   "0\n");
    const struct {
        const char* file;
        FileContent::Status status;
        const wchar_t* query;
    } cases[] = {
        {"bios_vendor", FileContent::Status::Failed, biosQuery},
        {"board_name", FileContent::Status::Failed, baseBoardQuery},
        {"physical_package_id", FileContent::Status::Failed, processorQuery},
        {"physical_package_id", FileContent::Status::Denied, processorQuery},
    };
    for (const auto& failing : cases) {
        const auto reader = std::make_shared<const FailingReader>(
            std::set<std::string>{failing.file}, failing.status);
        EXPECT_EQ(QueryStatus(failing.query, reader), WBEM_E_FAILED) << failing.file;
    }
}

TEST_F(HardwareProviderTest, PropertiesOutsideTheSelectListAreNotFound)
{
    FullSmbios();
    EXPECT_EQ(Run(L"SELECT manufacturer FROM win32_bios", biosNames),
              (Objects{{Text(L"American Megatrends Inc."), Failed(WBEM_E_NOT_FOUND)}}));
    EXPECT_EQ(Run(L"SELECT * FROM Win32_BIOS", {L"SERIALNUMBER", L"Version"}),
              (Objects{{Text(L"System Serial Number"), Failed(WBEM_E_NOT_FOUND)}}));
}

struct Attribute {
    const char* name;
    std::optional<std::string> file; // empty: no such file
    platform_test::PropertyRead expected;
};

void PrintTo(const Attribute& value, std::ostream* out)
{
    *out << value.name;
}

class AttributeValueTest : public HardwareProviderTest,
                           public ::testing::WithParamInterface<Attribute> {};

TEST_P(AttributeValueTest, DropsOnlyTheTrailingNewlineAndDecodesUtf8)
{
    tree.Dmi("bios_vendor", "x\n");
    if (GetParam().file) {
        tree.Dmi("product_serial", *GetParam().file);
    }
    EXPECT_EQ(Run(biosQuery, biosNames), (Objects{{Text(L"x"), GetParam().expected}}));
}

const wchar_t replacement = 0xFFFD;

INSTANTIATE_TEST_SUITE_P(
    Files, AttributeValueTest,
    ::testing::Values(
        Attribute{"Missing", std::nullopt, Null()}, Attribute{"OnlyNewline", "\n", Null()},
        Attribute{"Empty", "", Null()}, Attribute{"SpacesKept", "  S/N 1  \n", Text(L"  S/N 1  ")},
        Attribute{"NoNewline", "abc", Text(L"abc")},
        Attribute{"SecondNewlineKept", "abc\n\n", Text(L"abc\n")},
        Attribute{"EmbeddedNul", std::string("A\0B\n", 4), Text(std::wstring(L"A\0B", 3))},
        Attribute{"NonAscii",
                  "Gigabyte T\xC3\xAB"
                  "chnology \xE2\x82\xAC\n",
                  Text(L"Gigabyte T\u00EBchnology \u20AC")},
        Attribute{"AboveBmp", "\xF0\x9F\x98\x80\n", Text({wchar_t(0xD83D), wchar_t(0xDE00)})},
        Attribute{"InvalidUtf8", "Bad\xFF\xC3 \xE2\x82\n",
                  Text({L'B', L'a', L'd', replacement, replacement, L' ', replacement})},
        Attribute{"CappedAt64KiB", std::string(70000, 'a'), Text(std::wstring(65536, L'a'))}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HardwareProviderTest, OneProcessorObjectPerPackage)
{
    EXPECT_EQ(Run(processorQuery, processorNames),
              (Objects{{Text(L"CPU0"), Text(L"GenuineIntel"), Text(L"Intel(R) Xeon(R) CPU   "),
                        Text(L"Intel64 Family 6 Model 158 Stepping 10"), Null()}}));

    for (const char* cpu : {"cpu0", "cpu1", "cpu2", "cpu3"}) {
        tree.Write(std::string("sys/devices/system/cpu/") + cpu + "/topology/physical_package_id",
                   cpu[3] < '2' ? "0\n" : "1\n");
    }
    tree.Write("sys/devices/system/cpu/cpufreq/topology/physical_package_id", "7\n");
    const Objects two = Run(processorQuery, {L"DeviceID", L"Manufacturer"});
    EXPECT_EQ(two, (Objects{{Text(L"CPU0"), Text(L"GenuineIntel")},
                            {Text(L"CPU1"), Text(L"GenuineIntel")}}));

    const auto absent = std::make_shared<const FailingReader>(
        std::set<std::string>{"physical_package_id"}, FileContent::Status::Missing);
    EXPECT_EQ(Run(processorQuery, {L"DeviceID"}, absent), (Objects{{Text(L"CPU0")}}));
}

TEST(FileReaderTest, ReportsMissingFilesAndNeverBlocks)
{
    const FakeTree tree;
    const FileReader reader;
    EXPECT_EQ(reader.Read(tree.Root() / "absent").status, FileContent::Status::Missing);
    EXPECT_EQ(reader.Read(tree.Root() / "absent/below").status, FileContent::Status::Missing);
    EXPECT_EQ(reader.Read(tree.Root()).status, FileContent::Status::Failed);
    const std::filesystem::path fifo = tree.Root() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const FileContent content = reader.Read(fifo);
    EXPECT_EQ(content.status, FileContent::Status::Read);
    EXPECT_EQ(content.bytes, "");
}

#if defined(__aarch64__)
// The file that MidrTest covers is the provider's processor; one it cannot use fails the query.
TEST_F(HardwareProviderTest, ProcessorComesFromCpu0sRegisterFile)
{
    const auto files = std::make_shared<const FileReader>();
    const std::string midr = "sys/devices/system/cpu/cpu0/regs/identification/midr_el1";
    tree.Write(midr, "0x00000000413fd0c1\n");
    EXPECT_EQ(
        Connection(HardwareProvider(tree.Root(), files)).Collect(processorQuery, processorNames),
        (Objects{{Text(L"CPU0"), Text(L"ARM"), Null(),
                  Text(L"ARMv8 Implementer 0x41 Part 0xD0C Variant 3 Revision 1"),
                  Text(L"00000000413FD0C1")}}));
    tree.Write(midr, "0x413fd0c1\n");
    EXPECT_EQ(QueryStatus(HardwareProvider(tree.Root(), files), processorQuery), WBEM_E_FAILED);
}

// The processor object holds cpu0's MIDR_EL1 from the kernel's file, or where there is none
// (qemu-user, some containers) the register read that the kernel or qemu emulates.
TEST(MachineHardwareTest, ProcessorMatchesMidrEl1)
{
    std::uint64_t midr = 0;
    std::ifstream attribute("/sys/devices/system/cpu/cpu0/regs/identification/midr_el1");
    if (std::string text; std::getline(attribute, text)) {
        midr = std::stoull(text, nullptr, 16);
    } else {
        ASSERT_NE(::getauxval(AT_HWCAP) & HWCAP_CPUID, 0U) << "no MIDR_EL1 to compare with";
        asm volatile("mrs %0, midr_el1" : "=r"(midr));
    }
    const ProcessorIdentity identity = DecodeMidr(midr);

    const Objects objects = Connection().Collect(processorQuery, processorNames);
    ASSERT_FALSE(objects.empty());
    EXPECT_EQ(objects[0], (std::vector{Text(L"CPU0"), Text(*identity.manufacturer), Null(),
                                       Text(*identity.description), Text(*identity.processorId)}));
}
#else
// The processor that CPUID reports on this machine is the one the kernel describes.
TEST(MachineHardwareTest, ProcessorMatchesProcCpuinfo)
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::map<std::string, std::string> fields;
    for (std::string line; std::getline(cpuinfo, line) && !line.empty();) {
        const std::size_t colon = line.find(':');
        const std::size_t end = line.find_last_not_of(" \t", colon - 1);
        fields.emplace(line.substr(0, end + 1), line.substr(std::min(colon + 2, line.size())));
    }
    const std::string vendor = fields["vendor_id"];
    const std::string description = std::string(vendor == "GenuineIntel" ? "Intel64" : "AMD64") +
                                    " Family " + fields["cpu family"] + " Model " +
                                    fields["model"] + " Stepping " + fields["stepping"];

    const Objects objects = Connection().Collect(processorQuery, processorNames);
    ASSERT_FALSE(objects.empty());
    EXPECT_EQ(objects[0][0], Text(L"CPU0"));
    EXPECT_EQ(objects[0][1], Text(std::wstring(vendor.begin(), vendor.end())));
    EXPECT_EQ(objects[0][3], Text(std::wstring(description.begin(), description.end())));
    ASSERT_TRUE(objects[0][4].text);
    EXPECT_EQ(objects[0][4].text->find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
    EXPECT_EQ(objects[0][4].text->size(), 16U);
}
#endif

} // namespace
