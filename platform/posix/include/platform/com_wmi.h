// The subset of COM, OLE Automation and WMI that the computer ID library calls, for
// systems without them. Names, argument order, constants and status values are those of
// the Windows SDK. Wide strings hold UTF-16 code units, one per wchar_t element, so that
// text handed out here narrows to the same bytes as on Windows.
#pragma once

#include <cstdint>

using HRESULT = std::int32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using VARTYPE = std::uint16_t;
using WORD = std::uint16_t;
using WCHAR = wchar_t;
using OLECHAR = WCHAR;
using BSTR = OLECHAR*;
using LPCWSTR = const WCHAR*;
using LPVOID = void*;
using CIMTYPE = LONG;

constexpr bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002U);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003U);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000EU);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057U);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005U);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110U);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154U);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106U);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0U);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008U);

constexpr HRESULT WBEM_S_NO_ERROR = 0;
constexpr HRESULT WBEM_S_FALSE = 1;
constexpr HRESULT WBEM_E_FAILED = static_cast<HRESULT>(0x80041001U);
constexpr HRESULT WBEM_E_NOT_FOUND = static_cast<HRESULT>(0x80041002U);
constexpr HRESULT WBEM_E_ACCESS_DENIED = static_cast<HRESULT>(0x80041003U);
constexpr HRESULT WBEM_E_OUT_OF_MEMORY = static_cast<HRESULT>(0x80041006U);
constexpr HRESULT WBEM_E_INVALID_PARAMETER = static_cast<HRESULT>(0x80041008U);
constexpr HRESULT WBEM_E_INVALID_NAMESPACE = static_cast<HRESULT>(0x8004100EU);
constexpr HRESULT WBEM_E_INVALID_CLASS = static_cast<HRESULT>(0x80041010U);
constexpr HRESULT WBEM_E_INVALID_QUERY = static_cast<HRESULT>(0x80041017U);
constexpr HRESULT WBEM_E_INVALID_QUERY_TYPE = static_cast<HRESULT>(0x80041018U);

enum COINIT : DWORD { COINIT_MULTITHREADED = 0x0, COINIT_APARTMENTTHREADED = 0x2 };
enum CLSCTX : DWORD { CLSCTX_INPROC_SERVER = 0x1 };
enum : DWORD { RPC_C_AUTHN_WINNT = 10, RPC_C_AUTHZ_NONE = 0 };
enum : DWORD { RPC_C_AUTHN_LEVEL_CALL = 3, RPC_C_IMP_LEVEL_IMPERSONATE = 3 };
enum EOLE_AUTHENTICATION_CAPABILITIES : DWORD { EOAC_NONE = 0 };
enum WBEM_GENERIC_FLAG_TYPE : LONG {
    WBEM_FLAG_RETURN_IMMEDIATELY = 0x10,
    WBEM_FLAG_FORWARD_ONLY = 0x20,
};
// Next takes its timeout as a LONG, so the SDK's 0xFFFFFFFF arrives there as -1.
enum WBEM_TIMEOUT_TYPE : LONG { WBEM_NO_WAIT = 0, WBEM_INFINITE = static_cast<LONG>(0xFFFFFFFFU) };
enum WBEM_FLAVOR_TYPE : LONG { WBEM_FLAVOR_ORIGIN_LOCAL = 0 };
enum CIMTYPE_ENUMERATION : CIMTYPE { CIM_STRING = 8 };
enum VARENUM : VARTYPE { VT_EMPTY = 0, VT_NULL = 1, VT_BSTR = 8 };

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
bool operator==(const GUID& left, const GUID& right);

extern const CLSID CLSID_WbemLocator; // {4590F811-1D3A-11D0-891F-00AA004B2E24}
extern const IID IID_IWbemLocator;    // {DC12A687-737F-11CF-884D-00AA004B2E24}
extern const IID IID_IUnknown;        // {00000000-0000-0000-C000-000000000046}

struct SAFEARRAY;

// This library hands out strings and nulls only; a VARIANT can still carry a number or an
// array, as on Windows, for a caller that skips whatever is not a string.
struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        BSTR bstrVal;
        SAFEARRAY* parray;
    };
};

// BSTRs are length-prefixed, NUL-terminated and may hold embedded NULs. SysAllocString
// returns null when no memory can be had; SysFreeString(nullptr) does nothing.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
UINT SysStringLen(BSTR text);
void SysFreeString(BSTR text);
void VariantInit(VARIANT* value);
// Frees what the value owns and leaves it VT_EMPTY; null -> E_INVALIDARG, and a kind this
// library does not hand out -> DISP_E_BADVARTYPE.
HRESULT VariantClear(VARIANT* value);

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IWbemContext;

struct IWbemClassObject : IUnknown {
    virtual HRESULT Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal, CIMTYPE* pType,
                        LONG* plFlavor) = 0;

protected:
    ~IWbemClassObject() = default;
};

struct IEnumWbemClassObject : IUnknown {
    virtual HRESULT Next(LONG lTimeout, ULONG uCount, IWbemClassObject** apObjects,
                         ULONG* puReturned) = 0;

protected:
    ~IEnumWbemClassObject() = default;
};

struct IWbemServices : IUnknown {
    virtual HRESULT ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags,
                              IWbemContext* pCtx, IEnumWbemClassObject** ppEnum) = 0;

protected:
    ~IWbemServices() = default;
};

struct IWbemLocator : IUnknown {
    virtual HRESULT ConnectServer(const BSTR strNetworkResource, const BSTR strUser,
                                  const BSTR strPassword, const BSTR strLocale, LONG lSecurityFlags,
                                  const BSTR strAuthority, IWbemContext* pCtx,
                                  IWbemServices** ppNamespace) = 0;

protected:
    ~IWbemLocator() = default;
};

// Per thread: the first call -> S_OK; later calls with the same model -> S_FALSE; a
// different model -> RPC_E_CHANGED_MODE.
HRESULT CoInitializeEx(void* pvReserved, DWORD dwCoInit);
// Undoes one successful CoInitializeEx (S_OK or S_FALSE) of this thread; the last one ends
// COM on the thread.
void CoUninitialize();
// Only CLSID_WbemLocator / IID_IWbemLocator (in-process, no outer object) is registered;
// any other class -> REGDB_E_CLASSNOTREG. Requires CoInitializeEx on this thread.
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);
HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD dwAuthnSvc, DWORD dwAuthzSvc,
                          OLECHAR* pServerPrincName, DWORD dwAuthnLevel, DWORD dwImpLevel,
                          void* pAuthInfo, DWORD dwCapabilities);

namespace platform {

// The COM support library's error exception: carries the failing HRESULT.
class ComError {
public:
    explicit ComError(HRESULT hr) noexcept : hr_(hr) {}
    HRESULT Error() const noexcept { return hr_; }

private:
    HRESULT hr_;
};

// Reference-counted wide string handed to COM. Narrow text is widened as UTF-8; a failed
// allocation throws ComError(E_OUTOFMEMORY). Converts to BSTR for the calls that take one.
class BStr {
public:
    // Text converts implicitly, as it does to the COM support library's _bstr_t.
    // cppcheck-suppress noExplicitConstructor
    BStr(const char* text);
    // cppcheck-suppress noExplicitConstructor
    BStr(const wchar_t* text);
    BStr(const BStr& other) noexcept;
    BStr& operator=(const BStr& other) noexcept;
    ~BStr();
    operator BSTR() const noexcept;
    UINT length() const noexcept;

private:
    struct Data;
    Data* data_;
};

} // namespace platform
