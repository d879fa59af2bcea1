// GenerateComputerID against the console path on the same scripted inventory: the same ID,
// the same trace and the same messages, with nothing on std::cout and the caller's stream
// flags as they were; and the C interface over it.
#include <computer_id/c_interface.h>
#include <computer_id/computer_id.h>
#include <computer_id/fingerprint.h>
#include <computer_id/id_description.h>
#include <computer_id/id_generation_error.h>
#include <computer_id/sha/sha.h>

#include <support/scripted_platform/scripted_wmi.h>

#include <sha/openssl_oracle.h>
#include <support/cout_capture.h>
#include <support/reference_id.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <span>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <pthread.h>

namespace {

using platform::scripted::ScriptedWmi;
using platform::scripted::Step;

void TypicalMachine(ScriptedWmi& wmi)
{
    wmi.AddObject(L"Win32_Processor").String(L"DeviceID", L"CPU0").String(L"Name", L"Xeon");
    wmi.AddObject(L"Win32_BaseBoard").String(L"SerialNumber", L"BSN-4711");
    wmi.AddObject(L"Win32_BIOS").String(L"Manufacturer", L"AMI");
}

struct Case {
    const char* name;
    void (*arrange)(ScriptedWmi&);
    const char* message; // null: the run succeeds
};

const Case kCases[] = {
    {"typical machine", TypicalMachine, nullptr},
    {"COM start-up", [](ScriptedWmi& wmi) { wmi.Fail(Step::CoInitializeFirst, E_INVALIDARG); },
     "Failed to initialize COM library. Error code = 0x80070057\n"},
    {"locator", [](ScriptedWmi& wmi) { wmi.Fail(Step::CoCreateInstance, REGDB_E_CLASSNOTREG); },
     "Failed to create IWbemLocator object. Err code = 0x80040154\n"},
    {"connection",
     [](ScriptedWmi& wmi) { wmi.Fail(Step::ConnectServer, WBEM_E_INVALID_NAMESPACE); },
     "Could not connect. Error code = 0x8004100e\n"},
    {"proxy blanket", [](ScriptedWmi& wmi) { wmi.Fail(Step::CoSetProxyBlanket, E_ACCESSDENIED); },
     "Could not set proxy blanket. Error code = 0x80070005\n"},
    {"second query",
     [](ScriptedWmi& wmi) {
         TypicalMachine(wmi);
         wmi.Fail(Step::ExecQuery2, WBEM_E_ACCESS_DENIED);
     },
     "Query failed. Error code = 0x80041003\n"},
    {"no string value",
     [](ScriptedWmi& wmi) { wmi.AddObject(L"Win32_Processor").Null(L"DeviceID"); },
     "Failed to create message digest (Insufficient platform information)"},
};

// Each run has a scripted service of its own, so the interface addresses differ: each
// pointer (16 uppercase hex digits; numbers are lowercase) becomes "P".
std::string WithoutPointers(std::string_view trace)
{
    std::string text;
    while (!trace.empty()) {
        const bool pointer =
            trace.size() >= 16 &&
            trace.substr(0, 16).find_first_not_of("0123456789ABCDEF") == std::string_view::npos;
        text += pointer ? 'P' : trace.front();
        trace.remove_prefix(pointer ? 16 : 1);
    }
    return text;
}

TEST(GenerateComputerIDTest, IsTheConsolePathWithoutStandardOutput)
{
    const std::ios_base::fmtflags callerFlags =
        std::ios::oct | std::ios::boolalpha | std::ios::left;
    for (const Case& entry : kCases) {
        SCOPED_TRACE(entry.name);
        std::ostringstream trace;
        trace.flags(callerFlags);
        std::string id;
        std::string message;
        {
            ScriptedWmi wmi;
            entry.arrange(wmi);
            const test_support::CoutCapture capture;
            const std::ios_base::fmtflags coutFlags = std::cout.flags();
            try {
                id = Lib_ComputerID::GenerateComputerID(trace);
            } catch (const Lib_ComputerID::IDGenerationError& error) {
                message = error.what();
            }
            EXPECT_EQ(capture.Text(), "");
            EXPECT_EQ(std::cout.flags(), coutFlags);
            EXPECT_EQ(wmi.ReleaseProblems(), "");
        }
        EXPECT_EQ(trace.flags(), callerFlags);

        std::string consoleId;
        std::string consoleOutput;
        {
            ScriptedWmi wmi;
            entry.arrange(wmi);
            const test_support::CoutCapture capture;
            Lib_ComputerID::GetComputerID(consoleId);
            consoleOutput = capture.Text();
        }

        if (entry.message != nullptr) {
            EXPECT_EQ(message, entry.message);
            EXPECT_EQ(id, "");
            EXPECT_EQ(consoleId, "");
            EXPECT_EQ(WithoutPointers(consoleOutput),
                      WithoutPointers(trace.str()) + "Error: " + entry.message + "\n");
        } else {
            EXPECT_EQ(message, "");
            EXPECT_EQ(id, test_support::ReferenceId("CPU0\nXeon\nBSN-4711\nAMI\n"));
            EXPECT_EQ(consoleId, id);
            EXPECT_EQ(WithoutPointers(consoleOutput), WithoutPointers(trace.str()));
        }
    }
}

// Over this machine, as a program calls it: first in main, then again while the program
// exits, after the static objects made by the first call have been destroyed.
std::string idInMain;

void ExitWithTheIdCompared()
{
    std::ostream noTrace(nullptr);
    std::_Exit(Lib_ComputerID::GenerateComputerID(noTrace) == idInMain ? 0 : 1);
}

TEST(GenerateComputerIDTest, GivesTheSameIdFromAnAtexitHandler)
{
    EXPECT_EXIT(
        {
            if (std::atexit(ExitWithTheIdCompared) != 0)
                std::_Exit(2);
            std::ostream noTrace(nullptr);
            idInMain = Lib_ComputerID::GenerateComputerID(noTrace);
            std::exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace

// The C interface over the same inventories: statuses, buffers, trace and COM.
void FullLengthId(ScriptedWmi& wmi)
{
    // This serial number makes every digest byte after the first two hex digits long.
    wmi.AddObject(L"Win32_BaseBoard").String(L"SerialNumber", L"BSN-4704");
}
const std::string kFullLengthId = test_support::ReferenceId("BSN-4704\n");

struct CCase {
    const char* name;
    void (*arrange)(ScriptedWmi&);
    bool idNull;
    std::size_t idSize;
    std::size_t messageSize; // 0 with messageNull: no message buffer
    bool messageNull;
    int status;
    const char* id;      // null: the full-length ID
    const char* message; // what the message buffer holds afterwards
};

const CCase kCCases[] = {
    {"full buffers", FullLengthId, false, 65, 80, false, COMPUTER_ID_OK, nullptr, ""},
    {"no message buffer", FullLengthId, false, 65, 0, true, COMPUTER_ID_OK, nullptr, ""},
    {"id_size 64", FullLengthId, false, 64, 80, false, COMPUTER_ID_BUFFER_TOO_SMALL, "",
     "id_size is too small for the ID; COMPUTER_ID_MAX_SIZE (65) bytes always suffice"},
    {"id_size 1, message cut", FullLengthId, false, 1, 8, false, COMPUTER_ID_BUFFER_TOO_SMALL, "",
     "id_size"},
    {"id_size 0", FullLengthId, false, 0, 1, false, COMPUTER_ID_BUFFER_TOO_SMALL, "", ""},
    {"id NULL", FullLengthId, true, 65, 80, false, COMPUTER_ID_INVALID_ARGUMENT, "",
     "Invalid argument: id is NULL"},
    {"id NULL, no message buffer", FullLengthId, true, 65, 0, true, COMPUTER_ID_INVALID_ARGUMENT,
     "", ""},
    {"locator out of memory",
     [](ScriptedWmi& wmi) { wmi.Fail(Step::CoCreateInstance, E_OUTOFMEMORY); }, false, 65, 80,
     false, COMPUTER_ID_OUT_OF_MEMORY, "", "Out of memory"},
};

TEST(CInterfaceTest, FillsTheBuffersAndReturnsTheStatus)
{
    std::vector<CCase> cases(std::begin(kCCases), std::end(kCCases));
    // Every failure of the C++ entry, its message without the line end.
    for (const Case& entry : kCases) {
        if (entry.message != nullptr) {
            cases.push_back({entry.name, entry.arrange, false, 65, 200, false, COMPUTER_ID_NO_ID,
                             "", entry.message});
        }
    }
    ASSERT_EQ(kFullLengthId.size(), 64U);
    for (const CCase& entry : cases) {
        SCOPED_TRACE(entry.name);
        std::string id(80, 'x');
        std::string message(200, 'x');
        ScriptedWmi wmi;
        entry.arrange(wmi);
        const test_support::CoutCapture capture;
        const int status =
            computer_id_get(entry.idNull ? nullptr : id.data(), entry.idSize,
                            entry.messageNull ? nullptr : message.data(), entry.messageSize);
        EXPECT_EQ(status, entry.status);
        EXPECT_EQ(capture.Text(), "");
        if (!entry.idNull && entry.idSize > 0) {
            EXPECT_STREQ(id.c_str(), entry.id != nullptr ? entry.id : kFullLengthId.c_str());
        }
        EXPECT_EQ(id.substr(std::max<std::size_t>(entry.idSize, 65)), std::string(15, 'x'));
        if (!entry.messageNull && entry.messageSize > 0) {
            std::string expected = entry.message;
            if (!expected.empty() && expected.back() == '\n')
                expected.pop_back();
            EXPECT_STREQ(message.c_str(), expected.c_str());
        }
        EXPECT_EQ(message.find_first_not_of('x', entry.messageSize), std::string::npos);
    }
}

TEST(CInterfaceTest, HandsOverTheTraceLineByLine)
{
    std::ostringstream expected;
    {
        ScriptedWmi wmi;
        TypicalMachine(wmi);
        (void)Lib_ComputerID::GenerateComputerID(expected);
    }
    std::vector<std::string> lines;
    const auto collect = [](void* context, const char* text, std::size_t size) {
        static_cast<std::vector<std::string>*>(context)->emplace_back(text, size);
    };
    char id[COMPUTER_ID_MAX_SIZE];
    {
        ScriptedWmi wmi;
        TypicalMachine(wmi);
        ASSERT_EQ(computer_id_get_traced(collect, &lines, id, sizeof id, nullptr, 0),
                  COMPUTER_ID_OK);
    }
    std::string trace;
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
        trace += line;
    }
    EXPECT_EQ(WithoutPointers(trace), WithoutPointers(expected.str()));
    EXPECT_STREQ(id, test_support::ReferenceId("CPU0\nXeon\nBSN-4711\nAMI\n").c_str());

    // An exception of the caller's writer, at any line, stops the run, stays inside the
    // library and leaves no interface held.
    const auto throwing = [](void* context, const char*, std::size_t) {
        if ((*static_cast<std::size_t*>(context))-- == 0)
            throw std::runtime_error("writer failed");
    };
    for (std::size_t failing = 0; failing < lines.size(); ++failing) {
        SCOPED_TRACE(lines[failing]);
        char message[40];
        std::size_t linesLeft = failing;
        ScriptedWmi wmi;
        TypicalMachine(wmi);
        EXPECT_EQ(
            computer_id_get_traced(throwing, &linesLeft, id, sizeof id, message, sizeof message),
            COMPUTER_ID_INTERNAL_ERROR);
        EXPECT_STREQ(message, "writer failed");
        EXPECT_STREQ(id, "");
        EXPECT_EQ(wmi.ReleaseProblems(), "");
    }
}

// glibc ends a thread by unwinding it with an exception that no one may stop: cancellation
// and pthread_exit, here from the trace writer, end the thread through the C interface with
// nothing held, and the library works on as before.
TEST(CInterfaceTest, LetsThreadCancellationAndExitThrough)
{
    using Writer = void (*)(void*, const char*, std::size_t);
    const Writer exits = [](void*, const char*, std::size_t) { pthread_exit(nullptr); };
    const Writer cancels = [](void*, const char*, std::size_t) {
        pthread_cancel(pthread_self());
        pthread_testcancel();
    };
    for (const auto& [writer, result] :
         {std::pair{exits, static_cast<void*>(nullptr)}, {cancels, PTHREAD_CANCELED}}) {
        ScriptedWmi wmi;
        TypicalMachine(wmi);
        pthread_t thread{};
        const auto run = [](void* ending) -> void* {
            char id[COMPUTER_ID_MAX_SIZE];
            (void)computer_id_get_traced(*static_cast<const Writer*>(ending), nullptr, id,
                                         sizeof id, nullptr, 0);
            return ending;
        };
        ASSERT_EQ(pthread_create(&thread, nullptr, run, const_cast<Writer*>(&writer)), 0);
        void* ended = nullptr;
        ASSERT_EQ(pthread_join(thread, &ended), 0);
        EXPECT_EQ(ended, result);
        EXPECT_EQ(wmi.ReleaseProblems(), "");
        char id[COMPUTER_ID_MAX_SIZE];
        EXPECT_EQ(computer_id_get(id, sizeof id, nullptr, 0), COMPUTER_ID_OK);
        EXPECT_STREQ(id, test_support::ReferenceId("CPU0\nXeon\nBSN-4711\nAMI\n").c_str());
    }
}

// How COM stands on the calling thread, probed with a multithreaded start-up that is undone
// at once: S_OK not started, S_FALSE multithreaded, RPC_E_CHANGED_MODE apartment-threaded.
HRESULT ComOnThisThread()
{
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr;
}

TEST(CInterfaceTest, LeavesComOnTheThreadAsItFoundIt)
{
    struct ThreadCase {
        const char* name;
        bool started;
        DWORD model;
        HRESULT before; // and after the call
    };
    const ThreadCase threadCases[] = {
        {"COM not started", false, 0, S_OK},
        {"apartment-threaded", true, COINIT_APARTMENTTHREADED, RPC_E_CHANGED_MODE},
        {"multithreaded", true, COINIT_MULTITHREADED, S_FALSE},
    };
    ScriptedWmi wmi;
    TypicalMachine(wmi);
    for (const ThreadCase& entry : threadCases) {
        SCOPED_TRACE(entry.name);
        // A thread of its own starts with COM not started.
        std::thread([&entry] {
            if (entry.started) {
                ASSERT_EQ(CoInitializeEx(nullptr, entry.model), S_OK);
            }
            ASSERT_EQ(ComOnThisThread(), entry.before);
            char id[COMPUTER_ID_MAX_SIZE];
            EXPECT_EQ(computer_id_get(id, sizeof id, nullptr, 0), COMPUTER_ID_OK);
            EXPECT_EQ(ComOnThisThread(), entry.before);
            if (entry.started) {
                // The program's own start-up is the only one left.
                CoUninitialize();
                EXPECT_EQ(ComOnThisThread(), S_OK);
            }
        }).join();
    }
}

std::string Hex(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text += "0123456789abcdef"[byte >> 4];
        text += "0123456789abcdef"[byte & 0xf];
    }
    return text;
}

// The application's ID, from C++ and from C, against OpenSSL's HMAC-SHA-256 of the same text.
TEST(GenerateAppSpecificIDTest, IsTheHmacOfThePlatformTextUnderTheKey)
{
    const auto onTypicalMachine = [](const auto& run) {
        ScriptedWmi wmi;
        TypicalMachine(wmi);
        return run();
    };
    const std::vector<std::uint8_t> key(16, 0x4b);
    std::vector<std::uint8_t> otherKey = key;
    otherKey.back() = 0x4c;
    std::ostringstream trace;
    std::ostringstream idTrace;
    const std::string id =
        onTypicalMachine([&] { return Lib_ComputerID::GenerateAppSpecificID(trace, key); });
    (void)onTypicalMachine([&] { return Lib_ComputerID::GenerateComputerID(idTrace); });
    char cId[COMPUTER_ID_MAX_SIZE];
    char message[80];
    const auto forApp = [&](const std::vector<std::uint8_t>& appKey, std::size_t size) {
        return computer_id_get_for_app(size == 0 ? nullptr : appKey.data(), size, cId, sizeof cId,
                                       message, sizeof message);
    };

    const std::string text = "CPU0\nXeon\nBSN-4711\nAMI\n";
    const std::vector<std::uint8_t> mac = OpenSSLHmac(
        SHA256, key, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    EXPECT_EQ(id, Hex(mac));
    EXPECT_EQ(WithoutPointers(trace.str()), WithoutPointers(idTrace.str()));
    ASSERT_EQ(onTypicalMachine([&] { return forApp(key, key.size()); }), COMPUTER_ID_OK);
    EXPECT_EQ(cId, id);
    ASSERT_EQ(onTypicalMachine([&] { return forApp(otherKey, otherKey.size()); }), COMPUTER_ID_OK);
    EXPECT_EQ(std::strlen(cId), 64U);
    EXPECT_NE(cId, id);

    // Keys that are missing, short or too long for the digest are refused before anything
    // runs (the long one is never read).
    const char* const tooShort = "The application key must be at least 16 bytes (128 bits) long";
    const std::pair<std::size_t, const char*> refused[] = {
        {0, tooShort},
        {15, tooShort},
        {std::size_t{1} << 32U,
         "The application key must be at most 4294967295 (2^32 - 1) bytes long"}};
    for (const auto& [size, why] : refused) {
        EXPECT_EQ(forApp(key, size), COMPUTER_ID_INVALID_ARGUMENT);
        EXPECT_STREQ(cId, "");
        EXPECT_STREQ(message, why);
    }

    // A key that shares its memory with id or message is read before either is written.
    for (const bool keyInId : {true, false}) {
        unsigned char shared[COMPUTER_ID_MAX_SIZE];
        std::copy(key.begin(), key.end(), shared);
        char* const idOut = keyInId ? reinterpret_cast<char*>(shared) : cId;
        char* const messageOut = keyInId ? message : reinterpret_cast<char*>(shared);
        EXPECT_EQ(onTypicalMachine([&] {
                      return computer_id_get_for_app(shared, key.size(), idOut, sizeof shared,
                                                     messageOut, sizeof shared);
                  }),
                  COMPUTER_ID_OK);
        EXPECT_EQ(idOut, id);
        EXPECT_STREQ(messageOut, "");
    }
    const std::vector<std::uint8_t> shortKey(15, 0x4b);
    EXPECT_THROW((void)Lib_ComputerID::GenerateAppSpecificID(trace, shortKey),
                 std::invalid_argument);
}

// The description tests' inventories, which the fingerprint tests share.
void RealSerialNumbers(ScriptedWmi& wmi)
{
    TypicalMachine(wmi);
    wmi.AddObject(L"Win32_BIOS").String(L"SerialNumber", L"  ").Null(L"Manufacturer");
}

void Placeholders(ScriptedWmi& wmi)
{
    wmi.AddObject(L"Win32_BaseBoard")
        .String(L"SerialNumber", L" default STRING ")
        .String(L"Product", L"X570")
        .Integer(L"Model", 7);
    wmi.AddObject(L"Win32_BIOS").String(L"SerialNumber", L"xxxxxxxx");
}

void SerialNumbersDenied(ScriptedWmi& wmi)
{
    wmi.AddObject(L"Win32_BaseBoard").Failing(L"SerialNumber", WBEM_E_ACCESS_DENIED);
    wmi.AddObject(L"Win32_BIOS")
        .Failing(L"SerialNumber", WBEM_E_ACCESS_DENIED)
        .String(L"Manufacturer", L"To be filled by O.E.M.");
}

// Each object as "Class: Property state[ placeholder], ...", one per line.
std::string Summary(const Lib_ComputerID::IdDescription& description)
{
    std::string text;
    for (const Lib_ComputerID::ObjectDescription& object : description.objects) {
        text += object.className + ":";
        for (const Lib_ComputerID::PropertyDescription& property : object.properties) {
            if (property.state != Lib_ComputerID::PropertyState::Failed) {
                text += std::string(" ") + property.name + " " +
                        Lib_ComputerID::PropertyStateName(property.state) +
                        (property.placeholder ? " placeholder" : "");
            }
        }
        text += "\n";
    }
    return text + (description.serialNumberBacked ? "serial number" : "model only");
}

TEST(DescribeComputerIDTest, NamesEachPropertysStateAndTheVerdict)
{
    struct DescribeCase {
        const char* name;
        void (*arrange)(ScriptedWmi&);
        const char* summary; // properties that were not there are left out
    };
    const DescribeCase cases[] = {
        {"real serial numbers", RealSerialNumbers,
         "Win32_Processor: DeviceID value Name value\n"
         "Win32_BaseBoard: SerialNumber value\n"
         "Win32_BIOS: Manufacturer value\n"
         "Win32_BIOS: Manufacturer null SerialNumber value placeholder\n"
         "serial number"},
        {"placeholders", Placeholders,
         "Win32_BaseBoard: SerialNumber value placeholder Product value Model null\n"
         "Win32_BIOS: SerialNumber value placeholder\n"
         "model only"},
        {"serial numbers denied", SerialNumbersDenied,
         "Win32_BaseBoard: SerialNumber access denied\n"
         "Win32_BIOS: Manufacturer value placeholder SerialNumber access denied\n"
         "model only"},
        {"no SMBIOS",
         [](ScriptedWmi& wmi) { wmi.AddObject(L"Win32_Processor").String(L"Name", L"Xeon"); },
         "Win32_Processor: Name value\nmodel only"},
        {"no value at all", [](ScriptedWmi&) {}, "model only"},
    };
    for (const DescribeCase& entry : cases) {
        SCOPED_TRACE(entry.name);
        ScriptedWmi wmi;
        entry.arrange(wmi);
        std::ostream noTrace(nullptr);
        EXPECT_EQ(Summary(Lib_ComputerID::DescribeComputerID(noTrace)), entry.summary);
        EXPECT_EQ(wmi.ReleaseProblems(), "");
    }
}

// The hypervisor bit, against the flag the kernel reads from the same CPUID leaf.
TEST(DescribeComputerIDTest, HypervisorMatchesProcCpuinfo)
{
#if defined(__aarch64__)
    GTEST_SKIP() << "64-bit ARM has no CPUID hypervisor bit, and under qemu-user /proc/cpuinfo "
                    "describes the host";
#else
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line) && line.rfind("flags", 0) != 0) {
    }
    ASSERT_FALSE(line.empty()) << "no flags in /proc/cpuinfo";
    ScriptedWmi wmi;
    std::ostream noTrace(nullptr);
    EXPECT_EQ(Lib_ComputerID::DescribeComputerID(noTrace).hypervisor,
              (line + " ").find(" hypervisor ") != std::string::npos);
#endif
}

TEST(CInterfaceTest, GivesTheDescriptionAsJson)
{
    char message[80];
    ScriptedWmi wmi;
    wmi.AddObject(L"Win32_BaseBoard").String(L"SerialNumber", L"0").Integer(L"Model", 7);
    std::string json(1000, 'x');
    std::size_t needed = 0;
    ASSERT_EQ(computer_id_describe(json.data(), json.size(), &needed, message, sizeof message),
              COMPUTER_ID_OK);
    json.resize(std::strlen(json.c_str()));
    EXPECT_EQ(needed, json.size() + 1);
    const std::string objects =
        R"({"objects":[{"class":"Win32_BaseBoard","properties":[)"
        R"({"name":"SerialNumber","state":"value","placeholder":true},)"
        R"({"name":"Manufacturer","state":"failed","placeholder":false},)"
        R"({"name":"Product","state":"failed","placeholder":false},)"
        R"({"name":"Model","state":"null","placeholder":false},)"
        R"({"name":"OtherIdentifyingInfo","state":"failed","placeholder":false}]}],"hypervisor":)";
    const std::string verdict = R"(,"serial_number_backed":false,"verdict":"model only"})";
    EXPECT_EQ(json.substr(0, objects.size()), objects);
    EXPECT_TRUE(json.ends_with(verdict)) << json;
    const std::string hypervisor = json.substr(
        objects.size(), json.size() - std::min(json.size(), objects.size() + verdict.size()));
    EXPECT_TRUE(hypervisor.starts_with(R"(true,"hypervisor_vendor":")") ||
                hypervisor == R"(false,"hypervisor_vendor":"")")
        << hypervisor;

    std::string small(needed - 1, 'x');
    std::size_t neededAgain = 0;
    EXPECT_EQ(
        computer_id_describe(small.data(), small.size(), &neededAgain, message, sizeof message),
        COMPUTER_ID_BUFFER_TOO_SMALL);
    EXPECT_EQ(neededAgain, needed);
    EXPECT_STREQ(small.c_str(), "");
    EXPECT_EQ(computer_id_describe(nullptr, 10, &neededAgain, message, sizeof message),
              COMPUTER_ID_INVALID_ARGUMENT);
}

// A machine with every part; a null serial number is one the user may not read, a null
// processor name one the processor does not give.
struct Hardware {
    const wchar_t* cpuId = L"CPU0";
    const wchar_t* cpu = L"Xeon";
    const wchar_t* product = L"X570";
    const wchar_t* boardSerial = L"BSN-4711";
    const wchar_t* vendor = L"AMI";
    const wchar_t* biosSerial = L"BIOS-77";
};

std::function<void(ScriptedWmi&)> Machine(Hardware hardware)
{
    return [hardware](ScriptedWmi& wmi) {
        const auto serial = [](auto& object, const wchar_t* name, const wchar_t* value) {
            if (value != nullptr)
                object.String(name, value);
            else
                object.Failing(name, WBEM_E_ACCESS_DENIED);
        };
        auto& processor = wmi.AddObject(L"Win32_Processor").String(L"DeviceID", hardware.cpuId);
        if (hardware.cpu != nullptr)
            processor.String(L"Name", hardware.cpu);
        auto& board = wmi.AddObject(L"Win32_BaseBoard").String(L"Product", hardware.product);
        serial(board, L"SerialNumber", hardware.boardSerial);
        serial(wmi.AddObject(L"Win32_BIOS").String(L"Manufacturer", hardware.vendor),
               L"SerialNumber", hardware.biosSerial);
    };
}

const std::vector<std::uint8_t> kFingerprintKey(16, 0x4b);

std::string FingerprintOf(const std::function<void(ScriptedWmi&)>& arrange,
                          const std::vector<std::uint8_t>& key = kFingerprintKey)
{
    ScriptedWmi wmi;
    arrange(wmi);
    std::ostream noTrace(nullptr);
    return Lib_ComputerID::GenerateFingerprint(noTrace, key);
}

TEST(FingerprintTest, TellsTheSameMachineAndWhatChanged)
{
    using Lib_ComputerID::MatchVerdict;
    enum : unsigned { kCpu = 1, kBoard = 2, kBoardSerial = 4, kBios = 8, kBiosSerial = 16 };
    const struct {
        const char* name;
        std::function<void(ScriptedWmi&)> stored, current;
        MatchVerdict verdict;
        unsigned changed;
    } cases[] = {
        {"identical", Machine({}), Machine({}), MatchVerdict::Same, 0},
        {"BIOS update", Machine({}), Machine({.vendor = L"AMI Inc."}), MatchVerdict::SameMachine,
         kBios},
        {"processor upgrade", Machine({}), Machine({.cpu = L"Epyc"}), MatchVerdict::SameMachine,
         kCpu},
        {"board model", Machine({}), Machine({.product = L"B550"}), MatchVerdict::SameMachine,
         kBoard},
        {"board replaced", Machine({}), Machine({.product = L"B550", .boardSerial = L"BSN-9"}),
         MatchVerdict::SameMachine, kBoard | kBoardSerial},
        {"text moved between properties", Machine({}),
         Machine({.cpuId = L"CPU0NameXeon", .cpu = nullptr}), MatchVerdict::SameMachine, kCpu},
        {"both serial numbers", Machine({}),
         Machine({.boardSerial = L"BSN-9", .biosSerial = L"BIOS-78"}), MatchVerdict::Different,
         kBoardSerial | kBiosSerial},
        {"placeholder on one side", Machine({.boardSerial = L"To Be Filled By OEM"}), Machine({}),
         MatchVerdict::SameMachine, kBoardSerial},
        {"serial numbers denied", Machine({}),
         Machine({.boardSerial = nullptr, .biosSerial = nullptr}), MatchVerdict::Undecided,
         kBoardSerial | kBiosSerial},
        {"model only", Machine({.boardSerial = L"Default string", .biosSerial = L"0"}),
         Machine({.cpu = L"Epyc", .boardSerial = L"Default string", .biosSerial = L"0"}),
         MatchVerdict::Undecided, kCpu},
        {"placeholder serials add nothing", RealSerialNumbers, TypicalMachine, MatchVerdict::Same,
         0},
        {"placeholders and denied", SerialNumbersDenied, Placeholders, MatchVerdict::Undecided,
         kBoard | kBios},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.name);
        const Lib_ComputerID::FingerprintMatch match = Lib_ComputerID::MatchFingerprints(
            FingerprintOf(entry.stored), FingerprintOf(entry.current));
        EXPECT_EQ(match.verdict, entry.verdict);
        EXPECT_EQ(match.changed, entry.changed);
    }
}

