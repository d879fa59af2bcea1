#include <platform/com_wmi.h>

void VariantInit(VARIANT* value)
{
    value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value)
{
    if (value == nullptr) {
        return E_INVALIDARG;
    }
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
