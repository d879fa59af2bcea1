// The argument and state checks of CoInitializeEx and CoCreateInstance, and the hand-out of
// the locator, the same for every implementation of those calls.
#pragma once

#include <platform/com_wmi.h>

#include <optional>

namespace platform::com {

// E_INVALIDARG for a reserved pointer or an unknown flag, else S_OK.
HRESULT CheckInitializeArguments(void* reserved, DWORD coInit);
// Starts COM with the concurrency model of coInit for a thread whose model so far is
// threadModel: S_OK the first time, then S_FALSE for the same model and
// RPC_E_CHANGED_MODE for the other one.
HRESULT StartCom(std::optional<DWORD>& threadModel, DWORD coInit);
// CoCreateInstance of the in-process WbemLocator: clears *ppv, gives the status the call
// fails with when it may not be created (COM not started on this thread, another class,
// aggregation, another interface), else createLocator's status, with its locator in *ppv
// on success.
HRESULT CreateInstance(bool comStarted, REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext,
                       REFIID riid, LPVOID* ppv, HRESULT (*createLocator)(IWbemLocator**));

} // namespace platform::com
