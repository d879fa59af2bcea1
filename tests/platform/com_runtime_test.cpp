#include <platform/com_wmi.h>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// COM state belongs to a thread, so each test runs on a thread of its own on which COM has
// not been started.
void OnNewThread(const std::function<void()>& body)
{
    std::thread(body).join();
}

// Interface ids of the SDK that name no class and that the locator does not answer for.
const GUID wbemServicesId = {
    0x9556DC99, 0x828C, 0x11CF, {0xA3, 0x7E, 0x00, 0xAA, 0x00, 0x32, 0x40, 0xC7}};
const GUID wbemClassObjectId = {
    0xDC12A681, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

// A call of CoInitializeEx with the model and the status it must give, or of CoUninitialize.
using Calls = std::vector<std::pair<DWORD, HRESULT>>;
constexpr DWORD kUninitialize = ~DWORD{0};

class CoInitializeSequenceTest : public ::testing::TestWithParam<Calls> {};

TEST_P(CoInitializeSequenceTest, EachCallGivesItsStatus)
{
    OnNewThread([] {
        for (const auto& [model, expected] : GetParam()) {
            if (model == kUninitialize) {
                CoUninitialize();
                continue;
            }
            EXPECT_EQ(CoInitializeEx(nullptr, model), expected) << "model " << model;
        }
    });
}

INSTANTIATE_TEST_SUITE_P(Sequences, CoInitializeSequenceTest,
                         ::testing::Values(Calls{{COINIT_APARTMENTTHREADED, S_OK},
                                                 {COINIT_APARTMENTTHREADED, S_FALSE},
                                                 {COINIT_MULTITHREADED, RPC_E_CHANGED_MODE},
                                                 {COINIT_APARTMENTTHREADED, S_FALSE}},
                                           Calls{{COINIT_MULTITHREADED, S_OK},
                                                 {COINIT_APARTMENTTHREADED, RPC_E_CHANGED_MODE},
                                                 {COINIT_MULTITHREADED, S_FALSE}},
                                           Calls{{COINIT_APARTMENTTHREADED | 0x4 | 0x8, S_OK},
                                                 {COINIT_APARTMENTTHREADED, S_FALSE},
                                                 {COINIT_MULTITHREADED | 0x4, RPC_E_CHANGED_MODE}},
                                           Calls{{0x10, E_INVALIDARG},
                                                 {COINIT_MULTITHREADED, S_OK}},
                                           // Each start-up is undone once; a refused one
                                           // counts none; too many undos change nothing.
                                           Calls{{COINIT_APARTMENTTHREADED, S_OK},
                                                 {COINIT_APARTMENTTHREADED, S_FALSE},
                                                 {COINIT_MULTITHREADED, RPC_E_CHANGED_MODE},
                                                 {kUninitialize, S_OK},
                                                 {COINIT_MULTITHREADED, RPC_E_CHANGED_MODE},
                                                 {kUninitialize, S_OK},
                                                 {kUninitialize, S_OK},
                                                 {COINIT_MULTITHREADED, S_OK},
                                                 {kUninitialize, S_OK},
                                                 {COINIT_APARTMENTTHREADED, S_OK}}));

TEST(ComRuntimeTest, CoInitializeRejectsAReservedPointerWithoutStartingCom)
{
    OnNewThread([] {
        int reserved = 0;
        EXPECT_EQ(CoInitializeEx(&reserved, COINIT_APARTMENTTHREADED), E_INVALIDARG);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    });
}

TEST(ComRuntimeTest, ComStateBelongsToTheThread)
{
    OnNewThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        HRESULT other = E_INVALIDARG;
        std::thread([&other] { other = CoInitializeEx(nullptr, COINIT_MULTITHREADED); }).join();
        EXPECT_EQ(other, S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    });
}

struct Creation {
    const char* name;
    const CLSID* clsid;
    DWORD context;
    bool outer;
    const IID* iid;
    HRESULT expected;
};

void PrintTo(const Creation& value, std::ostream* out)
{
    *out << value.name;
}

class CoCreateInstanceTest : public ::testing::TestWithParam<Creation> {};

IWbemLocator* CreateLocator(REFIID iid = IID_IWbemLocator)
{
    void* created = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, iid, &created),
              S_OK);
    return static_cast<IWbemLocator*>(created);
}

