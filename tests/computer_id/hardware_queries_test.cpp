#include <computer_id/hardware_queries.h>
#include <computer_id/placeholders.h>
#include <computer_id/trace_format.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
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
    for (const std::wstring_view value :
         {L"To Be Filled By O.E.M.", L"\u00a0To Be Filled By OEM\u00a0", L"O.E.M.", L"oem\u3000",
          L"Chassis Serial Number", L"\tDefault_String\u2007", L"1234567890", L"NOT AVAILABLE",
          L"Unknown", L"\u00a0\u00a0", L"..........", L""}) {
        EXPECT_TRUE(Lib_ComputerID::IsPlaceholder(value)) << Lib_ComputerID::NarrowCodeUnits(value);
    }
    for (const std::wstring_view value : {L"N\u012fA", L"OEM-4711", L"1234567891", L"Unknown\u200b",
                                          L"S\u00e9rial Number", L"BSN-4711"}) {
        EXPECT_FALSE(Lib_ComputerID::IsPlaceholder(value))
            << Lib_ComputerID::NarrowCodeUnits(value);
    }
}

} // namespace
