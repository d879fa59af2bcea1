#include <platform/com_wmi.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

std::wstring Units(BSTR text)
{
    return std::wstring(text, SysStringLen(text));
}

TEST(SysAllocStringTest, CopiesUpToTheTerminatorAndKeepsTheLength)
{
    BSTR text = SysAllocString(L"ROOT\\CIMV2");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 10U);
    EXPECT_EQ(Units(text), L"ROOT\\CIMV2");
    EXPECT_EQ(text[10], L'\0');
    SysFreeString(text);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0U);
}

TEST(SysAllocStringTest, LengthCountsEmbeddedNulsAndNullTextGivesZeros)
{
    BSTR text = SysAllocStringLen(L"a\0b\0c", 5);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(SysStringLen(text), 5U);
    EXPECT_EQ(Units(text), std::wstring(L"a\0b\0c", 5));
    EXPECT_EQ(text[5], L'\0');
    SysFreeString(text);

    BSTR zeros = SysAllocStringLen(nullptr, 3);
    ASSERT_NE(zeros, nullptr);
    EXPECT_EQ(Units(zeros), std::wstring(3, L'\0'));
    SysFreeString(zeros);
}

TEST(VariantTest, ClearFreesWhatTheValueOwnsAndLeavesItEmpty)
{
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(value.vt, VT_EMPTY);

    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(L"text");
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);

    value.vt = VT_NULL;
    EXPECT_EQ(VariantClear(&value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);

    // Numbers (VT_I4) and string arrays (VT_ARRAY | VT_BSTR) are kinds this library never
    // hands out, like any unknown one.
    for (const VARTYPE kind : {VARTYPE{3}, VARTYPE{0x2008}, VARTYPE{0x4444}}) {
        value.vt = kind;
        EXPECT_EQ(VariantClear(&value), DISP_E_BADVARTYPE) << kind;
        EXPECT_EQ(value.vt, kind);
    }
    EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

struct Widening {
    const char* name;
    const char* narrow;
    std::wstring wide;
};

void PrintTo(const Widening& value, std::ostream* out)
{
    *out << value.name;
}

class BStrWideningTest : public ::testing::TestWithParam<Widening> {};

TEST_P(BStrWideningTest, GivesTheUtf16CodeUnits)
{
    const platform::BStr text(GetParam().narrow);
    EXPECT_EQ(Units(text), GetParam().wide);
    EXPECT_EQ(text.length(), GetParam().wide.size());
}

const std::wstring bad(1, wchar_t(0xFFFD));

INSTANTIATE_TEST_SUITE_P(
    Texts, BStrWideningTest,
    ::testing::Values(
        Widening{"Ascii", "SELECT Name FROM Win32_BIOS", L"SELECT Name FROM Win32_BIOS"},
        Widening{"Empty", "", L""}, Widening{"TwoBytes", "caf\xC3\xA9", L"caf\u00E9"},
        Widening{"ThreeBytes",
                 "\xE2\x82\xAC"
                 "5",
                 L"\u20AC5"},
        Widening{"FourBytesAsSurrogatePair",
                 "a\xF0\x9F\x98\x80z",
                 {L'a', wchar_t(0xD83D), wchar_t(0xDE00), L'z'}},
        Widening{"LoneContinuation", "a\x80z", L"a" + bad + L"z"},
        Widening{"InvalidByte", "\xFF\xC0", bad + bad},
        Widening{"TruncatedAtEnd", "a\xE2\x82", L"a" + bad},
        Widening{"TruncatedBeforeAscii", "\xF0\x9F\x98z", bad + L"z"},
        Widening{"Overlong", "\xE0\x80\xAF", bad + bad + bad},
        Widening{"Surrogate", "\xED\xA0\x80", bad + bad + bad},
        Widening{"AboveU10FFFF", "\xF4\x90\x80\x80", bad + bad + bad + bad},
        Widening{"HighestCodePoint", "\xF4\x8F\xBF\xBF", {wchar_t(0xDBFF), wchar_t(0xDFFF)}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BStrTest, CopiesShareOneStringThatLivesUntilTheLastCopy)
{
    platform::BStr copy("first");
    BSTR shared = nullptr;
    {
        const platform::BStr original(L"ROOT\\CIMV2");
        shared = original;
        copy = original;
        EXPECT_EQ(static_cast<BSTR>(copy), shared);
    }
    EXPECT_EQ(Units(copy), L"ROOT\\CIMV2");
    const platform::BStr& alias = copy;
    copy = alias;
    EXPECT_EQ(static_cast<BSTR>(copy), shared);

    const platform::BStr none(static_cast<const char*>(nullptr));
    EXPECT_EQ(static_cast<BSTR>(none), nullptr);
    EXPECT_EQ(none.length(), 0U);
}

} // namespace
