// The VARIANT kinds that scripted objects hand out beyond the strings and nulls of the
// program's platform: numbers and string arrays, with the Windows SDK's names and values.
#pragma once

#include <platform/com_wmi.h>

#include <string>
#include <vector>

constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_ARRAY = 0x2000;
constexpr CIMTYPE CIM_SINT32 = 3;
constexpr CIMTYPE CIM_FLAG_ARRAY = 0x2000;

// The one-dimensional array of an array-typed property value; owned by its VARIANT.
struct SAFEARRAY {
    ULONG cElements;
    BSTR* pElements;
};

namespace platform::scripted {

// An array of BSTR copies that VariantClear frees; null when no memory can be had.
SAFEARRAY* AllocateStringArray(const std::vector<std::wstring>& items);

} // namespace platform::scripted
