#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace Lib_ComputerID {

// Writes a pointer as 16 uppercase hex digits without prefix (a null one as sixteen zeros),
// the same on every platform and compiler, and leaves the stream's flags as they were.
struct PointerText {
    const void* pointer;
};
std::ostream& operator<<(std::ostream& out, PointerText text);

// Each UTF-16 code unit becomes its low 8 bits: no code page, no decoding of pairs.
std::string NarrowCodeUnits(std::wstring_view text);

} // namespace Lib_ComputerID
