#include <computer_id/hardware_queries.h>
#include <computer_id/placeholders.h>
#include <computer_id/trace_format.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Lib_ComputerID::kHardwareQueries;
using Lib_ComputerID::kQueryTexts;

// The texts go to WMI and into every transcript: they must stay byte for byte as they are.
TEST(HardwareQueriesTest, QueryTextsAreTheWqlOfEachEntry)
{
    ASSERT_EQ(kQueryTexts.size(), 3U);
    EXPECT_STREQ(
        kQueryTexts[0],
        "SELECT DeviceID, Manufacturer, Name, Description, ProcessorID FROM Win32_Processor");
    EXPECT_STREQ(kQueryTexts[1], "SELECT SerialNumber, Manufacturer, Product, Model, "
                                 "OtherIdentifyingInfo FROM Win32_BaseBoard");
    EXPECT_STREQ(kQueryTexts[2], "SELECT Manufacturer, SerialNumber FROM Win32_BIOS");
}

std::vector<std::wstring> Names(const Lib_ComputerID::HardwareQuery& query)
{
    const auto properties = query.Properties();
    return {properties.begin(), properties.end()};
}

TEST(HardwareQueriesTest, PropertiesStopAtTheFirstEmptySlot)
{
    EXPECT_EQ(Names(kHardwareQueries[0]),
              (std::vector<std::wstring>{L"DeviceID", L"Manufacturer", L"Name", L"Description",
                                         L"ProcessorID"}));
    EXPECT_EQ(Names(kHardwareQueries[2]),
              (std::vector<std::wstring>{L"Manufacturer", L"SerialNumber"}));
    constexpr Lib_ComputerID::HardwareQuery none{L"Win32_Fan", {}};
    EXPECT_TRUE(none.Properties().empty());
    EXPECT_EQ(Lib_ComputerID::query_text::Write(none, nullptr),
              std::string("SELECT  FROM Win32_Fan").size());
}

// Values as WMI gives them, in UTF-16: white space of any kind around a placeholder and its
// case do not matter; code units past ASCII are not narrowed into one.
TEST(PlaceholderTest, KnowsTheFillersOfFirmwareAsRead)
{
    const std::pair<std::wstring_view, bool> values[] = {
        {L"To Be Filled By O.E.M.", true},
        {L"\u00a0To Be Filled By OEM\u00a0", true},
        {L"O.E.M.", true},
        {L"oem\u3000", true},
        {L"Chassis Serial Number", true},
        {L"\tDefault_String\u2007", true},
        {L"1234567890", true},
        {L"NOT AVAILABLE", true},
        {L"Unknown", true},
        {L"\u00a0\u00a0", true},
        {L"..........", true},
        {L"", true},
        {L"N\u012fA", false},
        {L"OEM-4711", false},
        {L"1234567891", false},
        {L"Unknown\u200b", false},
        {L"S\u00e9rial Number", false},
        {L"BSN-4711", false},
    };
    for (const auto& [value, placeholder] : values) {
        EXPECT_EQ(Lib_ComputerID::IsPlaceholder(value), placeholder)
            << Lib_ComputerID::NarrowCodeUnits(value);
    }
}

} // namespace
