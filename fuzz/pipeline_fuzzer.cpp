// The whole pipeline over the scripted WMI service. The input lays out classes, objects and
// property values of any type and content, makes any step fail with any status and any
// string allocation fail, and picks how the run starts: GetComputerID alone, after its own
// InitializeCOM, or the whole console flow. The run must end normally, in the COM support
// library's error for a failed string allocation, or in std::bad_alloc for a read that
// failed for want of memory; every interface must be released exactly once unless one of
// those escaped; and the transcript must follow the
// trace grammar line by line, with the statuses, pointers, counts and type codes that the
// script implies and the ID of the text that the script's strings make.
//
// Input: run kind, failure mask and one status word per set bit, failing allocation, then
// classes: name, object count, each object's properties (name, type, value), leftover flag.

#include "input_reader.h"

#include <support/cout_capture.h>

#include <computer_id/computer_id.h>
#include <computer_id/id_generation_error.h>
#include <console_flow.h>
#include <support/scripted_platform/scripted_wmi.h>

#include <platform/com_wmi.h>

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using fuzz::Check;
using fuzz::SameName;
using platform::scripted::ScriptedObject;
using platform::scripted::ScriptedWmi;
using platform::scripted::Step;

constexpr std::size_t kSteps = static_cast<std::size_t>(Step::ExecQuery3) + 1;

enum class RunKind { GetComputerIDAlone, AfterInitializeCOM, Console };

// ---- The script, kept as a model next to the scripted service ----

struct Value {
    enum class Type { String, NullString, Null, Integer, StringArray, Failing };
    Type type = Type::Null;
    std::wstring text;
    HRESULT hr = S_OK;
};

struct ModelObject {
    const void* address = nullptr;
    std::vector<std::pair<std::wstring, Value>> properties;

    // As the service matches names: without regard to ASCII case, a later value replacing
    // an earlier one.
    const Value* Find(std::wstring_view name) const
    {
        for (const auto& [candidate, value] : properties) {
            if (SameName(candidate, name))
                return &value;
        }
        return nullptr;
    }
    void Set(const std::wstring& name, Value value)
    {
        for (auto& [candidate, existing] : properties) {
            if (SameName(candidate, name)) {
                existing = std::move(value);
                return;
            }
        }
        properties.emplace_back(name, std::move(value));
    }
};

struct ModelClass {
    std::wstring name;
    std::vector<ModelObject> objects;
    const void* leftover = nullptr;
};

struct Script {
    RunKind kind = RunKind::GetComputerIDAlone;
    std::array<std::optional<HRESULT>, kSteps> failures;
    int failingAllocation = 0; // 0: none
    std::vector<ModelClass> classes;

    std::optional<HRESULT> Failure(Step step) const
    {
        return failures[static_cast<std::size_t>(step)];
    }

    ModelClass* Find(std::wstring_view name)
    {
        for (ModelClass& candidate : classes) {
            if (SameName(candidate.name, name))
                return &candidate;
        }
        return nullptr;
    }
    ModelClass& Class(const std::wstring& name)
    {
        ModelClass* found = Find(name);
        return found != nullptr ? *found : classes.emplace_back(ModelClass{name, {}, nullptr});
    }
};

// UTF-16 code units, NULs and unpaired surrogates included: the interface's wide strings
// hold code units of 16 bits.
std::wstring WideText(fuzz::InputReader& input)
{
    const std::string_view bytes = input.Segment();
    std::wstring text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(static_cast<std::uint8_t>(bytes[i]) |
                                            (static_cast<std::uint8_t>(bytes[i + 1]) << 8)));
    return text;
}

std::wstring ClassName(fuzz::InputReader& input)
{
    static const wchar_t* const names[] = {
        L"Win32_Processor", L"WIN32_PROCESSOR", L"Win32_BaseBoard",      L"win32_baseboard",
        L"Win32_BIOS",      L"Win32_Bios",      L"Win32_OperatingSystem"};
    const std::uint8_t choice = input.Byte();
    return choice < std::size(names) ? names[choice] : WideText(input);
}

