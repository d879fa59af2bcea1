// The Linux stand-in of WMI on hostile input: any text as a WQL query, any bytes as the
// SMBIOS and CPU topology files, any CPUID registers or /proc/cpuinfo text. Nothing may
// crash or leak, every status must be one that the interfaces document, and every value
// handed out must be what the files and the processor said.
//
// Input: a flags byte; for each SMBIOS attribute and each cpuN folder a status byte and a
// segment of file bytes; the processor (registers or cpuinfo text); the query language
// choice; the query text.

#include "input_reader.h"

#include <support/fake_tree.h>

#include <computer_id/hardware_queries.h>
#include <platform/posix/hardware/hardware_provider.h>
#include <platform/posix/hardware/processor.h>
#include <platform/posix/wmi/wql.h>
#include <support/scripted_platform/provider.h>

#include <platform/com_wmi.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

using fuzz::Check;
using fuzz::SameName;
using platform::hardware::CpuidRegisters;
using platform::hardware::FileContent;
using platform::hardware::FileReader;
using platform::hardware::ProcessorIdentity;

enum Flag : std::uint8_t {
    kSmbios = 1 << 0,     // the attribute files come from the input, else none exists
    kCpuid = 1 << 1,      // the processor comes from CPUID registers, else from cpuinfo
    kBrand = 1 << 2,      // the registers include the brand string leaves
    kWideQuery = 1 << 3,  // the query is UTF-16 code units (NULs included), else UTF-8
    kOddLanguage = 1 << 4 // the query language is a segment of the input, else "WQL"
};

constexpr std::array<const char*, 5> kDmiAttributes{"board_serial", "board_vendor", "board_name",
                                                    "bios_vendor", "product_serial"};
constexpr int kCpuFolders = 4;

// ---- Text checks, independent of the provider's own decoder ----

// The interface's wide strings hold code units; wchar_t is signed here, a code unit is not.
std::uint32_t CodeUnit(wchar_t unit)
{
    return static_cast<std::uint32_t>(static_cast<char32_t>(unit));
}

bool IsValidUtf16(std::wstring_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint32_t unit = CodeUnit(text[i]);
        if (unit > 0xFFFF || (unit >= 0xDC00 && unit <= 0xDFFF))
            return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 == text.size())
                return false;
            const std::uint32_t low = CodeUnit(text[++i]);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
        }
    }
    return true;
}

// Valid UTF-16 only.
std::string EncodeUtf8(std::wstring_view text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t point = CodeUnit(text[i]);
        if (point >= 0xD800 && point <= 0xDBFF)
            point = 0x10000 + ((point - 0xD800) << 10) + (CodeUnit(text[++i]) - 0xDC00);
        if (point < 0x80) {
            bytes.push_back(static_cast<char>(point));
        } else if (point < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 | (point >> 6)));
            bytes.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        } else if (point < 0x10000) {
            bytes.push_back(static_cast<char>(0xE0 | (point >> 12)));
            bytes.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        } else {
            bytes.push_back(static_cast<char>(0xF0 | (point >> 18)));
            bytes.push_back(static_cast<char>(0x80 | ((point >> 12) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | ((point >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (point & 0x3F)));
        }
    }
    return bytes;
}

// Unicode's table 3-7 of well-formed UTF-8: each row a range of lead bytes, how many bytes
// follow and the range of the first of them (every later one is 80 to BF).
struct WellFormedRow {
    std::uint8_t leadLow;
    std::uint8_t leadHigh;
    std::size_t following;
    std::uint8_t secondLow;
    std::uint8_t secondHigh;
};

constexpr std::array<WellFormedRow, 9> kWellFormed{{
    {0x00, 0x7F, 0, 0x00, 0x00},
    {0xC2, 0xDF, 1, 0x80, 0xBF},
    {0xE0, 0xE0, 2, 0xA0, 0xBF},
    {0xE1, 0xEC, 2, 0x80, 0xBF},
    {0xED, 0xED, 2, 0x80, 0x9F},
    {0xEE, 0xEF, 2, 0x80, 0xBF},
    {0xF0, 0xF0, 3, 0x90, 0xBF},
    {0xF1, 0xF3, 3, 0x80, 0xBF},
    {0xF4, 0xF4, 3, 0x80, 0x8F},
}};

// The length of the well-formed sequence that starts the bytes; 0 when there is none.
std::size_t WellFormedLength(std::string_view bytes)
{
    const auto lead = static_cast<std::uint8_t>(bytes.front());
    const auto* row = std::find_if(
        kWellFormed.begin(), kWellFormed.end(), [lead](const WellFormedRow& candidate) {
            return lead >= candidate.leadLow && lead <= candidate.leadHigh;
        });
    if (row == kWellFormed.end() || bytes.size() <= row->following)
        return 0;
    for (std::size_t k = 1; k <= row->following; ++k) {
        const auto next = static_cast<std::uint8_t>(bytes[k]);
        if (next < (k == 1 ? row->secondLow : 0x80) || next > (k == 1 ? row->secondHigh : 0xBF))
            return 0;
    }
    return row->following + 1;
}

bool IsValidUtf8(std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::size_t length = WellFormedLength(bytes);
        if (length == 0)
            return false;
        bytes.remove_prefix(length);
    }
    return true;
}

