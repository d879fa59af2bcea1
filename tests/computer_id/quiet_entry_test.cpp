// GenerateComputerID against the console path on the same scripted inventory: the same ID,
// the same trace and the same messages, with nothing on std::cout and the caller's stream
// flags as they were.
#include <computer_id/computer_id.h>
#include <computer_id/id_generation_error.h>

#include <support/scripted_platform/scripted_wmi.h>

#include <support/cout_capture.h>
#include <support/reference_id.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

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
    {"COM start-up",
     [](ScriptedWmi& wmi) { wmi.Fail(Step::CoInitializeFirst, E_INVALIDARG); },
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
