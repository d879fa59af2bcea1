// The argument and state checks of CoInitializeEx and CoCreateInstance, and the hand-out of
// the locator, the same for every implementation of those calls.
#pragma once

#include <platform/com_wmi.h>

namespace platform::com {

// E_INVALIDARG for a reserved pointer or an unknown flag, else S_OK.
HRESULT CheckInitializeArguments(void* reserved, DWORD coInit);
// The COM start-ups of one thread: the concurrency model of the first, and how many are not
// undone yet. COM is started on the thread while that count is not zero.
struct ThreadCom {
    DWORD model = 0;
    unsigned long startUps = 0;
};
// Starts COM with the concurrency model of coInit on the thread: S_OK the first time, then
// S_FALSE for the same model and RPC_E_CHANGED_MODE (which counts no start-up) for the other.
HRESULT StartCom(ThreadCom& thread, DWORD coInit);
// Undoes one start-up; undoing the last ends COM on the thread. Nothing to undo: no effect.
void StopCom(ThreadCom& thread);
// CoCreateInstance of the in-process WbemLocator: clears *ppv, gives the status the call
// fails with when it may not be created (COM not started on this thread, another class,
// aggregation, another interface), else createLocator's status, with its locator in *ppv
// on success.
HRESULT CreateInstance(bool comStarted, REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext,
                       REFIID riid, LPVOID* ppv, HRESULT (*createLocator)(IWbemLocator**));

} // namespace platform::com
