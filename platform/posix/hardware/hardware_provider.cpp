#include "hardware_provider.h"

#include "../unicode.h"
#include "../wmi/query_service.h"

#include <charconv>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace platform::hardware {

namespace {

using Status = FileContent::Status;

// sysfs ends every attribute with one newline; an attribute that holds nothing else is
// how the kernel shows a string that SMBIOS leaves out.
wmi::Value AttributeValue(const FileContent& content)
{
    if (content.status == Status::Denied) {
        return wmi::FailedRead{WBEM_E_ACCESS_DENIED};
    }
    if (content.status == Status::Failed) {
        return wmi::FailedRead{WBEM_E_FAILED};
    }
    std::string_view text = content.bytes;
    if (text.ends_with('\n')) {
        text.remove_suffix(1);
    }
    if (content.status == Status::Missing || text.empty()) {
        return wmi::NullValue{};
    }
    return WidenUtf8(text);
}

wmi::Value OptionalValue(const std::optional<std::wstring>& text)
{
    if (text) {
        return *text;
    }
    return wmi::NullValue{};
}

bool IsCpuDirectory(const std::string& name)
{
    return name.size() > 3 && name.starts_with("cpu") &&
           name.find_first_not_of("0123456789", 3) == std::string::npos;
}

std::size_t PackageCount(const std::filesystem::path& root, const FileReader& files)
{
    std::set<long long> packages;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(root / "sys/devices/system/cpu", error), end;
         !error && entry != end; entry.increment(error)) {
        if (!IsCpuDirectory(entry->path().filename().string())) {
            continue;
        }
        const FileContent content = files.Read(entry->path() / "topology/physical_package_id");
        std::string_view text = content.bytes;
        if (content.status != Status::Read) {
            continue;
        }
        if (text.ends_with('\n')) {
            text.remove_suffix(1);
        }
        long long package = 0;
        const auto [last, failure] =
            std::from_chars(text.data(), text.data() + text.size(), package);
        if (failure == std::errc() && last == text.data() + text.size()) {
            packages.insert(package);
        }
    }
    return packages.empty() ? 1 : packages.size();
}

std::vector<wmi::Instance> Processors(const std::filesystem::path& root, const FileReader& files,
                                      const ProcessorIdentity& processor)
{
    std::vector<wmi::Instance> instances;
    const std::size_t count = PackageCount(root, files);
    for (std::size_t index = 0; index < count; ++index) {
        instances.push_back({
            {L"DeviceID", L"CPU" + std::to_wstring(index)},
            {L"Manufacturer", OptionalValue(processor.manufacturer)},
            {L"Name", OptionalValue(processor.name)},
            {L"Description", OptionalValue(processor.description)},
            {L"ProcessorId", OptionalValue(processor.processorId)},
        });
    }
    return instances;
}

// The kernel has no dmi/id folder without SMBIOS, and no attribute files for a table that
// the firmware leaves out (a board without its type 2 table); Windows then has no object
// to report either.
std::vector<wmi::Instance>
SmbiosObject(const std::filesystem::path& root, const FileReader& files,
             const std::vector<std::pair<std::wstring, const char*>>& attributes,
             const std::vector<std::wstring>& nullProperties)
{
    const std::filesystem::path folder = root / "sys/class/dmi/id";
    wmi::Instance instance;
    bool anyFile = false;
    for (const auto& [property, attribute] : attributes) {
        const FileContent content = files.Read(folder / attribute);
        anyFile = anyFile || content.status != Status::Missing;
        instance.push_back({property, AttributeValue(content)});
    }
    if (!anyFile) {
        return {};
    }
    for (const std::wstring& property : nullProperties) {
        instance.push_back({property, wmi::NullValue{}});
    }
    return {std::move(instance)};
}

std::vector<wmi::ClassDefinition> Classes(const std::filesystem::path& root,
                                          const std::shared_ptr<const FileReader>& files,
                                          const ProcessorIdentity& processor)
{
    return {
        {L"Win32_Processor",
         {L"DeviceID", L"Manufacturer", L"Name", L"Description", L"ProcessorId"},
         [root, files, processor] { return Processors(root, *files, processor); }},
        {L"Win32_BaseBoard",
         {L"SerialNumber", L"Manufacturer", L"Product", L"Model", L"OtherIdentifyingInfo"},
         [root, files] {
             return SmbiosObject(root, *files,
                                 {{L"SerialNumber", "board_serial"},
                                  {L"Manufacturer", "board_vendor"},
                                  {L"Product", "board_name"}},
                                 {L"Model", L"OtherIdentifyingInfo"});
         }},
        {L"Win32_BIOS",
         {L"Manufacturer", L"SerialNumber"},
         [root, files] {
             return SmbiosObject(
                 root, *files,
                 {{L"Manufacturer", "bios_vendor"}, {L"SerialNumber", "product_serial"}}, {});
         }},
    };
}

} // namespace

HardwareProvider::HardwareProvider(const std::filesystem::path& root)
    : HardwareProvider(root, std::make_shared<const FileReader>())
{
}

HardwareProvider::HardwareProvider(const std::filesystem::path& root,
                                   const std::shared_ptr<const FileReader>& files)
    : HardwareProvider(root, files, MachineProcessor(root, *files))
{
}

HardwareProvider::HardwareProvider(const std::filesystem::path& root,
                                   const std::shared_ptr<const FileReader>& files,
                                   const ProcessorIdentity& processor)
    : classes_(std::make_shared<const std::vector<wmi::ClassDefinition>>(
          Classes(root, files, processor)))
{
}

HRESULT HardwareProvider::CreateLocator(IWbemLocator** locator)
{
    return wmi::CreateLocator(classes_, locator);
}

} // namespace platform::hardware
