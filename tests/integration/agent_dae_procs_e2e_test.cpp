// End to end through the real sqlgate, the launcher and the wire client:
// parameters sent in pieces at execution time (SQLite), and functions with
// output parameters called with the ODBC call escape (PostgreSQL).
#include <gtest/gtest.h>

#include <signal.h>

#include "agent_client.h"
#include "fixtures/support/param_rows.h"

using namespace agent_test;
using test_support::ParamRows;

namespace {

std::string Bytes(sgn32 v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

// Sends a parameter dataset over the wire and releases it.
errcode_t SendParams(AgentClient& cl, handle_t h, Dataset* ds) {
  errcode_t e = cl.Parameters(h, ds);
  Dataset_Done(ds);
  free(ds);
  return e;
}

class AgentDaeE2E : public AgentTest {
 protected:
  handle_t h = 0;
  void SetUp() override {
    StartConnected();
    ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE t (i INTEGER NOT NULL, s VARCHAR(50))"), ER_SUCCESS);
    h = cl->Cursor(hConn);
    ASSERT_EQ(cl->Prepare(h, "INSERT INTO t VALUES (?, ?)"), ER_SUCCESS) << cl->Errors(h);
  }
  Rows Table() { return cl->Query(hConn, "SELECT i, s FROM t ORDER BY i"); }
};

// Text in pieces, binary pieces for a text column, an integer and a NULL piece
// over three rows; the driver gets whole values.
TEST_F(AgentDaeE2E, ParametersSentInPieces) {
  ASSERT_EQ(SendParams(*cl, h,
                       ParamRows({{CTYPE_SGN32}, {CTYPE_CHR, 10}}, {{"1", "-2"}, {"-2", "-2"}, {"3", "-2"}})),
            ER_SUCCESS);
  ASSERT_EQ(cl->Execute(h), ER_NEED_DATA) << cl->Errors(h);
  struct Step {
    sgn32 col, row;
    std::vector<std::pair<ctype_t, std::string>> pieces;
  } steps[] = {
      {1, 0, {{CTYPE_CHR, "a text "}, {CTYPE_CHR, "longer than "}, {CTYPE_CHR, "its column"}}},
      {0, 1, {{CTYPE_SGN32, Bytes(2)}}},
      {1, 1, {{CTYPE_BIN, "bin"}, {CTYPE_BIN, "ary"}}},
      {1, 2, {}},  // a NULL piece, below
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::to_string(s.col) + "," + std::to_string(s.row));
    sgn32 col = 0, row = 0;
    ASSERT_EQ(cl->ParamData(h, &col, &row), ER_NEED_DATA) << cl->Errors(h);
    EXPECT_EQ(std::make_pair(col, row), std::make_pair(s.col, s.row));
    for (auto& [type, bytes] : s.pieces) ASSERT_EQ(cl->PutData(h, type, bytes), ER_SUCCESS) << cl->Errors(h);
    if (s.pieces.empty()) {
      ASSERT_EQ(cl->PutData(h, CTYPE_CHR, "", -1), ER_SUCCESS);
    }
  }
  sgn32 col = 0, row = 0;
  ASSERT_EQ(cl->ParamData(h, &col, &row), ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(std::make_pair(col, row), std::make_pair(-2, -2));
  EXPECT_EQ(Table(), (Rows{{"1", "a text longer than its column"}, {"2", "binary"}, {"3", "NULL"}}));
}

// A variable text column travels as long text: pieces of text of either width
// and binary pieces still make its values.
TEST_F(AgentDaeE2E, VariableTextColumnInPieces) {
  ASSERT_EQ(SendParams(*cl, h,
                       ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR, 4}}, {{"1", "-2"}, {"2", "-2"}, {"3", "-2"}})),
            ER_SUCCESS);
  ASSERT_EQ(cl->Execute(h), ER_NEED_DATA) << cl->Errors(h);
  const std::vector<std::pair<ctype_t, std::string>> pieces[] = {
      {{CTYPE_CHR, "fixed-width "}, {CTYPE_CHR, "pieces"}},
      {{CTYPE_VCHR, "variable "}, {CTYPE_LCHR, "and long"}},
      {{CTYPE_BIN, "by"}, {CTYPE_BIN, "tes"}},
  };
  for (const auto& row : pieces) {
    ASSERT_EQ(cl->ParamData(h), ER_NEED_DATA) << cl->Errors(h);
    for (auto& [type, bytes] : row) ASSERT_EQ(cl->PutData(h, type, bytes), ER_SUCCESS) << cl->Errors(h);
  }
  ASSERT_EQ(cl->ParamData(h), ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(Table(), (Rows{{"1", "fixed-width pieces"}, {"2", "variable and long"}, {"3", "bytes"}}));
}