// A text that the provider decoded from bytes: well-formed UTF-16 that gives the bytes
// back when they were UTF-8, and shows a replacement character where they were not.
void CheckDecoded(std::wstring_view text, std::string_view bytes, const char* what)
{
    Check(IsValidUtf16(text), what);
    Check(text.size() <= bytes.size(), what);
    if (IsValidUtf8(bytes))
        Check(EncodeUtf8(text) == bytes, what);
    else
        Check(text.find(L'\xFFFD') != std::wstring_view::npos, what);
}

// ---- The fake machine ----

// The folders the provider lists: made once, since only folders are looked at on disk;
// the files come from the input through MemoryReader.
class FakeRoots {
public:
    FakeRoots()
    {
        for (int cpu = 0; cpu < kCpuFolders; ++cpu)
            std::filesystem::create_directories(CpuFolder(Root(), cpu) / "topology");
        // Neither is a processor and neither may be read.
        std::filesystem::create_directories(Root() / "sys/devices/system/cpu/cpufreq/topology");
        std::filesystem::create_directories(Root() / "sys/devices/system/cpu/cpu1x/topology");
    }

    const std::filesystem::path& Root() const { return base_.Root(); }

    static std::filesystem::path CpuFolder(const std::filesystem::path& root, int cpu)
    {
        return root / "sys/devices/system/cpu" / ("cpu" + std::to_string(cpu));
    }
    static std::filesystem::path DmiFolder(const std::filesystem::path& root)
    {
        return root / "sys/class/dmi/id";
    }

private:
    test_support::FakeTree base_;
};

const FakeRoots* roots = nullptr;

class MemoryReader final : public FileReader {
public:
    void Add(const std::filesystem::path& path, FileContent content)
    {
        files_[path.string()] = std::move(content);
    }

    FileContent Read(const std::filesystem::path& path) const override
    {
        const auto found = files_.find(path.string());
        Check(found != files_.end(), "the provider read a file it has no business with");
        return found->second;
    }

private:
    std::map<std::string, FileContent> files_;
};

FileContent ReadFile(fuzz::InputReader& input)
{
    FileContent content;
    content.status = static_cast<FileContent::Status>(input.Byte() % 4);
    const std::string_view bytes = input.Segment();
    if (content.status == FileContent::Status::Read)
        content.bytes = bytes;
    return content;
}

// ---- What the provider must hand out ----

