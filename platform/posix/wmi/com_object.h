// IUnknown for the objects of the WQL front end: each answers QueryInterface for
// IUnknown and its own interface, and deletes itself when its last reference goes.
#pragma once

#include <platform/com_wmi.h>

#include <atomic>

namespace platform::wmi {

template <typename Interface>
const IID& InterfaceId();
template <>
inline const IID& InterfaceId<IWbemLocator>()
{
    return IID_IWbemLocator;
}
template <>
inline const IID& InterfaceId<IWbemServices>()
{
    return IID_IWbemServices;
}
template <>
inline const IID& InterfaceId<IEnumWbemClassObject>()
{
    return IID_IEnumWbemClassObject;
}
template <>
inline const IID& InterfaceId<IWbemClassObject>()
{
    return IID_IWbemClassObject;
}

template <typename Interface>
HRESULT QueryOwnInterface(Interface* self, REFIID riid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == InterfaceId<Interface>()) {
        self->AddRef();
        *object = self;
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

template <typename Interface>
class ComObject : public Interface {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT QueryInterface(REFIID riid, void** object) final
    {
        return QueryOwnInterface<Interface>(this, riid, object);
    }
    ULONG AddRef() final { return ++references_; }
    ULONG Release() final
    {
        const ULONG left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> references_{1};
};

} // namespace platform::wmi
