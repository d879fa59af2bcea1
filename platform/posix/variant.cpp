#include "com_memory.h"

void VariantInit(VARIANT* value)
{
    value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value)
{
    if (value == nullptr) {
        return E_INVALIDARG;
    }
    return platform::com::ClearProgramValue(value);
}
