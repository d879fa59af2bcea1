#include "com_memory.h"
#include "unicode.h"
#include "wmi/provider.h"

#include <platform/com_wmi.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>
#include <memory>
#include <new>
#include <utility>

namespace {

// A BSTR points just past its length prefix, so the prefix must keep the text aligned.
static_assert(sizeof(UINT) % alignof(OLECHAR) == 0);

constexpr std::size_t maxLength =
    (std::numeric_limits<std::size_t>::max() - sizeof(UINT)) / sizeof(OLECHAR) - 1;

BSTR AllocateBlock(const OLECHAR* text, std::size_t length)
{
    if (length > maxLength || length > std::numeric_limits<UINT>::max()) {
        return nullptr;
    }
    void* block = std::malloc(sizeof(UINT) + (length + 1) * sizeof(OLECHAR));
    if (block == nullptr) {
        return nullptr;
    }
    const auto prefix = static_cast<UINT>(length);
    std::memcpy(block, &prefix, sizeof prefix);
    auto* chars = reinterpret_cast<OLECHAR*>(static_cast<unsigned char*>(block) + sizeof(UINT));
    if (text != nullptr) {
        std::copy_n(text, length, chars);
    } else {
        std::fill_n(chars, length, OLECHAR{});
    }
    chars[length] = OLECHAR{};
    return chars;
}

void* BlockOf(BSTR text)
{
    return reinterpret_cast<unsigned char*>(text) - sizeof(UINT);
}

void FreeStringArray(SAFEARRAY* array)
{
    if (array == nullptr) {
        return;
    }
    for (ULONG index = 0; index < array->cElements; ++index) {
        SysFreeString(array->pElements[index]);
    }
    delete[] array->pElements;
    delete array;
}

BSTR AllocateOrThrow(BSTR text)
{
    if (text == nullptr) {
        throw platform::ComError(E_OUTOFMEMORY);
    }
    return text;
}

} // namespace

BSTR SysAllocString(const OLECHAR* text)
{
    if (text == nullptr || !platform::wmi::CurrentProvider().OnStringAllocation()) {
        return nullptr;
    }
    return AllocateBlock(text, std::wcslen(text));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    if (!platform::wmi::CurrentProvider().OnStringAllocation()) {
        return nullptr;
    }
    return AllocateBlock(text, length);
}

UINT SysStringLen(BSTR text)
{
    if (text == nullptr) {
        return 0;
    }
    UINT length = 0;
    std::memcpy(&length, BlockOf(text), sizeof length);
    return length;
}

void SysFreeString(BSTR text)
{
    if (text != nullptr) {
        std::free(BlockOf(text));
    }
}

void VariantInit(VARIANT* value)
{
    value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value)
{
    if (value == nullptr) {
        return E_INVALIDARG;
    }
    switch (value->vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I4:
        break;
    case VT_BSTR:
        SysFreeString(value->bstrVal);
        break;
    case VT_ARRAY | VT_BSTR:
        FreeStringArray(value->parray);
        break;
    default:
        return DISP_E_BADVARTYPE;
    }
    value->vt = VT_EMPTY;
    return S_OK;
}

namespace platform::com {

BSTR AllocateString(std::wstring_view text)
{
    return AllocateBlock(text.data(), text.size());
}

SAFEARRAY* AllocateStringArray(const std::vector<std::wstring>& items)
{
    if (items.size() > std::numeric_limits<ULONG>::max()) {
        return nullptr;
    }
    // Read below; cppcheck takes the braced initialiser for the only use.
    // cppcheck-suppress unreadVariable
    auto* array = new (std::nothrow) SAFEARRAY{0, nullptr};
    if (array == nullptr) {
        return nullptr;
    }
    array->pElements = new (std::nothrow) BSTR[items.size()];
    if (array->pElements == nullptr) {
        delete array;
        return nullptr;
    }
    for (const std::wstring& item : items) {
        BSTR copy = AllocateString(item);
        if (copy == nullptr) {
            FreeStringArray(array);
            return nullptr;
        }
        array->pElements[array->cElements++] = copy;
    }
    return array;
}

} // namespace platform::com

namespace platform {

struct BStr::Data {
    BSTR text;
    std::atomic<unsigned> references;
};

BStr::BStr(const char* text) : data_(nullptr)
{
    if (text == nullptr) {
        return;
    }
    const std::wstring wide = WidenUtf8(text);
    if (wide.size() > std::numeric_limits<UINT>::max()) {
        throw ComError(E_INVALIDARG);
    }
    auto data = std::make_unique<Data>();
    data->text = AllocateOrThrow(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
    data->references = 1;
    data_ = data.release();
}

BStr::BStr(const wchar_t* text) : data_(nullptr)
{
    if (text == nullptr) {
        return;
    }
    auto data = std::make_unique<Data>();
    data->text = AllocateOrThrow(SysAllocString(text));
    data->references = 1;
    data_ = data.release();
}

BStr::BStr(const BStr& other) noexcept : data_(other.data_)
{
    if (data_ != nullptr) {
        ++data_->references;
    }
}

BStr& BStr::operator=(const BStr& other) noexcept
{
    BStr copy(other);
    std::swap(data_, copy.data_);
    return *this;
}

BStr::~BStr()
{
    if (data_ != nullptr && --data_->references == 0) {
        SysFreeString(data_->text);
        delete data_;
    }
}

BStr::operator BSTR() const noexcept
{
    return data_ != nullptr ? data_->text : nullptr;
}

UINT BStr::length() const noexcept
{
    return SysStringLen(*this);
}

} // namespace platform
