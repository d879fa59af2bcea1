// GenerateComputerID against the console path on the same scripted inventory: the same ID,
// the same trace and the same messages, with nothing on std::cout and the caller's stream
// flags as they were; and the C interface over it.
#include <computer_id/c_interface.h>
#include <computer_id/computer_id.h>
#include <computer_id/id_generation_error.h>

#include <support/scripted_platform/scripted_wmi.h>

#include <support/cout_capture.h>
#include <support/reference_id.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

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

    // An exception of the caller's writer stops the run and stays inside the library.
    const auto throwing = [](void*, const char*, std::size_t) {
        throw std::runtime_error("writer failed");
    };
    char message[40];
    ScriptedWmi wmi;
    TypicalMachine(wmi);
    EXPECT_EQ(computer_id_get_traced(throwing, nullptr, id, sizeof id, message, sizeof message),
              COMPUTER_ID_INTERNAL_ERROR);
    EXPECT_STREQ(message, "writer failed");
    EXPECT_STREQ(id, "");
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
