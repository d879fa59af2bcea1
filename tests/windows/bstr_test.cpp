#include <platform/com_wmi.h>

#include <gtest/gtest.h>

#include <cwchar>

namespace {

TEST(BStrTest, NarrowTextWidensOneUnitPerByte)
{
    const platform::BStr text("ROOT\\CIMV2");
    const BSTR wide = text;
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(SysStringLen(wide), 10U);
    EXPECT_EQ(std::wcscmp(wide, L"ROOT\\CIMV2"), 0);
}

TEST(BStrTest, EmptyTextGivesAnEmptyString)
{
    const platform::BStr text("");
    const BSTR wide = text;
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(SysStringLen(wide), 0U);
    EXPECT_EQ(wide[0], L'\0');
}

TEST(BStrTest, NullTextGivesNoString)
{
    const platform::BStr text(static_cast<const char*>(nullptr));
    EXPECT_EQ(static_cast<BSTR>(text), nullptr);
}

TEST(BStrTest, WidensThroughTheAnsiCodePage)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "the system ANSI code page is " << GetACP() << ", not 1252";
    const platform::BStr text("\x80\xE9\x9F");
    const BSTR wide = text;
    ASSERT_NE(wide, nullptr);
    ASSERT_EQ(SysStringLen(wide), 3U);
    EXPECT_EQ(wide[0], L'\x20AC');
    EXPECT_EQ(wide[1], L'\x00E9');
    EXPECT_EQ(wide[2], L'\x0178');
}

TEST(BStrTest, CopiesShareTheString)
{
    // The copy is what is under test; the analyser cannot follow _bstr_t's reference count.
    // NOLINTBEGIN(performance-unnecessary-copy-initialization,clang-analyzer-cplusplus.NewDelete)
    const platform::BStr text("WQL");
    const platform::BStr copy = text;
    EXPECT_EQ(static_cast<BSTR>(copy), static_cast<BSTR>(text));
    EXPECT_EQ(std::wcscmp(copy, L"WQL"), 0);
    // NOLINTEND(performance-unnecessary-copy-initialization,clang-analyzer-cplusplus.NewDelete)
}

} // namespace
