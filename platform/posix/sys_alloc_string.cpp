#include "com_memory.h"

#include <platform/com_wmi.h>

#include <cwchar>

BSTR SysAllocString(const OLECHAR* text)
{
    return text != nullptr ? platform::com::AllocateString(text, std::wcslen(text)) : nullptr;
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    return platform::com::AllocateString(text, length);
}