struct Expected {
    enum class Kind { Null, Failed, Decoded, Exact };
    Kind kind = Kind::Null;
    HRESULT hr = WBEM_S_NO_ERROR;
    std::string bytes; // Decoded: the bytes the text came from
    std::wstring text; // Exact
};

Expected Exactly(const std::optional<std::wstring>& text)
{
    if (!text)
        return {};
    return {Expected::Kind::Exact, WBEM_S_NO_ERROR, {}, *text};
}

// sysfs ends an attribute with one newline; one that holds nothing else is a null value.
Expected FromAttribute(const FileContent& content)
{
    switch (content.status) {
    case FileContent::Status::Denied:
        return {Expected::Kind::Failed, WBEM_E_ACCESS_DENIED, {}, {}};
    case FileContent::Status::Failed: // fails the whole query: see Unreadable
    case FileContent::Status::Missing:
        return {};
    case FileContent::Status::Read:
        break;
    }
    std::string_view text = content.bytes;
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    if (text.empty())
        return {};
    return {Expected::Kind::Decoded, WBEM_S_NO_ERROR, std::string(text), {}};
}

// The whole text must be an optional minus sign and decimal digits that fit a long long.
std::optional<long long> PackageId(const FileContent& content)
{
    if (content.status != FileContent::Status::Read)
        return std::nullopt;
    std::string_view text = content.bytes;
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    const bool negative = !text.empty() && text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    long long value = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9')
            return std::nullopt;
        const int unit = digit - '0';
        if (__builtin_mul_overflow(value, 10, &value) ||
            __builtin_add_overflow(value, negative ? -unit : unit, &value))
            return std::nullopt;
    }
    return value;
}

using Object = std::map<std::wstring, Expected>;

struct ClassModel {
    const wchar_t* name;
    std::vector<std::wstring> properties;
    std::vector<Object> objects;
    HRESULT listing = WBEM_S_NO_ERROR; // a query that gets past the parser ends with this
};

// A file that exists but cannot be read fails the query that needs it.
HRESULT Unreadable(const std::vector<FileContent>& files)
{
    return std::any_of(
               files.begin(), files.end(),
               [](const FileContent& file) { return file.status == FileContent::Status::Failed; })
               ? WBEM_E_FAILED
               : WBEM_S_NO_ERROR;
}

struct Machine {
    std::vector<ClassModel> classes;
};

// Whether the kernel exported any of a table's attributes: without the table it has none.
bool AnyExported(const std::map<std::string, FileContent>& dmi,
                 std::initializer_list<const char*> attributes)
{
    return std::any_of(attributes.begin(), attributes.end(), [&dmi](const char* attribute) {
        return dmi.at(attribute).status != FileContent::Status::Missing;
    });
}

