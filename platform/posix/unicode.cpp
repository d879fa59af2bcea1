#include "unicode.h"

#include <cstdint>
#include <optional>

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

// How a sequence of more than one byte starts: the continuation bytes it needs, the code
// point bits of its lead byte and the range of its first continuation byte, which also rules
// out overlong forms, surrogates and values above U+10FFFF.
struct Sequence {
    int continuations;
    std::uint32_t codePoint;
    std::uint8_t lower;
    std::uint8_t upper;
};

std::optional<Sequence> SequenceOf(std::uint8_t lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) {
        return Sequence{1, lead & 0x1FU, 0x80, 0xBF};
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return Sequence{2, lead & 0x0FU, static_cast<std::uint8_t>(lead == 0xE0 ? 0xA0 : 0x80),
                        static_cast<std::uint8_t>(lead == 0xED ? 0x9F : 0xBF)};
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return Sequence{3, lead & 0x07U, static_cast<std::uint8_t>(lead == 0xF0 ? 0x90 : 0x80),
                        static_cast<std::uint8_t>(lead == 0xF4 ? 0x8F : 0xBF)};
    }
    return std::nullopt;
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
        const std::optional<Sequence> sequence = SequenceOf(lead);
        if (!sequence) {
            text.push_back(replacement);
            continue;
        }
        int continuations = sequence->continuations;
        std::uint32_t codePoint = sequence->codePoint;
        std::uint8_t lower = sequence->lower;
        std::uint8_t upper = sequence->upper;
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
