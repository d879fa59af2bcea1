// Result objects as both providers keep them: named property values, read through
// IWbemClassObject::Get.
#pragma once

#include <platform/com_wmi.h>

#include <string>
#include <variant>
#include <vector>

namespace platform::wmi {

struct NullValue {};       // VT_NULL
struct NullStringValue {}; // VT_BSTR whose pointer is null
struct FailedRead {        // Get fails with this status
    HRESULT status;
};

using Value = std::variant<NullValue, std::wstring, NullStringValue, LONG,
                           std::vector<std::wstring>, FailedRead>;

struct Property {
    std::wstring name;
    Value value;
};

using Instance = std::vector<Property>;

// IWbemClassObject::Get: finds the property by name regardless of case and hands out a
// copy of its value that VariantClear frees. pValue, pType and plFlavor may each be null.
HRESULT GetProperty(const Instance& instance, LPCWSTR name, LONG flags, VARIANT* pValue,
                    CIMTYPE* pType, LONG* plFlavor);

// The checks that every IEnumWbemClassObject::Next makes before handing out anything; on
// success the out array is nulled and *returned is 0.
HRESULT BeginNext(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned);

} // namespace platform::wmi