Machine Model(const std::map<std::string, FileContent>& dmi, const std::vector<FileContent>& cpus,
              const ProcessorIdentity& processor)
{
    Machine machine;
    std::set<long long> packages;
    for (const FileContent& cpu : cpus) {
        if (const std::optional<long long> id = PackageId(cpu))
            packages.insert(*id);
    }
    ClassModel processors{L"Win32_Processor",
                          {L"DeviceID", L"Manufacturer", L"Name", L"Description", L"ProcessorId"},
                          {}};
    // A package number is read by everyone: one that is there but denied is unreadable too.
    processors.listing = std::any_of(cpus.begin(), cpus.end(),
                                     [](const FileContent& cpu) {
                                         return cpu.status == FileContent::Status::Failed ||
                                                cpu.status == FileContent::Status::Denied;
                                     })
                             ? WBEM_E_FAILED
                             : WBEM_S_NO_ERROR;
    const std::size_t count = packages.empty() ? 1 : packages.size();
    for (std::size_t index = 0; index < count; ++index) {
        processors.objects.push_back({
            {L"DeviceID", Exactly(L"CPU" + std::to_wstring(index))},
            {L"Manufacturer", Exactly(processor.manufacturer)},
            {L"Name", Exactly(processor.name)},
            {L"Description", Exactly(processor.description)},
            {L"ProcessorId", Exactly(processor.processorId)},
        });
    }
    machine.classes.push_back(std::move(processors));

    ClassModel board{
        L"Win32_BaseBoard",
        {L"SerialNumber", L"Manufacturer", L"Product", L"Model", L"OtherIdentifyingInfo"},
        {}};
    ClassModel bios{L"Win32_BIOS", {L"Manufacturer", L"SerialNumber"}, {}};
    if (AnyExported(dmi, {"board_serial", "board_vendor", "board_name"})) {
        board.objects.push_back({
            {L"SerialNumber", FromAttribute(dmi.at("board_serial"))},
            {L"Manufacturer", FromAttribute(dmi.at("board_vendor"))},
            {L"Product", FromAttribute(dmi.at("board_name"))},
            {L"Model", {}},
            {L"OtherIdentifyingInfo", {}},
        });
    }
    if (AnyExported(dmi, {"bios_vendor", "product_serial"})) {
        bios.objects.push_back({
            {L"Manufacturer", FromAttribute(dmi.at("bios_vendor"))},
            {L"SerialNumber", FromAttribute(dmi.at("product_serial"))},
        });
    }
    board.listing =
        Unreadable({dmi.at("board_serial"), dmi.at("board_vendor"), dmi.at("board_name")});
    bios.listing = Unreadable({dmi.at("bios_vendor"), dmi.at("product_serial")});
    machine.classes.push_back(std::move(board));
    machine.classes.push_back(std::move(bios));
    return machine;
}

// ---- The processor identity ----

// The bytes of the registers in memory order, up to the first NUL.
std::string RegisterBytes(const std::uint32_t* registers, std::size_t count)
{
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) {
        for (int shift = 0; shift < 32; shift += 8) {
            const auto byte = static_cast<char>((registers[i] >> shift) & 0xFF);
            if (byte == '\0')
                return bytes;
            bytes.push_back(byte);
        }
    }
    return bytes;
}

void CheckRegisterText(const std::optional<std::wstring>& text, const std::string& bytes,
                       const char* what)
{
    Check(text.has_value() == !bytes.empty(), what);
    if (text)
        CheckDecoded(*text, bytes, what);
}

ProcessorIdentity FromCpuid(fuzz::InputReader& input, bool brand)
{
    CpuidRegisters registers;
    for (std::uint32_t& value : registers.vendor)
        value = input.Word();
    registers.signature = input.Word();
    registers.features = input.Word();
    if (brand) {
        std::array<std::uint32_t, 12> leaves{};
        for (std::uint32_t& value : leaves)
            value = input.Word();
        registers.brand = leaves;
    }
    ProcessorIdentity identity = platform::hardware::DecodeCpuid(registers);

    CheckRegisterText(identity.manufacturer, RegisterBytes(registers.vendor.data(), 3),
                      "CPUID vendor");
    const std::string brandBytes =
        brand ? RegisterBytes(registers.brand->data(), 12) : std::string();
    CheckRegisterText(identity.name, brandBytes, "CPUID brand");

    static const std::wregex description(
        L"(Intel64|AMD64) Family [0-9]+ Model [0-9]+ Stepping [0-9]+");
    Check(identity.description && std::regex_match(*identity.description, description),
          "CPUID description format");
    const bool intel = identity.manufacturer == std::wstring(L"GenuineIntel");
    Check(identity.description->starts_with(intel ? L"Intel64 " : L"AMD64 "), "CPUID architecture");
    Check(
        identity.description->ends_with(L" Stepping " + std::to_wstring(registers.signature & 0xF)),
        "CPUID stepping");

    char processorId[17];
    (void)std::snprintf(processorId, sizeof processorId, "%08X%08X", registers.features,
                        registers.signature);
    Check(identity.processorId &&
              *identity.processorId == std::wstring(processorId, processorId + 16),
          "CPUID processor id");
    return identity;
}