std::wstring PropertyName(fuzz::InputReader& input)
{
    static const wchar_t* const names[] = {
        L"DeviceID",     L"Manufacturer", L"Name",
        L"Description",  L"ProcessorID",  L"SerialNumber",
        L"Product",      L"Model",        L"OtherIdentifyingInfo",
        L"deviceid",     L"MANUFACTURER", L"ProcessorId",
        L"serialNUMBER", L"Version"};
    const std::uint8_t choice = input.Byte();
    return choice < std::size(names) ? names[choice] : WideText(input);
}

Value AddProperty(fuzz::InputReader& input, ScriptedObject& object, const std::wstring& name)
{
    Value value;
    switch (input.Byte() % 6) {
    case 0:
        value.type = Value::Type::String;
        value.text = WideText(input);
        object.String(name, value.text);
        break;
    case 1:
        value.type = Value::Type::NullString;
        object.NullString(name);
        break;
    case 2:
        value.type = Value::Type::Null;
        object.Null(name);
        break;
    case 3:
        value.type = Value::Type::Integer;
        object.Integer(name, static_cast<LONG>(input.Word()));
        break;
    case 4: {
        value.type = Value::Type::StringArray;
        std::vector<std::wstring> items(input.Byte() % 4);
        for (std::wstring& item : items)
            item = WideText(input);
        object.StringArray(name, items);
        break;
    }
    default:
        value.type = Value::Type::Failing;
        value.hr = static_cast<HRESULT>(input.Word());
        object.Failing(name, value.hr);
        break;
    }
    return value;
}

Script Decode(fuzz::InputReader& input, ScriptedWmi& wmi)
{
    Script script;
    script.kind = static_cast<RunKind>(input.Byte() % 3);
    const std::uint8_t failing = input.Byte();
    for (std::size_t step = 0; step < kSteps; ++step) {
        if ((failing & (1U << step)) == 0)
            continue;
        auto hr = static_cast<HRESULT>(input.Word());
        // COM's contract: a creation or connection that succeeds hands out its interface,
        // and the caller relies on it. A success status here would break the contract.
        if (step == static_cast<std::size_t>(Step::CoCreateInstance) ||
            step == static_cast<std::size_t>(Step::ConnectServer))
            hr = static_cast<HRESULT>(static_cast<std::uint32_t>(hr) | 0x80000000U);
        script.failures[step] = hr;
        wmi.Fail(static_cast<Step>(step), hr);
    }
    const std::uint8_t allocation = input.Byte();
    if (allocation < 8) {
        script.failingAllocation = allocation;
        wmi.FailStringAllocation(allocation);
    }

    const int classes = input.Byte() % 8;
    for (int c = 0; c < classes; ++c) {
        const std::wstring name = ClassName(input);
        ModelClass& model = script.Class(name);
        const int objects = input.Byte();
        for (int o = 0; o < objects; ++o) {
            ScriptedObject& object = wmi.AddObject(name);
            ModelObject& modelObject = model.objects.emplace_back();
            modelObject.address = object.Address();
            const int properties = input.Byte() % 8;
            for (int p = 0; p < properties; ++p) {
                const std::wstring property = PropertyName(input);
                modelObject.Set(property, AddProperty(input, object, property));
            }
        }
        if ((input.Byte() & 1) != 0)
            model.leftover = wmi.LeaveObjectAfterLastNext(name).Address();
    }
    return script;
}

// ---- The reference ID ----

std::string ReferenceId(const std::string& text)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    Check(EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr) == 1 &&
              size == 32,
          "OpenSSL digest");
    char hex[3];
    std::string id;
    for (unsigned i = 0; i < size; ++i) {
        (void)std::snprintf(hex, sizeof hex, i == 0 ? "%02x" : "%x", digest[i]);
        id += hex;
    }
    return id;
}

// ---- The transcript ----

// Lines in order, each matched against a form: "{h}" is an integer as the trace writes it
// (lowercase hex, no leading zero), "{p}" a pointer (16 uppercase hex digits), "{i}" an ID
// (33 to 64 lowercase hex digits); everything else is literal.
class Transcript {
public:
    explicit Transcript(std::string text) : text_(std::move(text))
    {
        if (!text_.empty() && text_.back() != '\n')
            Fail("the transcript does not end with a newline");
        std::size_t start = 0;
        while (start < text_.size()) {
            const std::size_t end = text_.find('\n', start);
            lines_.push_back(std::string_view(text_).substr(start, end - start));
            start = end + 1;
        }
    }

