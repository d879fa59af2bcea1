// The whole inventory over the hardware provider on fake /sys trees: which hardware facts
// reach the ID and which do not.
#include <computer_id/computer_id.h>
#include <computer_id/hardware_inventory.h>
#include <computer_id/message_digest.h>

#include <platform/posix/hardware/hardware_provider.h>
#include <support/scripted_platform/provider.h>

#include <support/cout_capture.h>
#include <support/fake_tree.h>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

namespace {

using platform::hardware::FileContent;
using platform::hardware::FileReader;
using platform::hardware::HardwareProvider;
using platform::hardware::ProcessorIdentity;
using test_support::FailingReader;
using test_support::FakeTree;

const ProcessorIdentity kCpu{L"GenuineIntel", L"Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz  ",
                             L"Intel64 Family 6 Model 158 Stepping 10", L"BFEBFBFF000906EA"};
const std::string kCpuText = "CPU0\nGenuineIntel\nIntel(R) Core(TM) i7-8700 CPU @ 3.20GHz  \n"
                             "Intel64 Family 6 Model 158 Stepping 10\nBFEBFBFF000906EA\n";

// The SMBIOS strings of a typical desktop board, readable as root.
void FullSmbios(const FakeTree& tree)
{
    tree.Dmi("board_serial", "BSN-4711\n");
    tree.Dmi("board_vendor", "ASUSTeK COMPUTER INC.\n");
    tree.Dmi("board_name", "PRIME Z370-A\n");
    tree.Dmi("bios_vendor", "American Megatrends Inc.\n");
    tree.Dmi("product_serial", "System Serial Number\n");
}

struct Inventory {
    std::string text;
    std::string trace;
};

Inventory Collect(const FakeTree& tree, std::shared_ptr<const FileReader> reader = nullptr)
{
    if (!reader)
        reader = std::make_shared<const FileReader>();
    HardwareProvider provider(tree.Root(), reader, kCpu);
    platform::scripted::HardwareInstallation installed(provider);
    test_support::CoutCapture capture;
    Lib_ComputerID::InitializeCOM();
    Inventory inventory;
    inventory.text = Lib_ComputerID::CreateComputerID(7);
    inventory.trace = capture.Text();
    return inventory;
}

std::string IdOf(const Inventory& inventory)
{
    return Lib_ComputerID::CreateMessageDigest(inventory.text);
}

TEST(HardwarePipelineTest, FullSmbiosAsRoot)
{
    FakeTree tree;
    FullSmbios(tree);
    EXPECT_EQ(Collect(tree).text, kCpuText + "BSN-4711\nASUSTeK COMPUTER INC.\nPRIME Z370-A\n"
                                             "American Megatrends Inc.\nSystem Serial Number\n");
}

TEST(HardwarePipelineTest, SameHardwareGivesTheSameIdOnEveryRun)
{
    FakeTree tree;
    FullSmbios(tree);
    EXPECT_EQ(IdOf(Collect(tree)), IdOf(Collect(tree)));
}

TEST(HardwarePipelineTest, WithoutRootTheSerialNumbersAreLeftOutAndTheIdDiffers)
{
    FakeTree tree;
    FullSmbios(tree);
    const Inventory asRoot = Collect(tree);
    const Inventory asUser =
        Collect(tree, std::make_shared<const FailingReader>(
                          std::set<std::string>{"board_serial", "product_serial"},
                          FileContent::Status::Denied));
    EXPECT_EQ(asUser.text,
              kCpuText + "ASUSTeK COMPUTER INC.\nPRIME Z370-A\nAmerican Megatrends Inc.\n");
    EXPECT_NE(asUser.trace.find("pclsObj->Get( SerialNumber )\nhr = 80041003, vtProp.vt = 0\n"
                                "pclsObj->Get( Manufacturer )"),
              std::string::npos);
    EXPECT_NE(IdOf(asRoot), IdOf(asUser));
}

TEST(HardwarePipelineTest, WithoutSmbiosOnlyTheProcessorCounts)
{
    FakeTree tree;
    const Inventory inventory = Collect(tree);
    EXPECT_EQ(inventory.text, kCpuText);
    EXPECT_NE(inventory.trace.find("FROM Win32_BIOS )\nDone GetInfo(), hr = 0, pEnumerator = "),
              std::string::npos);
}

TEST(HardwarePipelineTest, EachSmbiosStringChangesTheId)
{
    FakeTree tree;
    FullSmbios(tree);
    std::set<std::string> ids{IdOf(Collect(tree))};
    const std::pair<const char*, const char*> changes[] = {
        {"bios_vendor", "American Megatrends International, LLC.\n"},
        {"board_name", "PRIME Z390-A\n"},
        {"board_vendor", "Gigabyte Technology Co., Ltd.\n"},
        {"board_serial", "BSN-4712\n"},
        {"product_serial", "To Be Filled By O.E.M.\n"},
    };
    for (const auto& [file, content] : changes) {
        tree.Dmi(file, content);
        EXPECT_TRUE(ids.insert(IdOf(Collect(tree))).second) << file;
    }
}

TEST(HardwarePipelineTest, ValuesKeepTheirSpacesAndNarrowByCodeUnit)
{
    FakeTree tree;
    tree.Dmi("board_vendor", "Gigabyte  \n");
    tree.Dmi("board_name", "Carte m\xC3\xA8re \xE2\x82\xAC\n");
    tree.Dmi("bios_vendor", "\n");
    EXPECT_EQ(Collect(tree).text, kCpuText + "Gigabyte  \nCarte m\xE8re \xAC\n");
}

} // namespace
