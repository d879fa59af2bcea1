#include "hardware_provider.h"

#include "../unicode.h"
#include "../wmi/query_service.h"

#include <cerrno>
#include <charconv>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <dirent.h>

namespace platform::hardware {

namespace {

using Status = FileContent::Status;

// A file that is there but could not be read would make the object look different; the
// query fails instead. For want of memory it fails as WMI's own queries do.
[[noreturn]] void FailListing(int error)
{
    throw wmi::ListingFailure{error == ENOMEM ? WBEM_E_OUT_OF_MEMORY : WBEM_E_FAILED};
}

// sysfs ends every attribute with one newline; an attribute that holds nothing else is
// how the kernel shows a string that SMBIOS leaves out.
wmi::Value AttributeValue(const FileContent& content)
{
    if (content.status == Status::Denied) {
        return wmi::FailedRead{WBEM_E_ACCESS_DENIED};
    }
    if (content.status == Status::Failed) {
        FailListing(content.error);
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

bool IsCpuDirectory(std::string_view name)
{
    return name.size() > 3 && name.starts_with("cpu") &&
           name.find_first_not_of("0123456789", 3) == std::string_view::npos;
}

class Directory {
public:
    explicit Directory(DIR* stream) : stream_(stream) {}
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;
    ~Directory() { ::closedir(stream_); }

    DIR* Get() const { return stream_; }

private:
    DIR* stream_;
};

// The names in a folder; none when it does not exist.
std::vector<std::string> FolderNames(const std::filesystem::path& folder)
{
    DIR* stream = ::opendir(folder.c_str());
    if (stream == nullptr) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return {};
        }
        FailListing(errno);
    }
    const Directory directory(stream);
    std::vector<std::string> names;
    while (true) {
        errno = 0;
        const dirent* entry = ::readdir(directory.Get());
        if (entry == nullptr) {
            if (errno != 0) {
                FailListing(errno);
            }
            return names;
        }
        names.emplace_back(entry->d_name);
    }
}

// A cpu folder without a package number (an offline or odd CPU) adds no package; a package
// number that exists but cannot be read fails the listing.
std::size_t PackageCount(const std::filesystem::path& root, const FileReader& files)
{
    const std::filesystem::path cpus = root / "sys/devices/system/cpu";
    std::set<long long> packages;
    for (const std::string& name : FolderNames(cpus)) {
        if (!IsCpuDirectory(name)) {
            continue;
        }
        const FileContent content = files.Read(cpus / name / "topology/physical_package_id");
        if (content.status == Status::Missing) {
            continue;
        }
        if (content.status != Status::Read) {
            FailListing(content.error);
        }
        std::string_view text = content.bytes;
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

// Read by each query, as the files of the board and the BIOS are, so that a file that
// cannot be read fails the query that needs it.
using ProcessorSource = std::function<ProcessorIdentity()>;

std::vector<wmi::Instance> Processors(const std::filesystem::path& root, const FileReader& files,
                                      const ProcessorSource& source)
{
    std::vector<wmi::Instance> instances;
    const std::size_t count = PackageCount(root, files);
    ProcessorIdentity processor;
    try {
        processor = source();
    } catch (const UnreadableProcessorFile& failure) {
        FailListing(failure.error);
    }
    instances.reserve(count);
    for (std::size_t index = 0; index < count; ++index) {
        // Each property is made in place and moved, never copied: a value whose copy runs out
        // of memory half-way is not something to recover from.
        wmi::Instance instance;
        instance.reserve(5);
        instance.push_back({L"DeviceID", L"CPU" + std::to_wstring(index)});
        instance.push_back({L"Manufacturer", OptionalValue(processor.manufacturer)});
        instance.push_back({L"Name", OptionalValue(processor.name)});
        instance.push_back({L"Description", OptionalValue(processor.description)});
        instance.push_back({L"ProcessorId", OptionalValue(processor.processorId)});
        instances.push_back(std::move(instance));
    }
    return instances;
}

// The kernel has no dmi/id folder without SMBIOS, and no attribute files for a table that
// the firmware leaves out (a board without its type 2 table); Windows then has no object
// to report either.
std::vector<wmi::Instance>
SmbiosObject(const std::filesystem::path& root, const FileReader& files,
             const std::vector<std::pair<const wchar_t*, const char*>>& attributes,
             const std::vector<const wchar_t*>& nullProperties)
{
    const std::filesystem::path folder = root / "sys/class/dmi/id";
    wmi::Instance instance;
    instance.reserve(attributes.size() + nullProperties.size());
    bool anyFile = false;
    for (const auto& [property, attribute] : attributes) {
        const FileContent content = files.Read(folder / attribute);
        anyFile = anyFile || content.status != Status::Missing;
        instance.push_back({property, AttributeValue(content)});
    }
    if (!anyFile) {
        return {};
    }
    for (const wchar_t* property : nullProperties) {
        instance.push_back({property, wmi::NullValue{}});
    }
    std::vector<wmi::Instance> instances;
    instances.push_back(std::move(instance));
    return instances;
}

std::vector<wmi::ClassDefinition> Classes(const std::filesystem::path& root,
                                          const std::shared_ptr<const FileReader>& files,
                                          const ProcessorSource& processor)
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
    : classes_(std::make_shared<const std::vector<wmi::ClassDefinition>>(
          Classes(root, files, [root, files] { return MachineProcessor(root, *files); })))
{
}

HardwareProvider::HardwareProvider(const std::filesystem::path& root,
                                   const std::shared_ptr<const FileReader>& files,
                                   const ProcessorIdentity& processor)
    : classes_(std::make_shared<const std::vector<wmi::ClassDefinition>>(
          Classes(root, files, [processor] { return processor; })))
{
}

HRESULT HardwareProvider::CreateLocator(IWbemLocator** locator) const
{
    return wmi::CreateLocator(classes_, locator);
}

HRESULT CreateMachineLocator(IWbemLocator** locator)
{
    // A provider of the call's own, which the locator keeps as long as it needs it: nothing
    // static to outlive the program's exit or a library unload, and nothing lost by either.
    return HardwareProvider("/").CreateLocator(locator);
}

} // namespace platform::hardware
