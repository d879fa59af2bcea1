// The argument and state checks of CoInitializeEx and CoCreateInstance, the same for every
// implementation of those calls.
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
// Clears *ppv and gives S_OK when the in-process WbemLocator may be created on a thread
// where COM has started, else the status CoCreateInstance fails with.
HRESULT CheckCreation(bool comStarted, REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext,
                      REFIID riid, LPVOID* ppv);

} // namespace platform::com
