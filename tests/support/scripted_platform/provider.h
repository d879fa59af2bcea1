// The COM entry points of a test build: CoInitializeEx, CoUninitialize, CoCreateInstance,
// CoSetProxyBlanket and SysAllocString answer from the provider a test installs. Without one
// they behave as the program's, over this machine.
#pragma once

#include <platform/com_wmi.h>
#include <platform/posix/com_checks.h>

#include <optional>

namespace platform::hardware {
class HardwareProvider;
}

namespace platform::scripted {

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
    virtual HRESULT SetProxyBlanket(IUnknown*) { return S_OK; }
    // Asked by SysAllocString and SysAllocStringLen before each allocation; false makes
    // that allocation fail as if memory were exhausted.
    virtual bool OnStringAllocation() { return true; }
};

// The provider installed now, or null.
Provider* InstalledProvider();

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
    platform::com::ThreadCom previousThreadCom_;
};

// A hardware provider, over a fake tree say, behind CoCreateInstance for the lifetime of
// this object.
class HardwareInstallation final : public Provider {
public:
    explicit HardwareInstallation(const hardware::HardwareProvider& hardware);
    // Out of line, so that static analysis sees an object kept for what its lifetime does.
    ~HardwareInstallation() override;
    HardwareInstallation(const HardwareInstallation&) = delete;
    HardwareInstallation& operator=(const HardwareInstallation&) = delete;

    HRESULT CreateLocator(IWbemLocator** locator) override;

private:
    const hardware::HardwareProvider& hardware_;
    ProviderInstallation installation_{*this};
};

} // namespace platform::scripted
