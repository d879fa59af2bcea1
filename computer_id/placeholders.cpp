#include "placeholders.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace Lib_ComputerID {
namespace {

constexpr std::array<std::string_view, 13> kPlaceholders = {"To be filled by O.E.M.",
                                                            "Default string",
                                                            "System Serial Number",
                                                            "Base Board Serial Number",
                                                            "Not Specified",
                                                            "Not Applicable",
                                                            "None",
                                                            "N/A",
                                                            "0",
                                                            "00000000",
                                                            "0123456789",
                                                            "123456789",
                                                            "Serial Number"};

char Lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

bool IsPlaceholder(std::string_view value)
{
    while (!value.empty() && IsSpace(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && IsSpace(value.back()))
        value.remove_suffix(1);
    if (value.empty() || value.find_first_not_of(value.front()) == std::string_view::npos)
        return true;
    return std::any_of(kPlaceholders.begin(), kPlaceholders.end(), [value](std::string_view known) {
        return std::equal(value.begin(), value.end(), known.begin(), known.end(),
                          [](char a, char b) { return Lower(a) == Lower(b); });
    });
}

} // namespace Lib_ComputerID