ProcessorIdentity FromCpuinfo(std::string_view cpuinfo)
{
    ProcessorIdentity identity = platform::hardware::ParseCpuinfo(cpuinfo);
    for (const std::optional<std::wstring>* field : {&identity.manufacturer, &identity.name}) {
        if (*field) {
            Check(!(*field)->empty() && IsValidUtf16(**field), "cpuinfo field text");
            Check((*field)->find(L'\n') == std::wstring::npos, "cpuinfo field spans lines");
        }
    }
    Check(!identity.description && !identity.processorId, "cpuinfo gives no description or id");
    return identity;
}

// ---- WQL ----

bool IsName(const std::wstring& name)
{
    static const std::wregex form(L"[A-Za-z_][A-Za-z0-9_]*");
    static const std::wregex keyword(L"[Ss][Ee][Ll][Ee][Cc][Tt]|[Ff][Rr][Oo][Mm]");
    return std::regex_match(name, form) && !std::regex_match(name, keyword);
}

std::wstring Render(const platform::wmi::SelectQuery& query)
{
    std::wstring text = L"SELECT ";
    if (query.allProperties) {
        text += L'*';
    } else {
        for (std::size_t i = 0; i < query.properties.size(); ++i)
            text += (i == 0 ? L"" : L", ") + query.properties[i];
    }
    return text + L" FROM " + query.className;
}

// std::regex recurses per character, so the grammar check takes short texts only.
constexpr std::size_t kLongestGrammarCheck = 200;

// The grammar as one regular expression, for ASCII texts.
bool MatchesGrammar(std::wstring_view text)
{
    static const std::regex grammar(
        R"(\s*[Ss][Ee][Ll][Ee][Cc][Tt]\b\s*)"
        R"((\*|(?!(?:[Ss][Ee][Ll][Ee][Cc][Tt]|[Ff][Rr][Oo][Mm])\b)[A-Za-z_]\w*\b)"
        R"((\s*,\s*(?!(?:[Ss][Ee][Ll][Ee][Cc][Tt]|[Ff][Rr][Oo][Mm])\b)[A-Za-z_]\w*\b)*))"
        R"(\s*[Ff][Rr][Oo][Mm]\b\s*)"
        R"((?!(?:[Ss][Ee][Ll][Ee][Cc][Tt]|[Ff][Rr][Oo][Mm])\b)[A-Za-z_]\w*\b\s*)");
    std::string ascii;
    for (const wchar_t unit : text)
        ascii.push_back(static_cast<char>(unit));
    return std::regex_match(ascii, grammar);
}

bool IsShortAscii(std::wstring_view text)
{
    return text.size() <= kLongestGrammarCheck &&
           std::all_of(text.begin(), text.end(),
                       [](wchar_t unit) { return unit > 0 && unit < 0x80; });
}

std::optional<platform::wmi::SelectQuery> CheckedParse(std::wstring_view text)
{
    std::optional<platform::wmi::SelectQuery> query = platform::wmi::ParseSelect(text);
    if (IsShortAscii(text))
        Check(query.has_value() == MatchesGrammar(text), "parser and grammar disagree");
    if (!query)
        return query;
    Check(query->allProperties == query->properties.empty(), "select list");
    Check(IsName(query->className), "class name");
    for (const std::wstring& property : query->properties)
        Check(IsName(property), "property name");
    Check(platform::wmi::ParseSelect(Render(*query)) == query, "rendered query parses back");
    return query;
}

// ---- Talking to the provider ----

