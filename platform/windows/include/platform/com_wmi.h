// COM, OLE Automation and WMI as the Windows SDK declares them, and the project names of
// the COM support library's wide-string wrapper and error exception.
#pragma once

// The SDK's own switch for the DCOM declarations, reserved name and all.
#define _WIN32_DCOM // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
#include <comdef.h>
#include <wbemidl.h>

namespace platform {
using BStr = _bstr_t;
using ComError = _com_error;
} // namespace platform
