// The whole inventory over the hardware provider on fake /sys trees: which hardware facts
// reach the ID and which do not.
#include <computer_id/computer_id.h>
#include <computer_id/hardware_inventory.h>
#include <computer_id/message_digest.h>

#include <hardware/hardware_provider.h>
#include <wmi/provider.h>

#include "../support/cout_capture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <system_error>

#include <stdlib.h>

namespace {

using platform::hardware::FileContent;
using platform::hardware::FileReader;
using platform::hardware::HardwareProvider;
using platform::hardware::ProcessorIdentity;

const ProcessorIdentity kCpu{L"GenuineIntel", L"Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz  ",
                             L"Intel64 Family 6 Model 158 Stepping 10", L"BFEBFBFF000906EA"};
const std::string kCpuText = "CPU0\nGenuineIntel\nIntel(R) Core(TM) i7-8700 CPU @ 3.20GHz  \n"
                             "Intel64 Family 6 Model 158 Stepping 10\nBFEBFBFF000906EA\n";

class SysTree {
public:
    SysTree()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "id-tree-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::system_error(errno, std::generic_category(), "mkdtemp");
        root_ = pattern;
    }
    ~SysTree() { std::filesystem::remove_all(root_); }
    SysTree(const SysTree&) = delete;
    SysTree& operator=(const SysTree&) = delete;

    void Dmi(const std::string& name, const std::string& content)
    {
        const auto dir = root_ / "sys/class/dmi/id";
        std::filesystem::create_directories(dir);
        std::ofstream(dir / name, std::ios::binary) << content;
    }
    void FullSmbios()
    {
        Dmi("board_serial", "BSN-4711\n");
        Dmi("board_vendor", "ASUSTeK COMPUTER INC.\n");
        Dmi("board_name", "PRIME Z370-A\n");
        Dmi("bios_vendor", "American Megatrends Inc.\n");
        Dmi("product_serial", "System Serial Number\n");
    }
    const std::filesystem::path& Root() const { return root_; }

private:
    std::filesystem::path root_;
};

// Denies the files a user other than root cannot read.
class NonRootReader : public FileReader {
public:
    FileContent Read(const std::filesystem::path& path) const override
    {
        const std::string name = path.filename().string();
        if (name == "board_serial" || name == "product_serial")
            return {FileContent::Status::Denied, {}};
        return FileReader::Read(path);
    }
};

struct Inventory {
    std::string text;
    std::string trace;
};

Inventory Collect(const SysTree& tree, std::shared_ptr<const FileReader> reader = nullptr)
{
    if (!reader)
        reader = std::make_shared<const FileReader>();
    HardwareProvider provider(tree.Root(), reader, kCpu);
    platform::wmi::ProviderInstallation installed(provider);
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
    SysTree tree;
    tree.FullSmbios();
    EXPECT_EQ(Collect(tree).text, kCpuText + "BSN-4711\nASUSTeK COMPUTER INC.\nPRIME Z370-A\n"
                                             "American Megatrends Inc.\nSystem Serial Number\n");
}

TEST(HardwarePipelineTest, SameHardwareGivesTheSameIdOnEveryRun)
{
    SysTree tree;
    tree.FullSmbios();
    EXPECT_EQ(IdOf(Collect(tree)), IdOf(Collect(tree)));
}

TEST(HardwarePipelineTest, WithoutRootTheSerialNumbersAreLeftOutAndTheIdDiffers)
{
    SysTree tree;
    tree.FullSmbios();
    const Inventory asRoot = Collect(tree);
    const Inventory asUser = Collect(tree, std::make_shared<const NonRootReader>());
    EXPECT_EQ(asUser.text,
              kCpuText + "ASUSTeK COMPUTER INC.\nPRIME Z370-A\nAmerican Megatrends Inc.\n");
    EXPECT_NE(asUser.trace.find("pclsObj->Get( SerialNumber )\nhr = 80041003, vtProp.vt = 0\n"
                                "pclsObj->Get( Manufacturer )"),
              std::string::npos);
    EXPECT_NE(IdOf(asRoot), IdOf(asUser));
}

TEST(HardwarePipelineTest, WithoutSmbiosOnlyTheProcessorCounts)
{
    SysTree tree;
    const Inventory inventory = Collect(tree);
    EXPECT_EQ(inventory.text, kCpuText);
    EXPECT_NE(inventory.trace.find("FROM Win32_BIOS )\nDone GetInfo(), hr = 0, pEnumerator = "),
              std::string::npos);
}

TEST(HardwarePipelineTest, EachSmbiosStringChangesTheId)
{
    SysTree tree;
    tree.FullSmbios();
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
    SysTree tree;
    tree.Dmi("board_vendor", "Gigabyte  \n");
    tree.Dmi("board_name", "Carte m\xC3\xA8re \xE2\x82\xAC\n");
    tree.Dmi("bios_vendor", "\n");
    EXPECT_EQ(Collect(tree).text, kCpuText + "Gigabyte  \nCarte m\xE8re \xAC\n");
}

} // namespace
