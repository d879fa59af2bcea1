#include "provider.h"

#include <platform/posix/com_checks.h>
#include <platform/posix/hardware/hardware_provider.h>

#include <atomic>

namespace {

// The COM start-ups of this thread under the current installation.
thread_local platform::com::ThreadCom threadCom;

std::atomic<platform::scripted::Provider*> installedProvider{nullptr};

} // namespace

namespace platform::scripted {

Provider* InstalledProvider()
{
    return installedProvider.load();
}

ProviderInstallation::ProviderInstallation(Provider& provider)
    : previousProvider_(installedProvider.exchange(&provider)), previousThreadCom_(threadCom)
{
    threadCom = {};
}

ProviderInstallation::~ProviderInstallation()
{
    installedProvider.store(previousProvider_);
    threadCom = previousThreadCom_;
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
    return platform::com::StartCom(threadCom, dwCoInit);
}

void CoUninitialize()
{
    platform::com::StopCom(threadCom);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv)
{
    return platform::com::CreateInstance(threadCom.startUps > 0, rclsid, pUnkOuter, dwClsContext,
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
