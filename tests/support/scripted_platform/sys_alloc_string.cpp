// SysAllocString and SysAllocStringLen as the program's, except that the installed provider
// can make any one of them fail.
#include "provider.h"

#include <platform/posix/com_memory.h>

#include <cwchar>

namespace {

bool MayAllocate()
{
    platform::scripted::Provider* provider = platform::scripted::InstalledProvider();
    return provider == nullptr || provider->OnStringAllocation();
}

} // namespace

BSTR SysAllocString(const OLECHAR* text)
{
    if (text == nullptr || !MayAllocate()) {
        return nullptr;
    }
    return platform::com::AllocateString(text, std::wcslen(text));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    return MayAllocate() ? platform::com::AllocateString(text, length) : nullptr;
}
