// Procedures with output parameters against a PostgreSQL server through
// psqlodbca.so: functions called with the ODBC call escape, their output
// values handed over after the results as a one-row dataset.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "backend_fixture.h"
#include "fixtures/support/log_capture.h"
#include "fixtures/support/param_rows.h"
#include "util/log.h"

using namespace backend_test;
using test_support::ParamRows;

namespace {

std::string Text(const Dataset& ds, int col) {
  const Coldata& c = ds.col[col];
  if (c.indicators[0] == -1) return "NULL";
  const char* cell = Coldata_Cell(&c, 0);
  if (c.cType == CTYPE_SGN8) return std::to_string(int(static_cast<signed char>(cell[0])));
  return CellString(ds, col, 0);
}

class ProceduresPg : public BackendSession {
 protected:
  handle_t hPg = 0;
  void SetUp() override {
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    BackendSession::SetUp();
    ASSERT_EQ(Connect(test_support::pg_conn_str(), &hPg), ER_SUCCESS) << ServerErrors();
    ASSERT_EQ(
        Exec("CREATE OR REPLACE FUNCTION sg_proc(a integer, INOUT b varchar, OUT c numeric, OUT d integer, "
             "OUT e smallint, OUT f integer, OUT g smallint) AS $$ BEGIN b := b || '!'; c := a * 1.25; "
             "d := a * 100000; e := -a; f := NULL; g := a + 1; END $$ LANGUAGE plpgsql",
             hPg),
        ER_SUCCESS)
        << ServerErrors();
    ASSERT_EQ(Exec("CREATE OR REPLACE FUNCTION sg_isnull(x smallint, OUT was_null integer) AS $$ "
                   "BEGIN was_null := CASE WHEN x IS NULL THEN 1 ELSE 0 END; END $$ LANGUAGE plpgsql",
                   hPg),
              ER_SUCCESS);
  }

  handle_t Prepared(const char* sql) {
    handle_t h = NewCursor(hPg);
    EXPECT_EQ(ODBC_Prepare(h, const_cast<char*>(sql)), ER_SUCCESS) << Errors(h);
    return h;
  }
  // Executes, asks for more results until the output values are announced and
  // takes them with a fetch of 0 rows.
  std::vector<std::string> Outputs(handle_t h) {
    std::vector<std::string> out;
    errcode_t e = ODBC_Execute(h);
    EXPECT_EQ(e, ER_SUCCESS) << Errors(h);
    if (e != ER_SUCCESS) return out;
    // The driver answers the call with the function's row first.
    EXPECT_EQ(FetchAll(h, 10).size(), 1u);
    EXPECT_EQ(ODBC_MoreResults(h), ER_HAVE_OUTPARAMS) << Errors(h);
    Dataset ds{};
    EXPECT_EQ(ODBC_Fetch(h, 0, &ds), ER_SUCCESS);
    EXPECT_EQ(ds.nRows, 1);
    for (int c = 0; ds.nRows == 1 && c < ds.nCols; c++) out.push_back(Text(ds, c));
    Dataset_Done(&ds);
    return out;
  }
};

// Input, input/output and output parameters of integer, text and numeric
// types, 32-, 16- and 8-bit integers and a NULL output; then the results end.
TEST_F(ProceduresPg, OutputValuesAfterTheResults) {
  test_support::LogCapture cap;
  handle_t h = Prepared("{call sg_proc(?, ?, ?, ?, ?, ?, ?)}");
  ASSERT_EQ(ODBC_Parameters(h, ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR}}, {{"4", "abc"}})), ER_SUCCESS);
  Bindesc b[7] = {{SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 1}, {SQLTYPE_VARCHAR, CTYPE_VCHR, 20, 0, 2},
                  {SQLTYPE_NUMERIC, CTYPE_VCHR, 10, 2, 4},  {SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 4},
                  {SQLTYPE_SMALLINT, CTYPE_SGN16, 5, 0, 4}, {SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 4},
                  {SQLTYPE_TINYINT, CTYPE_SGN8, 3, 0, 4}};
  ASSERT_EQ(ODBC_Bind(h, 7, b), ER_SUCCESS);
  EXPECT_EQ(Outputs(h), (std::vector<std::string>{"abc!", "5.00", "400000", "-4", "NULL", "5"}));
  // The text input/output column does not fix its return cell's type.
  EXPECT_TRUE(cap.HasExact(LOG_DEBUG, "Unexpected variable length CTYPE_xxx type: 17")) << cap.Dump();
  EXPECT_EQ(ODBC_MoreResults(h), ER_NO_MORE_RESULTS);
  Dataset ds{};
  ASSERT_EQ(ODBC_Fetch(h, 0, &ds), ER_SUCCESS);
  EXPECT_EQ(ds.nCols, 0);
  Dataset_Done(&ds);

  // Executed again with other inputs, the values come again.
  ASSERT_EQ(ODBC_Parameters(h, ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR}}, {{"-3", "NULL"}})), ER_SUCCESS);
  EXPECT_EQ(Outputs(h), (std::vector<std::string>{"NULL", "-3.75", "-300000", "3", "NULL", "-2"}));

  // A fixed-width text that fills its cell is measured within the cell.
  Dataset* full = ParamRows({{CTYPE_SGN32}, {CTYPE_CHR, 3}}, {{"1", "abc"}});
  static_cast<char*>(full->col[1].values)[3] = 'Z';  // the byte after the cell
  ASSERT_EQ(ODBC_Parameters(h, full), ER_SUCCESS);
  EXPECT_EQ(Outputs(h)[0], "abc!");
  ODBC_EndCursor(h);
}