    // The next line, which must have the form; its fields in order.
    std::vector<std::string> Take(const std::string& form)
    {
        if (next_ == lines_.size())
            Fail("the transcript ends early; expected: " + form);
        std::vector<std::string> fields;
        if (!Match(form, lines_[next_], fields))
            Fail("expected: " + form);
        ++next_;
        return fields;
    }

    // The next line, which must have the form with these values in its "{h}" and "{p}" fields.
    void Line(const std::string& form, std::initializer_list<std::uint64_t> values = {})
    {
        const std::vector<std::string> fields = Take(form);
        const auto* value = values.begin();
        for (const std::string& field : fields) {
            if (value == values.end())
                Fail("more fields than values in: " + form);
            if (std::stoull(field, nullptr, 16) != *value++)
                Fail("a value differs in: " + form);
        }
    }

    void End()
    {
        if (next_ != lines_.size())
            Fail("the transcript goes on");
    }

    [[noreturn]] void Fail(const std::string& what) const
    {
        (void)std::fprintf(stderr, "%s\nat line %zu of:\n%s\n", what.c_str(), next_ + 1,
                           text_.c_str());
        fuzz::Fail("transcript");
    }

private:
    static bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }
    static bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

    // The length of the field that the placeholder at the start of form takes from the
    // start of line; nothing when the line has no such field there.
    static std::optional<std::size_t> FieldLength(std::string_view form, std::string_view line)
    {
        if (form.starts_with("{p}")) {
            const bool pointer =
                line.size() >= 16 && std::all_of(line.begin(), line.begin() + 16, IsUpperHex);
            return pointer ? std::optional<std::size_t>(16) : std::nullopt;
        }
        const auto* const end = std::find_if_not(line.begin(), line.end(), IsLowerHex);
        const auto length = static_cast<std::size_t>(end - line.begin());
        if (form.starts_with("{h}")) {
            const bool integer = length >= 1 && length <= 8 && (length == 1 || line.front() != '0');
            return integer ? std::optional<std::size_t>(length) : std::nullopt;
        }
        return length >= 33 && length <= 64 ? std::optional<std::size_t>(length) : std::nullopt;
    }

    static bool IsPlaceholder(std::string_view form)
    {
        return form.starts_with("{h}") || form.starts_with("{p}") || form.starts_with("{i}");
    }

    static bool Match(std::string_view form, std::string_view line,
                      std::vector<std::string>& fields)
    {
        while (!form.empty()) {
            if (!IsPlaceholder(form)) {
                const std::size_t literal = std::min(form.find('{', 1), form.size());
                if (!line.starts_with(form.substr(0, literal)))
                    return false;
                line.remove_prefix(literal);
                form.remove_prefix(literal);
                continue;
            }
            const std::optional<std::size_t> length = FieldLength(form, line);
            if (!length)
                return false;
            fields.emplace_back(line.substr(0, *length));
            line.remove_prefix(*length);
            form.remove_prefix(3);
        }
        return line.empty();
    }

    std::string text_;
    std::vector<std::string_view> lines_;
    std::size_t next_ = 0;
};

std::uint64_t Bits(HRESULT hr)
{
    return static_cast<std::uint32_t>(hr);
}

std::uint64_t Address(const void* pointer)
{
    return reinterpret_cast<std::uintptr_t>(pointer);
}

struct Query {
    const char* text;
    const wchar_t* className;
    std::array<const wchar_t*, 5> properties; // null after the last
};

constexpr std::array<Query, 3> kQueries{{
    {"SELECT DeviceID, Manufacturer, Name, Description, ProcessorID FROM Win32_Processor",
     L"Win32_Processor",
     {L"DeviceID", L"Manufacturer", L"Name", L"Description", L"ProcessorID"}},
    {"SELECT SerialNumber, Manufacturer, Product, Model, OtherIdentifyingInfo FROM Win32_BaseBoard",
     L"Win32_BaseBoard",
     {L"SerialNumber", L"Manufacturer", L"Product", L"Model", L"OtherIdentifyingInfo"}},
    {"SELECT Manufacturer, SerialNumber FROM Win32_BIOS",
     L"Win32_BIOS",
     {L"Manufacturer", L"SerialNumber"}},
}};

