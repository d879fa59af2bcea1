// VariantInit and VariantClear for every kind a scripted object hands out.
#include "variant_kinds.h"

#include <platform/posix/com_memory.h>

#include <limits>
#include <new>

namespace {

void FreeStringArray(SAFEARRAY* array)
{
    if (array == nullptr) {
        return;
    }
    for (ULONG index = 0; index < array->cElements; ++index) {
        SysFreeString(array->pElements[index]);
    }
    delete[] array->pElements;
    delete array;
}

} // namespace

namespace platform::scripted {

SAFEARRAY* AllocateStringArray(const std::vector<std::wstring>& items)
{
    if (items.size() > std::numeric_limits<ULONG>::max()) {
        return nullptr;
    }
    // Read below; cppcheck takes the braced initialiser for the only use.
    // cppcheck-suppress unreadVariable
    auto* array = new (std::nothrow) SAFEARRAY{0, nullptr};
    if (array == nullptr) {
        return nullptr;
    }
    array->pElements = new (std::nothrow) BSTR[items.size()];
    if (array->pElements == nullptr) {
        delete array;
        return nullptr;
    }
    for (const std::wstring& item : items) {
        BSTR copy = com::AllocateString(item.data(), item.size());
        if (copy == nullptr) {
            FreeStringArray(array);
            return nullptr;
        }
        array->pElements[array->cElements++] = copy;
    }
    return array;
}

} // namespace platform::scripted

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
    case VT_I4:
        break;
    case VT_ARRAY | VT_BSTR:
        FreeStringArray(value->parray);
        break;
    default:
        return platform::com::ClearProgramValue(value);
    }
    value->vt = VT_EMPTY;
    return S_OK;
}
