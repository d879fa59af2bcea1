// What every fuzz target shares: a front-to-back reader of the input, the check that turns a
// broken promise into a crash that libFuzzer keeps as an artifact, and the models' comparison
// of WMI names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fuzz {

[[noreturn]] inline void Fail(const char* what)
{
    (void)std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void Check(bool condition, const char* what)
{
    if (!condition)
        Fail(what);
}

// WMI names compared as WMI compares them, ASCII letters without regard to case; written
// apart from the stand-in's own comparison, which the targets check rather than reuse.
inline bool SameName(std::wstring_view left, std::wstring_view right)
{
    const auto fold = [](wchar_t unit) {
        return unit >= L'A' && unit <= L'Z' ? unit - L'A' + L'a' : unit;
    };
    if (left.size() != right.size())
        return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (fold(left[i]) != fold(right[i]))
            return false;
    }
    return true;
}

// Past the end of the input every read gives zeros, so any input, however short, still
// describes a complete case and the fuzzer can grow it from the front.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return position_ == size_; }

    std::uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }

    std::uint32_t Word()
    {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8)
            value |= static_cast<std::uint32_t>(Byte()) << shift;
        return value;
    }

    // 0 to 0x7FFF: one byte below 0x80, else that byte's low bits and one more byte.
    std::size_t Length()
    {
        const std::uint8_t first = Byte();
        if (first < 0x80)
            return first;
        return (static_cast<std::size_t>(first & 0x7F) << 8) | Byte();
    }

    // Up to count bytes; fewer where the input ends.
    std::string_view Bytes(std::size_t count)
    {
        const std::size_t available = size_ - position_;
        const std::size_t taken = count < available ? count : available;
        const std::string_view bytes(reinterpret_cast<const char*>(data_ + position_), taken);
        position_ += taken;
        return bytes;
    }

    std::string_view Segment() { return Bytes(Length()); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

} // namespace fuzz
