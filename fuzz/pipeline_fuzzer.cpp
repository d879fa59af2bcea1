// The whole pipeline over the scripted WMI service. The input lays out classes, objects and
// property values of any type and content, makes any step fail with any status and any
// string allocation fail, and picks how the run starts: GetComputerID alone, after its own
// InitializeCOM, or the whole console flow. The run must end normally, in the COM support
// library's error for a failed string allocation, or in std::bad_alloc for a read that
// failed for want of memory; every interface must be released exactly once unless one of
// those escaped; and the transcript must be the one that the tests' trace model writes
// for the statuses, pointers, counts and type codes that the script implies, with the ID of
// the text that the script's strings make.
//
// Input: run kind, failure mask and one status word per set bit, failing allocation, then
// classes: name, object count, each object's properties (name, type, value), leftover flag.

#include "input_reader.h"

#include <support/cout_capture.h>
#include <support/expected_trace.h>

#include <computer_id/computer_id.h>
#include <computer_id/failure_messages.h>
#include <computer_id/hardware_queries.h>
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

namespace failure_messages = Lib_ComputerID::failure_messages;
using fuzz::Check;
using fuzz::SameName;
using Lib_ComputerID::HardwareQuery;
using Lib_ComputerID::kHardwareQueries;
using Lib_ComputerID::kQueryTexts;
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

std::uint32_t Bits(HRESULT hr)
{
    return static_cast<std::uint32_t>(hr);
}

// Escaped: an exception other than the library's own left the pipeline (the COM support
// library's error for a failed string allocation, or std::bad_alloc).
enum class Outcome { Id, Failed, Escaped };

// Writes the transcript that the script implies, step by step, predicting each status and
// pointer from the script as the platform would answer it.
class Walk {
public:
    Walk(Script& script, const ScriptedWmi& wmi) : script_(script), wmi_(wmi) {}

    // The whole run; for an ID, Id() holds it.
    Outcome Run()
    {
        switch (script_.kind) {
        case RunKind::GetComputerIDAlone:
            return GetComputerID();
        case RunKind::AfterInitializeCOM:
            CoInitializeEx();
            return GetComputerID();
        case RunKind::Console:
            return Console();
        }
        return Outcome::Failed;
    }

    const std::string& Transcript() const { return expected_.Text(); }
    const std::string& Id() const { return id_; }
    const std::vector<std::string>& Queries() const { return queries_; }

private:
    Outcome Console()
    {
        expected_.ConsoleStart();
        if (const HRESULT hr = CoInitializeEx(); FAILED(hr))
            expected_.ComFailure(failure_messages::kComStart, Bits(hr));
        expected_.ConsoleComStarted();
        const Outcome outcome = GetComputerID();
        if (outcome == Outcome::Escaped) {
            expected_.ConsoleCatchAll();
        } else {
            expected_.ConsoleDone();
            if (outcome == Outcome::Id)
                expected_.ConsoleId(id_);
            else
                expected_.ConsoleNoId();
        }
        expected_.ConsolePrompt();
        return outcome;
    }

    Outcome GetComputerID()
    {
        expected_.GetComputerIDEntered();
        if (const HRESULT hr = CoInitializeEx(); FAILED(hr)) {
            expected_.ComFailure(failure_messages::kComStart, Bits(hr));
            return Outcome::Failed;
        }
        expected_.ComStarted();
        const Outcome outcome = CreateComputerID();
        if (outcome != Outcome::Id)
            return outcome;
        if (text_.empty()) {
            expected_.NoPlatformInformation();
            return Outcome::Failed;
        }
        id_ = ReferenceId(text_);
        return Outcome::Id;
    }

    Outcome CreateComputerID()
    {
        expected_.CreateStart();
        HRESULT hr = comStarted_ ? script_.Failure(Step::CoCreateInstance).value_or(S_OK)
                                 : CO_E_NOTINITIALIZED;
        expected_.LocatorCreated(Bits(hr));
        if (FAILED(hr)) {
            expected_.ComFailure(failure_messages::kLocator, Bits(hr));
            return Outcome::Failed;
        }
        expected_.ConnectStart(wmi_.Locator());
        if (!Allocate())
            return Outcome::Escaped;
        hr = script_.Failure(Step::ConnectServer).value_or(WBEM_S_NO_ERROR);
        expected_.ConnectDone(Bits(hr), FAILED(hr) ? nullptr : wmi_.Services());
        if (FAILED(hr)) {
            expected_.ComFailure(failure_messages::kConnect, Bits(hr));
            return Outcome::Failed;
        }
        expected_.ProxyBlanket();
        hr = script_.Failure(Step::CoSetProxyBlanket).value_or(S_OK);
        if (FAILED(hr)) {
            expected_.ComFailure(failure_messages::kProxyBlanket, Bits(hr));
            return Outcome::Failed;
        }
        for (std::size_t q = 0; q < kHardwareQueries.size(); ++q) {
            if (const Outcome outcome = GetInfo(q); outcome != Outcome::Id)
                return outcome;
        }
        expected_.Released();
        return Outcome::Id;
    }

