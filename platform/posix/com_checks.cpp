#include "com_checks.h"

#include <cstring>

const CLSID CLSID_WbemLocator = {
    0x4590F811, 0x1D3A, 0x11D0, {0x89, 0x1F, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID IID_IWbemLocator = {
    0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

bool operator==(const GUID& left, const GUID& right)
{
    return left.Data1 == right.Data1 && left.Data2 == right.Data2 && left.Data3 == right.Data3 &&
           std::memcmp(left.Data4, right.Data4, sizeof left.Data4) == 0;
}

namespace platform::com {

// The COM functions keep the SDK's parameter types, const or not.
// cppcheck-suppress constParameter
HRESULT CheckInitializeArguments(void* reserved, DWORD coInit)
{
    // COINIT_DISABLE_OLE1DDE (4) and COINIT_SPEED_OVER_MEMORY (8) are accepted and change
    // nothing here.
    constexpr DWORD knownFlags = COINIT_APARTMENTTHREADED | 0x4U | 0x8U;
    if (reserved != nullptr || (coInit & ~knownFlags) != 0) {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT StartCom(ThreadCom& thread, DWORD coInit)
{
    const DWORD model = coInit & COINIT_APARTMENTTHREADED;
    if (thread.startUps == 0) {
        thread.model = model;
        thread.startUps = 1;
        return S_OK;
    }
    if (thread.model != model) {
        return RPC_E_CHANGED_MODE;
    }
    ++thread.startUps;
    return S_FALSE;
}

void StopCom(ThreadCom& thread)
{
    if (thread.startUps > 0) {
        --thread.startUps;
    }
}

// cppcheck-suppress constParameter
HRESULT CreateInstance(bool comStarted, REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext,
                       REFIID riid, LPVOID* ppv, HRESULT (*createLocator)(IWbemLocator**))
{
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!comStarted) {
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
    const HRESULT status = createLocator(&locator);
    if (SUCCEEDED(status)) {
        *ppv = locator;
    }
    return status;
}

} // namespace platform::com
