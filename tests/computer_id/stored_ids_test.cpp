// IDs that users have stored: each inventory here must give exactly the ID written next to
// it, whatever is rebuilt underneath. These values were taken from the program once and are
// never to be edited; a change that breaks one changes users' IDs.
#include <computer_id/computer_id.h>

#include <platform/posix/hardware/hardware_provider.h>
#include <support/scripted_platform/provider.h>
#include <support/scripted_platform/scripted_wmi.h>

#include <support/cout_capture.h>
#include <support/fake_tree.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace {

using platform::hardware::DecodeMidr;
using platform::hardware::HardwareProvider;
using platform::hardware::ProcessorIdentity;
using platform::scripted::ScriptedWmi;
using test_support::FakeTree;

std::string ComputerId()
{
    const test_support::CoutCapture capture;
    std::string id;
    Lib_ComputerID::GetComputerID(id);
    return id;
}

void Processor(ScriptedWmi& wmi, const wchar_t* id)
{
    wmi.AddObject(L"Win32_Processor")
        .String(L"DeviceID", id)
        .String(L"Manufacturer", L"GenuineIntel")
        .String(L"Name", L"Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz")
        .String(L"Description", L"Intel64 Family 6 Model 158 Stepping 10")
        .String(L"ProcessorId", L"BFEBFBFF000906EA");
}

std::string Scripted(const std::function<void(ScriptedWmi&)>& inventory)
{
    ScriptedWmi wmi;
    inventory(wmi);
    return ComputerId();
}

std::string OnTree(const std::function<void(const FakeTree&)>& files,
                   const ProcessorIdentity& processor)
{
    const FakeTree tree;
    files(tree);
    HardwareProvider provider(tree.Root(), std::make_shared<const platform::hardware::FileReader>(),
                              processor);
    const platform::scripted::HardwareInstallation installation(provider);
    return ComputerId();
}

const ProcessorIdentity kEpyc{L"AuthenticAMD", L"AMD EPYC 7763 64-Core Processor                ",
                              L"AMD64 Family 25 Model 1 Stepping 1", L"178BFBFF00A00F11"};

TEST(StoredIdTest, InventoriesKeepTheirIds)
{
    const struct {
        const char* name;
        std::function<std::string()> id;
        const char* stored;
    } inventories[] = {
        {"one processor only", [] { return Scripted([](auto& wmi) { Processor(wmi, L"CPU0"); }); },
         "5e22726d7742c6bfac5b8e332eefc721d32d67898365e8690453074bcf5c0"},
        {"two processors, board and BIOS",
         [] {
             return Scripted([](ScriptedWmi& wmi) {
                 Processor(wmi, L"CPU0");
                 Processor(wmi, L"CPU1");
                 wmi.AddObject(L"Win32_BaseBoard")
                     .String(L"SerialNumber", L"BSN-4711")
                     .String(L"Manufacturer", L"ASUSTeK COMPUTER INC.")
                     .String(L"Product", L"PRIME Z370-A")
                     .Null(L"Model")
                     .Null(L"OtherIdentifyingInfo");
                 wmi.AddObject(L"Win32_BIOS")
                     .String(L"Manufacturer", L"American Megatrends Inc.")
                     .String(L"SerialNumber", L"System Serial Number");
             });
         },
         "cd7af427eda13f9f39c05bca2dfd22893612e86577c1de518a26a48c6f5cd1"},
        {"values beyond ASCII and an empty one",
         [] {
             return Scripted([](ScriptedWmi& wmi) {
                 wmi.AddObject(L"Win32_Processor")
                     .String(L"DeviceID", L"caf\u00E9")
                     .String(L"Manufacturer", L"\u20AC5")
                     .String(L"Name", std::wstring{L'a', wchar_t(0xD83D), wchar_t(0xDE00), L'z'})
                     .NullString(L"Description")
                     .String(L"ProcessorId", L"");
             });
         },
         "db56e92d89fc1c75c799c86b8fd59fdf1e2445172f47a7d33a950faa368383c"},
        {"fake tree, two packages, full SMBIOS",
         [] {
             return OnTree(
                 [](const FakeTree& tree) {
                     for (const char* cpu : {"cpu0", "cpu1"})
                         tree.Write(std::string("sys/devices/system/cpu/") + cpu +
                                        "/topology/physical_package_id",
                                    cpu[3] == '0' ? "0\n" : "1\n");
                     tree.Dmi("board_serial", "MB-1234  \n");
                     tree.Dmi("board_vendor", "ASUSTeK COMPUTER INC.\n");
                     tree.Dmi("board_name", "PRIME B450M-A\n");
                     tree.Dmi("bios_vendor", "American Megatrends Inc.\n");
                     tree.Dmi("product_serial", "System Serial Number\n");
                 },
                 kEpyc);
         },
         "b687f73f60fd612e548040eef7d53f1a4f22f91dcb26f37167adb89015be"},
        {"fake tree without SMBIOS", [] { return OnTree([](const FakeTree&) {}, kEpyc); },
         "5b8a2fd1d095976d78c94717ab15cffe40444ea2f7e5bf595581d1dfb8167a2d"},
        // 64-bit ARM: the SHA-256 of the lines that the strings of DecodeMidr give, by
        // OpenSSL and printed in the ID's format.
        {"arm64 cortex-a72, SMBIOS with serials",
         [] {
             return OnTree(
                 [](const FakeTree& tree) {
                     tree.Dmi("board_serial", "10000000d3a8c1f2\n");
                     tree.Dmi("board_vendor", "Raspberry Pi Foundation\n");
                     tree.Dmi("board_name", "Raspberry Pi 4 Model B\n");
                     tree.Dmi("bios_vendor", "EDK II\n");
                     tree.Dmi("product_serial", "10000000d3a8c1f2\n");
                 },
                 DecodeMidr(0x410FD083));
         },
         "608f7b8f3f2836758e25139b2f3511c01f6942e42faffe6ffad93c9e8e499f"},
        {"arm64 neoverse-n1, two packages, no SMBIOS",
         [] {
             return OnTree(
                 [](const FakeTree& tree) {
                     for (const char* cpu : {"cpu0", "cpu80"})
                         tree.Write(std::string("sys/devices/system/cpu/") + cpu +
                                        "/topology/physical_package_id",
                                    cpu[3] == '0' ? "0\n" : "1\n");
                 },
                 DecodeMidr(0x413FD0C1));
         },
         "c3a0b492a3c93c39a8df50874a62aeefd4308cce49ae26d5a37239cc386a7e97"},
    };
    for (const auto& inventory : inventories)
        EXPECT_EQ(inventory.id(), inventory.stored) << inventory.name;
}

} // namespace
