#include "hardware_inventory.h"

#include "failure_messages.h"
#include "hardware_queries.h"
#include "placeholders.h"
#include "trace_format.h"

#include <cstring>
#include <iostream>
#include <new>
#include <string_view>

namespace Lib_ComputerID {
namespace {

// Skipping an object or a value that could not be had for want of memory would give another
// machine's ID; an exhausted allocation ends the run instead.
void ThrowIfOutOfMemory(HRESULT hr)
{
    if (IsOutOfMemory(hr))
        throw std::bad_alloc();
}

// The class a query selects from: what follows its " FROM ".
std::string ClassOfQuery(std::string_view query)
{
    const std::string_view from = " FROM ";
    const std::size_t at = query.rfind(from);
    return std::string(at == std::string_view::npos ? query : query.substr(at + from.size()));
}

// An interface a run holds, released when an exception leaves the scope still holding it;
// the paths that end normally release it themselves, with their trace lines, through
// Release().
template <typename Interface>
class Held {
public:
    explicit Held(Interface*& pointer) : pointer_(pointer) {}
    ~Held()
    {
        if (pointer_ != nullptr)
            pointer_->Release();
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

    void Release()
    {
        pointer_->Release();
        pointer_ = nullptr;
    }
    // For a path where someone else has released it.
    void Forget() { pointer_ = nullptr; }

private:
    Interface*& pointer_;
};

// Clears a property value that an exception leaves unread.
class HeldValue {
public:
    explicit HeldValue(VARIANT& value) : value_(value) {}
    ~HeldValue()
    {
        if (value_.vt != VT_EMPTY)
            VariantClear(&value_);
    }
    HeldValue(const HeldValue&) = delete;
    HeldValue& operator=(const HeldValue&) = delete;

private:
    VARIANT& value_;
};

PropertyDescription DescribeProperty(const std::string& name, HRESULT hr, const VARIANT& value)
{
    PropertyDescription property{name, PropertyState::Value, false};
    if (FAILED(hr)) {
        property.state = hr == static_cast<HRESULT>(WBEM_E_ACCESS_DENIED)
                             ? PropertyState::AccessDenied
                             : PropertyState::Failed;
    } else if (value.vt != VT_BSTR) {
        property.state = PropertyState::Null;
    } else {
        property.placeholder = IsPlaceholder(value.bstrVal != nullptr ? value.bstrVal : L"");
    }
    return property;
}

} // namespace

bool IsOutOfMemory(HRESULT hr)
{
    // WBEM statuses are an unsigned enumeration in the Windows SDK.
    return hr == static_cast<HRESULT>(WBEM_E_OUT_OF_MEMORY) || hr == E_OUTOFMEMORY;
}

std::string ComFailureMessage(const char* text, HRESULT hr)
{
    TextStream<char> message;
    message << text << std::hex << hr << std::endl;
    return message.str();
}

std::string CreateComputerID(std::ostream& trace, std::uint64_t flags, InventoryRecord* record)
{
    trace << "In CreateComputerID(), flags = 0x" << std::hex << flags << "\n";

    IWbemLocator* pLoc = nullptr;
    Held locator(pLoc);
    trace << "Call CoCreateInstance\n";
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<LPVOID*>(&pLoc));
    trace << "Done CoCreateInstance, hr = " << hr << "\n";
    if (FAILED(hr)) {
        const std::string message = ComFailureMessage(failure_messages::kLocator, hr);
        throw ComFailure(message, hr);
    }

    IWbemServices* pSvc = nullptr;
    Held services(pSvc);
    trace << "pLoc = " << PointerText{pLoc} << "\n";
    trace << "Call pLoc->ConnectServer\n";
    hr = pLoc->ConnectServer(platform::BStr("ROOT\\CIMV2"), nullptr, nullptr, nullptr, 0, nullptr,
                             nullptr, &pSvc);
    trace << "Done ConnectServer, hr = " << hr << ", pSvc = " << PointerText{pSvc} << "\n";
    if (FAILED(hr)) {
        const std::string message = ComFailureMessage(failure_messages::kConnect, hr);
        locator.Release();
        throw ComFailure(message, hr);
    }