// Each part against OpenSSL's HMAC of its label and its length-prefixed values; the trace is
// the application ID's.
TEST(FingerprintTest, IsTheHmacOfEachPartAndTracesAsTheApplicationsId)
{
    const auto hmac = [](const std::string& text) {
        return Hex(OpenSSLHmac(
            SHA256, kFingerprintKey,
            std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())));
    };
    const auto length = [](std::size_t size) {
        std::string bytes;
        for (std::size_t i = 0; i < 8; ++i)
            bytes += static_cast<char>((size >> (8 * i)) & 0xffU);
        return bytes;
    };
    const auto part = [&](const char* name, const std::vector<std::string>& fields) {
        std::string text =
            std::string("computer_id fingerprint ") + name + '\0' + length(fields.size() / 2);
        for (const std::string& field : fields)
            text += length(field.size()) + field;
        return hmac(text).substr(0, 32);
    };
    const std::string expected = "cid1." + hmac("computer_id fingerprint key check").substr(0, 8) +
                                 "." + part("processor", {"DeviceID", "CPU0", "Name", "Xeon"}) +
                                 ".-." + part("board serial", {"SerialNumber", "BSN-4711"}) + "." +
                                 part("bios", {"Manufacturer", "AMI"}) + ".-";
    std::ostringstream trace;
    std::ostringstream idTrace;
    ScriptedWmi wmi;
    TypicalMachine(wmi);
    EXPECT_EQ(Lib_ComputerID::GenerateFingerprint(trace, kFingerprintKey), expected);
    (void)Lib_ComputerID::GenerateAppSpecificID(idTrace, kFingerprintKey);
    EXPECT_EQ(WithoutPointers(trace.str()), WithoutPointers(idTrace.str()));
}

