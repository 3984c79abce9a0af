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
  BulkReply Bulk(handle_t h, uns16 op, std::vector<bookmark_t> bm, Dataset* values = nullptr,
                 std::vector<uns16> cols = {}) {
    call_bulkoperations a{};
    a.handle = h;
    a.fOperation = op;
    a.rBookMarks.rBookMarks_len = unsigned(bm.size());
    a.rBookMarks.rBookMarks_val = bm.data();
    a.cRows = uns16(bm.size());
    a.pDS = values;
    a.rgiCol.rgiCol_len = unsigned(cols.size());
    a.rgiCol.rgiCol_val = cols.data();
    a.cCols = uns16(cols.size());
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
  // One status per bookmark although fewer rows were affected.
  BulkReply u = Bulk(h, 5, {3, 2, 9}, test_support::ParamRows({{CTYPE_CHR, 20}}, {{"x"}, {"y"}, {"z"}}), {2});
  EXPECT_EQ(u.rc, ER_ROWS_UPDTD_DLTD);
  EXPECT_EQ(u.affected, 1);
  EXPECT_EQ(u.status, (std::vector<int>{2, 5, 5}));
  BulkReply d = Bulk(h, 6, {1, 2});
  EXPECT_EQ(d.rc, ER_ROWS_UPDTD_DLTD);
  EXPECT_EQ(d.status, (std::vector<int>{1, 5}));
  EXPECT_EQ(Bulk(h, 4, {1}).status, std::vector<int>{});
  Rows rows = cl->Query(hConn, "SELECT i, s FROM t ORDER BY i");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][1], "x");
  EXPECT_EQ(rows[1][0], "4");
}

}  // namespace
