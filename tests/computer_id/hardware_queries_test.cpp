#include <computer_id/hardware_queries.h>

#include <gtest/gtest.h>

#include <string>
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

} // namespace