    Outcome GetInfo(std::size_t q)
    {
        const HardwareQuery& query = kHardwareQueries[q];
        expected_.QueryCall(kQueryTexts[q]);
        if (!Allocate() || !Allocate())
            return Outcome::Escaped;
        queries_.emplace_back(kQueryTexts[q]);
        const std::optional<HRESULT> failure =
            script_.Failure(static_cast<Step>(static_cast<std::size_t>(Step::ExecQuery1) + q));
        const void* enumerator = failure ? nullptr : wmi_.Enumerator(query.className);
        if (!failure && enumerator == nullptr)
            Check(false, "the service handed out no enumerator");
        expected_.QueryDone(Bits(failure.value_or(WBEM_S_NO_ERROR)), enumerator);
        if (failure && FAILED(*failure)) {
            expected_.ComFailure(failure_messages::kQuery, Bits(*failure));
            return Outcome::Failed;
        }
        // A query that succeeds without an enumerator has nothing to step through.
        if (enumerator == nullptr) {
            expected_.EnumeratorReleased();
            return Outcome::Id;
        }
        const ModelClass* model = script_.Find(query.className);
        if (!Passes(query, model))
            return Outcome::Escaped;
        expected_.QueryEnd(model != nullptr ? model->leftover : nullptr);
        return Outcome::Id;
    }

    // One pass per object of the class; false when a read that failed for want of memory
    // ended the run. The pass that finds no more is the caller's.
    bool Passes(const HardwareQuery& query, const ModelClass* model)
    {
        if (model == nullptr)
            return true;
        for (const ModelObject& object : model->objects) {
            expected_.Next(WBEM_S_NO_ERROR, object.address, 1);
            for (const wchar_t* name : query.Properties()) {
                if (!Get(object, name))
                    return false;
            }
            expected_.ObjectReleased();
        }
        return true;
    }

    // False when the read failed for want of memory, which ends the run.
    bool Get(const ModelObject& object, std::wstring_view name)
    {
        const std::string narrowName(name.begin(), name.end());
        const Value* value = object.Find(name);
        if (value == nullptr) {
            expected_.Get(narrowName, Bits(WBEM_E_NOT_FOUND), VT_EMPTY);
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
                expected_.Get(narrowName, Bits(value->hr), VT_EMPTY);
                return value->hr != WBEM_E_OUT_OF_MEMORY && value->hr != E_OUTOFMEMORY;
            }
            break;
        }
        expected_.Get(narrowName, WBEM_S_NO_ERROR, vt);
        return true;
    }

    // The low byte of each code unit, then a newline.
    void Append(std::wstring_view value)
    {
        for (const wchar_t unit : value)
            text_.push_back(static_cast<char>(unit & 0xFF));
        text_.push_back('\n');
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

    Script& script_;
    const ScriptedWmi& wmi_;
    test_support::ExpectedTrace expected_;
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
                    Check(message.starts_with(failure_messages::kComStart) &&
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

    Walk walk(script, wmi);
    const Outcome outcome = walk.Run();
    if (output != walk.Transcript()) {
        (void)std::fprintf(stderr, "transcript:\n%s\nexpected:\n%s\n", output.c_str(),
                           walk.Transcript().c_str());
        fuzz::Fail("transcript");
    }

    Check(escaped == (outcome == Outcome::Escaped && script.kind != RunKind::Console),
          "an exception escaped where it should not, or not where it should");
    if (outcome != Outcome::Escaped)
        Check(wmi.ReleaseProblems().empty(), "an interface was not released exactly once");
    Check(wmi.Queries() == walk.Queries(), "the queries sent");
    if (script.kind != RunKind::Console)
        Check(id == (outcome == Outcome::Id ? walk.Id() : "untouched"), "the ID handed back");
    return 0;
}