// Escaped: an exception other than the library's own left the pipeline (the COM support
// library's error for a failed string allocation, or std::bad_alloc).
enum class Outcome { Id, Failed, Escaped };

// Walks the transcript along the trace grammar, predicting each status and pointer from the
// script as the platform would answer it.
class Walk {
public:
    Walk(Transcript& transcript, Script& script, const ScriptedWmi& wmi)
        : transcript_(transcript), script_(script), wmi_(wmi)
    {
    }

    // The whole run; for an ID, id() holds it.
    Outcome Run()
    {
        Outcome outcome = Outcome::Failed;
        switch (script_.kind) {
        case RunKind::GetComputerIDAlone:
            outcome = GetComputerID();
            break;
        case RunKind::AfterInitializeCOM:
            CoInitializeEx();
            outcome = GetComputerID();
            break;
        case RunKind::Console:
            outcome = Console();
            break;
        }
        transcript_.End();
        return outcome;
    }

    const std::string& Id() const { return id_; }
    const std::vector<std::string>& Queries() const { return queries_; }

private:
    Outcome Console()
    {
        transcript_.Line("Calling InitializeCOM");
        if (const HRESULT hr = CoInitializeEx(); FAILED(hr))
            Error("Failed to initialize COM library. Error code = 0x{h}", hr);
        transcript_.Line("Done InitializeCOM");
        transcript_.Line("Calling GetComputerID");
        const Outcome outcome = GetComputerID();
        if (outcome == Outcome::Escaped) {
            transcript_.Line("Some unknown exception got in the middle: 1");
        } else {
            transcript_.Line("Done GetComputerID");
            if (outcome == Outcome::Id) {
                if (transcript_.Take("comp id = {i}").front() != id_)
                    transcript_.Fail("the ID differs from the reference");
            } else {
                transcript_.Line("Failed to generate comp_id");
            }
        }
        transcript_.Line("Press any key..");
        return outcome;
    }

    Outcome GetComputerID()
    {
        transcript_.Line("In GetComputerID");
        transcript_.Line("InitializeCOM");
        if (const HRESULT hr = CoInitializeEx(); FAILED(hr)) {
            Error("Failed to initialize COM library. Error code = 0x{h}", hr);
            return Outcome::Failed;
        }
        transcript_.Line("Done InitializeCOM");
        const Outcome outcome = CreateComputerID();
        if (outcome != Outcome::Id)
            return outcome;
        if (text_.empty()) {
            transcript_.Line(
                "Error: Failed to create message digest (Insufficient platform information)");
            return Outcome::Failed;
        }
        id_ = ReferenceId(text_);
        return Outcome::Id;
    }

    Outcome CreateComputerID()
    {
        transcript_.Line("In CreateComputerID(), flags = 0x7");
        transcript_.Line("Call CoCreateInstance");
        HRESULT hr = comStarted_ ? script_.Failure(Step::CoCreateInstance).value_or(S_OK)
                                 : CO_E_NOTINITIALIZED;
        transcript_.Line("Done CoCreateInstance, hr = {h}", {Bits(hr)});
        if (FAILED(hr)) {
            Error("Failed to create IWbemLocator object. Err code = 0x{h}", hr);
            return Outcome::Failed;
        }
        transcript_.Line("pLoc = {p}", {Address(wmi_.Locator())});
        transcript_.Line("Call pLoc->ConnectServer");
        if (!Allocate())
            return Outcome::Escaped;
        hr = script_.Failure(Step::ConnectServer).value_or(WBEM_S_NO_ERROR);
        const void* services = FAILED(hr) ? nullptr : wmi_.Services();
        transcript_.Line("Done ConnectServer, hr = {h}, pSvc = {p}", {Bits(hr), Address(services)});
        if (FAILED(hr)) {
            Error("Could not connect. Error code = 0x{h}", hr);
            return Outcome::Failed;
        }
        transcript_.Line("Call CoSetProxyBlanket");
        transcript_.Line("Done CoSetProxyBlanket");
        hr = script_.Failure(Step::CoSetProxyBlanket).value_or(S_OK);
        if (FAILED(hr)) {
            Error("Could not set proxy blanket. Error code = 0x{h}", hr);
            return Outcome::Failed;
        }
        for (std::size_t q = 0; q < kQueries.size(); ++q) {
            if (const Outcome outcome = GetInfo(q); outcome != Outcome::Id)
                return outcome;
        }
        transcript_.Line("Call pSvc->Release()");
        transcript_.Line("Done pSvc->Release()");
        transcript_.Line("Call pLoc->Release()");
        transcript_.Line("Done pLoc->Release()");
        return Outcome::Id;
    }

