#include "wmi_client.h"

#include <platform/posix/hardware/hardware_provider.h>
#include <platform/posix/wmi/wql.h>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

namespace {

using platform::wmi::ParseSelect;
using platform::wmi::SelectQuery;

struct Parse {
    const wchar_t* text;
    std::optional<SelectQuery> expected;
};

void PrintTo(const Parse& value, std::ostream* out)
{
    *out << ::testing::PrintToString(std::wstring(value.text));
}

class WqlParseTest : public ::testing::TestWithParam<Parse> {};

TEST_P(WqlParseTest, GivesTheSelectListAndClass)
{
    EXPECT_EQ(ParseSelect(GetParam().text), GetParam().expected);
}

SelectQuery Select(std::vector<std::wstring> properties, std::wstring className)
{
    return {false, std::move(properties), std::move(className)};
}

INSTANTIATE_TEST_SUITE_P(
    ValidForms, WqlParseTest,
    ::testing::Values(
        Parse{L"SELECT DeviceID, Manufacturer, Name, Description, ProcessorID FROM Win32_Processor",
              Select({L"DeviceID", L"Manufacturer", L"Name", L"Description", L"ProcessorID"},
                     L"Win32_Processor")},
        Parse{L"select a,b from c", Select({L"a", L"b"}, L"c")},
        Parse{L"SeLeCt _x1 FrOm Y2", Select({L"_x1"}, L"Y2")},
        Parse{L"\t SELECT\r\na\n,\vb\f FROM\tC \r\n", Select({L"a", L"b"}, L"C")},
        Parse{L"SELECT * FROM Win32_BIOS", SelectQuery{true, {}, L"Win32_BIOS"}},
        Parse{L"SELECT*FROM Win32_BIOS", SelectQuery{true, {}, L"Win32_BIOS"}}));

INSTANTIATE_TEST_SUITE_P(
    Malformed, WqlParseTest,
    ::testing::Values(
        Parse{L"", std::nullopt}, Parse{L"SELECT", std::nullopt},
        Parse{L"SELECT FROM C", std::nullopt}, Parse{L"SELECT a FROM", std::nullopt},
        Parse{L"SELECT a, FROM C", std::nullopt}, Parse{L"SELECT ,a FROM C", std::nullopt},
        Parse{L"SELECT a b FROM C", std::nullopt}, Parse{L"SELECTa FROM C", std::nullopt},
        Parse{L"SELECT a FROMC", std::nullopt}, Parse{L"SELECT a FROM C D", std::nullopt},
        Parse{L"SELECT a FROM C WHERE a = 1", std::nullopt},
        Parse{L"SELECT a FROM C;", std::nullopt}, Parse{L"SELECT *, a FROM C", std::nullopt},
        Parse{L"SELECT 1a FROM C", std::nullopt}, Parse{L"SELECT a-b FROM C", std::nullopt},
        Parse{L"SELECT FROM FROM C", std::nullopt}, Parse{L"SELECT a FROM SELECT", std::nullopt},
        Parse{L"DELETE a FROM C", std::nullopt}, Parse{L"SELECT caf\u00E9 FROM C", std::nullopt}));

struct Status {
    const wchar_t* query;
    const char* language;
    HRESULT expected;
};

void PrintTo(const Status& value, std::ostream* out)
{
    *out << value.language << ' ' << ::testing::PrintToString(std::wstring(value.query));
}

class ExecQueryStatusTest : public ::testing::TestWithParam<Status> {
protected:
    platform::hardware::HardwareProvider provider{"/nonexistent-root"};
    platform_test::Connection connection{provider};
};

TEST_P(ExecQueryStatusTest, GivesTheStatusAndAnEnumeratorOnlyOnSuccess)
{
    IEnumWbemClassObject* enumerator = nullptr;
    EXPECT_EQ(connection.Exec(GetParam().query, &enumerator, GetParam().language),
              GetParam().expected);
    EXPECT_EQ(enumerator != nullptr, GetParam().expected == WBEM_S_NO_ERROR);
    if (enumerator != nullptr) {
        EXPECT_EQ(enumerator->Release(), 0U);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Queries, ExecQueryStatusTest,
    ::testing::Values(
        Status{L"SELECT Manufacturer, SerialNumber FROM Win32_BIOS", "WQL", WBEM_S_NO_ERROR},
        Status{L"select manufacturer from win32_bios", "wql", WBEM_S_NO_ERROR},
        Status{L"SELECT * FROM Win32_BaseBoard", "WQL", WBEM_S_NO_ERROR},
        Status{L"SELECT Manufacturer FROM Win32_BIOS", "SQL", WBEM_E_INVALID_QUERY_TYPE},
        Status{L"SELECT Manufacturer FROM", "WQL", WBEM_E_INVALID_QUERY},
        Status{L"SELECT Manufacturer FROM Win32_Fan", "WQL", WBEM_E_INVALID_CLASS},
        Status{L"SELECT Manufacturer, Speed FROM Win32_BIOS", "WQL", WBEM_E_INVALID_QUERY},
        Status{L"SELECT Product FROM Win32_BIOS", "WQL", WBEM_E_INVALID_QUERY}));

} // namespace
