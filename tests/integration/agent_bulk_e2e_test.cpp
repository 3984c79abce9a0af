// End to end through the bulk operations: the real sqlgate through the
// launcher, the wire client and the SQLite driver. Fetch, update and delete
// by bookmark on a keyset-driven cursor, with a status per bookmark in the
// reply whatever the number of rows affected.
#include "agent_client.h"
#include "fixtures/support/param_rows.h"

using namespace agent_test;

namespace {

struct BulkReply {
  errcode_t rc = ER_GENERAL_ERROR;
  uns16 affected = 0;
  std::vector<int> status;
  std::vector<std::string> first;  // fetch: first cell of each row
};

class AgentBulkE2E : public AgentTest {
 protected:
  handle_t OpenKeyset() {
    EXPECT_EQ(cl->Exec(hConn, "CREATE TABLE t (i INTEGER PRIMARY KEY, s VARCHAR(20))"), ER_SUCCESS);
    EXPECT_EQ(cl->Exec(hConn, "INSERT INTO t VALUES (1, 'a'), (2, 'b'), (3, 'c'), (4, 'd')"), ER_SUCCESS);
    handle_t h = cl->Cursor(hConn);
    EXPECT_EQ(cl->SetInt(h, 0x32030006, 1), ER_SUCCESS);  // keyset-driven
    EXPECT_EQ(cl->SetInt(h, 0x32030007, 2), ER_SUCCESS);  // locking
    EXPECT_EQ(cl->SetInt(h, 0x32030009, 4), ER_SUCCESS);
    EXPECT_EQ(cl->Prepare(h, "SELECT i, s FROM t"), ER_SUCCESS) << cl->Errors(h);
    EXPECT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
    xfetchres r{};
    call_extendedfetch2 a{h, 1, 1};
    EXPECT_EQ(dbsvc_extendedfetch2(cl->c, &a, &r), RPC_SUCCESS);
    EXPECT_EQ(r.error, ER_SUCCESS);
    dbsvc_extendedfetch2_free(&r);
    return h;
  }
  // cRows and cCols are sent as given when not -1, else as the arrays' lengths.
  BulkReply Bulk(handle_t h, uns16 op, std::vector<bookmark_t> bm, Dataset* values = nullptr,
                 std::vector<uns16> cols = {}, int cRows = -1, int cCols = -1) {
    call_bulkoperations a{};
    a.handle = h;
    a.fOperation = op;
    a.rBookMarks.rBookMarks_len = unsigned(bm.size());
    a.rBookMarks.rBookMarks_val = bm.data();
    a.cRows = uns16(cRows < 0 ? bm.size() : size_t(cRows));
    a.pDS = values;
    a.rgiCol.rgiCol_len = unsigned(cols.size());
    a.rgiCol.rgiCol_val = cols.data();
    a.cCols = uns16(cCols < 0 ? cols.size() : size_t(cCols));
    bulkopres r{};
    BulkReply out;
    EXPECT_EQ(dbsvc_bulkoperations(cl->c, &a, &r), RPC_SUCCESS);
    if (values) {
      Dataset_Done(values);
      free(values);
    }
    out.rc = r.error;
    out.affected = r.cRowsAffected;
    for (unsigned i = 0; i < r.rgfRowStatus.rgfRowStatus_len; i++)
      out.status.push_back(r.rgfRowStatus.rgfRowStatus_val[i]);
    if (r.pRowSet && r.pRowSet->pDataset)
      for (int row = 0; row < r.pRowSet->pDataset->nRows; row++)
        out.first.push_back(Cell(*r.pRowSet->pDataset, 0, row));
    dbsvc_bulkoperations_free(&r);
    return out;
  }
};

TEST_F(AgentBulkE2E, ByBookmarkOverTheWire) {
  StartConnected();
  handle_t h = OpenKeyset();
  ASSERT_EQ(cl->Exec(hConn, "DELETE FROM t WHERE i = 2"), ER_SUCCESS);
  BulkReply f = Bulk(h, 7, {4, 2, 1});
  EXPECT_EQ(f.rc, ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(f.status, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(f.first, (std::vector<std::string>{"4", "NULL", "1"}));
  // A bookmark past the keyset ends the operation before anything runs.
  BulkReply bad = Bulk(h, 5, {3, 9}, test_support::ParamRows({{CTYPE_CHR, 20}}, {{"y"}, {"z"}}), {2});
  EXPECT_EQ(bad.rc, ER_GENERAL_ERROR);
  EXPECT_EQ(bad.status, (std::vector<int>{5, 5}));
  // One status per bookmark although fewer rows were affected.
  BulkReply u = Bulk(h, 5, {3, 2}, test_support::ParamRows({{CTYPE_CHR, 20}}, {{"x"}, {"y"}}), {2});
  EXPECT_EQ(u.rc, ER_ROWS_UPDTD_DLTD);
  EXPECT_EQ(u.affected, 1);
  EXPECT_EQ(u.status, (std::vector<int>{2, 5}));
  BulkReply d = Bulk(h, 6, {1, 2});
  EXPECT_EQ(d.rc, ER_ROWS_UPDTD_DLTD);
  EXPECT_EQ(d.status, (std::vector<int>{1, 5}));
  // Bulk add is refused, with no statuses.
  BulkReply add = Bulk(h, 4, {1});
  EXPECT_EQ(add.rc, ER_GENERAL_ERROR);
  EXPECT_EQ(add.status, std::vector<int>{});
  Rows rows = cl->Query(hConn, "SELECT i, s FROM t ORDER BY i");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][1], "x");
  EXPECT_EQ(rows[1][0], "4");
}

// Counts beyond the arrays sent, column numbers outside the cursor's and
// values without columns answer an error; the agent goes on serving.
TEST_F(AgentBulkE2E, HostileCountsAnswerErrors) {
  StartConnected();
  handle_t h = OpenKeyset();
  const auto one = [](int rows) {
    std::vector<std::vector<std::string>> v(size_t(rows), std::vector<std::string>{"q"});
    return test_support::ParamRows({{CTYPE_CHR, 20}}, v);
  };
  // More bookmarks counted than sent.
  BulkReply f = Bulk(h, 7, {2, 1}, nullptr, {}, 500);
  EXPECT_EQ(f.rc, ER_INVALID_ARGUMENT);
  EXPECT_TRUE(f.status.empty());
  struct Case {
    const char* what;
    Dataset* values;
    std::vector<uns16> cols;
    int cCols;
  } cases[] = {
      {"more columns counted than sent",
       test_support::ParamRows({{CTYPE_CHR, 20}, {CTYPE_CHR, 20}}, {{"q", "q"}, {"q", "q"}}),
       {2},
       40},
      {"column 0", one(2), {0}, -1},
      {"column beyond the cursor's", one(2), {9}, -1},
      {"values without columns", test_support::ParamRows({}, {}), {2}, -1},
      {"no column list", one(2), {}, 3},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    BulkReply u = Bulk(h, 5, {1, 2}, c.values, c.cols, -1, c.cCols);
    EXPECT_NE(u.rc, ER_SUCCESS);
    EXPECT_EQ(u.affected, 0);
  }
  EXPECT_EQ(Bulk(h, 6, {}, nullptr, {}, 3).rc, ER_INVALID_ARGUMENT);
  EXPECT_EQ(Bulk(h, 6, {}).rc, ER_GENERAL_ERROR);
  // The agent goes on serving the cursor.
  EXPECT_EQ(Bulk(h, 7, {2, 1}).first, (std::vector<std::string>{"2", "1"}));
  Rows rows = cl->Query(hConn, "SELECT s FROM t ORDER BY i");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][0], "a");
  EXPECT_EQ(rows[1][0], "b");
}

}  // namespace