void CheckProperty(IWbemClassObject* object, const std::wstring& name, const Expected* expected)
{
    VARIANT value;
    VariantInit(&value);
    const HRESULT hr = object->Get(name.c_str(), 0, &value, nullptr, nullptr);
    if (expected == nullptr) {
        Check(hr == WBEM_E_NOT_FOUND, "a property outside the select list is found");
        Check(value.vt == VT_EMPTY, "a failed read filled the value");
        return;
    }
    switch (expected->kind) {
    case Expected::Kind::Failed:
        Check(hr == expected->hr && value.vt == VT_EMPTY, "failing read");
        return;
    case Expected::Kind::Null:
        Check(hr == WBEM_S_NO_ERROR && value.vt == VT_NULL, "null value");
        break;
    case Expected::Kind::Decoded:
    case Expected::Kind::Exact: {
        Check(hr == WBEM_S_NO_ERROR && value.vt == VT_BSTR && value.bstrVal != nullptr,
              "string value");
        const std::wstring_view text(value.bstrVal, SysStringLen(value.bstrVal));
        if (expected->kind == Expected::Kind::Exact)
            Check(text == expected->text, "string value differs");
        else
            CheckDecoded(text, expected->bytes, "attribute value");
        break;
    }
    }
    Check(VariantClear(&value) == S_OK && value.vt == VT_EMPTY, "clearing a value");
}

// Reads every object of a successful query and each of the class's properties, selected
// or not.
void CheckResults(IEnumWbemClassObject* enumerator, const ClassModel& model,
                  const std::optional<platform::wmi::SelectQuery>& query)
{
    std::size_t index = 0;
    for (;;) {
        IWbemClassObject* object = nullptr;
        ULONG returned = 7;
        const HRESULT hr = enumerator->Next(WBEM_INFINITE, 1, &object, &returned);
        if (returned == 0) {
            Check(hr == WBEM_S_FALSE && object == nullptr, "end of the results");
            break;
        }
        Check(hr == WBEM_S_NO_ERROR && returned == 1 && object != nullptr, "next object");
        Check(index < model.objects.size(), "more objects than the machine has");
        const Object& expected = model.objects[index++];
        for (const std::wstring& name : model.properties) {
            bool selected = query->allProperties;
            for (const std::wstring& property : query->properties)
                selected = selected || SameName(property, name);
            CheckProperty(object, name, selected ? &expected.at(name) : nullptr);
        }
        VARIANT value;
        VariantInit(&value);
        Check(object->Get(nullptr, 0, &value, nullptr, nullptr) == WBEM_E_INVALID_PARAMETER,
              "read without a name");
        Check(object->Get(model.properties.front().c_str(), 1, &value, nullptr, nullptr) ==
                  WBEM_E_INVALID_PARAMETER,
              "read with flags");
        Check(object->Release() == 0, "object release");
    }
    Check(index == model.objects.size(), "fewer objects than the machine has");
}

// The status a query over a machine's classes must get: the class's listing status once the
// language, the text, the class and every selected property pass.
HRESULT ExpectedStatus(const wchar_t* language,
                       const std::optional<platform::wmi::SelectQuery>& query,
                       const ClassModel* model)
{
    if (!SameName(language, L"WQL"))
        return WBEM_E_INVALID_QUERY_TYPE;
    if (!query)
        return WBEM_E_INVALID_QUERY;
    if (model == nullptr)
        return WBEM_E_INVALID_CLASS;
    for (const std::wstring& property : query->properties) {
        bool known = false;
        for (const std::wstring& name : model->properties)
            known = known || SameName(property, name);
        if (!known)
            return WBEM_E_INVALID_QUERY;
    }
    return model->listing;
}

// Runs a query and checks its status against the parser and the classes, then its results.
void RunQuery(IWbemServices* services, BSTR language, BSTR text, const Machine& machine)
{
    IEnumWbemClassObject* enumerator = nullptr;
    const HRESULT hr =
        services->ExecQuery(language, text, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                            nullptr, &enumerator);
    const std::optional<platform::wmi::SelectQuery> query = CheckedParse(text);
    const ClassModel* model = nullptr;
    for (const ClassModel& candidate : machine.classes) {
        if (query && SameName(candidate.name, query->className))
            model = &candidate;
    }
    Check(hr == ExpectedStatus(language, query, model), "query status");
    Check((enumerator != nullptr) == SUCCEEDED(hr), "enumerator only on success");
    if (enumerator == nullptr)
        return;
    CheckResults(enumerator, *model, query);
    Check(enumerator->Release() == 0, "enumerator release");
}

