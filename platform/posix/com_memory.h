// The string allocation behind SysAllocString and SysAllocStringLen, for the values a WMI
// provider hands out: those copies are the provider's own, not the caller's
// SysAllocString calls. And the clearing of the values the program sees, which a VariantClear
// that knows more kinds falls back on.
#pragma once

#include <platform/com_wmi.h>

#include <cstddef>

namespace platform::com {

// A BSTR copy of length code units of text, or of as many zeros when text is null; null
// when no memory can be had.
BSTR AllocateString(const OLECHAR* text, std::size_t length);

// Frees what an empty, null or string value owns and leaves it VT_EMPTY (S_OK); any other
// kind -> DISP_E_BADVARTYPE, the value untouched. value must not be null.
inline HRESULT ClearProgramValue(VARIANT* value)
{
    switch (value->vt) {
    case VT_EMPTY:
    case VT_NULL:
        break;
    case VT_BSTR:
        SysFreeString(value->bstrVal);
        break;
    default:
        return DISP_E_BADVARTYPE;
    }
    value->vt = VT_EMPTY;
    return S_OK;
}

} // namespace platform::com
