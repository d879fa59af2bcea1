#include <computer_id/computer_id.h>
#include <computer_id/hardware_inventory.h>
#include <computer_id/id_generation_error.h>
#include <computer_id/message_digest.h>

#include <support/scripted_platform/scripted_wmi.h>

#include <support/cout_capture.h>
#include <support/expected_trace.h>

#include <gtest/gtest.h>

#include <locale>
#include <string>

namespace {

namespace failure_messages = Lib_ComputerID::failure_messages;
using platform::scripted::ScriptedWmi;
using platform::scripted::Step;
using test_support::ComFailureMessage;
using test_support::CoutCapture;
using test_support::ExpectedTrace;
using test_support::kBaseBoardQuery;
using test_support::kBiosQuery;
using test_support::kProcessorQuery;

constexpr std::uint32_t kVtEmpty = 0, kVtNull = 1, kVtI4 = 3, kVtBstr = 8, kVtBstrArray = 0x2008;

const void* AddProcessor(ScriptedWmi& wmi, const std::wstring& id)
{
    return wmi.AddObject(L"Win32_Processor")
        .String(L"DeviceID", id)
        .String(L"Manufacturer", L"GenuineIntel")
        .String(L"Name", L"Intel(R) Xeon(R) CPU   ")
        .String(L"Description", L"Intel64 Family 6 Model 158 Stepping 10")
        .String(L"ProcessorId", L"BFEBFBFF000906EA")
        .Address();
}

std::string ProcessorText(const std::string& id)
{
    return id + "\nGenuineIntel\nIntel(R) Xeon(R) CPU   \n"
                "Intel64 Family 6 Model 158 Stepping 10\nBFEBFBFF000906EA\n";
}

// The trace of one processor object whose five properties are all strings.
void ExpectProcessor(ExpectedTrace& trace, const void* object)
{
    trace.Next(0, object, 1);
    for (const char* name : {"DeviceID", "Manufacturer", "Name", "Description", "ProcessorID"})
        trace.Get(name, 0, kVtBstr);
    trace.ObjectReleased();
}

struct RunResult {
    std::string output;
    std::string id;
};

RunResult RunGetComputerID()
{
    RunResult run{"", "untouched"};
    CoutCapture capture;
    Lib_ComputerID::GetComputerID(run.id);
    run.output = capture.Text();
    return run;
}

struct Collected {
    std::string output;
    std::string text;
};

Collected RunCreateComputerID()
{
    Collected collected;
    CoutCapture capture;
    collected.text = Lib_ComputerID::CreateComputerID(7);
    collected.output = capture.Text();
    return collected;
}

// COM is started first, as the program does before it collects anything.
class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override { Lib_ComputerID::InitializeCOM(); }

    ScriptedWmi wmi;
};

TEST_F(PipelineTest, TwoProcessorsNoBaseBoardAndABios)
{
    const void* cpu0 = AddProcessor(wmi, L"CPU0");
    const void* cpu1 = AddProcessor(wmi, L"CPU1");
    const void* bios = wmi.AddObject(L"Win32_BIOS")
                           .String(L"Manufacturer", L"American Megatrends Inc.")
                           .Null(L"SerialNumber")
                           .Address();

    const RunResult run = RunGetComputerID();

    ExpectedTrace trace;
    trace.GetComputerIDStart().Connected(wmi.Locator(), wmi.Services());
    trace.QueryStart(kProcessorQuery, 0, wmi.Enumerator(L"Win32_Processor"));
    ExpectProcessor(trace, cpu0);
    ExpectProcessor(trace, cpu1);
    trace.QueryEnd();
    trace.EmptyQuery(kBaseBoardQuery, wmi.Enumerator(L"Win32_BaseBoard"));
    trace.QueryStart(kBiosQuery, 0, wmi.Enumerator(L"Win32_BIOS"))
        .Next(0, bios, 1)
        .Get("Manufacturer", 0, kVtBstr)
        .Get("SerialNumber", 0, kVtNull)
        .ObjectReleased()
        .QueryEnd();
    trace.Released();
    EXPECT_EQ(run.output, trace.Text());

    const std::string text =
        ProcessorText("CPU0") + ProcessorText("CPU1") + "American Megatrends Inc.\n";
    EXPECT_EQ(run.id, test_support::ReferenceId(text));
    EXPECT_EQ(wmi.ReleaseProblems(), "");
    EXPECT_EQ(wmi.Queries(),
              (std::vector<std::string>{kProcessorQuery, kBaseBoardQuery, kBiosQuery}));
}

