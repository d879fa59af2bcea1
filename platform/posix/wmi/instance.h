// Result objects as the providers keep them: named property values, read through
// IWbemClassObject::Get.
#pragma once

#include "../unicode.h"

#include <platform/com_wmi.h>

#include <algorithm>
#include <string>
#include <variant>
#include <vector>

namespace platform::wmi {

struct NullValue {}; // VT_NULL
struct FailedRead {  // Get fails with this status
    HRESULT status;
};

using Value = std::variant<NullValue, std::wstring, FailedRead>;

struct Property {
    std::wstring name;
    Value value;
};

using Instance = std::vector<Property>;

// Fills target with a copy of the value that VariantClear frees.
HRESULT CopyToVariant(const Value& value, VARIANT& target);
// What Get gives for the value when the caller asks for its type and flavour only.
HRESULT ReadStatus(const Value& value);
CIMTYPE CimTypeOf(const Value& value);

// IWbemClassObject::Get over an instance whose property values have CopyToVariant,
// ReadStatus and CimTypeOf: finds the property by name regardless of case and hands out
// a copy of its value. pValue, pType and plFlavor may each be null.
template <typename Properties>
HRESULT GetProperty(const Properties& instance, LPCWSTR name, LONG flags, VARIANT* pValue,
                    CIMTYPE* pType, LONG* plFlavor)
{
    if (name == nullptr || flags != 0) {
        return WBEM_E_INVALID_PARAMETER;
    }
    const auto property =
        std::find_if(instance.begin(), instance.end(), [name](const auto& candidate) {
            return EqualsIgnoreCase(candidate.name, name);
        });
    if (property == instance.end()) {
        return WBEM_E_NOT_FOUND;
    }
    const HRESULT status =
        pValue != nullptr ? CopyToVariant(property->value, *pValue) : ReadStatus(property->value);
    if (FAILED(status)) {
        return status;
    }
    if (pType != nullptr) {
        *pType = CimTypeOf(property->value);
    }
    if (plFlavor != nullptr) {
        *plFlavor = WBEM_FLAVOR_ORIGIN_LOCAL;
    }
    return WBEM_S_NO_ERROR;
}

// The checks that every IEnumWbemClassObject::Next makes before handing out anything; on
// success the out array is nulled and *returned is 0.
HRESULT BeginNext(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned);

} // namespace platform::wmi
