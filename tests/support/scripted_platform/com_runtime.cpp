#include "provider.h"

#include <platform/posix/com_checks.h>
#include <platform/posix/hardware/hardware_provider.h>

#include <atomic>

namespace {

// The concurrency model this thread started COM with under the current installation.
thread_local std::optional<DWORD> threadModel;

std::atomic<platform::scripted::Provider*> installedProvider{nullptr};

} // namespace

namespace platform::scripted {

Provider* InstalledProvider()
{
    return installedProvider.load();
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

HardwareInstallation::HardwareInstallation(const hardware::HardwareProvider& hardware)
    : hardware_(hardware)
{
}

HardwareInstallation::~HardwareInstallation() = default;

HRESULT HardwareInstallation::CreateLocator(IWbemLocator** locator)
{
    return hardware_.CreateLocator(locator);
}

} // namespace platform::scripted

namespace {

// The installed provider's locator, or else the program's over this machine.
HRESULT CreateLocator(IWbemLocator** locator)
{
    if (platform::scripted::Provider* provider = platform::scripted::InstalledProvider()) {
        return provider->CreateLocator(locator);
    }
    return platform::hardware::CreateMachineLocator(locator);
}

} // namespace

HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit)
{
    if (const HRESULT status = platform::com::CheckInitializeArguments(pvReserved, dwCoInit);
        FAILED(status)) {
        return status;
    }
    if (platform::scripted::Provider* provider = platform::scripted::InstalledProvider()) {
        if (const std::optional<HRESULT> status = provider->CoInitializeOverride()) {
            return *status;
        }
    }
    return platform::com::StartCom(threadModel, dwCoInit);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv)
{
    return platform::com::CreateInstance(threadModel.has_value(), rclsid, pUnkOuter, dwClsContext,
                                         riid, ppv, CreateLocator);
}

HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD, DWORD, OLECHAR*, DWORD, DWORD, void*, DWORD)
{
    if (pProxy == nullptr) {
        return E_INVALIDARG;
    }
    platform::scripted::Provider* provider = platform::scripted::InstalledProvider();
    return provider != nullptr ? provider->SetProxyBlanket(pProxy) : S_OK;
}
