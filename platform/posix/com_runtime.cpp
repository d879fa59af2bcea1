// The COM entry points of the program: the WbemLocator is the hardware provider's, over
// this machine.
#include "com_checks.h"
#include "hardware/hardware_provider.h"

#include <platform/com_wmi.h>

namespace {

thread_local platform::com::ThreadCom threadCom;

} // namespace

HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit)
{
    if (const HRESULT status = platform::com::CheckInitializeArguments(pvReserved, dwCoInit);
        FAILED(status)) {
        return status;
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
                                         riid, ppv, platform::hardware::CreateMachineLocator);
}

// The SDK's signature: the proxy is not const there.
// cppcheck-suppress constParameter
HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD, DWORD, OLECHAR*, DWORD, DWORD, void*, DWORD)
{
    return pProxy != nullptr ? S_OK : E_INVALIDARG;
}