    Outcome GetInfo(std::size_t q)
    {
        const Query& query = kQueries[q];
        transcript_.Line(std::string("Call GetInfo( ") + query.text + " )");
        if (!Allocate() || !Allocate())
            return Outcome::Escaped;
        queries_.emplace_back(query.text);
        const std::optional<HRESULT> failure =
            script_.Failure(static_cast<Step>(static_cast<std::size_t>(Step::ExecQuery1) + q));
        const HRESULT hr = failure.value_or(WBEM_S_NO_ERROR);
        const void* enumerator = failure ? nullptr : wmi_.Enumerator(query.className);
        if (!failure && enumerator == nullptr)
            transcript_.Fail("the service handed out no enumerator");
        transcript_.Line("Done GetInfo(), hr = {h}, pEnumerator = {p}",
                         {Bits(hr), Address(enumerator)});
        if (FAILED(hr)) {
            Error("Query failed. Error code = 0x{h}", hr);
            return Outcome::Failed;
        }
        const ModelClass* model = enumerator != nullptr ? script_.Find(query.className) : nullptr;
        if (enumerator != nullptr && !Passes(query, model))
            return Outcome::Escaped;
        transcript_.Line("Call pEnumerator->Release()");
        transcript_.Line("Done pEnumerator->Release()");
        if (model != nullptr && model->leftover != nullptr) {
            transcript_.Line("Call again pclsObj->Release()");
            transcript_.Line("Done call again pclsObj->Release()");
        }
        return Outcome::Id;
    }

    // One pass per object of the class and the one that finds no more; false when a read
    // that failed for want of memory ended the run.
    bool Passes(const Query& query, const ModelClass* model)
    {
        const std::size_t count = model != nullptr ? model->objects.size() : 0;
        for (std::size_t pass = 0; pass < count; ++pass) {
            const ModelObject& object = model->objects[pass];
            transcript_.Line("Do pEnumerator->Next() # {h}", {pass});
            transcript_.Line("hr= {h}, pclsObj = {p}, uReturn = {h}",
                             {WBEM_S_NO_ERROR, Address(object.address), 1});
            for (const wchar_t* name : query.properties) {
                if (name != nullptr && !Get(object, name))
                    return false;
            }
            transcript_.Line("Call pclsObj->Release()");
            transcript_.Line("Done pclsObj->Release()");
        }
        const void* leftover = model != nullptr ? model->leftover : nullptr;
        transcript_.Line("Do pEnumerator->Next() # {h}", {count});
        transcript_.Line("hr= {h}, pclsObj = {p}, uReturn = {h}",
                         {WBEM_S_FALSE, Address(leftover), 0});
        return true;
    }

    // False when the read failed for want of memory, which ends the run.
    bool Get(const ModelObject& object, std::wstring_view name)
    {
        transcript_.Line("pclsObj->Get( " + std::string(name.begin(), name.end()) + " )");
        const Value* value = object.Find(name);
        if (value == nullptr) {
            transcript_.Line("hr = {h}, vtProp.vt = {h}", {Bits(WBEM_E_NOT_FOUND), VT_EMPTY});
            return true;
        }
        VARTYPE vt = VT_EMPTY;
        switch (value->type) {
        case Value::Type::String:
            vt = VT_BSTR;
            Append(value->text.substr(0, value->text.find(L'\0')));
            break;
        case Value::Type::NullString:
            vt = VT_BSTR;
            Append({});
            break;
        case Value::Type::Null:
            vt = VT_NULL;
            break;
        case Value::Type::Integer:
            vt = VT_I4;
            break;
        case Value::Type::StringArray:
            vt = VT_ARRAY | VT_BSTR;
            break;
        case Value::Type::Failing:
            // A failure status fails the read; any other is answered as an empty success.
            if (FAILED(value->hr)) {
                transcript_.Line("hr = {h}, vtProp.vt = {h}", {Bits(value->hr), VT_EMPTY});
                return value->hr != WBEM_E_OUT_OF_MEMORY && value->hr != E_OUTOFMEMORY;
            }
            break;
        }
        transcript_.Line("hr = {h}, vtProp.vt = {h}", {WBEM_S_NO_ERROR, vt});
        transcript_.Line("Call VariantClear()");
        transcript_.Line("Done VariantClear()");
        return true;
    }