std::wstring QueryText(std::string_view bytes, bool wide)
{
    if (!wide) {
        // The COM support library widens narrow text; the wrapper decodes UTF-8 up to the first
        // NUL, as a C string ends there.
        return std::wstring(platform::BStr(std::string(bytes).c_str()));
    }
    std::wstring text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(static_cast<std::uint8_t>(bytes[i]) |
                                            (static_cast<std::uint8_t>(bytes[i + 1]) << 8)));
    return text;
}

class ComString {
public:
    explicit ComString(std::wstring_view text)
        : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
        Check(text_ != nullptr, "string allocation");
    }
    ~ComString() { SysFreeString(text_); }
    ComString(const ComString&) = delete;
    ComString& operator=(const ComString&) = delete;

    BSTR Get() const { return text_; }

private:
    BSTR text_;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static const FakeRoots fakeRoots;
    roots = &fakeRoots;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::InputReader input(data, size);
    const std::uint8_t flags = input.Byte();
    const std::filesystem::path& root = roots->Root();

    auto reader = std::make_shared<MemoryReader>();
    std::map<std::string, FileContent> dmi;
    for (const char* attribute : kDmiAttributes) {
        const FileContent content = ReadFile(input);
        dmi[attribute] = (flags & kSmbios) != 0 ? content : FileContent{};
        reader->Add(FakeRoots::DmiFolder(root) / attribute, dmi[attribute]);
    }
    std::vector<FileContent> cpus;
    for (int cpu = 0; cpu < kCpuFolders; ++cpu) {
        cpus.push_back(ReadFile(input));
        reader->Add(FakeRoots::CpuFolder(root, cpu) / "topology/physical_package_id", cpus.back());
    }
    const ProcessorIdentity processor = (flags & kCpuid) != 0
                                            ? FromCpuid(input, (flags & kBrand) != 0)
                                            : FromCpuinfo(input.Segment());
    const std::string language = (flags & kOddLanguage) != 0 ? std::string(input.Segment()) : "WQL";
    const std::string_view queryBytes = input.Segment();

    const Machine machine = Model(dmi, cpus, processor);
    platform::hardware::HardwareProvider provider(root, reader, processor);
    const platform::scripted::HardwareInstallation installation(provider);

    Check(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) == S_OK, "COM start-up");
    IWbemLocator* locator = nullptr;
    Check(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                           reinterpret_cast<LPVOID*>(&locator)) == S_OK &&
              locator != nullptr,
          "locator");
    IWbemServices* services = nullptr;
    Check(locator->ConnectServer(platform::BStr(L"ROOT\\CIMV2"), nullptr, nullptr, nullptr, 0,
                                 nullptr, nullptr, &services) == WBEM_S_NO_ERROR &&
              services != nullptr,
          "connection");

    // The parser sees the whole text, NULs included; the service reads it as a C string.
    const std::wstring query = QueryText(queryBytes, (flags & kWideQuery) != 0);
    CheckedParse(query);
    RunQuery(services, platform::BStr(language.c_str()), ComString(query).Get(), machine);
    // The program's own queries, and one in another case that selects everything.
    for (const char* fixed : Lib_ComputerID::kQueryTexts)
        RunQuery(services, platform::BStr(L"WQL"), platform::BStr(fixed), machine);
    RunQuery(services, platform::BStr(L"WQL"), platform::BStr(L"select * from WIN32_bios"),
             machine);

    Check(services->Release() == 0, "services release");
    Check(locator->Release() == 0, "locator release");
    return 0;
}
