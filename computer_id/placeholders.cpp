#include "placeholders.h"

#include <algorithm>
#include <array>

namespace Lib_ComputerID {
namespace {

// Values that firmware leaves in its SMBIOS strings when the maker did not set them: the
// defaults of the common BIOS code bases and the filler that board makers ship with.
constexpr std::array<std::wstring_view, 22> kPlaceholders = {L"To be filled by O.E.M.",
                                                             L"To Be Filled By OEM",
                                                             L"Default string",
                                                             L"Default_String",
                                                             L"System Serial Number",
                                                             L"Base Board Serial Number",
                                                             L"Chassis Serial Number",
                                                             L"Type2 - Board Serial Number",
                                                             L"Serial Number",
                                                             L"Not Specified",
                                                             L"Not Applicable",
                                                             L"Not Available",
                                                             L"Unknown",
                                                             L"None",
                                                             L"N/A",
                                                             L"OEM",
                                                             L"O.E.M.",
                                                             L"0",
                                                             L"00000000",
                                                             L"0123456789",
                                                             L"123456789",
                                                             L"1234567890"};

// Code units are UTF-16; the table is ASCII, so only ASCII letters need folding.
wchar_t Lower(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Unicode's White_Space characters, all in the Basic Multilingual Plane.
bool IsSpace(wchar_t c)
{
    return (c >= 0x09 && c <= 0x0d) || c == 0x20 || c == 0x85 || c == 0xa0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200a) || c == 0x2028 || c == 0x2029 || c == 0x202f ||
           c == 0x205f || c == 0x3000;
}

} // namespace

bool IsPlaceholder(std::wstring_view value)
{
    while (!value.empty() && IsSpace(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && IsSpace(value.back()))
        value.remove_suffix(1);
    if (value.empty() || value.find_first_not_of(value.front()) == std::wstring_view::npos)
        return true;
    return std::any_of(
        kPlaceholders.begin(), kPlaceholders.end(), [value](std::wstring_view known) {
            return std::equal(value.begin(), value.end(), known.begin(), known.end(),
                              [](wchar_t a, wchar_t b) { return Lower(a) == Lower(b); });
        });
}

} // namespace Lib_ComputerID
