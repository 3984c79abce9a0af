// The argument printers of the trace file: line shapes, code decoders with their named values
// and fallbacks, strings and their bounds, data values by C type, the SQLGetFunctions result
// and the masking of passwords.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "dm/trace_capture.h"
#include "dmtrace/printers.h"
#include "sql.h"
#include "sqlext.h"
#include "sqlucode.h"

using namespace tracetest;

namespace {

struct Case {
  const char* what;
  std::function<void()> print;
  std::string expected;
};

void run_cases(const std::vector<Case>& cases) {
  TraceCapture capture;
  for (const Case& c : cases) {
    c.print();
    EXPECT_EQ(capture.take(), c.expected) << c.what;
  }
}

SQLCHAR* S(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }
void* P(uintptr_t v) { return reinterpret_cast<void*>(v); }

TEST(TracePrinters, ScalarsPointersAndHandles) {
  SQLSMALLINT s = -7;
  SQLUSMALLINT us = 65535;
  SQLINTEGER i = -70000;
  SQLUINTEGER ui = 4000000000u;
  SQLLEN l = -5;
  SQLULEN ul = 18446744073709551615ull;
  SQLHANDLE h = P(0x4321);
  run_cases({
      {"smallint", [] { _zolandm_tr_arg_smallint(-3); }, L("SQLSMALLINT", "   -3")},
      {"usmallint", [] { _zolandm_tr_arg_usmallint(65535); }, L("SQLUSMALLINT", "   65535")},
      {"integer", [] { _zolandm_tr_arg_integer(-70000); }, L("SQLINTEGER", "   -70000")},
      {"uinteger", [] { _zolandm_tr_arg_uinteger(4000000000u); }, L("SQLUINTEGER", "   4000000000")},
      {"len", [] { _zolandm_tr_arg_len(-9); }, L("SQLLEN", "   -9")},
      {"ulen", [] { _zolandm_tr_arg_ulen(12); }, L("SQLULEN", "   12")},
      {"setpos row as 16 bits", [] { _zolandm_tr_arg_setpos_row(65536 + 3); }, L("SQLSETPOSIROW", "   3")},
      {"pointer", [] { _zolandm_tr_arg_pointer(P(0x1234)); }, L("SQLPOINTER", "   0x1234")},
      {"null pointer", [] { _zolandm_tr_arg_pointer(nullptr); }, L("SQLPOINTER", "   0x0")},
      {"smallint ptr read", [&] { _zolandm_tr_arg_smallint_ptr(&s, 1); }, L("SQLSMALLINT", " * @ (-7)")},
      {"smallint ptr unread", [&] { _zolandm_tr_arg_smallint_ptr(&s, 0); }, L("SQLSMALLINT", " * @")},
      {"smallint ptr null", [] { _zolandm_tr_arg_smallint_ptr(nullptr, 1); }, L("SQLSMALLINT", " * 0x0")},
      {"usmallint ptr", [&] { _zolandm_tr_arg_usmallint_ptr(&us, 1); }, L("SQLUSMALLINT", " * @ (65535)")},
      {"integer ptr", [&] { _zolandm_tr_arg_integer_ptr(&i, 1); }, L("SQLINTEGER", " * @ (-70000)")},
      {"uinteger ptr", [&] { _zolandm_tr_arg_uinteger_ptr(&ui, 1); }, L("SQLUINTEGER", " * @ (4000000000)")},
      {"len ptr", [&] { _zolandm_tr_arg_len_ptr(&l, 1); }, L("SQLLEN", " * @ (-5)")},
      {"ulen ptr", [&] { _zolandm_tr_arg_ulen_ptr(&ul, 1); }, L("SQLULEN", " * @ (18446744073709551615)")},
      {"handle", [] { _zolandm_tr_arg_handle(3, P(0x3000)); }, L("SQLHSTMT", "   0x3000")},
      {"null handle", [] { _zolandm_tr_arg_handle(1, nullptr); }, L("SQLHENV", "   0x0 (SQL_NULL_HANDLE)")},
      {"every kind's label",
       [] {
         for (int k = 0; k <= 5; ++k) _zolandm_tr_arg_handle(k, P(0x10));
       },
       L("SQLHANDLE", "   0x10") + L("SQLHENV", "   0x10") + L("SQLHDBC", "   0x10") +
           L("SQLHSTMT", "   0x10") + L("SQLDESC", "   0x10") + L("SQLSENV", "   0x10")},
      {"kind past the labels", [] { _zolandm_tr_arg_handle(7, P(0x10)); }, L("SQLHANDLE", "   0x10")},
      {"negative kind", [] { _zolandm_tr_arg_handle(-1, nullptr); },
       L("SQLHANDLE", "   0x0 (SQL_NULL_HANDLE)")},
      {"output handle", [&] { _zolandm_tr_arg_handle_out(2, &h, 1); }, L("SQLHDBC", " * @ (0x4321)")},
      {"output handle unread", [&] { _zolandm_tr_arg_handle_out(2, &h, 0); }, L("SQLHDBC", " * @")},
      {"output handle null", [] { _zolandm_tr_arg_handle_out(3, nullptr, 1); },
       L("SQLHSTMT", " * 0x0 (SQL_NULL_HANDLE)")},
      {"output handle odd kind", [&] { _zolandm_tr_arg_handle_out(9, &h, 0); }, L("SQLHANDLE", " * @")},
  });
}

TEST(TracePrinters, HandleTypesAndLengths) {
  run_cases({
      {"env", [] { _zolandm_tr_arg_handle_type(1); }, L("SQLSMALLINT", "   1 (SQL_HANDLE_ENV)")},
      {"dbc", [] { _zolandm_tr_arg_handle_type(2); }, L("SQLSMALLINT", "   2 (SQL_HANDLE_DBC)")},
      {"stmt", [] { _zolandm_tr_arg_handle_type(3); }, L("SQLSMALLINT", "   3 (SQL_HANDLE_STMT)")},
      {"desc", [] { _zolandm_tr_arg_handle_type(4); }, L("SQLSMALLINT", "   4 (SQL_HANDLE_DESC)")},
      {"senv", [] { _zolandm_tr_arg_handle_type(5); }, L("SQLSMALLINT", "   5 (SQL_HANDLE_SENV)")},
      {"7", [] { _zolandm_tr_arg_handle_type(7); }, L("SQLSMALLINT", "   7 (invalid handle type)")},
      {"0", [] { _zolandm_tr_arg_handle_type(0); }, L("SQLSMALLINT", "   0 (invalid handle type)")},
      {"length NTS", [] { _zolandm_tr_arg_length("SQLSMALLINT", SQL_NTS); },
       L("SQLSMALLINT", "   -3 (SQL_NTS)")},
      {"length", [] { _zolandm_tr_arg_length("SQLINTEGER", 70000); }, L("SQLINTEGER", "   70000")},
      {"attr -8", [] { _zolandm_tr_arg_attr_length(-8); }, L("SQLINTEGER", " * -8 (SQL_IS_SMALLINT)")},
      {"attr -7", [] { _zolandm_tr_arg_attr_length(-7); }, L("SQLINTEGER", " * -7 (SQL_IS_USMALLINT)")},
      {"attr -6", [] { _zolandm_tr_arg_attr_length(-6); }, L("SQLINTEGER", " * -6 (SQL_IS_INTEGER)")},
      {"attr -5", [] { _zolandm_tr_arg_attr_length(-5); }, L("SQLINTEGER", " * -5 (SQL_IS_UINTEGER)")},
      {"attr -4", [] { _zolandm_tr_arg_attr_length(-4); }, L("SQLINTEGER", " * -4 (SQL_IS_POINTER)")},
      {"attr -3", [] { _zolandm_tr_arg_attr_length(-3); }, L("SQLINTEGER", " * -3 (SQL_NTS)")},
      {"attr -2", [] { _zolandm_tr_arg_attr_length(-2); }, L("SQLINTEGER", " * -2")},
      {"attr -100", [] { _zolandm_tr_arg_attr_length(-100); },
       L("SQLINTEGER", " * -100 (SQL_LEN_BINARY_ATTR(0))")},
      {"attr -110", [] { _zolandm_tr_arg_attr_length(-110); },
       L("SQLINTEGER", " * -110 (SQL_LEN_BINARY_ATTR(10))")},
      {"attr -99", [] { _zolandm_tr_arg_attr_length(-99); }, L("SQLINTEGER", " * -99")},
      {"attr 40", [] { _zolandm_tr_arg_attr_length(40); }, L("SQLINTEGER", " * 40")},
  });
}

// Each decoder with a named code, its last named code where that tells, and its fallback.
TEST(TracePrinters, CodeDecoders) {
  auto named = [](const char* label, const char* rest) { return L(label, rest); };
  run_cases({
      {"colattributes 0", [] { _zolandm_tr_name_colattributes_field(0); },
       named("SQLUSMALLINT", "   0 (SQL_COLUMN_COUNT)")},
      {"colattributes 18", [] { _zolandm_tr_name_colattributes_field(18); },
       named("SQLUSMALLINT", "   18 (SQL_COLUMN_LABEL)")},
      {"colattributes 19", [] { _zolandm_tr_name_colattributes_field(19); },
       named("SQLUSMALLINT", "   19 (unknown option)")},
      {"colattribute 2", [] { _zolandm_tr_name_colattribute_field(2); },
       named("SQLUSMALLINT", "   2 (SQL_DESC_CONCISE_TYPE)")},
      {"colattribute 1013", [] { _zolandm_tr_name_colattribute_field(1013); },
       named("SQLUSMALLINT", "   1013 (SQL_DESC_OCTET_LENGTH)")},
      {"colattribute 20", [] { _zolandm_tr_name_colattribute_field(20); },
       named("SQLUSMALLINT", "   20 (unknown option)")},
      {"colattribute 1004", [] { _zolandm_tr_name_colattribute_field(1004); },
       named("SQLUSMALLINT", "   1004 (unknown option)")},
      {"desc field 20", [] { _zolandm_tr_name_desc_field(20); },
       named("SQLUSMALLINT", "   20 (SQL_DESC_ARRAY_SIZE)")},
      {"desc field 1099", [] { _zolandm_tr_name_desc_field(1099); },
       named("SQLUSMALLINT", "   1099 (SQL_DESC_ALLOC_TYPE)")},
      {"desc field 35", [] { _zolandm_tr_name_desc_field(35); },
       named("SQLUSMALLINT", "   35 (SQL_DESC_ROWVER)")},
      {"desc field -1", [] { _zolandm_tr_name_desc_field(-1); },
       named("SQLUSMALLINT", "   -1 (unknown field identifier)")},
      {"direction 32", [] { _zolandm_tr_name_datasource_direction(32); },
       named("SQLUSMALLINT", "   32 (SQL_FETCH_FIRST_SYSTEM)")},
      {"direction 3", [] { _zolandm_tr_name_datasource_direction(3); },
       named("SQLUSMALLINT", "   3 (unknown direction)")},
      {"orientation 8", [] { _zolandm_tr_name_fetch_orientation(8); },
       named("SQLUSMALLINT", "   8 (SQL_FETCH_BOOKMARK)")},
      {"orientation 7", [] { _zolandm_tr_name_fetch_orientation(7); },
       named("SQLUSMALLINT", "   7 (unknown fetch type)")},
      {"freestmt 3", [] { _zolandm_tr_name_freestmt_option(3); },
       named("SQLUSMALLINT", "   3 (SQL_RESET_PARAMS)")},
      {"freestmt 4", [] { _zolandm_tr_name_freestmt_option(4); },
       named("SQLUSMALLINT", "   4 (invalid option)")},
      {"connect attr 1209", [] { _zolandm_tr_name_connect_attr(1209); },
       named("SQLINTEGER", "   1209 (SQL_ATTR_CONNECTION_DEAD)")},
      {"connect attr 10014", [] { _zolandm_tr_name_connect_attr(10014); },
       named("SQLINTEGER", "   10014 (SQL_ATTR_METADATA_ID)")},
      {"connect attr -1", [] { _zolandm_tr_name_connect_attr(-1); },
       named("SQLINTEGER", "   -1 (unknown connection attribute)")},
      {"connect option 104", [] { _zolandm_tr_name_connect_option(104); },
       named("SQLUSMALLINT", "   104 (SQL_OPT_TRACE)")},
      {"connect option 105", [] { _zolandm_tr_name_connect_option(105); },
       named("SQLUSMALLINT", "   105 (SQL_OPT_TRACEFILE)")},
      {"connect option 12", [] { _zolandm_tr_name_connect_option(12); },
       named("SQLUSMALLINT", "   12 (SQL_USE_BOOKMARKS)")},
      {"connect option 113", [] { _zolandm_tr_name_connect_option(113); },
       named("SQLUSMALLINT", "   113 (unknown connection attribute)")},
      {"stmt attr -2", [] { _zolandm_tr_name_stmt_attr(-2); },
       named("SQLINTEGER", "   -2 (SQL_ATTR_CURSOR_SENSITIVITY)")},
      {"stmt attr 10013", [] { _zolandm_tr_name_stmt_attr(10013); },
       named("SQLINTEGER", "   10013 (SQL_ATTR_IMP_PARAM_DESC)")},
      {"stmt attr 9", [] { _zolandm_tr_name_stmt_attr(9); },
       named("SQLINTEGER", "   9 (unknown statement attribute)")},
      {"stmt option 0", [] { _zolandm_tr_name_stmt_option(0); },
       named("SQLUSMALLINT", "   0 (SQL_QUERY_TIMEOUT)")},
      {"stmt option 13", [] { _zolandm_tr_name_stmt_option(13); },
       named("SQLUSMALLINT", "   13 (unknown statement option)")},
      {"env attr 10001", [] { _zolandm_tr_name_env_attr(10001); },
       named("SQLINTEGER", "   10001 (SQL_ATTR_OUTPUT_NTS)")},
      {"env attr 203", [] { _zolandm_tr_name_env_attr(203); },
       named("SQLINTEGER", "   203 (unknown environment attribute)")},
      {"diag field -1249", [] { _zolandm_tr_name_diag_field(-1249); },
       named("SQLUSMALLINT", "   -1249 (SQL_DIAG_CURSOR_ROW_COUNT)")},
      {"diag field 12", [] { _zolandm_tr_name_diag_field(12); },
       named("SQLUSMALLINT", "   12 (SQL_DIAG_DYNAMIC_FUNCTION_CODE)")},
      {"diag field 13", [] { _zolandm_tr_name_diag_field(13); },
       named("SQLUSMALLINT", "   13 (unknown diag identifier)")},
      {"typeinfo 0", [] { _zolandm_tr_name_typeinfo_type(0); }, named("SQLSMALLINT", "   0 (SQL_ALL_TYPES)")},
      {"typeinfo 9", [] { _zolandm_tr_name_typeinfo_type(9); }, named("SQLSMALLINT", "   9 (SQL_DATETIME)")},
      {"typeinfo -11", [] { _zolandm_tr_name_typeinfo_type(-11); },
       named("SQLSMALLINT", "   -11 (SQL_GUID)")},
      {"typeinfo 13", [] { _zolandm_tr_name_typeinfo_type(13); },
       named("SQLSMALLINT", "   13 (unknown type)")},
      {"sql type 0", [] { _zolandm_tr_name_sql_type(0); }, named("SQLSMALLINT", "   0 (SQL_UNKNOWN_TYPE)")},
      {"sql type 10", [] { _zolandm_tr_name_sql_type(10); }, named("SQLSMALLINT", "   10 (SQL_INTERVAL)")},
      {"sql type 93", [] { _zolandm_tr_name_sql_type(93); },
       named("SQLSMALLINT", "   93 (SQL_TYPE_TIMESTAMP)")},
      {"sql type -12", [] { _zolandm_tr_name_sql_type(-12); },
       named("SQLSMALLINT", "   -12 (unknown SQL type)")},
      {"c type -99", [] { _zolandm_tr_name_c_type(-99); }, named("SQLSMALLINT", "   -99 (SQL_ARD_TYPE)")},
      {"c type -28", [] { _zolandm_tr_name_c_type(-28); }, named("SQLSMALLINT", "   -28 (SQL_C_UTINYINT)")},
      {"c type 113", [] { _zolandm_tr_name_c_type(113); },
       named("SQLSMALLINT", "   113 (SQL_C_INTERVAL_MINUTE_TO_SECOND)")},
      {"c type 3", [] { _zolandm_tr_name_c_type(3); }, named("SQLSMALLINT", "   3 (unknown C type)")},
      {"param io 4", [] { _zolandm_tr_name_param_io_type(4); },
       named("SQLSMALLINT", "   4 (SQL_PARAM_OUTPUT)")},
      {"param io 3", [] { _zolandm_tr_name_param_io_type(3); },
       named("SQLSMALLINT", "   3 (unknown Input/Output type)")},
      {"setpos op 7", [] { _zolandm_tr_name_setpos_operation(7); },
       named("SQLUSMALLINT", "   7 (SQL_FETCH_BY_BOOKMARK)")},
      {"setpos op 8", [] { _zolandm_tr_name_setpos_operation(8); },
       named("SQLUSMALLINT", "   8 (unknown operation)")},
      {"lock 2", [] { _zolandm_tr_name_setpos_lock(2); }, named("SQLUSMALLINT", "   2 (SQL_LOCK_UNLOCK)")},
      {"lock 3", [] { _zolandm_tr_name_setpos_lock(3); }, named("SQLUSMALLINT", "   3 (unknown lock type)")},
      {"concurrency 4", [] { _zolandm_tr_name_scroll_concurrency(4); },
       named("SQLUSMALLINT", "   4 (SQL_CONCUR_VALUES)")},
      {"concurrency 0", [] { _zolandm_tr_name_scroll_concurrency(0); },
       named("SQLUSMALLINT", "   0 (unknown scroll option)")},
      {"special type 2", [] { _zolandm_tr_name_specialcolumns_type(2); },
       named("SQLUSMALLINT", "   2 (SQL_ROWVER)")},
      {"special type 0", [] { _zolandm_tr_name_specialcolumns_type(0); },
       named("SQLUSMALLINT", "   0 (unknown column type)")},
      {"scope 2", [] { _zolandm_tr_name_specialcolumns_scope(2); },
       named("SQLUSMALLINT", "   2 (SQL_SCOPE_SESSION)")},
      {"scope 3", [] { _zolandm_tr_name_specialcolumns_scope(3); },
       named("SQLUSMALLINT", "   3 (unknown scope)")},
      {"special nullable 1", [] { _zolandm_tr_name_specialcolumns_nullable(1); },
       named("SQLUSMALLINT", "   1 (SQL_NULLABLE)")},
      {"special nullable 2", [] { _zolandm_tr_name_specialcolumns_nullable(2); },
       named("SQLUSMALLINT", "   2 (unknown option)")},
      {"unique 1", [] { _zolandm_tr_name_statistics_unique(1); },
       named("SQLUSMALLINT", "   1 (SQL_INDEX_ALL)")},
      {"unique 2", [] { _zolandm_tr_name_statistics_unique(2); },
       named("SQLUSMALLINT", "   2 (unknown option)")},
      {"accuracy 1", [] { _zolandm_tr_name_statistics_accuracy(1); },
       named("SQLUSMALLINT", "   1 (SQL_ENSURE)")},
      {"accuracy 2", [] { _zolandm_tr_name_statistics_accuracy(2); },
       named("SQLUSMALLINT", "   2 (unknown option)")},
      {"completion 1", [] { _zolandm_tr_name_completion_type(1); },
       named("SQLSMALLINT", "   1 (SQL_ROLLBACK)")},
      {"completion -1", [] { _zolandm_tr_name_completion_type(-1); },
       named("SQLSMALLINT", "   -1 (invalid completion type)")},
      {"driver completion 3", [] { _zolandm_tr_name_driver_completion(3); },
       named("SQLUSMALLINT", "   3 (SQL_DRIVER_COMPLETE_REQUIRED)")},
      {"driver completion 4", [] { _zolandm_tr_name_driver_completion(4); },
       named("SQLUSMALLINT", "   4 (invalid completion value)")},
      {"function 0", [] { _zolandm_tr_name_function_id(0); },
       named("SQLUSMALLINT", "   0 (SQL_API_ALL_FUNCTIONS)")},
      {"function 6", [] { _zolandm_tr_name_function_id(6); },
       named("SQLUSMALLINT", "   6 (SQL_API_SQLCOLATTRIBUTE)")},
      {"function 73", [] { _zolandm_tr_name_function_id(73); },
       named("SQLUSMALLINT", "   73 (SQL_API_SQLALLOCHANDLESTD)")},
      {"function 999", [] { _zolandm_tr_name_function_id(999); },
       named("SQLUSMALLINT", "   999 (SQL_API_ODBC3_ALL_FUNCTIONS)")},
      {"function 1004", [] { _zolandm_tr_name_function_id(1004); },
       named("SQLUSMALLINT", "   1004 (SQL_API_SQLCOPYDESC)")},
      {"function 1021", [] { _zolandm_tr_name_function_id(1021); },
       named("SQLUSMALLINT", "   1021 (SQL_API_SQLFETCHSCROLL)")},
      {"function 25", [] { _zolandm_tr_name_function_id(25); },
       named("SQLUSMALLINT", "   25 (unknown function)")},
      {"function 1013", [] { _zolandm_tr_name_function_id(1013); },
       named("SQLUSMALLINT", "   1013 (unknown function)")},
      {"function 1015", [] { _zolandm_tr_name_function_id(1015); },
       named("SQLUSMALLINT", "   1015 (unknown function)")},
  });
}

TEST(TracePrinters, DecodedOutputValues) {
  SQLSMALLINT type = SQL_VARCHAR, nullable = 2, odd = 13, dt = SQL_DATETIME, iv = SQL_INTERVAL, code = 3,
              code13 = 13, code14 = 14;
  run_cases({
      {"sql type ptr", [&] { _zolandm_tr_arg_sql_type_ptr(&type, 1); },
       L("SQLSMALLINT", " * @ (SQL_VARCHAR)")},
      {"sql type ptr unknown", [&] { _zolandm_tr_arg_sql_type_ptr(&odd, 1); },
       L("SQLSMALLINT", " * @ (unknown SQL type)")},
      {"sql type ptr unread", [&] { _zolandm_tr_arg_sql_type_ptr(&type, 0); }, L("SQLSMALLINT", " * @")},
      {"sql type ptr null", [] { _zolandm_tr_arg_sql_type_ptr(nullptr, 1); }, L("SQLSMALLINT", " * 0x0")},
      {"nullable ptr", [&] { _zolandm_tr_arg_nullable_ptr(&nullable, 1); },
       L("SQLSMALLINT", " * @ (SQL_NULLABLE_UNKNOWN)")},
      {"nullable ptr unknown", [&] { _zolandm_tr_arg_nullable_ptr(&odd, 1); },
       L("SQLSMALLINT", " * @ (unknown nullable type)")},
      {"nullable ptr null", [] { _zolandm_tr_arg_nullable_ptr(nullptr, 0); }, L("SQLSMALLINT", " * 0x0")},
      {"datetime code", [&] { _zolandm_tr_arg_interval_code_ptr(&dt, &code, 1); },
       L("SQLSMALLINT", " * @ (SQL_CODE_TIMESTAMP)")},
      {"interval code", [&] { _zolandm_tr_arg_interval_code_ptr(&iv, &code13, 1); },
       L("SQLSMALLINT", " * @ (SQL_CODE_MINUTE_TO_SECOND)")},
      {"interval code 14", [&] { _zolandm_tr_arg_interval_code_ptr(&iv, &code14, 1); },
       L("SQLSMALLINT", " * @ (14)")},
      {"datetime code 13", [&] { _zolandm_tr_arg_interval_code_ptr(&dt, &code13, 1); },
       L("SQLSMALLINT", " * @ (13)")},
      {"other type", [&] { _zolandm_tr_arg_interval_code_ptr(&type, &code, 1); },
       L("SQLSMALLINT", " * @ (3)")},
      {"unread", [&] { _zolandm_tr_arg_interval_code_ptr(&dt, &code, 0); }, L("SQLSMALLINT", " * @")},
      {"no type pointer", [&] { _zolandm_tr_arg_interval_code_ptr(nullptr, &code, 1); },
       L("SQLSMALLINT", " * 0x0")},
  });
}

TEST(TracePrinters, Strings) {
  char text[] = "SELECT * FROM t";
  std::string long_text(4464 + 10, 'x');
  long_text[4464] = 'y';
  char truncated[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};  // no NUL: a returned length says 20
  SQLSMALLINT twenty = 20, three = 3;
  SQLWCHAR wide[] = L"wide text";
  SQLWCHAR wide_cut[4] = {L'w', L'x', L'y', L'z'};
  run_cases({
      {"null", [] { _zolandm_tr_arg_string(nullptr, SQL_NTS, nullptr, 1); }, L("SQLCHAR", " * 0x0")},
      {"no dump", [&] { _zolandm_tr_arg_string(S(text), SQL_NTS, nullptr, 0); }, L("SQLCHAR", " * @")},
      {"NTS", [&] { _zolandm_tr_arg_string(S(text), SQL_NTS, nullptr, 1); }, L("SQLCHAR", " * @") + R(text)},
      {"length", [&] { _zolandm_tr_arg_string(S(text), 6, nullptr, 1); }, L("SQLCHAR", " * @") + R("SELECT")},
      {"empty", [] { _zolandm_tr_arg_string(S(""), SQL_NTS, nullptr, 1); },
       L("SQLCHAR", " * @") + R("(empty string)")},
      {"length 0", [&] { _zolandm_tr_arg_string(S(text), 0, nullptr, 1); },
       L("SQLCHAR", " * @") + R("(empty string)")},
      {"negative", [&] { _zolandm_tr_arg_string(S(text), -5, nullptr, 1); }, L("SQLCHAR", " * @")},
      {"16 bits", [&] { _zolandm_tr_arg_string(S(long_text.c_str() + 4460), 65536 + 5, nullptr, 1); },
       L("SQLCHAR", " * @") + R("xxxxy")},
      {"16 bits negative", [&] { _zolandm_tr_arg_string(S(long_text.c_str()), 40000, nullptr, 1); },
       L("SQLCHAR", " * @")},
      {"length pointer", [&] { _zolandm_tr_arg_string(S(text), 100, &three, 1); },
       L("SQLCHAR", " * @") + R("SEL")},
      {"length pointer past the buffer", [&] { _zolandm_tr_arg_string(S(truncated), 8, &twenty, 1); },
       L("SQLCHAR", " * @") + R("abcdefgh")},
      {"wide", [&] { _zolandm_tr_arg_wstring(wide, SQL_NTS, nullptr, 1); },
       L("SQLWCHAR", " * @") + R("wide text")},
      {"wide length", [&] { _zolandm_tr_arg_wstring(wide, 4, nullptr, 1); },
       L("SQLWCHAR", " * @") + R("wide")},
      {"wide empty", [] { _zolandm_tr_arg_wstring(L"", SQL_NTS, nullptr, 1); },
       L("SQLWCHAR", " * @") + R("(empty string)")},
      {"wide null", [] { _zolandm_tr_arg_wstring(nullptr, 3, nullptr, 1); }, L("SQLWCHAR", " * 0x0")},
      {"wide length pointer past the buffer", [&] { _zolandm_tr_arg_wstring(wide_cut, 4, &twenty, 1); },
       L("SQLWCHAR", " * @") + R("wxyz")},
  });
}

TEST(TracePrinters, DataValuesByCType) {
  unsigned char bit_high = 0x80, bit_one = 1;
  char hundred[101];
  std::memset(hundred, 'a', 100);
  hundred[100] = 'Z';  // one byte past the buffer: never shown
  char with_nul[10] = "ab\0cd";
  SQLLEN ind300 = 300, ind_null = SQL_NULL_DATA, ind8 = 8, ind3 = 3;
  TIMESTAMP_STRUCT ts{2024, 2, 29, 13, 5, 9, 7};
  DATE_STRUCT date{-44, 3, 15};
  TIME_STRUCT time{23, 59, 1};
  SQLGUID guid{0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};
  SQLINTEGER slong = -12;
  SQLUINTEGER ulong = 4000000000u;
  SQLSMALLINT sshort = -2;
  SQLUSMALLINT ushort = 65000;
  signed char tiny = -100;
  long long big = -9000000000LL;
  unsigned long long ubig = 18000000000000000000ull;
  float f = 1.5f;
  double d = -2.25;
  SQL_INTERVAL_STRUCT ds{};
  ds.intval.day_second = {1, 2, 3, 4, 0};
  SQL_INTERVAL_STRUCT ym{};
  ym.intval.year_month = {5, 6};
  SQLWCHAR wide[] = L"abcdef";
  unsigned char bytes[12] = {0x41, 0x00, 0xff, 0x10, 0x42, 0x43, 0x20, 0x7e, 0x7f, 0x80, 0x61, 0x62};
  auto value = [](SQLSMALLINT t, void* p, SQLLEN len = 0, SQLLEN* ind = nullptr) {
    return [=] { _zolandm_tr_arg_data_value(t, p, len, ind, 1); };
  };
  const std::string ptr = L("SQLPOINTER", "   @");
  run_cases({
      {"null data", [] { _zolandm_tr_arg_data_value(SQL_C_CHAR, nullptr, 10, nullptr, 1); },
       L("SQLPOINTER", "   0x0")},
      {"not on entry", [&] { _zolandm_tr_arg_data_value(SQL_C_LONG, &slong, 4, nullptr, 0); }, ptr},
      {"bit 0x80", value(SQL_C_BIT, &bit_high), ptr + R("0")},
      {"bit 1", value(SQL_C_BIT, &bit_one), ptr + R("1")},
      {"char bounded by the buffer", value(SQL_C_CHAR, hundred, 100, &ind300),
       ptr + R(std::string(40, 'a')) + R(std::string(40, 'a')) + R(std::string(20, 'a'))},
      {"char stops at NUL", value(SQL_C_CHAR, with_nul, 10, &ind8), ptr + R("ab")},
      {"char indicator", value(SQL_C_CHAR, hundred, 100, &ind3), ptr + R("aaa")},
      {"char NULL", value(SQL_C_CHAR, hundred, 100, &ind_null), ptr},
      {"wide counts bytes", value(SQL_C_WCHAR, wide, 28, &ind8), ptr + R("ab")},
      {"wide bounded by the buffer", value(SQL_C_WCHAR, wide, 12, &ind300), ptr + R("abc")},
      {"binary", value(SQL_C_BINARY, bytes, 12),
       ptr + R("41 00 FF 10 42 43 20 7E 7F 80 A...BC ~..") + R("61 62 " + std::string(24, ' ') + "ab")},
      {"timestamp", value(SQL_C_TIMESTAMP, &ts), ptr + R("2024-02-29 13:05:09.000007")},
      {"type timestamp", value(SQL_C_TYPE_TIMESTAMP, &ts), ptr + R("2024-02-29 13:05:09.000007")},
      {"date", value(SQL_C_TYPE_DATE, &date), ptr + R("-044-03-15")},
      {"time", value(SQL_C_TIME, &time), ptr + R("23:59:01")},
      {"guid", value(SQL_C_GUID, &guid), ptr + R("12345678-9ABC-DEF0-0102-030405060708")},
      {"slong", value(SQL_C_SLONG, &slong), ptr + R("-12")},
      {"long", value(SQL_C_LONG, &slong), ptr + R("-12")},
      {"ulong", value(SQL_C_ULONG, &ulong), ptr + R("4000000000")},
      {"short", value(SQL_C_SHORT, &sshort), ptr + R("-2")},
      {"ushort", value(SQL_C_USHORT, &ushort), ptr + R("65000")},
      {"stinyint", value(SQL_C_STINYINT, &tiny), ptr + R("-100")},
      {"utinyint", value(SQL_C_UTINYINT, &tiny), ptr + R("156")},
      {"sbigint", value(SQL_C_SBIGINT, &big), ptr + R("-9000000000")},
      {"ubigint", value(SQL_C_UBIGINT, &ubig), ptr + R("18000000000000000000")},
      {"float", value(SQL_C_FLOAT, &f), ptr + R("1.500000")},
      {"double", value(SQL_C_DOUBLE, &d), ptr + R("-2.250000")},
      {"interval day to second", value(SQL_C_INTERVAL_DAY_TO_SECOND, &ds),
       ptr + R("1 days 2 hours 3 minutes 4 seconds")},
      {"interval hour to minute", value(SQL_C_INTERVAL_HOUR_TO_MINUTE, &ds), ptr + R("2 hours 3 minutes")},
      {"interval minute to second", value(SQL_C_INTERVAL_MINUTE_TO_SECOND, &ds),
       ptr + R("3 minutes 4 seconds")},
      {"interval second", value(SQL_C_INTERVAL_SECOND, &ds), ptr + R("4 seconds")},
      {"interval year to month", value(SQL_C_INTERVAL_YEAR_TO_MONTH, &ym), ptr + R("5 years 6 months")},
      {"interval month", value(SQL_C_INTERVAL_MONTH, &ym), ptr + R("6 months")},
      {"numeric", value(SQL_C_NUMERIC, &slong), ptr},
      {"default", value(SQL_C_DEFAULT, &slong), ptr},
  });
}

TEST(TracePrinters, SupportedFunctions) {
  SQLUSMALLINT all[100] = {};
  all[SQL_API_SQLALLOCCONNECT] = 1;
  all[6] = 1;
  all[SQL_API_SQLALLOCHANDLESTD] = 1;
  all[80] = 1;  // no ODBC 2 function of that id
  SQLUSMALLINT bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
  for (int id : {SQL_API_SQLFETCH, SQL_API_SQLDRIVERS, 500}) bits[id >> 4] |= 1 << (id & 15);
  SQLUSMALLINT one = SQL_TRUE;
  run_cases({
      {"all on entry", [&] { _zolandm_tr_arg_supported_functions(0, all, 0); }, L("SQLUSMALLINT", " * @")},
      {"all on exit", [&] { _zolandm_tr_arg_supported_functions(0, all, 1); },
       L("SQLUSMALLINT", " * @") + R("SQL_API_SQLALLOCCONNECT") + R("SQL_API_SQLCOLATTRIBUTE") +
           R("SQL_API_SQLALLOCHANDLESTD") + R("unknown function")},
      {"all null", [] { _zolandm_tr_arg_supported_functions(0, nullptr, 1); }, L("SQLUSMALLINT", " * 0x0")},
      {"odbc3 on entry", [&] { _zolandm_tr_arg_supported_functions(999, bits, 0); }, ""},
      {"odbc3 on exit", [&] { _zolandm_tr_arg_supported_functions(999, bits, 1); },
       L("SQLUSMALLINT", " * @") + R("SQL_API_SQLFETCH") + R("SQL_API_SQLDRIVERS") + R("unknown function")},
      {"odbc3 null", [] { _zolandm_tr_arg_supported_functions(999, nullptr, 1); },
       L("SQLUSMALLINT", " * 0x0")},
      {"one function", [&] { _zolandm_tr_arg_supported_functions(SQL_API_SQLFETCH, &one, 1); },
       L("SQLUSMALLINT", " * @ (1)")},
  });
}

TEST(TracePrinters, PasswordMasking) {
  struct Mask {
    const char* in;
    const char* out;
  };
  const Mask cases[] = {
      {"DSN=a;PWD=secret;UID=u", "DSN=a;PWD=******;UID=u"},
      {"pwd=secret", "pwd=******"},
      {"DSN=a;PWD=", "DSN=a;PWD="},
      {"XPWD=abc;", "XPWD=***;"},
      {"PPWD=abc", "PPWD=abc"},
      {"DSN={PWD=x};UID=u", "DSN={PWD=x};UID=u"},
      {"DSN='PWD=x'", "DSN='PWD=x'"},
      {"DSN=\"a;PWD=x\";PWD=y", "DSN=\"a;PWD=x\";PWD=*"},
      // Braced values are hidden up to their closing brace, semicolons inside included.
      {"PWD={se;cret};UID=u", "PWD={*******};UID=u"},
      {"PWD={a}}b};UID=u", "PWD={****};UID=u"},
      {"PWD={open", "PWD={****"},
      // Blanks between the key and its equals sign.
      {"UID=u;PWD =x;", "UID=u;PWD =*;"},
      {"PWD\t= {x;y};A=b", "PWD\t=*{***};A=b"},
      {"PWD x=1", "PWD x=1"},
      {"", ""},
  };
  for (const Mask& c : cases) {
    std::string buf = c.in;
    _zolandm_tr_hide_password(buf.data());
    EXPECT_EQ(buf, c.out) << c.in;
    EXPECT_EQ(buf.size(), std::strlen(c.in));
  }
}

}  // namespace
