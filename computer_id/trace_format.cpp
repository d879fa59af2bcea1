#include "trace_format.h"

#include <cstdint>

namespace Lib_ComputerID {

std::ostream& operator<<(std::ostream& out, PointerText text)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    auto value = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(text.pointer));
    char digits[16];
    for (int i = 15; i >= 0; --i) {
        digits[i] = kDigits[value & 0xF];
        value >>= 4;
    }
    return out.write(digits, sizeof digits);
}

std::string NarrowCodeUnits(std::wstring_view text)
{
    std::string narrow;
    narrow.reserve(text.size());
    for (wchar_t unit : text)
        narrow.push_back(static_cast<char>(static_cast<unsigned char>(unit & 0xFF)));
    return narrow;
}

} // namespace Lib_ComputerID
