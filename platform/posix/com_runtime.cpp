#include "hardware/hardware_provider.h"
#include "wmi/provider.h"

#include <platform/com_wmi.h>

#include <atomic>
#include <cstring>
#include <optional>

const CLSID CLSID_WbemLocator = {
    0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID IID_IWbemLocator = {
    0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IWbemServices = {
    0x9556DC99, 0x828C, 0x11CF, {0xA3, 0x7E, 0x00, 0xAA, 0x00, 0x32, 0x40, 0xC7}};
const IID IID_IEnumWbemClassObject = {
    0x027947E1, 0xD731, 0x11CE, {0xA3, 0x57, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
const IID IID_IWbemClassObject = {
    0xDC12A681, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

bool operator==(const GUID& left, const GUID& right)
{
    return left.Data1 == right.Data1 && left.Data2 == right.Data2 && left.Data3 == right.Data3 &&
           std::memcmp(left.Data4, right.Data4, sizeof left.Data4) == 0;
}

namespace {

// The concurrency model this thread started COM with; empty until CoInitializeEx succeeds.
thread_local std::optional<DWORD> threadModel;

std::atomic<platform::wmi::Provider*> installedProvider{nullptr};

} // namespace

// The COM functions keep the SDK's parameter types, const or not.
// cppcheck-suppress constParameter
HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit)
{
    // COINIT_DISABLE_OLE1DDE (4) and COINIT_SPEED_OVER_MEMORY (8) are accepted and change
    // nothing here.
    constexpr DWORD knownFlags = COINIT_APARTMENTTHREADED | 0x4U | 0x8U;
    if (pvReserved != nullptr || (dwCoInit & ~knownFlags) != 0) {
        return E_INVALIDARG;
    }
    if (const std::optional<HRESULT> status =
            platform::wmi::CurrentProvider().CoInitializeOverride()) {
        return *status;
    }
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    if (!threadModel) {
        threadModel = model;
        return S_OK;
    }
    return *threadModel == model ? S_FALSE : RPC_E_CHANGED_MODE;
}

// cppcheck-suppress constParameter
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv)
{
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!threadModel) {
        return CO_E_NOTINITIALIZED;
    }
    if (!(rclsid == CLSID_WbemLocator) || (dwClsContext & CLSCTX_INPROC_SERVER) == 0) {
        return REGDB_E_CLASSNOTREG;
    }
    if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    if (!(riid == IID_IWbemLocator) && !(riid == IID_IUnknown)) {
        return E_NOINTERFACE;
    }
    IWbemLocator* locator = nullptr;
    const HRESULT status = platform::wmi::CurrentProvider().CreateLocator(&locator);
    if (SUCCEEDED(status)) {
        *ppv = locator;
    }
    return status;
}

HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD, DWORD, OLECHAR*, DWORD, DWORD, void*, DWORD)
{
    if (pProxy == nullptr) {
        return E_INVALIDARG;
    }
    return platform::wmi::CurrentProvider().SetProxyBlanket(pProxy);
}

namespace platform::wmi {

HRESULT Provider::SetProxyBlanket(IUnknown*)
{
    return S_OK;
}

Provider& CurrentProvider()
{
    // Handed out for use, not only for reading.
    // cppcheck-suppress constVariable
    if (Provider* installed = installedProvider.load()) {
        return *installed;
    }
    static hardware::HardwareProvider machine{"/"};
    return machine;
}

ProviderInstallation::ProviderInstallation(Provider& provider)
    : previousProvider_(installedProvider.exchange(&provider)), previousThreadModel_(threadModel)
{
    threadModel.reset();
}

ProviderInstallation::~ProviderInstallation()
{
    installedProvider.store(previousProvider_);
    threadModel = previousThreadModel_;
}

} // namespace platform::wmi
