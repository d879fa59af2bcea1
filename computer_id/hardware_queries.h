#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>
#include <utility>

namespace Lib_ComputerID {

// One WMI query of the inventory: the class and the properties read from each of its
// objects, in the order their values enter the platform information text.
struct HardwareQuery {
    static constexpr std::size_t kMaxProperties = 5;

    const wchar_t* className;
    // The properties in order, null after the last.
    std::array<const wchar_t*, kMaxProperties> propertySlots;

    constexpr std::span<const wchar_t* const> Properties() const
    {
        const auto* const end = std::find(propertySlots.begin(), propertySlots.end(), nullptr);
        return {propertySlots.begin(), end};
    }
};

// The queries in the order they run; their order and property order fix the computer ID.
inline constexpr std::array<HardwareQuery, 3> kHardwareQueries{{
    {L"Win32_Processor", {L"DeviceID", L"Manufacturer", L"Name", L"Description", L"ProcessorID"}},
    {L"Win32_BaseBoard",
     {L"SerialNumber", L"Manufacturer", L"Product", L"Model", L"OtherIdentifyingInfo"}},
    {L"Win32_BIOS", {L"Manufacturer", L"SerialNumber"}},
}};

// The properties that hold the machine's serial numbers, as class and property: what tells
// one machine of a model from another.
inline constexpr std::array<std::pair<const wchar_t*, const wchar_t*>, 2> kSerialNumbers{{
    {kHardwareQueries[1].className, kHardwareQueries[1].propertySlots[0]},
    {kHardwareQueries[2].className, kHardwareQueries[2].propertySlots[1]},
}};

namespace query_text {

// Writes "SELECT <properties, comma-separated> FROM <class>" to out unless it is null;
// returns its length. Class and property names are ASCII, so each character narrows as is.
constexpr std::size_t Write(const HardwareQuery& query, char* out)
{
    std::size_t length = 0;
    auto append = [&](const wchar_t* part) {
        for (; *part != L'\0'; ++part, ++length) {
            if (out != nullptr)
                out[length] = static_cast<char>(*part);
        }
    };
    append(L"SELECT ");
    const auto properties = query.Properties();
    for (std::size_t i = 0; i < properties.size(); ++i) {
        if (i != 0)
            append(L", ");
        append(properties[i]);
    }
    append(L" FROM ");
    append(query.className);
    return length;
}

template <std::size_t Index>
inline constexpr auto kStorage = [] {
    std::array<char, Write(kHardwareQueries[Index], nullptr) + 1> text{};
    Write(kHardwareQueries[Index], text.data());
    return text;
}();

} // namespace query_text

// The WQL text of each query, in table order, built from the table when compiling.
inline constexpr std::array<const char*, kHardwareQueries.size()> kQueryTexts =
    []<std::size_t... Index>(std::index_sequence<Index...>)
{
    return std::array<const char*, sizeof...(Index)>{query_text::kStorage<Index>.data()...};
}
(std::make_index_sequence<kHardwareQueries.size()>());

} // namespace Lib_ComputerID
