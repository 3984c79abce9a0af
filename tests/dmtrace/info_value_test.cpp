// The information value printer: names of information types, and values by form (text in
// both widths, 16- and 32-bit numbers, enumerations, bit masks), on entry and on exit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dmtrace/trace.h"
#include "sqlext.h"
#include "trace_capture.h"

using trace_test::capture;
using trace_test::pointer_text;
using trace_test::row;

namespace {

std::string type_line(int type, const std::string& name) {
  return "\t\tSQLUSMALLINT      " + std::to_string(type) + " (" + name + ")\n";
}
std::string pointer_line(const void* p) { return "\t\tSQLPOINTER        " + pointer_text(p) + "\n"; }
std::string value_line(const void* p, const std::string& value) {
  return "\t\tSQLPOINTER        " + pointer_text(p) + " (" + value + ")\n";
}

std::string print(SQLUSMALLINT type, void* value, SQLSMALLINT buffer_length, SQLSMALLINT* length, int output,
                  char width = 'A') {
  return capture([&] { _zolandm_tr_arg_info_value(type, value, buffer_length, length, output, width); });
}

TEST(InfoValue, NumbersEnumerationsAndMasks) {
  union {
    SQLUSMALLINT u16;
    SQLSMALLINT s16;
    SQLUINTEGER u32;
    SQLINTEGER s32;
  } v;
  void* p = &v;
  struct Case {
    SQLUSMALLINT type;
    uint32_t bits;  // stored as 16 or 32 bits by the type's form
    bool wide_value;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {SQL_TXN_CAPABLE, 2, false, type_line(46, "SQL_TXN_CAPABLE") + value_line(p, "2") + row("SQL_TC_ALL")},
      {SQL_SCROLL_OPTIONS, 0x11, true,
       type_line(44, "SQL_SCROLL_OPTIONS") + value_line(p, "0x11") + row("SQL_SO_FORWARD_ONLY") +
           row("SQL_SO_STATIC")},
      {SQL_SCROLL_CONCURRENCY, 0x10, true,
       type_line(43, "SQL_SCROLL_CONCURRENCY") + value_line(p, "0x10") + row("UNKNOWN")},
      {SQL_SCROLL_CONCURRENCY, 0x80000000u, true,
       type_line(43, "SQL_SCROLL_CONCURRENCY") + value_line(p, "0x80000000")},
      {SQL_SCROLL_CONCURRENCY, 0, true,
       type_line(43, "SQL_SCROLL_CONCURRENCY") + value_line(p, "0x0") + row("SQL_SCCO_UNKNOWN")},
      {SQL_SQL_CONFORMANCE, 8, false,
       type_line(118, "SQL_SQL_CONFORMANCE") + value_line(p, "8") + row("UNKNOWN")},
      {SQL_SQL_CONFORMANCE, 4, false,
       type_line(118, "SQL_SQL_CONFORMANCE") + value_line(p, "4") + row("SQL_SC_SQL92_FULL")},
      {SQL_SQL_CONFORMANCE, 0, false,
       type_line(118, "SQL_SQL_CONFORMANCE") + value_line(p, "0") + row("SQL_SC_UINKNOWN")},
      {SQL_NULL_COLLATION, 4, false,
       type_line(85, "SQL_NULL_COLLATION") + value_line(p, "4") + row("UNKNOWN")},
      {SQL_NULL_COLLATION, 0xFFFF, false,
       type_line(85, "SQL_NULL_COLLATION") + value_line(p, "-1") + row("UNKNOWN")},
      {SQL_IDENTIFIER_CASE, 0, false,
       type_line(28, "SQL_IDENTIFIER_CASE") + value_line(p, "0") + row("SQL_IC_UNKNOWN")},
      {SQL_ODBC_INTERFACE_CONFORMANCE, 1, false,
       type_line(152, "SQL_ODBC_INTERFACE_CONFORMANCE") + value_line(p, "1") + row("SQL_OAC_CORE")},
      {SQL_PARAM_ARRAY_ROW_COUNTS, 2, false,
       type_line(153, "SQL_PARAM_ARRAY_ROW_COUNTS") + value_line(p, "2") + row("SQL_PARC_NOBATCH")},
      {SQL_ASYNC_MODE, 2, false,
       type_line(10021, "SQL_ASYNC_MODE") + value_line(p, "2") + row("SQL_AM_STATEMENT")},
      {SQL_MAX_DRIVER_CONNECTIONS, 0xFFFF, false,
       type_line(0, "SQL_MAX_DRIVER_CONNECTIONS") + value_line(p, "-1")},
      {SQL_MAX_IDENTIFIER_LEN, 128, false, type_line(10005, "SQL_MAX_IDENTIFIER_LEN") + value_line(p, "128")},
      {SQL_MAX_ROW_SIZE, 0xFFFFFFFFu, true, type_line(104, "SQL_MAX_ROW_SIZE") + value_line(p, "-1")},
      {SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, 70000, true,
       type_line(10022, "SQL_MAX_ASYNC_CONCURRENT_STATEMENTS") + value_line(p, "70000")},
      {SQL_STRING_FUNCTIONS, (1u << 19) | (1u << 21) | (1u << 24), true,
       type_line(50, "SQL_STRING_FUNCTIONS") + value_line(p, "0x1280000") + row("SQL_FN_BIT_LENGTH") +
           row("SQL_FN_STR_CARACTER_LENGTH") + row("UNKNOWN")},
      {SQL_ALTER_TABLE, 0x1F, true,
       type_line(86, "SQL_ALTER_TABLE") + value_line(p, "0x1F") + row("SQL_AT_ADD_COLUMN") +
           row("SQL_AT_DROP_COLUMN") + row("SQL_AT_UNKNOWN_BIT_3") + row("SQL_AT_ADD_CONSTRAINT") +
           row("SQL_AT_UNKNOWN_BIT_5")},
      {SQL_CREATE_ASSERTION, 0x0F, true,
       type_line(127, "SQL_CREATE_ASSERTION") + value_line(p, "0xF") + row("SQL_CA_CREATE_ASSERTION") +
           row("SQL_CA_UNKNOWN_BIT 2") + row("SQL_CA_UNKNOWN_BIT 3") + row("SQL_CA_UNKNOWN_BIT 4")},
      {SQL_STATIC_CURSOR_ATTRIBUTES1, 0x31, true,
       type_line(167, "SQL_STATIC_CURSOR_ATTRIBUTES1") + value_line(p, "0x31") + row("SQL_CA1_NEXT") +
           row("SQL_CA1_UNKNOWN_BIT 5") + row("SQL_CA1_UNKNOWN_BIT 6")},
      {SQL_DROP_DOMAIN, 4, true,
       type_line(139, "SQL_DROP_DOMAIN") + value_line(p, "0x4") + row("SQL_DD_CASCASE")},
      {SQL_DROP_VIEW, 1, true,
       type_line(143, "SQL_DROP_VIEW") + value_line(p, "0x1") + row("SQL_DV_DROP_TABLE")},
      {SQL_SQL92_RELATIONAL_JOIN_OPERATORS, 0, true,
       type_line(161, "SQL_SQL92_RELATIONAL_JOIN_OPERATORS") + value_line(p, "0x0") + row("SQL_SRJO_UNKOWN")},
      {SQL_INDEX_KEYWORDS, 0, true,
       type_line(148, "SQL_INDEX_KEYWORDS") + value_line(p, "0x0") + row("SQL_IK_NONE")},
      {SQL_DATETIME_LITERALS, 0x8001, true,
       type_line(119, "SQL_DATETIME_LITERALS") + value_line(p, "0x8001") + row("SQL_DL_SQL92_DATE") +
           row("SQL_DL_SQL92_INTERVAL_MINUTE_TO_SECOND")},
      {SQL_DATETIME_LITERALS, 0, true,
       type_line(119, "SQL_DATETIME_LITERALS") + value_line(p, "0x0") + row("UNKNOWN")},
      {SQL_CONVERT_WVARCHAR, 1u << 23, true,
       type_line(126, "SQL_CONVERT_WVARCHAR") + value_line(p, "0x800000") + row("SQL_CVT_WVARCHAR")},
      {SQL_SCHEMA_USAGE, 1, true,
       type_line(91, "SQL_SCHEMA_USAGE") + value_line(p, "0x1") + row("SQL_SU_DML_STATEMENTS")},
      {SQL_UNION, 3, true,
       type_line(96, "SQL_UNION") + value_line(p, "0x3") + row("SQL_U_UNION") + row("SQL_U_UNION_ALL")},
      {SQL_DTC_TRANSITION_COST, 0, true,
       type_line(1750, "SQL_DTC_TRANSITION_COST") + value_line(p, "0x0") + row("SQL_DTC_UNKNOWN")},
  };
  for (const Case& c : cases) {
    std::memset(&v, 0, sizeof v);
    if (c.wide_value) {
      v.u32 = c.bits;
    } else {
      v.u16 = static_cast<SQLUSMALLINT>(c.bits);
    }
    EXPECT_EQ(print(c.type, p, 4, nullptr, 1), c.expected) << c.type;
    // On entry, or after a failed call, only the pointer.
    std::string name = c.expected.substr(0, c.expected.find('\n') + 1);
    EXPECT_EQ(print(c.type, p, 4, nullptr, 0), name + pointer_line(p)) << c.type;
  }
}

TEST(InfoValue, UnknownTypesAndNullValues) {
  SQLUINTEGER v = 5;
  const std::vector<SQLUSMALLINT> unknown = {135, 173, 1749, 9999, 10006, 10023, 65535};
  for (SQLUSMALLINT type : unknown) {
    EXPECT_EQ(print(type, &v, 4, nullptr, 1),
              type_line(type, "unknown or driver specific") + pointer_line(&v))
        << type;
  }
  EXPECT_EQ(print(SQL_TXN_CAPABLE, nullptr, 4, nullptr, 1),
            type_line(46, "SQL_TXN_CAPABLE") + "\t\tSQLPOINTER        0x0\n");
  EXPECT_EQ(print(SQL_DBMS_NAME, nullptr, 4, nullptr, 0),
            type_line(17, "SQL_DBMS_NAME") + "\t\tSQLPOINTER        0x0\n");
}

TEST(InfoValue, OdbcThreeNamesForRenamedTypes) {
  const std::vector<std::pair<SQLUSMALLINT, const char*>> names = {
      {0, "SQL_MAX_DRIVER_CONNECTIONS"},
      {1, "SQL_MAX_CONCURRENT_ACTIVITIES"},
      {32, "SQL_MAX_SCHEMA_NAME_LEN"},
      {34, "SQL_MAX_CATALOG_NAME_LEN"},
      {39, "SQL_SCHEMA_TERM"},
      {41, "SQL_CATALOG_NAME_SEPARATOR"},
      {42, "SQL_CATALOG_TERM"},
      {73, "SQL_INTEGRITY"},
      {91, "SQL_SCHEMA_USAGE"},
      {92, "SQL_CATALOG_USAGE"},
      {114, "SQL_CATALOG_LOCATION"},
      {10003, "SQL_CATALOG_NAME"},
      {171, "SQL_DM_VER"},
      {10000, "SQL_XOPEN_CLI_YEAR"},
  };
  for (auto [type, name] : names) {
    std::string text = print(type, nullptr, 0, nullptr, 0);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), type_line(type, name));
  }
}