    trace << "Call CoSetProxyBlanket\n";
    hr = CoSetProxyBlanket(pSvc, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                           RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    trace << "Done CoSetProxyBlanket\n";
    if (FAILED(hr)) {
        const std::string message = ComFailureMessage(failure_messages::kProxyBlanket, hr);
        services.Release();
        locator.Release();
        throw ComFailure(message, hr);
    }

    std::string platformInfo;
    {
        TextStream<wchar_t> infoStream;
        for (std::size_t i = 0; i < kHardwareQueries.size(); ++i) {
            const auto properties = kHardwareQueries[i].Properties();
            try {
                GetInfo(infoStream, kQueryTexts[i], properties.data(), properties.size(), pSvc,
                        pLoc, trace, record);
            } catch (const ComFailure&) {
                // A failing query has released both.
                services.Forget();
                locator.Forget();
                throw;
            }
        }
        platformInfo = NarrowCodeUnits(infoStream.str());
    }

    trace << "Call pSvc->Release()\n";
    services.Release();
    trace << "Done pSvc->Release()\n";
    trace << "Call pLoc->Release()\n";
    locator.Release();
    trace << "Done pLoc->Release()\n";
    return platformInfo;
}

std::string CreateComputerID(std::uint64_t flags)
{
    return CreateComputerID(std::cout, flags);
}

void GetInfo(std::wostringstream& infoStream, const char* query, const wchar_t* const properties[],
             std::uint64_t propertyCount, IWbemServices* pSvc, IWbemLocator* pLoc,
             std::ostream& trace, InventoryRecord* record)
{
    trace << "Call GetInfo( " << query << " )\n";

    IEnumWbemClassObject* pEnumerator = nullptr;
    Held enumerator(pEnumerator);
    HRESULT hr = pSvc->ExecQuery(platform::BStr("WQL"), platform::BStr(query),
                                 WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                 &pEnumerator);
    trace << "Done GetInfo(), hr = " << hr << ", pEnumerator = " << PointerText{pEnumerator}
          << "\n";
    if (FAILED(hr)) {
        const std::string message = ComFailureMessage(failure_messages::kQuery, hr);
        pSvc->Release();
        pLoc->Release();
        throw ComFailure(message, hr);
    }

    IWbemClassObject* pclsObj = nullptr;
    Held object(pclsObj);
    ULONG uReturn = 0;
    int pass = 0;
    while (pEnumerator) {
        trace << "Do pEnumerator->Next() # " << pass << "\n";
        ++pass;
        // Next takes a signed LONG; WBEM_INFINITE is the all-ones 32-bit pattern.
        hr = pEnumerator->Next(static_cast<LONG>(WBEM_INFINITE), 1, &pclsObj, &uReturn);
        trace << "hr= " << hr << ", pclsObj = " << PointerText{pclsObj} << ", uReturn = " << uReturn
              << "\n";
        ThrowIfOutOfMemory(hr);
        if (uReturn == 0)
            break;

        ObjectDescription* described = nullptr;
        std::vector<std::string>* values = nullptr;
        if (record != nullptr) {
            described = &record->objects.emplace_back();
            described->className = ClassOfQuery(query);
            values = &record->values.emplace_back();
        }
        VARIANT vtProp;
        std::memset(&vtProp, 0, sizeof vtProp);
        const HeldValue value(vtProp);
        for (std::uint64_t i = 0; i < propertyCount; ++i) {
            const std::string name = NarrowCodeUnits(properties[i]);
            trace << "pclsObj->Get( " << name << " )\n";
            hr = pclsObj->Get(properties[i], 0, &vtProp, nullptr, nullptr);
            trace << "hr = " << hr << ", vtProp.vt = " << vtProp.vt << "\n";
            ThrowIfOutOfMemory(hr);
            if (described != nullptr) {
                described->properties.push_back(DescribeProperty(name, hr, vtProp));
                values->push_back(SUCCEEDED(hr) && vtProp.vt == VT_BSTR && vtProp.bstrVal != nullptr
                                      ? NarrowCodeUnits(vtProp.bstrVal)
                                      : std::string());
            }
            if (FAILED(hr))
                continue;
            if (vtProp.vt == VT_BSTR) {
                // A string variant with a null pointer counts as an empty value.
                infoStream << (vtProp.bstrVal != nullptr ? vtProp.bstrVal : L"") << std::endl;
            }
            trace << "Call VariantClear()\n";
            VariantClear(&vtProp);
            trace << "Done VariantClear()\n";
        }

        trace << "Call pclsObj->Release()\n";
        object.Release();
        trace << "Done pclsObj->Release()\n";
    }

    trace << "Call pEnumerator->Release()\n";
    if (pEnumerator)
        enumerator.Release();
    trace << "Done pEnumerator->Release()\n";

    if (pclsObj) {
        trace << "Call again pclsObj->Release()\n";
        object.Release();
        trace << "Done call again pclsObj->Release()\n";
    }
}

void GetInfo(std::wostringstream& infoStream, const char* query, const wchar_t* const properties[],
             std::uint64_t propertyCount, IWbemServices* pSvc, IWbemLocator* pLoc)
{
    GetInfo(infoStream, query, properties, propertyCount, pSvc, pLoc, std::cout);
}

} // namespace Lib_ComputerID