// Sequence and type errors answer their codes, with their texts for the client
// and their lines in the agent's log.
TEST_F(AgentDaeE2E, SequenceAndTypeErrors) {
  EXPECT_EQ(cl->ParamData(h), ER_FUNCTION_SEQ);
  EXPECT_NE(cl->Errors(h).find("Function sequence error"), std::string::npos);
  ASSERT_EQ(SendParams(*cl, h, ParamRows({{CTYPE_SGN32}, {CTYPE_CHR}}, {{"-2", "-2"}})), ER_SUCCESS);
  ASSERT_EQ(cl->Execute(h), ER_NEED_DATA);
  EXPECT_EQ(cl->PutData(h, CTYPE_SGN32, Bytes(1)), ER_FUNCTION_SEQ);  // no cell named yet
  ASSERT_EQ(cl->ParamData(h), ER_NEED_DATA);
  ASSERT_EQ(cl->PutData(h, CTYPE_SGN32, Bytes(1)), ER_SUCCESS);
  EXPECT_EQ(cl->PutData(h, CTYPE_SGN32, Bytes(1)), ER_FUNCTION_SEQ);
  ASSERT_EQ(cl->ParamData(h), ER_NEED_DATA);
  ASSERT_EQ(cl->PutData(h, CTYPE_SGN32, Bytes(5)), ER_SUCCESS);  // an integer for the text column
  EXPECT_EQ(cl->ParamData(h), ER_GENERAL_ERROR);
  EXPECT_EQ(cl->PutData(h, CTYPE_CHR, "late"), ER_FUNCTION_SEQ);
  EXPECT_EQ(cl->ParamData(h), ER_FUNCTION_SEQ);
  std::string log = Log();
  EXPECT_NE(log.find("ODBC_PutData: Called more than once for a fixed length type."), std::string::npos);
  EXPECT_NE(log.find("DAEDatasetMerge: Type mismatch."), std::string::npos);
  EXPECT_EQ(Table(), Rows{});
}

class AgentProcsE2E : public AgentTest {
 protected:
  void SetUp() override {
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    StartConnectedPg();
    if (HasFatalFailure()) return;
    ASSERT_EQ(cl->Exec(hConn,
                       "CREATE OR REPLACE FUNCTION sg_e2e(a integer, INOUT b varchar, OUT c numeric, "
                       "OUT d smallint, OUT e integer) AS $$ BEGIN b := upper(b); c := a * 0.125; d := a; "
                       "e := NULLIF(a, 0) * 1000000; END $$ LANGUAGE plpgsql"),
              ER_SUCCESS)
        << cl->Errors(hConn);
  }
  std::vector<Bindesc> Bindings() {
    return {{SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 1},
            {SQLTYPE_VARCHAR, CTYPE_VCHR, 30, 0, 2},
            {SQLTYPE_NUMERIC, CTYPE_VCHR, 12, 3, 4},
            {SQLTYPE_TINYINT, CTYPE_SGN8, 3, 0, 4},
            {SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 4}};
  }
  // The call's row, then more-results announcing the output values, the fetch
  // of 0 rows that takes them, and the end of the results.
  std::vector<std::string> Outputs(handle_t h, errcode_t executed = ER_SUCCESS) {
    if (executed == ER_SUCCESS) {
      EXPECT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
    }
    EXPECT_EQ(cl->FetchAll(h, 10).size(), 1u);
    EXPECT_EQ(cl->MoreResults(h), ER_HAVE_OUTPARAMS) << cl->Errors(h);
    errcode_t e = ER_GENERAL_ERROR;
    std::vector<std::string> out = cl->FetchOutputs(h, &e);
    EXPECT_EQ(e, ER_SUCCESS);
    EXPECT_EQ(cl->MoreResults(h), ER_NO_MORE_RESULTS);
    EXPECT_EQ(cl->FetchOutputs(h), std::vector<std::string>{});
    return out;
  }
};

TEST_F(AgentProcsE2E, OutputParametersAfterTheResults) {
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(h, "{call sg_e2e(?, ?, ?, ?, ?)}"), ER_SUCCESS) << cl->Errors(h);
  ASSERT_EQ(cl->Bind(h, Bindings()), ER_SUCCESS);
  ASSERT_EQ(SendParams(*cl, h, ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR}}, {{"12", "mixed Case"}})), ER_SUCCESS);
  EXPECT_EQ(Outputs(h), (std::vector<std::string>{"MIXED CASE", "1.500", "12", "12000000"}));
  // NULL outputs: a NULL input/output value and a NULL result.
  ASSERT_EQ(SendParams(*cl, h, ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR}}, {{"0", "NULL"}})), ER_SUCCESS);
  EXPECT_EQ(Outputs(h), (std::vector<std::string>{"NULL", "0.000", "0", "NULL"}));

  // The input/output text sent in pieces at execution time.
  ASSERT_EQ(SendParams(*cl, h, ParamRows({{CTYPE_SGN32}, {CTYPE_CHR}}, {{"-8", "-2"}})), ER_SUCCESS);
  ASSERT_EQ(cl->Execute(h), ER_NEED_DATA);
  ASSERT_EQ(cl->ParamData(h), ER_NEED_DATA);
  ASSERT_EQ(cl->PutData(h, CTYPE_CHR, "sent "), ER_SUCCESS);
  ASSERT_EQ(cl->PutData(h, CTYPE_CHR, "later"), ER_SUCCESS);
  ASSERT_EQ(cl->ParamData(h), ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(Outputs(h, ER_NEED_DATA), (std::vector<std::string>{"SENT LATER", "-1.000", "-8", "-8000000"}));

  // A binding count that differs from the markers.
  std::vector<Bindesc> four = Bindings();
  four.pop_back();
  ASSERT_EQ(cl->Bind(h, four), ER_SUCCESS);
  EXPECT_EQ(cl->Execute(h), ER_MISMATCH_PARAMS);
  EXPECT_NE(cl->Errors(h).find("Wrong number of parameters"), std::string::npos);
}

}  // namespace
