#include <console_flow.h>

#include <support/scripted_platform/scripted_wmi.h>

#include <support/cout_capture.h>
#include <support/expected_trace.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::scripted::ScriptedWmi;
using platform::scripted::Step;
using test_support::CoutCapture;
using test_support::ExpectedTrace;

int keyWaits = 0;
void CountKeyWait()
{
    ++keyWaits;
}

class ConsoleFlowTest : public ::testing::Test {
protected:
    void SetUp() override { keyWaits = 0; }

    static std::string Run()
    {
        CoutCapture capture;
        EXPECT_EQ(computer_id_app::RunConsole(CountKeyWait), 0);
        EXPECT_EQ(keyWaits, 1);
        return capture.Text();
    }

    // A processor with one string property; the base board and BIOS queries answer nothing.
    const void* AddOneProcessor()
    {
        return wmi.AddObject(L"Win32_Processor").String(L"DeviceID", L"CPU0").Address();
    }

    void ExpectInventory(ExpectedTrace& trace, const void* cpu)
    {
        trace.Connected(wmi.Locator(), wmi.Services())
            .QueryStart(test_support::kProcessorQuery, 0, wmi.Enumerator(L"Win32_Processor"))
            .Next(0, cpu, 1)
            .Get("DeviceID", 0, 8);
        for (const char* name : {"Manufacturer", "Name", "Description", "ProcessorID"})
            trace.Get(name, 0x80041002, 0);
        trace.ObjectReleased().QueryEnd();
        trace.EmptyQuery(test_support::kBaseBoardQuery, wmi.Enumerator(L"Win32_BaseBoard"));
        trace.EmptyQuery(test_support::kBiosQuery, wmi.Enumerator(L"Win32_BIOS"));
        trace.Released();
    }

    ScriptedWmi wmi;
};

TEST_F(ConsoleFlowTest, SuccessfulRunPrintsTheIdOnce)
{
    const void* cpu = AddOneProcessor();
    const std::string output = Run();

    ExpectedTrace trace;
    trace.ConsoleStart().ConsoleComStarted().GetComputerIDStart();
    ExpectInventory(trace, cpu);
    trace.ConsoleDone().ConsoleId(test_support::ReferenceId("CPU0\n")).ConsolePrompt();
    EXPECT_EQ(output, trace.Text());
    EXPECT_EQ(output.find(ExpectedTrace().ConsoleNoId().Text()), std::string::npos);
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST_F(ConsoleFlowTest, MainComStartFailureIsReportedAndThePipelineStillRuns)
{
    const void* cpu = AddOneProcessor();
    wmi.Fail(Step::CoInitializeFirst, static_cast<HRESULT>(0x80010106U));
    const std::string output = Run();

    ExpectedTrace trace;
    trace.ConsoleStart()
        .ComFailure(Lib_ComputerID::failure_messages::kComStart, 0x80010106)
        .ConsoleComStarted()
        .GetComputerIDStart();
    ExpectInventory(trace, cpu);
    trace.ConsoleDone().ConsoleId(test_support::ReferenceId("CPU0\n")).ConsolePrompt();
    EXPECT_EQ(output, trace.Text());
}

TEST_F(ConsoleFlowTest, LibraryComStartFailureEndsWithoutAnId)
{
    AddOneProcessor();
    wmi.Fail(Step::CoInitializeSecond, static_cast<HRESULT>(0x8007000EU));
    const std::string output = Run();

    ExpectedTrace trace;
    trace.ConsoleStart()
        .ConsoleComStarted()
        .GetComputerIDEntered()
        .ComFailure(Lib_ComputerID::failure_messages::kComStart, 0x8007000e)
        .ConsoleDone()
        .ConsoleNoId()
        .ConsolePrompt();
    EXPECT_EQ(output, trace.Text());
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST_F(ConsoleFlowTest, EmptyPlatformInformationEndsWithoutAnId)
{
    const std::string output = Run();
    const std::string tail =
        ExpectedTrace().NoPlatformInformation().ConsoleDone().ConsoleNoId().ConsolePrompt().Text();
    ASSERT_GE(output.size(), tail.size());
    EXPECT_EQ(output.substr(output.size() - tail.size()), tail);
    EXPECT_EQ(output.find("comp id = "), std::string::npos);
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST_F(ConsoleFlowTest, OtherExceptionsReachTheCatchAll)
{
    AddOneProcessor();
    wmi.FailStringAllocation(2);
    const std::string output = Run();

    ExpectedTrace trace;
    trace.ConsoleStart().ConsoleComStarted().GetComputerIDStart().Connected(wmi.Locator(),
                                                                            wmi.Services());
    trace.QueryCall(test_support::kProcessorQuery).ConsoleCatchAll().ConsolePrompt();
    EXPECT_EQ(output, trace.Text());
}

} // namespace
