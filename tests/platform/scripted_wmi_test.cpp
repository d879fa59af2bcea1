#include "wmi_client.h"

#include <support/scripted_platform/scripted_wmi.h>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using platform::scripted::ScriptedWmi;
using platform::scripted::Step;
using platform_test::Connection;
using platform_test::Failed;
using platform_test::Null;
using platform_test::Objects;
using platform_test::ReadProperty;
using platform_test::Text;

const char* const queries[] = {"SELECT Name FROM Win32_Processor",
                               "SELECT Product FROM Win32_BaseBoard",
                               "SELECT Manufacturer FROM Win32_BIOS"};

// The platform steps of one inventory run, up to the first failing one; releases what
// it was handed.
std::vector<HRESULT> RunSteps()
{
    std::vector<HRESULT> statuses;
    const auto step = [&statuses](HRESULT hr) {
        statuses.push_back(hr);
        return SUCCEEDED(hr);
    };
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
    if (step(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) &&
        step(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) &&
        !step(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               reinterpret_cast<void**>(&locator)))) {
        EXPECT_EQ(locator, nullptr);
    }
    if (locator != nullptr &&
        !step(locator->ConnectServer(platform::BStr("ROOT\\CIMV2"), nullptr, nullptr, nullptr, 0,
                                     nullptr, nullptr, &services))) {
        EXPECT_EQ(services, nullptr);
    }
    if (services != nullptr &&
        step(CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                               EOAC_NONE))) {
        for (const char* query : queries) {
            IEnumWbemClassObject* enumerator = nullptr;
            const bool succeeded = step(services->ExecQuery(
                platform::BStr("WQL"), platform::BStr(query), 0x30, nullptr, &enumerator));
            if (!succeeded) {
                EXPECT_EQ(enumerator, nullptr);
                break;
            }
            enumerator->Release();
        }
    }
    if (services != nullptr) {
        services->Release();
    }
    if (locator != nullptr) {
        locator->Release();
    }
    return statuses;
}

struct Failure {
    Step step;
    std::size_t index;
};

void PrintTo(const Failure& value, std::ostream* out)
{
    *out << "step " << value.index;
}

class ScriptedStepTest : public ::testing::TestWithParam<Failure> {};

TEST_P(ScriptedStepTest, TheChosenStepFailsWithTheChosenStatus)
{
    ScriptedWmi wmi;
    const auto hr = static_cast<HRESULT>(0x80041234U);
    wmi.Fail(GetParam().step, hr);
    std::vector<HRESULT> expected{
        S_OK,           S_FALSE, S_OK, WBEM_S_NO_ERROR, S_OK, WBEM_S_NO_ERROR, WBEM_S_NO_ERROR,
        WBEM_S_NO_ERROR};
    expected.resize(GetParam().index + 1);
    expected.back() = hr;
    EXPECT_EQ(RunSteps(), expected);
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ScriptedStepTest,
    ::testing::Values(Failure{Step::CoInitializeFirst, 0}, Failure{Step::CoInitializeSecond, 1},
                      Failure{Step::CoCreateInstance, 2}, Failure{Step::ConnectServer, 3},
                      Failure{Step::CoSetProxyBlanket, 4}, Failure{Step::ExecQuery1, 5},
                      Failure{Step::ExecQuery2, 6}, Failure{Step::ExecQuery3, 7}));

