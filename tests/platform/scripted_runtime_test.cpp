// The COM entry points of the scripted platform: what an installed provider changes and
// what an installation puts back.
#include <support/scripted_platform/provider.h>
#include <support/scripted_platform/scripted_wmi.h>

#include <platform/com_wmi.h>
#include <platform/posix/hardware/hardware_provider.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

std::wstring Units(BSTR text)
{
    return std::wstring(text, SysStringLen(text));
}

TEST(BStrTest, FailedAllocationThrowsOutOfMemory)
{
    platform::scripted::ScriptedWmi wmi;
    wmi.FailStringAllocation(2);
    EXPECT_NO_THROW(platform::BStr("WQL"));
    try {
        platform::BStr failing(L"ROOT\\CIMV2");
        ADD_FAILURE() << "no exception";
    } catch (const platform::ComError& error) {
        EXPECT_EQ(error.Error(), E_OUTOFMEMORY);
    }
    EXPECT_EQ(Units(platform::BStr("WQL")), L"WQL");

    wmi.FailStringAllocation(1);
    EXPECT_EQ(SysAllocStringLen(L"x", 1), nullptr);
    BSTR next = SysAllocString(L"x");
    EXPECT_NE(next, nullptr);
    SysFreeString(next);
}

TEST(ProviderInstallationTest, StartsComAfreshOnTheThreadAndPutsItsStateBack)
{
    const platform::hardware::HardwareProvider outerProvider{"/nonexistent-root"};
    const platform::scripted::HardwareInstallation outer{outerProvider};
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    HRESULT other = E_INVALIDARG;
    std::thread([&other] { other = CoInitializeEx(nullptr, COINIT_MULTITHREADED); }).join();
    EXPECT_EQ(other, S_OK);
    {
        const platform::hardware::HardwareProvider innerProvider{"/nonexistent-root"};
        const platform::scripted::HardwareInstallation inner{innerProvider};
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    }
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
}

TEST(ProviderInstallationTest, CoCreateInstanceHandsOutTheInstalledProvidersLocator)
{
    platform::scripted::ScriptedWmi outer;
    {
        const platform::hardware::HardwareProvider hardware{"/nonexistent-root"};
        const platform::scripted::HardwareInstallation installation{hardware};
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        void* locator = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, &locator),
                  S_OK);
        EXPECT_NE(locator, outer.Locator());
        EXPECT_EQ(static_cast<IWbemLocator*>(locator)->Release(), 0U);
    }
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    void* locator = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               &locator),
              S_OK);
    EXPECT_EQ(locator, outer.Locator());
    static_cast<IWbemLocator*>(locator)->Release();
    EXPECT_EQ(outer.ReleaseProblems(), "");
}

} // namespace
