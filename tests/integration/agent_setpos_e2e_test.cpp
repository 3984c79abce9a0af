// End to end through the positioned operations: the real sqlgate through the
// launcher, the wire client and the SQLite driver. Update, delete and add on a
// keyset-driven cursor with their statuses, the next fetch showing them, and
// new values sent as data at execution in pieces with param-data and put-data.
#include "agent_client.h"
#include "fixtures/support/param_rows.h"

using namespace agent_test;
using test_support::ParamRows;

namespace {

struct Answer {
  errcode_t rc = ER_GENERAL_ERROR;
  std::vector<int> status;
};

// The answer of a positioned operation or of the param-data that completes it.
template <typename Reply>
Answer AnswerOf(const Reply& r) {
  Answer out;
  out.rc = r.error;
  for (unsigned i = 0; i < r.rgfRowStatus.rgfRowStatus_len; i++)
    out.status.push_back(r.rgfRowStatus.rgfRowStatus_val[i]);
  return out;
}

class AgentSetPosE2E : public AgentTest {
 protected:
  std::string table = "t";
  void SetUp() override {
    StartConnected();
    Fill();
  }
  void Fill() {
    ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE " + table + " (i INTEGER PRIMARY KEY, s VARCHAR(60), n INTEGER)"),
              ER_SUCCESS)
        << cl->Errors(hConn);
    ASSERT_EQ(cl->Exec(hConn, "INSERT INTO " + table +
                                  " VALUES (1, 'a', 10), (2, 'b', 20), (3, 'c', 30), (4, 'd', 40)"),
              ER_SUCCESS)
        << cl->Errors(hConn);
  }
  handle_t Open() {
    handle_t h = cl->Cursor(hConn);
    EXPECT_EQ(cl->SetInt(h, 0x32030006, 1), ER_SUCCESS);  // keyset-driven
    EXPECT_EQ(cl->SetInt(h, 0x32030007, 4), ER_SUCCESS);  // optimistic by values
    EXPECT_EQ(cl->SetInt(h, 0x32030009, 2), ER_SUCCESS);  // rowset of 2
    EXPECT_EQ(cl->Prepare(h, "SELECT i, s, n FROM " + table + " ORDER BY i"), ER_SUCCESS) << cl->Errors(h);
    EXPECT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
    return h;
  }
  // The rows of a scrollable fetch "i|s|n" and their statuses.
  std::pair<std::vector<std::string>, std::vector<int>> Fetch(handle_t h, sgn32 irow) {
    std::pair<std::vector<std::string>, std::vector<int>> out;
    call_extendedfetch a{h, irow};
    xfetchres r{};
    EXPECT_EQ(dbsvc_extendedfetch(cl->c, &a, &r), RPC_SUCCESS);
    EXPECT_EQ(r.error, ER_SUCCESS) << cl->Errors(h);
    if (r.pRowSet) {
      const Dataset* ds = r.pRowSet->pDataset;
      for (int row = 0; ds && row < ds->nRows; row++)
        out.first.push_back(Cell(*ds, 0, row) + "|" + Cell(*ds, 1, row) + "|" + Cell(*ds, 2, row));
      for (int i = 0; i < r.pRowSet->RSSize; i++) out.second.push_back(r.pRowSet->rgfRowStatus[i]);
    }
    dbsvc_extendedfetch_free(&r);
    return out;
  }
  // ds is sent and freed here.
  Answer SetPos(handle_t h, sgn32 irow, uns16 opt, Dataset* ds, std::vector<uns16> cols) {
    call_setpos a{h, irow, opt, 0, ds, {unsigned(cols.size()), cols.data()}};
    setposres r{};
    EXPECT_EQ(dbsvc_setpos(cl->c, &a, &r), RPC_SUCCESS);
    Answer out = AnswerOf(r);
    dbsvc_setpos_free(&r);
    if (ds) {
      Dataset_Done(ds);
      free(ds);
    }
    return out;
  }
  Answer LastParamData(handle_t h) {
    paramdatares r{};
    EXPECT_EQ(dbsvc_paramdata(cl->c, &h, &r), RPC_SUCCESS);
    Answer out = AnswerOf(r);
    dbsvc_paramdata_free(&r);
    return out;
  }
  void UpdatesAndAddsInPieces();
  std::vector<std::string> Table() {
    std::vector<std::string> out;
    for (auto& r : cl->Query(hConn, "SELECT i, s, n FROM " + table + " ORDER BY i"))
      out.push_back(r[0] + "|" + r[1] + "|" + r[2]);
    return out;
  }
};

