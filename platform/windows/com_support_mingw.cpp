// MinGW-w64's comutil.h declares the narrow-to-BSTR conversion that _bstr_t(const char*)
// calls but its libraries do not define it (MSVC has it in comsuppw); this is it.
#include <comdef.h>
#include <windows.h>

#include <climits>
#include <cstring>

namespace _com_util {

// Widens through the system ANSI code page. Raises _com_error: E_INVALIDARG for a text too
// long for the conversion's int count, E_OUTOFMEMORY when no BSTR can be allocated, and the
// system's error when the code page conversion fails. A null text gives a null BSTR, and
// so does a failure when the program installed a COM error handler that returns.
BSTR WINAPI ConvertStringToBSTR(const char* pSrc)
{
    if (pSrc == nullptr)
        return nullptr;

    const std::size_t length = std::strlen(pSrc);
    if (length >= INT_MAX) {
        _com_issue_error(E_INVALIDARG);
        return nullptr;
    }
    const int narrowLength = static_cast<int>(length);

    // MultiByteToWideChar reports an empty input as a failure, so only non-empty text goes
    // through it.
    int wideLength = 0;
    if (narrowLength > 0) {
        wideLength = MultiByteToWideChar(CP_ACP, 0, pSrc, narrowLength, nullptr, 0);
        if (wideLength == 0) {
            _com_issue_error(HRESULT_FROM_WIN32(GetLastError()));
            return nullptr;
        }
    }

    BSTR wide = SysAllocStringLen(nullptr, static_cast<UINT>(wideLength));
    if (wide == nullptr) {
        _com_issue_error(E_OUTOFMEMORY);
        return nullptr;
    }
    if (narrowLength > 0 &&
        MultiByteToWideChar(CP_ACP, 0, pSrc, narrowLength, wide, wideLength) != wideLength) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        SysFreeString(wide);
        _com_issue_error(hr);
        return nullptr;
    }
    return wide;
}

} // namespace _com_util
