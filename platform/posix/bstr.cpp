#include "com_memory.h"
#include "unicode.h"

#include <platform/com_wmi.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

namespace {

// A BSTR points just past its length prefix, so the prefix must keep the text aligned.
static_assert(sizeof(UINT) % alignof(OLECHAR) == 0);

constexpr std::size_t maxLength =
    (std::numeric_limits<std::size_t>::max() - sizeof(UINT)) / sizeof(OLECHAR) - 1;

void* BlockOf(BSTR text)
{
    return reinterpret_cast<unsigned char*>(text) - sizeof(UINT);
}

BSTR AllocateOrThrow(BSTR text)
{
    if (text == nullptr) {
        throw platform::ComError(E_OUTOFMEMORY);
    }
    return text;
}

} // namespace

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

namespace platform::com {

BSTR AllocateString(const OLECHAR* text, std::size_t length)
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
