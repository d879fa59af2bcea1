// The WMI provider that sits behind CoCreateInstance(CLSID_WbemLocator). One provider is
// current for the whole process; it is the hardware provider over "/" unless a test has
// installed another one.
#pragma once

#include <platform/com_wmi.h>

#include <optional>

namespace platform::wmi {

class Provider {
public:
    Provider() = default;
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
    virtual ~Provider() = default;

    // When set, CoInitializeEx returns this status instead of starting COM on the thread.
    virtual std::optional<HRESULT> CoInitializeOverride() { return std::nullopt; }
    // Called by CoCreateInstance once its arguments are checked and *locator is null; on
    // success *locator holds one reference.
    virtual HRESULT CreateLocator(IWbemLocator** locator) = 0;
    // Called by CoSetProxyBlanket with a non-null proxy.
    virtual HRESULT SetProxyBlanket(IUnknown* proxy);
    // Asked by SysAllocString and SysAllocStringLen before each allocation; false makes
    // that allocation fail as if memory were exhausted.
    virtual bool OnStringAllocation() { return true; }
};

Provider& CurrentProvider();

// Makes a provider current for its lifetime and gives the calling thread a COM state of
// its own that has not been started yet; the destructor puts back the previous provider
// and the thread's previous COM state. Installations nest.
class ProviderInstallation {
public:
    explicit ProviderInstallation(Provider& provider);
    ~ProviderInstallation();
    ProviderInstallation(const ProviderInstallation&) = delete;
    ProviderInstallation& operator=(const ProviderInstallation&) = delete;

private:
    Provider* previousProvider_;
    std::optional<DWORD> previousThreadModel_;
};

} // namespace platform::wmi
