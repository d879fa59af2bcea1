// The part of WQL that the providers answer: SELECT <properties> FROM <class>.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::wmi {

struct SelectQuery {
    bool allProperties = false; // SELECT *
    std::vector<std::wstring> properties;
    std::wstring className;

    bool operator==(const SelectQuery&) const = default;
};

// "SELECT a, b FROM Class" or "SELECT * FROM Class": keywords in any case, whitespace of
// any kind and amount between tokens. Empty when the text is not such a query.
std::optional<SelectQuery> ParseSelect(std::wstring_view text);

} // namespace platform::wmi
