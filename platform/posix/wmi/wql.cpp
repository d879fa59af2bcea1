#include "wql.h"

#include "../unicode.h"

#include <utility>

namespace platform::wmi {

namespace {

bool IsSpace(wchar_t unit)
{
    return unit == L' ' || unit == L'\t' || unit == L'\n' || unit == L'\r' || unit == L'\v' ||
           unit == L'\f';
}

bool IsLetter(wchar_t unit)
{
    return (unit >= L'A' && unit <= L'Z') || (unit >= L'a' && unit <= L'z') || unit == L'_';
}

bool IsDigit(wchar_t unit)
{
    return unit >= L'0' && unit <= L'9';
}

class Lexer {
public:
    explicit Lexer(std::wstring_view text) : text_(text) {}

    bool Keyword(std::wstring_view keyword)
    {
        const std::size_t mark = position_;
        const std::wstring_view word = Word();
        if (!word.empty() && EqualsIgnoreCase(word, keyword)) {
            return true;
        }
        position_ = mark;
        return false;
    }

    bool Symbol(wchar_t symbol)
    {
        SkipSpace();
        if (position_ < text_.size() && text_[position_] == symbol) {
            ++position_;
            return true;
        }
        return false;
    }

    // A class or property name; the keywords cannot be one.
    std::optional<std::wstring> Name()
    {
        const std::wstring_view word = Word();
        if (word.empty() || EqualsIgnoreCase(word, L"SELECT") || EqualsIgnoreCase(word, L"FROM")) {
            return std::nullopt;
        }
        return std::wstring(word);
    }

    bool AtEnd()
    {
        SkipSpace();
        return position_ == text_.size();
    }

private:
    void SkipSpace()
    {
        while (position_ < text_.size() && IsSpace(text_[position_])) {
            ++position_;
        }
    }

    std::wstring_view Word()
    {
        SkipSpace();
        const std::size_t start = position_;
        if (position_ < text_.size() && IsLetter(text_[position_])) {
            while (position_ < text_.size() &&
                   (IsLetter(text_[position_]) || IsDigit(text_[position_]))) {
                ++position_;
            }
        }
        return text_.substr(start, position_ - start);
    }

    std::wstring_view text_;
    std::size_t position_ = 0;
};

} // namespace

std::optional<SelectQuery> ParseSelect(std::wstring_view text)
{
    Lexer lexer(text);
    if (!lexer.Keyword(L"SELECT")) {
        return std::nullopt;
    }
    SelectQuery query;
    if (lexer.Symbol(L'*')) {
        query.allProperties = true;
    } else {
        do {
            std::optional<std::wstring> property = lexer.Name();
            if (!property) {
                return std::nullopt;
            }
            query.properties.push_back(std::move(*property));
        } while (lexer.Symbol(L','));
    }
    if (!lexer.Keyword(L"FROM")) {
        return std::nullopt;
    }
    std::optional<std::wstring> className = lexer.Name();
    if (!className || !lexer.AtEnd()) {
        return std::nullopt;
    }
    query.className = std::move(*className);
    return query;
}

} // namespace platform::wmi