TEST_F(AgentSetPosE2E, UpdateDeleteAddOverTheWire) {
  handle_t h = Open();
  ASSERT_EQ(Fetch(h, 1).first, (std::vector<std::string>{"1|a|10", "2|b|20"}));
  Answer a = SetPos(h, 2, 2, ParamRows({{CTYPE_VCHR, 20}}, {{"B"}}), {2});
  EXPECT_EQ(a.rc, ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(a.status, std::vector<int>{2});
  a = SetPos(h, 1, 3, nullptr, {});
  EXPECT_EQ(a.rc, ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(a.status, std::vector<int>{1});
  a = SetPos(h, -2, 4, ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR, 20}}, {{"7", "g"}, {"8", "h"}}), {1, 2});
  EXPECT_EQ(a.rc, ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(a.status, (std::vector<int>{4, 4}));
  // Row 0 of an update names no row.
  EXPECT_EQ(SetPos(h, 0, 2, ParamRows({{CTYPE_VCHR, 20}}, {{"x"}}), {2}).rc, ER_INVALID_ROW_VALUE);
  auto f = Fetch(h, 1);
  EXPECT_EQ(f.second, (std::vector<int>{1, 2}));
  EXPECT_EQ(f.first[1], "2|B|20");
  EXPECT_EQ(Table(), (std::vector<std::string>{"2|B|20", "3|c|30", "4|d|40", "7|g|NULL", "8|h|NULL"}));
  // A positioned refresh is not offered.
  EXPECT_EQ(SetPos(h, 1, 1, nullptr, {}).rc, ER_DRV_NOT_CAPABLE);
  cl->Simple(dbsvc_endcursor, h);
}

TEST_F(AgentSetPosE2E, ValuesSentInPieces) {
  handle_t h = Open();
  ASSERT_EQ(Fetch(h, 3).first, (std::vector<std::string>{"3|c|30", "4|d|40"}));
  Answer a =
      SetPos(h, -2, 2, ParamRows({{CTYPE_CHR, 20}, {CTYPE_SGN32}}, {{"-2", "-2"}, {"-2", "5"}}), {2, 3});
  ASSERT_EQ(a.rc, ER_NEED_DATA);
  EXPECT_TRUE(a.status.empty());
  sgn32 col = -9, row = -9;
  ASSERT_EQ(cl->ParamData(h, &col, &row), ER_NEED_DATA);
  EXPECT_EQ(col, 0);
  EXPECT_EQ(row, 0);
  for (const char* piece : {"three ", "and ", "a bit"})
    ASSERT_EQ(cl->PutData(h, CTYPE_CHR, piece), ER_SUCCESS);
  ASSERT_EQ(cl->ParamData(h, &col, &row), ER_NEED_DATA);
  EXPECT_EQ(col, 1);
  EXPECT_EQ(row, 0);
  ASSERT_EQ(cl->PutData(h, CTYPE_SGN32, std::string("\x21\0\0\0", 4)), ER_SUCCESS);
  ASSERT_EQ(cl->ParamData(h, &col, &row), ER_NEED_DATA);
  EXPECT_EQ(col, 0);
  EXPECT_EQ(row, 1);
  ASSERT_EQ(cl->PutData(h, CTYPE_CHR, "", -1), ER_SUCCESS);
  a = LastParamData(h);
  EXPECT_EQ(a.rc, ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(a.status, (std::vector<int>{2, 2}));
  EXPECT_EQ(Table(), (std::vector<std::string>{"1|a|10", "2|b|20", "3|three and a bit|33", "4|NULL|5"}));
  EXPECT_EQ(Fetch(h, 3).first, (std::vector<std::string>{"3|three and a bit|33", "4|NULL|5"}));
  cl->Simple(dbsvc_endcursor, h);
}

std::string Wide(const std::string& s) {
  std::wstring w(s.begin(), s.end());
  return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 4);
}

