// Text conversions shared by the COM stand-in: wide strings hold UTF-16 code units, one
// per wchar_t element, whatever the width of wchar_t.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Decodes UTF-8 into UTF-16 code units. Each maximal ill-formed subsequence becomes one
// U+FFFD, the replacement practice Unicode recommends, so the result does not depend on
// where a damaged sequence happens to end.
std::wstring WidenUtf8(std::string_view bytes);

// WMI compares namespace, class and property names without regard to case; every name
// this stand-in knows is ASCII, so only ASCII letters are folded.
bool EqualsIgnoreCase(std::wstring_view left, std::wstring_view right);

} // namespace platform