TEST(InfoValue, TextsInBothWidths) {
  char narrow[16] = "SQLite";
  wchar_t wide[16] = L"caf\u00e9";
  char unterminated[4] = {'a', 'b', 'c', 'd'};
  struct Case {
    const char* what;
    void* value;
    SQLSMALLINT buffer_length;
    SQLSMALLINT length;  // -100: no length pointer
    char width;
    std::string rows;
  };
  const std::vector<Case> cases = {
      {"narrow, terminated", narrow, 16, -100, 'A', row("SQLite")},
      {"narrow, by its length", narrow, 16, 3, 'A', row("SQL")},
      {"narrow, zero length", narrow, 16, 0, 'A', ""},
      {"narrow, negative length", narrow, 16, -7, 'A', ""},
      {"narrow, length above the buffer", unterminated, 4, 300, 'A', row("abcd")},
      {"narrow, unterminated", unterminated, 4, -100, 'A', row("abcd")},
      {"narrow, no buffer", narrow, 0, 6, 'A', ""},
      // The wide call counts its lengths in bytes; LC_ALL=C turns the e-acute into nothing.
      {"wide, terminated", wide, 64, -100, 'W', row("caf")},
      {"wide, by its length in bytes", wide, 64, 8, 'W', row("ca")},
      {"wide, length above the buffer", wide, 8, 400, 'W', row("ca")},
  };
  for (const Case& c : cases) {
    SQLSMALLINT length = c.length;
    std::string text =
        print(SQL_DBMS_NAME, c.value, c.buffer_length, c.length == -100 ? nullptr : &length, 1, c.width);
    EXPECT_EQ(text, type_line(17, "SQL_DBMS_NAME") + pointer_line(c.value) + c.rows) << c.what;
  }
}

}  // namespace
