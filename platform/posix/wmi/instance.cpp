#include "instance.h"

#include "../com_memory.h"
#include "../unicode.h"

#include <algorithm>
#include <type_traits>

namespace platform::wmi {

namespace {

// Every property either provider serves as null is string-typed in its Win32 class.
CIMTYPE CimTypeOf(const Value& value)
{
    if (std::holds_alternative<LONG>(value)) {
        return CIM_SINT32;
    }
    if (std::holds_alternative<std::vector<std::wstring>>(value)) {
        return CIM_STRING | CIM_FLAG_ARRAY;
    }
    return CIM_STRING;
}

HRESULT CopyToVariant(const Value& value, VARIANT& target)
{
    return std::visit(
        [&target](const auto& content) -> HRESULT {
            using Content = std::decay_t<decltype(content)>;
            if constexpr (std::is_same_v<Content, NullValue>) {
                target.vt = VT_NULL;
            } else if constexpr (std::is_same_v<Content, std::wstring>) {
                BSTR copy = com::AllocateString(content);
                if (copy == nullptr) {
                    return WBEM_E_OUT_OF_MEMORY;
                }
                target.vt = VT_BSTR;
                target.bstrVal = copy;
            } else if constexpr (std::is_same_v<Content, NullStringValue>) {
                target.vt = VT_BSTR;
                target.bstrVal = nullptr;
            } else if constexpr (std::is_same_v<Content, LONG>) {
                target.vt = VT_I4;
                target.lVal = content;
            } else if constexpr (std::is_same_v<Content, std::vector<std::wstring>>) {
                SAFEARRAY* copy = com::AllocateStringArray(content);
                if (copy == nullptr) {
                    return WBEM_E_OUT_OF_MEMORY;
                }
                target.vt = VT_ARRAY | VT_BSTR;
                target.parray = copy;
            } else {
                static_assert(std::is_same_v<Content, FailedRead>);
                return content.status;
            }
            return WBEM_S_NO_ERROR;
        },
        value);
}

} // namespace

HRESULT GetProperty(const Instance& instance, LPCWSTR name, LONG flags, VARIANT* pValue,
                    CIMTYPE* pType, LONG* plFlavor)
{
    if (name == nullptr || flags != 0) {
        return WBEM_E_INVALID_PARAMETER;
    }
    const auto property =
        std::find_if(instance.begin(), instance.end(), [name](const Property& candidate) {
            return EqualsIgnoreCase(candidate.name, name);
        });
    if (property == instance.end()) {
        return WBEM_E_NOT_FOUND;
    }
    if (pValue != nullptr) {
        if (const HRESULT status = CopyToVariant(property->value, *pValue); FAILED(status)) {
            return status;
        }
    } else if (const auto* failure = std::get_if<FailedRead>(&property->value)) {
        return failure->status;
    }
    if (pType != nullptr) {
        *pType = CimTypeOf(property->value);
    }
    if (plFlavor != nullptr) {
        *plFlavor = WBEM_FLAVOR_ORIGIN_LOCAL;
    }
    return WBEM_S_NO_ERROR;
}

HRESULT BeginNext(LONG timeout, ULONG count, IWbemClassObject** objects, ULONG* returned)
{
    if (objects == nullptr || returned == nullptr || timeout < WBEM_INFINITE) {
        return WBEM_E_INVALID_PARAMETER;
    }
    std::fill_n(objects, count, nullptr);
    *returned = 0;
    return WBEM_S_NO_ERROR;
}

} // namespace platform::wmi
