#pragma once

#include <ios>
#include <locale>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>

namespace Lib_ComputerID {

// Writes a pointer as 16 uppercase hex digits without prefix (a null one as sixteen zeros),
// the same on every platform and compiler, and leaves the stream's flags as they were.
struct PointerText {
    const void* pointer;
};
std::ostream& operator<<(std::ostream& out, PointerText text);

// A string stream for the text the library builds (the ID, the platform information, the
// error messages): numbers in the classic locale whatever the global locale is, and a
// failure to grow throws instead of leaving the text cut short.
template <typename Char>
class TextStream : public std::basic_ostringstream<Char> {
public:
    TextStream()
    {
        this->imbue(std::locale::classic());
        this->exceptions(std::ios::badbit | std::ios::failbit);
    }
};

// Each UTF-16 code unit becomes its low 8 bits: no code page, no decoding of pairs.
std::string NarrowCodeUnits(std::wstring_view text);

} // namespace Lib_ComputerID