// Text for s sent in pieces, however the client declares the column in its new
// values (variable text travels as long text) and whatever width it gives its
// pieces; binary pieces and a NULL piece too. The driver gets whole values,
// longer than the declared width.
void AgentSetPosE2E::UpdatesAndAddsInPieces() {
  struct Case {
    const char* what;
    ctype_t column;
    std::vector<std::pair<ctype_t, std::string>> pieces;  // none: a NULL piece
    const char* want;
  } cases[] = {
      {"variable column, fixed-width pieces",
       CTYPE_VCHR,
       {{CTYPE_CHR, "fixed-width "}, {CTYPE_CHR, "pieces, longer "}, {CTYPE_CHR, "than declared"}},
       "fixed-width pieces, longer than declared"},
      {"variable column, variable pieces",
       CTYPE_VCHR,
       {{CTYPE_VCHR, "vari"}, {CTYPE_VCHR, "able"}},
       "variable"},
      {"variable column, long pieces", CTYPE_VCHR, {{CTYPE_LCHR, "lo"}, {CTYPE_LCHR, "ng"}}, "long"},
      {"prefixed column, fixed-width pieces",
       CTYPE_VCHR32,
       {{CTYPE_CHR, "pre"}, {CTYPE_CHR, "fixed"}},
       "prefixed"},
      {"fixed-width column, variable pieces",
       CTYPE_CHR,
       {{CTYPE_VCHR, "fixed column, "}, {CTYPE_VCHR, "variable pieces"}},
       "fixed column, variable pieces"},
      {"binary pieces", CTYPE_VCHR, {{CTYPE_BIN, "bin"}, {CTYPE_BIN, "ary"}}, "binary"},
      {"wide column, wide pieces", CTYPE_WVCHR, {{CTYPE_WCHR, Wide("wi")}, {CTYPE_WCHR, Wide("de")}}, "wide"},
      {"a NULL piece", CTYPE_VCHR, {}, "NULL"},
  };
  handle_t h = Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(Fetch(h, 1).first.size(), 2u);  // the values compared are the ones stored now
    Answer a = SetPos(h, 1, 2, ParamRows({{c.column, 20}}, {{"-2"}}), {2});
    ASSERT_EQ(a.rc, ER_NEED_DATA) << cl->Errors(h);
    ASSERT_EQ(cl->ParamData(h), ER_NEED_DATA);
    for (auto& [type, bytes] : c.pieces) ASSERT_EQ(cl->PutData(h, type, bytes), ER_SUCCESS);
    if (c.pieces.empty()) {
      ASSERT_EQ(cl->PutData(h, CTYPE_CHR, "", -1), ER_SUCCESS);
    }
    a = LastParamData(h);
    EXPECT_EQ(a.rc, ER_SUCCESS) << cl->Errors(h);
    EXPECT_EQ(a.status, std::vector<int>{2});
    EXPECT_EQ(Table()[0], std::string("1|") + c.want + "|10");
  }
  // Two added rows, each with its own kind of pieces.
  Answer a =
      SetPos(h, -2, 4, ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR, 5}}, {{"7", "-2"}, {"8", "-2"}}), {1, 2});
  ASSERT_EQ(a.rc, ER_NEED_DATA) << cl->Errors(h);
  ASSERT_EQ(cl->ParamData(h), ER_NEED_DATA);
  ASSERT_EQ(cl->PutData(h, CTYPE_CHR, "added "), ER_SUCCESS);
  ASSERT_EQ(cl->PutData(h, CTYPE_CHR, "in pieces"), ER_SUCCESS);
  ASSERT_EQ(cl->ParamData(h), ER_NEED_DATA);
  ASSERT_EQ(cl->PutData(h, CTYPE_BIN, "as bytes"), ER_SUCCESS);
  a = LastParamData(h);
  EXPECT_EQ(a.rc, ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(a.status, (std::vector<int>{4, 4}));
  EXPECT_EQ(Table(), (std::vector<std::string>{"1|NULL|10", "2|b|20", "3|c|30", "4|d|40",
                                               "7|added in pieces|NULL", "8|as bytes|NULL"}));
  cl->Simple(dbsvc_endcursor, h);
}