// Texts that are no fingerprints, and fingerprints of two keys.
TEST(CInterfaceTest, MatchRefusesTextsThatAreNoFingerprints)
{
    const std::string one = FingerprintOf(Machine({}));
    const std::string other = FingerprintOf(Machine({}), std::vector<std::uint8_t>(16, 0x4c));
    // Made with other keys, the two share no digest, and every part is present.
    ASSERT_EQ(one.size(), 178U);
    EXPECT_NE(one.substr(5, 8), other.substr(5, 8));
    for (std::size_t at = 14; at < one.size(); at += 33)
        EXPECT_NE(one.substr(at, 32), other.substr(at, 32)) << at;
    const std::string malformed =
        " fingerprint is not one: cid1, 8 hex digits and 5 parts of 32 hex digits or -, "
        "dot-separated";
    std::string altered = one;
    altered[6] = 'g';
    const struct {
        std::string stored, current;
        int status;
        std::string message;
    } cases[] = {
        {one.substr(0, one.size() - 1), one, COMPUTER_ID_INVALID_ARGUMENT,
         "The stored" + malformed},
        {one, altered, COMPUTER_ID_INVALID_ARGUMENT, "The current" + malformed},
        {one, one + ".-", COMPUTER_ID_INVALID_ARGUMENT, "The current" + malformed},
        {one, one + " ", COMPUTER_ID_INVALID_ARGUMENT, "The current" + malformed},
        {"cid12" + one.substr(4), one, COMPUTER_ID_INVALID_ARGUMENT,
         "The stored fingerprint is of a version this library does not read (it reads cid1)"},
        {other, one, COMPUTER_ID_KEY_MISMATCH,
         "The fingerprints were made with different application keys"},
        {other, altered, COMPUTER_ID_INVALID_ARGUMENT, "The current" + malformed},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.stored + " " + entry.current);
        int verdict = -1;
        unsigned changed = 99;
        char message[160];
        EXPECT_EQ(computer_id_match(entry.stored.c_str(), entry.current.c_str(), &verdict, &changed,
                                    message, sizeof message),
                  entry.status);
        EXPECT_EQ(message, entry.message);
        EXPECT_EQ(verdict, -1);
        EXPECT_EQ(changed, 99U);
    }
    EXPECT_THROW((void)Lib_ComputerID::MatchFingerprints(one, one + '\0'), std::invalid_argument);
}