    // The low byte of each code unit, then a newline.
    void Append(std::wstring_view value)
    {
        for (const wchar_t unit : value)
            text_.push_back(static_cast<char>(unit & 0xFF));
        text_.push_back('\n');
    }

    // The message ends in a newline and the error line in another: an empty line follows.
    void Error(const std::string& message, HRESULT hr)
    {
        transcript_.Line("Error: " + message, {Bits(hr)});
        transcript_.Line("");
    }

    // As the scripted service answers: a failure in place of starting COM, the first start
    // S_OK, every later one S_FALSE.
    HRESULT CoInitializeEx()
    {
        ++coInitializeCalls_;
        std::optional<HRESULT> failure;
        if (coInitializeCalls_ == 1)
            failure = script_.Failure(Step::CoInitializeFirst);
        else if (coInitializeCalls_ == 2)
            failure = script_.Failure(Step::CoInitializeSecond);
        if (failure)
            return *failure;
        if (comStarted_)
            return S_FALSE;
        comStarted_ = true;
        return S_OK;
    }

    // One wide-string allocation of the caller's; false for the one that the script fails.
    bool Allocate() { return ++allocations_ != script_.failingAllocation; }

    Transcript& transcript_;
    Script& script_;
    const ScriptedWmi& wmi_;
    int coInitializeCalls_ = 0;
    bool comStarted_ = false;
    int allocations_ = 0;
    std::string text_;
    std::string id_;
    std::vector<std::string> queries_;
};

void WaitForNoKey() {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::InputReader input(data, size);
    ScriptedWmi wmi;
    Script script = Decode(input, wmi);

    std::string id = "untouched";
    bool escaped = false;
    std::string output;
    {
        test_support::CoutCapture capture;
        try {
            switch (script.kind) {
            case RunKind::GetComputerIDAlone:
                Lib_ComputerID::GetComputerID(id);
                break;
            case RunKind::AfterInitializeCOM:
                try {
                    Lib_ComputerID::InitializeCOM();
                } catch (const Lib_ComputerID::IDGenerationError& error) {
                    const std::string_view message = error.what();
                    Check(
                        message.starts_with("Failed to initialize COM library. Error code = 0x") &&
                            message.ends_with("\n"),
                        "COM start-up failure message");
                }
                Lib_ComputerID::GetComputerID(id);
                break;
            case RunKind::Console:
                Check(computer_id_app::RunConsole(WaitForNoKey) == 0, "exit code");
                break;
            }
        } catch (const platform::ComError& error) {
            Check(error.Error() == E_OUTOFMEMORY, "the COM support library's error status");
            escaped = true;
        } catch (const std::bad_alloc&) {
            escaped = true;
        }
        output = capture.Text();
    }
    Check((std::cout.flags() & std::ios_base::basefield) == std::ios_base::dec,
          "standard output restored");

    Transcript transcript(output);
    Walk walk(transcript, script, wmi);
    const Outcome outcome = walk.Run();

    Check(escaped == (outcome == Outcome::Escaped && script.kind != RunKind::Console),
          "an exception escaped where it should not, or not where it should");
    if (outcome != Outcome::Escaped)
        Check(wmi.ReleaseProblems().empty(), "an interface was not released exactly once");
    Check(wmi.Queries() == walk.Queries(), "the queries sent");
    if (script.kind != RunKind::Console)
        Check(id == (outcome == Outcome::Id ? walk.Id() : "untouched"), "the ID handed back");
    return 0;
}
