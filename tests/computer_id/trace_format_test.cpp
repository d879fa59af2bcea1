#include <computer_id/trace_format.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

namespace {

using Lib_ComputerID::NarrowCodeUnits;
using Lib_ComputerID::PointerText;

std::string Written(const void* pointer)
{
    std::ostringstream out;
    out << std::hex << PointerText{pointer} << 255;
    return out.str();
}

TEST(PointerTextTest, SixteenUppercaseDigitsAndTheStreamKeepsItsBase)
{
    EXPECT_EQ(Written(nullptr), "0000000000000000ff");
    // Pointers made from chosen addresses: the format is the subject, not the pointee.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    EXPECT_EQ(Written(reinterpret_cast<const void*>(std::uintptr_t{0xABCDEF})),
              "0000000000ABCDEFff");
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    EXPECT_EQ(Written(reinterpret_cast<const void*>(~std::uintptr_t{0})), "FFFFFFFFFFFFFFFFff");
}

TEST(NarrowCodeUnitsTest, KeepsTheLowByteOfEveryUnit)
{
    EXPECT_EQ(NarrowCodeUnits(L"ProcessorID"), "ProcessorID");
    EXPECT_EQ(NarrowCodeUnits(std::wstring{wchar_t(0x00E9), wchar_t(0x20AC), wchar_t(0xD83D),
                                           wchar_t(0xDE00), wchar_t(0x0100)}),
              std::string("\xE9\xAC\x3D\x00\x00", 5));
    EXPECT_EQ(NarrowCodeUnits(L""), "");
}

} // namespace