struct ComFailure {
    const char* name;
    Step step;
    std::uint32_t hr;
};

// The failing step's own trace lines, then the "Error: " line with its empty line.
TEST_F(PipelineTest, LocatorCreationFailure)
{
    wmi.Fail(Step::CoCreateInstance, REGDB_E_CLASSNOTREG);
    const RunResult run = RunGetComputerID();
    ExpectedTrace trace;
    trace.GetComputerIDStart()
        .CreateStart()
        .LocatorCreated(0x80040154)
        .ComFailure(failure_messages::kLocator, 0x80040154);
    EXPECT_EQ(run.output, trace.Text());
    EXPECT_EQ(run.id, "untouched");
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST_F(PipelineTest, ConnectionFailureReleasesTheLocator)
{
    wmi.Fail(Step::ConnectServer, WBEM_E_INVALID_NAMESPACE);
    const RunResult run = RunGetComputerID();
    ExpectedTrace trace;
    trace.GetComputerIDStart()
        .CreateStart()
        .LocatorCreated(0)
        .ConnectStart(wmi.Locator())
        .ConnectDone(0x8004100e, nullptr)
        .ComFailure(failure_messages::kConnect, 0x8004100e);
    EXPECT_EQ(run.output, trace.Text());
    EXPECT_EQ(run.id, "untouched");
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST_F(PipelineTest, ProxyBlanketFailureReleasesServicesAndLocator)
{
    wmi.Fail(Step::CoSetProxyBlanket, E_ACCESSDENIED);
    const RunResult run = RunGetComputerID();
    ExpectedTrace trace;
    trace.GetComputerIDStart()
        .Connected(wmi.Locator(), wmi.Services())
        .ComFailure(failure_messages::kProxyBlanket, 0x80070005);
    EXPECT_EQ(run.output, trace.Text());
    EXPECT_EQ(run.id, "untouched");
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST_F(PipelineTest, FirstQueryFailure)
{
    AddProcessor(wmi, L"CPU0");
    wmi.Fail(Step::ExecQuery1, WBEM_E_INVALID_QUERY);
    const RunResult run = RunGetComputerID();
    ExpectedTrace trace;
    trace.GetComputerIDStart()
        .Connected(wmi.Locator(), wmi.Services())
        .QueryStart(kProcessorQuery, 0x80041017, nullptr)
        .ComFailure(failure_messages::kQuery, 0x80041017);
    EXPECT_EQ(run.output, trace.Text());
    EXPECT_EQ(run.id, "untouched");
    EXPECT_EQ(wmi.ReleaseProblems(), "");
    EXPECT_EQ(wmi.Queries().size(), 1U);
}

TEST_F(PipelineTest, ThirdQueryFailureAfterTwoSuccessfulOnes)
{
    const void* cpu = AddProcessor(wmi, L"CPU0");
    const void* board =
        wmi.AddObject(L"Win32_BaseBoard").String(L"Manufacturer", L"ASUSTeK").Address();
    wmi.Fail(Step::ExecQuery3, WBEM_E_INVALID_CLASS);
    const RunResult run = RunGetComputerID();
    ExpectedTrace trace;
    trace.GetComputerIDStart().Connected(wmi.Locator(), wmi.Services());
    trace.QueryStart(kProcessorQuery, 0, wmi.Enumerator(L"Win32_Processor"));
    ExpectProcessor(trace, cpu);
    trace.QueryEnd();
    trace.QueryStart(kBaseBoardQuery, 0, wmi.Enumerator(L"Win32_BaseBoard"))
        .Next(0, board, 1)
        .Get("SerialNumber", 0x80041002, kVtEmpty)
        .Get("Manufacturer", 0, kVtBstr)
        .Get("Product", 0x80041002, kVtEmpty)
        .Get("Model", 0x80041002, kVtEmpty)
        .Get("OtherIdentifyingInfo", 0x80041002, kVtEmpty)
        .ObjectReleased()
        .QueryEnd();
    trace.QueryStart(kBiosQuery, 0x80041010, nullptr)
        .ComFailure(failure_messages::kQuery, 0x80041010);
    EXPECT_EQ(run.output, trace.Text());
    EXPECT_EQ(run.id, "untouched");
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST_F(PipelineTest, EmptyPlatformInformationIsReportedWithOneLineEnd)
{
    const void* cpu = wmi.AddObject(L"Win32_Processor")
                          .Null(L"DeviceID")
                          .Integer(L"Manufacturer", 6)
                          .Failing(L"Name", WBEM_E_ACCESS_DENIED)
                          .StringArray(L"Description", {L"a", L"b"})
                          .Address();
    const RunResult run = RunGetComputerID();
    ExpectedTrace trace;
    trace.GetComputerIDStart().Connected(wmi.Locator(), wmi.Services());
    trace.QueryStart(kProcessorQuery, 0, wmi.Enumerator(L"Win32_Processor"))
        .Next(0, cpu, 1)
        .Get("DeviceID", 0, kVtNull)
        .Get("Manufacturer", 0, kVtI4)
        .Get("Name", 0x80041003, kVtEmpty)
        .Get("Description", 0, kVtBstrArray)
        .Get("ProcessorID", 0x80041002, kVtEmpty)
        .ObjectReleased()
        .QueryEnd();
    trace.EmptyQuery(kBaseBoardQuery, wmi.Enumerator(L"Win32_BaseBoard"));
    trace.EmptyQuery(kBiosQuery, wmi.Enumerator(L"Win32_BIOS"));
    trace.Released();
    trace.NoPlatformInformation();
    EXPECT_EQ(run.output, trace.Text());
    EXPECT_EQ(run.id, "untouched");
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST_F(PipelineTest, EleventhPassIsNumberedInHex)
{
    std::vector<const void*> objects;
    std::string text;
    for (int i = 0; i < 10; ++i) {
        objects.push_back(wmi.AddObject(L"Win32_Processor")
                              .String(L"DeviceID", L"CPU" + std::to_wstring(i))
                              .Address());
        text += "CPU" + std::to_string(i) + "\n";
    }
    const Collected collected = RunCreateComputerID();
    EXPECT_EQ(collected.text, text);
    EXPECT_NE(collected.output.find("Do pEnumerator->Next() # 9\n"), std::string::npos);
    EXPECT_NE(collected.output.find(
                  "Do pEnumerator->Next() # a\nhr= 1, pclsObj = 0000000000000000, uReturn = 0\n"),
              std::string::npos);
    EXPECT_EQ(collected.output.find("# 10"), std::string::npos);
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST_F(PipelineTest, ValuesNarrowToTheLowByteOfEachCodeUnit)
{
    wmi.AddObject(L"Win32_Processor")
        .String(L"DeviceID", L"caf\u00E9")
        .String(L"Manufacturer", L"\u20AC5")
        .String(L"Name", std::wstring{L'a', wchar_t(0xD83D), wchar_t(0xDE00), L'z'})
        .String(L"Description", std::wstring{L'x', L'\0', L'y'})
        .NullString(L"ProcessorId");
    wmi.AddObject(L"Win32_BaseBoard").String(L"SerialNumber", L"");
    const Collected collected = RunCreateComputerID();
    EXPECT_EQ(collected.text, std::string("caf\xE9\n\xAC"
                                          "5\na\x3D\x00z\nx\n\n\n",
                                          17));
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST_F(PipelineTest, ObjectLeftByTheLastEnumerationStepIsReleasedAgain)
{
    const void* cpu = AddProcessor(wmi, L"CPU0");
    const void* stray = wmi.LeaveObjectAfterLastNext(L"Win32_Processor").Address();
    const Collected collected = RunCreateComputerID();
    ExpectedTrace trace;
    trace.Connected(wmi.Locator(), wmi.Services());
    trace.QueryStart(kProcessorQuery, 0, wmi.Enumerator(L"Win32_Processor"));
    ExpectProcessor(trace, cpu);
    trace.QueryEnd(stray);
    trace.EmptyQuery(kBaseBoardQuery, wmi.Enumerator(L"Win32_BaseBoard"));
    trace.EmptyQuery(kBiosQuery, wmi.Enumerator(L"Win32_BIOS"));
    trace.Released();
    EXPECT_EQ(collected.output, trace.Text());
    EXPECT_EQ(collected.text, ProcessorText("CPU0"));
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST_F(PipelineTest, SecondQueryFailureDiscardsWhatTheFirstCollected)
{
    AddProcessor(wmi, L"CPU0");
    wmi.Fail(Step::ExecQuery2, WBEM_E_ACCESS_DENIED);
    CoutCapture capture;
    try {
        Lib_ComputerID::CreateComputerID(7);
        ADD_FAILURE() << "no exception";
    } catch (const Lib_ComputerID::IDGenerationError& error) {
        EXPECT_EQ(error.what(), ComFailureMessage(failure_messages::kQuery, 0x80041003));
    }
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST_F(PipelineTest, StringAllocationFailurePassesThroughAndReleasesTheLocator)
{
    wmi.FailStringAllocation(1);
    CoutCapture capture;
    EXPECT_THROW(Lib_ComputerID::CreateComputerID(7), platform::ComError);
    EXPECT_EQ(capture.Text().substr(capture.Text().rfind("Call ")), "Call pLoc->ConnectServer\n");
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

// Digits grouped in threes, as a German locale groups them.
struct GroupingPunctuation : std::numpunct<char> {
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

std::locale GroupingLocale()
{
    return {std::locale::classic(), new GroupingPunctuation};
}

// A program that embeds the library may set any global locale; messages and the ID keep
// their digits together.
TEST_F(PipelineTest, MessagesAndTheIdIgnoreAGroupingGlobalLocale)
{
    const std::locale previous = std::locale::global(GroupingLocale());
    wmi.Fail(Step::ExecQuery1, WBEM_E_INVALID_QUERY);
    const std::string output = RunGetComputerID().output;
    EXPECT_TRUE(
        output.ends_with(ExpectedTrace().ComFailure(failure_messages::kQuery, 0x80041017).Text()))
        << output;
    EXPECT_EQ(Lib_ComputerID::CreateMessageDigest("abc"),
              "ba7816bf8f1cfea414140de5dae2223b0361a396177a9cb410ff61f2015ad");
    std::locale::global(previous);
}

TEST(InitializeCOMTest, SecondStartOnTheSameThreadIsSilent)
{
    ScriptedWmi wmi;
    CoutCapture capture;
    EXPECT_NO_THROW(Lib_ComputerID::InitializeCOM());
    EXPECT_NO_THROW(Lib_ComputerID::InitializeCOM());
    EXPECT_EQ(capture.Text(), "");
}

// The same message whether or not the global locale groups digits.
TEST(InitializeCOMTest, FailureCarriesTheStatus)
{
    for (const std::locale& global : {std::locale::classic(), GroupingLocale()}) {
        const std::locale previous = std::locale::global(global);
        ScriptedWmi wmi;
        wmi.Fail(Step::CoInitializeFirst, static_cast<HRESULT>(0x80010106U));
        try {
            Lib_ComputerID::InitializeCOM();
            ADD_FAILURE() << "no exception";
        } catch (const Lib_ComputerID::IDGenerationError& error) {
            EXPECT_EQ(error.what(), ComFailureMessage(failure_messages::kComStart, 0x80010106));
        }
        std::locale::global(previous);
    }
}

} // namespace