TEST_F(AgentSetPosE2E, TextPiecesWhateverTheDeclaredWidth) { UpdatesAndAddsInPieces(); }

// The same on PostgreSQL, whose statements quote the new values' columns and
// which checks the declared lengths of the table.
class AgentSetPosPgE2E : public AgentSetPosE2E {
 protected:
  void SetUp() override {
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    StartConnectedPg();
    if (HasFatalFailure()) return;
    table = "e2e_setpos_dae";
    cl->Exec(hConn, "DROP TABLE IF EXISTS " + table);
    Fill();
  }
  void TearDown() override {
    if (cl && hConn) cl->Exec(hConn, "DROP TABLE IF EXISTS " + table);
    AgentSetPosE2E::TearDown();
  }
};

TEST_F(AgentSetPosPgE2E, TextPiecesWhateverTheDeclaredWidth) { UpdatesAndAddsInPieces(); }

// Hostile arguments answer an error and the agent goes on serving the cursor.
TEST_F(AgentSetPosE2E, HostileArgumentsAnswerErrors) {
  handle_t h = Open();
  ASSERT_EQ(Fetch(h, 1).first, (std::vector<std::string>{"1|a|10", "2|b|20"}));
  const auto two = [] { return ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR, 20}}, {{"9", "z"}}); };
  struct Case {
    const char* what;
    sgn32 irow;
    uns16 opt;
    Dataset* ds;
    std::vector<uns16> cols;
    errcode_t rc;
  } cases[] = {
      {"column list shorter than the values", 1, 2, two(), {2}, ER_INVALID_ARGUMENT},
      {"add with a short column list", 1, 4, two(), {1}, ER_INVALID_ARGUMENT},
      {"column 0", 1, 2, two(), {0, 2}, ER_INVALID_ARGUMENT},
      {"column beyond the cursor's", 1, 2, two(), {2, 9}, ER_INVALID_COLUMN},
      {"no columns in the values", 1, 2, ParamRows({}, {}), {}, ER_INVALID_ARGUMENT},
      {"lowest row number", INT32_MIN, 2, two(), {1, 2}, ER_INVALID_ROW_VALUE},
      {"lowest row number delete", INT32_MIN, 3, nullptr, {}, ER_INVALID_ROW_VALUE},
      {"highest row number", INT32_MAX, 3, nullptr, {}, ER_INVALID_ROW_VALUE},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    Answer a = SetPos(h, c.irow, c.opt, c.ds, c.cols);
    EXPECT_EQ(a.rc, c.rc);
    EXPECT_TRUE(a.status.empty());
  }
  EXPECT_EQ(Fetch(h, 1).first, (std::vector<std::string>{"1|a|10", "2|b|20"}));
  EXPECT_EQ(Table(), (std::vector<std::string>{"1|a|10", "2|b|20", "3|c|30", "4|d|40"}));
  cl->Simple(dbsvc_endcursor, h);
}

}  // namespace
