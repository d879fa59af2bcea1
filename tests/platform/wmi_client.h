// Talks to a WMI provider the way the computer ID library does, and records what each step
// gave.
#pragma once

#include <platform/com_wmi.h>
#include <platform/posix/hardware/hardware_provider.h>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace platform_test {

struct PropertyRead {
    HRESULT hr;
    VARTYPE vt;
    std::optional<std::wstring> text; // the code units of a VT_BSTR value

    bool operator==(const PropertyRead&) const = default;
};

inline void PrintTo(const PropertyRead& read, std::ostream* out)
{
    *out << "{hr " << std::hex << read.hr << ", vt " << read.vt << std::dec << ", "
         << ::testing::PrintToString(read.text) << "}";
}

inline PropertyRead Text(std::wstring text)
{
    return {WBEM_S_NO_ERROR, VT_BSTR, std::move(text)};
}
inline PropertyRead Null()
{
    return {WBEM_S_NO_ERROR, VT_NULL, std::nullopt};
}
inline PropertyRead Failed(HRESULT hr)
{
    return {hr, VT_EMPTY, std::nullopt};
}

inline PropertyRead ReadProperty(IWbemClassObject* object, const wchar_t* name)
{
    VARIANT value;
    VariantInit(&value);
    PropertyRead read{object->Get(name, 0, &value, nullptr, nullptr), value.vt, std::nullopt};
    if (value.vt == VT_BSTR && value.bstrVal != nullptr) {
        read.text = std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
    }
    VariantClear(&value);
    return read;
}

using Objects = std::vector<std::vector<PropertyRead>>;

class Connection {
public:
    // To the locator behind CoCreateInstance.
    Connection()
    {
        EXPECT_GE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), 0);
        EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, reinterpret_cast<void**>(&locator_)),
                  S_OK);
        Connect();
    }
    // To the provider's own locator.
    explicit Connection(const platform::hardware::HardwareProvider& provider)
    {
        EXPECT_EQ(provider.CreateLocator(&locator_), S_OK);
        Connect();
    }
    ~Connection()
    {
        if (services_ != nullptr) {
            services_->Release();
        }
        if (locator_ != nullptr) {
            locator_->Release();
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    IWbemServices* Services() const { return services_; }

    HRESULT Exec(const wchar_t* query, IEnumWbemClassObject** enumerator,
                 const char* language = "WQL") const
    {
        return services_->ExecQuery(platform::BStr(language), platform::BStr(query), 0x30, nullptr,
                                    enumerator);
    }

    // Every object of the query, each as the reads of the names; checks the status of each
    // enumeration step on the way.
    Objects Collect(const wchar_t* query, const std::vector<const wchar_t*>& names) const
    {
        IEnumWbemClassObject* enumerator = nullptr;
        EXPECT_EQ(Exec(query, &enumerator), WBEM_S_NO_ERROR);
        Objects objects;
        while (enumerator != nullptr) {
            IWbemClassObject* object = nullptr;
            ULONG returned = 7;
            const HRESULT hr = enumerator->Next(WBEM_INFINITE, 1, &object, &returned);
            if (returned == 0) {
                EXPECT_EQ(hr, WBEM_S_FALSE);
                EXPECT_EQ(object, nullptr);
                break;
            }
            EXPECT_EQ(hr, WBEM_S_NO_ERROR);
            EXPECT_EQ(returned, 1U);
            auto& reads = objects.emplace_back();
            for (const wchar_t* name : names) {
                reads.push_back(ReadProperty(object, name));
            }
            EXPECT_EQ(object->Release(), 0U);
        }
        if (enumerator != nullptr) {
            EXPECT_EQ(enumerator->Release(), 0U);
        }
        return objects;
    }

private:
    void Connect()
    {
        if (locator_ != nullptr) {
            EXPECT_EQ(locator_->ConnectServer(platform::BStr(L"ROOT\\CIMV2"), nullptr, nullptr,
                                              nullptr, 0, nullptr, nullptr, &services_),
                      WBEM_S_NO_ERROR);
        }
    }

    IWbemLocator* locator_ = nullptr;
    IWbemServices* services_ = nullptr;
};

} // namespace platform_test