TEST(CInterfaceTest, GivesAndMatchesFingerprints)
{
    char message[160];
    const std::string replaced = FingerprintOf(Machine({.boardSerial = L"BSN-9"}));
    ScriptedWmi wmi;
    Machine({})(wmi);
    std::ostream noTrace(nullptr);
    const std::string expected = Lib_ComputerID::GenerateFingerprint(noTrace, kFingerprintKey);
    const auto fingerprint = [&](const std::uint8_t* key, char* text, std::size_t size,
                                 std::size_t* needed) {
        return computer_id_fingerprint(key, kFingerprintKey.size(), text, size, needed, message,
                                       sizeof message);
    };
    char text[COMPUTER_ID_MAX_FINGERPRINT_SIZE];
    std::size_t needed = 0;
    ASSERT_EQ(fingerprint(kFingerprintKey.data(), text, sizeof text, &needed), COMPUTER_ID_OK);
    EXPECT_EQ(text, expected);
    EXPECT_EQ(needed, expected.size() + 1);
    EXPECT_EQ(fingerprint(kFingerprintKey.data(), text, expected.size(), &needed),
              COMPUTER_ID_BUFFER_TOO_SMALL);
    EXPECT_EQ(needed, expected.size() + 1);
    EXPECT_STREQ(text, "");
    EXPECT_STREQ(message, "fingerprint_size is too small for the fingerprint; "
                          "COMPUTER_ID_MAX_FINGERPRINT_SIZE (256) bytes always suffice");
    EXPECT_EQ(fingerprint(nullptr, text, sizeof text, &needed), COMPUTER_ID_INVALID_ARGUMENT);
    EXPECT_STREQ(message, "The application key must be at least 16 bytes (128 bits) long");
    EXPECT_EQ(fingerprint(kFingerprintKey.data(), nullptr, sizeof text, &needed),
              COMPUTER_ID_INVALID_ARGUMENT);
    EXPECT_STREQ(message, "Invalid argument: fingerprint is NULL");

    int verdict = -1;
    unsigned changed = 99;
    EXPECT_EQ(
        computer_id_match(expected.c_str(), nullptr, &verdict, &changed, message, sizeof message),
        COMPUTER_ID_INVALID_ARGUMENT);
    EXPECT_STREQ(message,
                 "Invalid argument: stored, current, verdict and changed must not be NULL");
    ASSERT_EQ(computer_id_match(expected.c_str(), replaced.c_str(), &verdict, &changed, message,
                                sizeof message),
              COMPUTER_ID_OK);
    EXPECT_EQ(verdict, COMPUTER_ID_MATCH_SAME_MACHINE);
    EXPECT_EQ(changed, unsigned{COMPUTER_ID_PART_BOARD_SERIAL});
    EXPECT_STREQ(message, "");
}