TEST_P(CoCreateInstanceTest, OnlyTheInProcessWbemLocatorIsRegistered)
{
    OnNewThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        const Creation& creation = GetParam();
        IWbemLocator* outer = CreateLocator();
        void* created = &created;
        EXPECT_EQ(CoCreateInstance(*creation.clsid, creation.outer ? outer : nullptr,
                                   creation.context, *creation.iid, &created),
                  creation.expected);
        EXPECT_EQ(created, nullptr);
        EXPECT_EQ(outer->Release(), 0U);
    });
}

INSTANTIATE_TEST_SUITE_P(
    Failures, CoCreateInstanceTest,
    ::testing::Values(Creation{"OtherClass", &wbemServicesId, CLSCTX_INPROC_SERVER, false,
                               &IID_IWbemLocator, REGDB_E_CLASSNOTREG},
                      Creation{"LocalServerOnly", &CLSID_WbemLocator, 0x4, false, &IID_IWbemLocator,
                               REGDB_E_CLASSNOTREG},
                      Creation{"Aggregation", &CLSID_WbemLocator, CLSCTX_INPROC_SERVER, true,
                               &IID_IWbemLocator, CLASS_E_NOAGGREGATION},
                      Creation{"OtherInterface", &CLSID_WbemLocator, CLSCTX_INPROC_SERVER, false,
                               &wbemServicesId, E_NOINTERFACE}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ComRuntimeTest, CoCreateInstanceNeedsComOnTheThreadAndAnOutPointer)
{
    OnNewThread([] {
        void* created = &created;
        EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, &created),
                  CO_E_NOTINITIALIZED);
        EXPECT_EQ(created, nullptr);
        EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, nullptr),
                  E_POINTER);
    });
}

TEST(ComRuntimeTest, LocatorCountsReferencesAndAnswersOnlyForItsIdentity)
{
    OnNewThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        IWbemLocator* locator = CreateLocator(IID_IUnknown);
        ASSERT_NE(locator, nullptr);
        void* same = nullptr;
        EXPECT_EQ(locator->QueryInterface(IID_IUnknown, &same), S_OK);
        EXPECT_EQ(same, locator);
        EXPECT_EQ(locator->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
        for (const IID* iid : {&IID_IWbemLocator, &wbemServicesId}) {
            void* other = &other;
            EXPECT_EQ(locator->QueryInterface(*iid, &other), E_NOINTERFACE);
            EXPECT_EQ(other, nullptr);
        }
        EXPECT_EQ(locator->AddRef(), 3U);
        EXPECT_EQ(locator->Release(), 2U);
        EXPECT_EQ(locator->Release(), 1U);
        EXPECT_EQ(locator->Release(), 0U);
    });
}

void ConnectAndSetProxyBlanket()
{
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    IWbemLocator* locator = CreateLocator();
    IWbemServices* services = nullptr;
    ASSERT_EQ(locator->ConnectServer(platform::BStr("root\\cimv2"), nullptr, nullptr, nullptr, 0,
                                     nullptr, nullptr, &services),
              WBEM_S_NO_ERROR);
    for (IUnknown* proxy : {static_cast<IUnknown*>(services), static_cast<IUnknown*>(nullptr)}) {
        EXPECT_EQ(CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                    RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                    EOAC_NONE),
                  proxy != nullptr ? S_OK : E_INVALIDARG);
    }
    for (const char* name : {"ROOT\\DEFAULT", "ROOT/CIMV2", "ROOT\\CIMV2\\"}) {
        IWbemServices* failed = services;
        EXPECT_EQ(locator->ConnectServer(platform::BStr(name), nullptr, nullptr, nullptr, 0,
                                         nullptr, nullptr, &failed),
                  WBEM_E_INVALID_NAMESPACE);
        EXPECT_EQ(failed, nullptr);
    }
    EXPECT_EQ(services->Release(), 0U);
    EXPECT_EQ(locator->Release(), 0U);
}

TEST(ComRuntimeTest, ProxyBlanketNeedsAProxyAndOnlyRootCimv2Connects)
{
    OnNewThread(ConnectAndSetProxyBlanket);
}

TEST(GuidTest, EqualityComparesEveryField)
{
    GUID changed = IID_IWbemLocator;
    EXPECT_TRUE(changed == IID_IWbemLocator);
    changed.Data4[7] ^= 1;
    EXPECT_FALSE(changed == IID_IWbemLocator);
    EXPECT_FALSE(IID_IWbemLocator == wbemClassObjectId);
}

} // namespace
