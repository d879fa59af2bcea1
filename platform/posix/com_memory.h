// Allocations for values that a WMI provider hands out. They do not consult the provider's
// string allocation hook: that hook stands for the caller's own SysAllocString calls.
#pragma once

#include <platform/com_wmi.h>

#include <string>
#include <string_view>
#include <vector>

namespace platform::com {

// A BSTR copy of text; null when no memory can be had.
BSTR AllocateString(std::wstring_view text);
// An array of BSTR copies that VariantClear frees; null when no memory can be had.
SAFEARRAY* AllocateStringArray(const std::vector<std::wstring>& items);

} // namespace platform::com
