#pragma once

#include <string_view>

namespace Lib_ComputerID {

// Whether a hardware string is one that firmware writes when the maker left it unset, the
// same on every machine of a model: a known placeholder (compared without case and without
// surrounding spaces), one character repeated, or blank.
bool IsPlaceholder(std::string_view value);

} // namespace Lib_ComputerID