TEST(ScriptedWmiTest, UnscriptedRunSucceedsAndRecordsTheQueries)
{
    ScriptedWmi wmi;
    EXPECT_EQ(RunSteps(), (std::vector<HRESULT>{S_OK, S_FALSE, S_OK, 0, S_OK, 0, 0, 0}));
    EXPECT_EQ(wmi.Queries(), std::vector<std::string>(std::begin(queries), std::end(queries)));
    EXPECT_NE(wmi.Enumerator(L"win32_bios"), nullptr);
    EXPECT_EQ(wmi.Enumerator(L"Win32_Fan"), nullptr);
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST(ScriptedWmiTest, GetHandsOutFreshCopiesOfEveryKindOfValue)
{
    ScriptedWmi wmi;
    wmi.AddObject(L"Win32_Processor")
        .String(L"Text", L"caf\u00E9")
        .String(L"Empty", L"")
        .String(L"Nul", std::wstring(L"x\0y", 3))
        .NullString(L"NullText")
        .Null(L"Nothing")
        .Integer(L"Number", -7)
        .StringArray(L"List", {L"a", L"bc"})
        .Failing(L"Secret", WBEM_E_ACCESS_DENIED);
    auto connection = std::make_unique<const Connection>();
    IEnumWbemClassObject* enumerator = nullptr;
    ASSERT_EQ(connection->Exec(L"SELECT * FROM WIN32_PROCESSOR", &enumerator), WBEM_S_NO_ERROR);
    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    ASSERT_EQ(enumerator->Next(WBEM_INFINITE, 1, &object, &returned), WBEM_S_NO_ERROR);

    EXPECT_EQ(ReadProperty(object, L"text"), Text(L"caf\u00E9"));
    EXPECT_EQ(ReadProperty(object, L"Empty"), Text(L""));
    EXPECT_EQ(ReadProperty(object, L"Nul"), Text(std::wstring(L"x\0y", 3)));
    EXPECT_EQ(ReadProperty(object, L"NullText"),
              (platform_test::PropertyRead{0, VT_BSTR, std::nullopt}));
    EXPECT_EQ(ReadProperty(object, L"Nothing"), Null());
    EXPECT_EQ(ReadProperty(object, L"Secret"), Failed(WBEM_E_ACCESS_DENIED));
    EXPECT_EQ(ReadProperty(object, L"Missing"), Failed(WBEM_E_NOT_FOUND));

    VARIANT first;
    VARIANT second;
    ASSERT_EQ(object->Get(L"Text", 0, &first, nullptr, nullptr), WBEM_S_NO_ERROR);
    ASSERT_EQ(object->Get(L"Text", 0, &second, nullptr, nullptr), WBEM_S_NO_ERROR);
    EXPECT_NE(first.bstrVal, second.bstrVal);
    VariantClear(&first);
    VariantClear(&second);

    VARIANT value;
    CIMTYPE type = 0;
    LONG flavor = -1;
    ASSERT_EQ(object->Get(L"Number", 0, &value, &type, &flavor), WBEM_S_NO_ERROR);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, -7);
    EXPECT_EQ(type, CIM_SINT32);
    EXPECT_EQ(flavor, WBEM_FLAVOR_ORIGIN_LOCAL);
    ASSERT_EQ(object->Get(L"List", 0, &value, &type, nullptr), WBEM_S_NO_ERROR);
    EXPECT_EQ(value.vt, VT_ARRAY | VT_BSTR);
    EXPECT_EQ(type, CIM_STRING | CIM_FLAG_ARRAY);
    ASSERT_EQ(value.parray->cElements, 2U);
    EXPECT_EQ(std::wstring(value.parray->pElements[1], SysStringLen(value.parray->pElements[1])),
              L"bc");
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(object->Get(L"Number", 1, &value, nullptr, nullptr), WBEM_E_INVALID_PARAMETER);

    object->Release();
    enumerator->Release();
    connection.reset();
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST(ScriptedWmiTest, EnumerationHandsOutTheObjectsInOrderThenTheLeftover)
{
    ScriptedWmi wmi;
    const void* first = wmi.AddObject(L"Win32_BIOS").String(L"Manufacturer", L"A").Address();
    const void* second = wmi.AddObject(L"win32_bios").String(L"Manufacturer", L"B").Address();
    const void* leftover = wmi.LeaveObjectAfterLastNext(L"WIN32_BIOS").Address();
    auto connection = std::make_unique<const Connection>();
    IEnumWbemClassObject* enumerator = nullptr;
    ASSERT_EQ(connection->Exec(L"SELECT Manufacturer FROM Win32_BIOS", &enumerator),
              WBEM_S_NO_ERROR);
    EXPECT_EQ(enumerator, wmi.Enumerator(L"Win32_BIOS"));

    IWbemClassObject* objects[3] = {};
    ULONG returned = 0;
    EXPECT_EQ(enumerator->Next(WBEM_INFINITE, 1, &objects[0], &returned), WBEM_S_NO_ERROR);
    EXPECT_EQ(returned, 1U);
    EXPECT_EQ(enumerator->Next(WBEM_INFINITE, 2, &objects[1], &returned), WBEM_S_FALSE);
    EXPECT_EQ(returned, 1U);
    EXPECT_EQ(objects[0], first);
    EXPECT_EQ(objects[1], second);
    EXPECT_EQ(objects[2], leftover);
    EXPECT_EQ(ReadProperty(objects[1], L"Manufacturer"), Text(L"B"));
    IWbemClassObject* after = objects[0];
    EXPECT_EQ(enumerator->Next(WBEM_INFINITE, 1, &after, &returned), WBEM_S_FALSE);
    EXPECT_EQ(returned, 0U);
    EXPECT_EQ(after, nullptr);

    for (IWbemClassObject* object : objects) {
        EXPECT_EQ(object->Release(), 0U);
    }
    enumerator->Release();
    EXPECT_EQ(connection->Collect(L"SELECT Name FROM Win32_Processor", {L"Name"}), Objects{});
    connection.reset();
    EXPECT_EQ(wmi.ReleaseProblems(), "");
}

TEST(ScriptedWmiTest, ReleaseProblemsNameAMissingAndADoubleRelease)
{
    ScriptedWmi wmi;
    const void* object = wmi.AddObject(L"Win32_BIOS").Address();
    auto* locator = static_cast<IWbemLocator*>(const_cast<void*>(wmi.Locator()));
    {
        const Connection connection;
        IEnumWbemClassObject* enumerator = nullptr;
        ASSERT_EQ(connection.Exec(L"SELECT Manufacturer FROM Win32_BIOS", &enumerator),
                  WBEM_S_NO_ERROR);
        IWbemClassObject* taken = nullptr;
        ULONG returned = 0;
        ASSERT_EQ(enumerator->Next(WBEM_INFINITE, 1, &taken, &returned), WBEM_S_NO_ERROR);
        EXPECT_EQ(locator->AddRef(), 2U);
        EXPECT_EQ(enumerator->Release(), 0U);
        EXPECT_EQ(enumerator->Release(), 0U);
    }
    std::ostringstream expected;
    expected << "locator (" << wmi.Locator() << "): handed out 2, released 1\n"
             << "enumerator of Win32_BIOS (" << wmi.Enumerator(L"Win32_BIOS")
             << "): handed out 1, released 2\n"
             << "object 0 of Win32_BIOS (" << object << "): handed out 1, released 0\n";
    EXPECT_EQ(wmi.ReleaseProblems(), expected.str());
}

TEST(ScriptedWmiTest, AllocationFailureCountsOnlyTheCallersStrings)
{
    ScriptedWmi wmi;
    wmi.AddObject(L"Win32_BIOS").String(L"Manufacturer", L"A");
    const Connection connection; // allocates the namespace string
    wmi.FailStringAllocation(3); // the language and the query text come first
    EXPECT_EQ(connection.Collect(L"SELECT Manufacturer FROM Win32_BIOS", {L"Manufacturer"}),
              (Objects{{Text(L"A")}}));
    EXPECT_THROW(platform::BStr("third"), platform::ComError);
}

TEST(ScriptedWmiTest, OnlyTheScriptsServicesTakeAProxyBlanketAndOnlyRootCimv2Connects)
{
    ScriptedWmi outer;
    {
        ScriptedWmi inner;
        const Connection connection;
        EXPECT_EQ(CoSetProxyBlanket(static_cast<IUnknown*>(const_cast<void*>(inner.Locator())),
                                    RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                    RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                    EOAC_NONE),
                  E_NOINTERFACE);
    }
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    void* locator = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               &locator),
              S_OK);
    EXPECT_EQ(locator, outer.Locator());
    IWbemServices* services = nullptr;
    EXPECT_EQ(static_cast<IWbemLocator*>(locator)->ConnectServer(platform::BStr("ROOT\\CIMV"),
                                                                 nullptr, nullptr, nullptr, 0,
                                                                 nullptr, nullptr, &services),
              WBEM_E_INVALID_NAMESPACE);
    EXPECT_EQ(services, nullptr);
    static_cast<IWbemLocator*>(locator)->Release();
    EXPECT_EQ(outer.ReleaseProblems(), "");
}

} // namespace
