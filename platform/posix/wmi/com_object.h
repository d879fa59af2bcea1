// IUnknown for the objects of the WQL front end, which delete themselves when their last
// reference goes.
#pragma once

#include <platform/com_wmi.h>

#include <atomic>

namespace platform::wmi {

// The objects are reached only through the pointers that the calls creating them hand out;
// QueryInterface answers for the identity that every COM object keeps, IUnknown, and for
// nothing else.
inline HRESULT QueryIdentity(IUnknown* self, REFIID riid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown) {
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
        return QueryIdentity(this, riid, object);
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
