// COM, OLE Automation and WMI as the Windows SDK declares them, and the project names of
// the COM support library's wide-string wrapper and error exception.
#pragma once

#define _WIN32_DCOM
#include <comdef.h>
#include <wbemidl.h>

namespace platform {
using BStr = _bstr_t;
using ComError = _com_error;
} // namespace platform
