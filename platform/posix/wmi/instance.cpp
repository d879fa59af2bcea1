#include "instance.h"

#include "../com_memory.h"

#include <type_traits>

namespace platform::wmi {

HRESULT CopyToVariant(const Value& value, VARIANT& target)
{
    return std::visit(
        [&target](const auto& content) -> HRESULT {
            using Content = std::decay_t<decltype(content)>;
            if constexpr (std::is_same_v<Content, NullValue>) {
                target.vt = VT_NULL;
            } else if constexpr (std::is_same_v<Content, std::wstring>) {
                BSTR copy = com::AllocateString(content.data(), content.size());
                if (copy == nullptr) {
                    return WBEM_E_OUT_OF_MEMORY;
                }
                target.vt = VT_BSTR;
                target.bstrVal = copy;
            } else {
                static_assert(std::is_same_v<Content, FailedRead>);
                return content.status;
            }
            return WBEM_S_NO_ERROR;
        },
        value);
}

HRESULT ReadStatus(const Value& value)
{
    const auto* failure = std::get_if<FailedRead>(&value);
    return failure != nullptr ? failure->status : WBEM_S_NO_ERROR;
}

// Every property the hardware provider serves, null or not, is string-typed in its Win32
// class.
CIMTYPE CimTypeOf(const Value&)
{
    return CIM_STRING;
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
