// The string allocation behind SysAllocString and SysAllocStringLen, for the values a WMI
// provider hands out: those copies are the provider's own, not the caller's
// SysAllocString calls.
#pragma once

#include <platform/com_wmi.h>

#include <cstddef>

namespace platform::com {

// A BSTR copy of length code units of text, or of as many zeros when text is null; null
// when no memory can be had.
BSTR AllocateString(const OLECHAR* text, std::size_t length);

} // namespace platform::com
