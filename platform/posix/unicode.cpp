#include "unicode.h"

#include <cstdint>

namespace platform {

namespace {

constexpr wchar_t replacement = 0xFFFD;

void AppendCodePoint(std::wstring& text, std::uint32_t codePoint)
{
    if (codePoint < 0x10000) {
        text.push_back(static_cast<wchar_t>(codePoint));
        return;
    }
    const std::uint32_t offset = codePoint - 0x10000;
    text.push_back(static_cast<wchar_t>(0xD800 + (offset >> 10)));
    text.push_back(static_cast<wchar_t>(0xDC00 + (offset & 0x3FF)));
}

wchar_t FoldAscii(wchar_t unit)
{
    return unit >= L'A' && unit <= L'Z' ? static_cast<wchar_t>(unit - L'A' + L'a') : unit;
}

} // namespace

std::wstring WidenUtf8(std::string_view bytes)
{
    std::wstring text;
    text.reserve(bytes.size());
    std::size_t index = 0;
    while (index < bytes.size()) {
        const auto lead = static_cast<std::uint8_t>(bytes[index++]);
        if (lead < 0x80) {
            text.push_back(static_cast<wchar_t>(lead));
            continue;
        }
        // The first continuation byte's range also rules out overlong forms, surrogates
        // and values above U+10FFFF.
        std::uint8_t lower = 0x80;
        std::uint8_t upper = 0xBF;
        int continuations = 0;
        std::uint32_t codePoint = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            continuations = 1;
            codePoint = lead & 0x1FU;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            continuations = 2;
            codePoint = lead & 0x0FU;
            lower = lead == 0xE0 ? 0xA0 : lower;
            upper = lead == 0xED ? 0x9F : upper;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            continuations = 3;
            codePoint = lead & 0x07U;
            lower = lead == 0xF0 ? 0x90 : lower;
            upper = lead == 0xF4 ? 0x8F : upper;
        } else {
            text.push_back(replacement);
            continue;
        }
        while (continuations > 0 && index < bytes.size()) {
            const auto next = static_cast<std::uint8_t>(bytes[index]);
            if (next < lower || next > upper) {
                break;
            }
            codePoint = (codePoint << 6) | (next & 0x3FU);
            lower = 0x80;
            upper = 0xBF;
            ++index;
            --continuations;
        }
        if (continuations > 0) {
            text.push_back(replacement);
        } else {
            AppendCodePoint(text, codePoint);
        }
    }
    return text;
}

bool EqualsIgnoreCase(std::wstring_view left, std::wstring_view right)
{
    if (left.size() != right.size()) {
        return false;
    }
    for (std::size_t index = 0; index < left.size(); ++index) {
        if (FoldAscii(left[index]) != FoldAscii(right[index])) {
            return false;
        }
    }
    return true;
}

} // namespace platform