// An 8-bit NULL input stays NULL, an 8-bit value stays a value.
TEST_F(ProceduresPg, EightBitInputKeepsNullApart) {
  handle_t h = Prepared("{call sg_isnull(?, ?)}");
  Bindesc b[2] = {{SQLTYPE_TINYINT, CTYPE_SGN8, 3, 0, 1}, {SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 4}};
  ASSERT_EQ(ODBC_Bind(h, 2, b), ER_SUCCESS);
  for (auto [in, want] : {std::pair<const char*, const char*>{"NULL", "1"}, {"3", "0"}, {"-3", "0"}}) {
    SCOPED_TRACE(in);
    ASSERT_EQ(ODBC_Parameters(h, ParamRows({{CTYPE_SGN8}}, {{in}})), ER_SUCCESS);
    EXPECT_EQ(Outputs(h), std::vector<std::string>{want});
  }
  ODBC_EndCursor(h);
}

// Output values are handed over only once announced, and only to the execute
// that produced them.
TEST_F(ProceduresPg, OutputValuesBelongToTheirExecute) {
  handle_t h = Prepared("{call sg_isnull(?, ?)}");
  Bindesc b[2] = {{SQLTYPE_SMALLINT, CTYPE_SGN16, 5, 0, 1}, {SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 4}};
  ASSERT_EQ(ODBC_Bind(h, 2, b), ER_SUCCESS);
  ASSERT_EQ(ODBC_Parameters(h, ParamRows({{CTYPE_SGN16}}, {{"NULL"}})), ER_SUCCESS);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS) << Errors(h);
  // Before more-results announces them a fetch of 0 rows takes nothing.
  Dataset none{};
  ASSERT_EQ(ODBC_Fetch(h, 0, &none), ER_SUCCESS);
  EXPECT_EQ(none.nCols, 0);
  Dataset_Done(&none);
  EXPECT_EQ(FetchAll(h, 10).size(), 1u);
  EXPECT_EQ(ODBC_MoreResults(h), ER_HAVE_OUTPARAMS) << Errors(h);

  // Announced but never fetched: a plain statement on the same cursor does
  // not hand them over.
  ASSERT_EQ(ODBC_Prepare(h, const_cast<char*>("SELECT CAST(? AS integer) + 1")), ER_SUCCESS) << Errors(h);
  Bindesc in[1] = {{SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 1}};
  ASSERT_EQ(ODBC_Bind(h, 1, in), ER_SUCCESS);
  ASSERT_EQ(ODBC_Parameters(h, ParamRows({{CTYPE_SGN32}}, {{"41"}})), ER_SUCCESS);
  ASSERT_EQ(ODBC_Execute(h), ER_SUCCESS) << Errors(h);
  Dataset stale{};
  ASSERT_EQ(ODBC_Fetch(h, 0, &stale), ER_SUCCESS);
  EXPECT_EQ(stale.nCols, 0);
  Dataset_Done(&stale);
  EXPECT_EQ(FetchAll(h, 10), (std::vector<std::vector<std::string>>{{"42"}}));
  EXPECT_EQ(ODBC_MoreResults(h), ER_NO_MORE_RESULTS);
  ODBC_EndCursor(h);
}

// Bindings that do not match the statement's markers or the parameter
// dataset's columns are refused before anything reaches the driver.
TEST_F(ProceduresPg, MismatchedBindingsAnswer48) {
  std::vector<std::string> log;
  handle_t h = Prepared("{call sg_isnull(?, ?)}");
  Bindesc three[3] = {{SQLTYPE_SMALLINT, CTYPE_SGN16, 5, 0, 1},
                      {SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 4},
                      {SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 4}};
  ASSERT_EQ(ODBC_Parameters(h, ParamRows({{CTYPE_SGN16}}, {{"1"}})), ER_SUCCESS);
  ASSERT_EQ(ODBC_Bind(h, 3, three), ER_SUCCESS);
  EXPECT_EQ(ODBC_Execute(h), ER_MISMATCH_PARAMS);
  EXPECT_NE(Errors(h).find("Wrong number of parameters"), std::string::npos);
  // Two input/output parameters need two parameter columns.
  Bindesc inOut[2] = {{SQLTYPE_SMALLINT, CTYPE_SGN16, 5, 0, 2}, {SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 2}};
  ASSERT_EQ(ODBC_Bind(h, 2, inOut), ER_SUCCESS);
  EXPECT_EQ(ODBC_Execute(h), ER_MISMATCH_PARAMS);
  // A direction that is none of the three.
  Bindesc odd[2] = {{SQLTYPE_SMALLINT, CTYPE_SGN16, 5, 0, 1}, {SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 3}};
  ASSERT_EQ(ODBC_Bind(h, 2, odd), ER_SUCCESS);
  test_support::LogCapture cap;
  EXPECT_EQ(ODBC_Execute(h), ER_GENERAL_ERROR);
  EXPECT_TRUE(cap.HasExact(LOG_ERR, "invalid parameter type SQL_PARAM_xxx encountered")) << cap.Dump();
  ODBC_EndCursor(h);
}

}  // namespace
