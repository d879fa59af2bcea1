#pragma once

#include <string_view>

namespace Lib_ComputerID {

// Whether a hardware string, as read (UTF-16 code units), is one that firmware writes when
// the maker left it unset, the same on every machine of a model: a known placeholder
// (compared without case and without surrounding Unicode white space), one character
// repeated, or blank.
bool IsPlaceholder(std::wstring_view value);

} // namespace Lib_ComputerID
