// Bulk operations through the engine's table in front of the real backend and
// the SQLite driver on a file database that two connections share: delete,
// update and fetch by bookmark on keyset-driven and static cursors, the exact
// statements sent, statuses per bookmark, rows gone or changed since, per-row
// failures, bookmarks outside the keyset and the refusals.
#include <string>
#include <vector>

#include "cursors/bulk_fixture.h"

namespace engine_test {
namespace {

class BulkSqlite : public OnSqlite<BulkSession> {
 protected:
  std::vector<std::string> prepared;
  void SetUp() override {
    OnSqlite::SetUp();
    RecordPrepares(&prepared);
  }
  // A cursor over t with its first rowset fetched (the bookmarks the client knows).
  handle_t OpenT(sgn32 type, sgn32 conc, sgn32 rsSize = 4, const std::string& sql = "SELECT i, s, n FROM t") {
    handle_t h = Scrollable(hConn, type, conc, rsSize);
    EXPECT_EQ(OpenScrollable(h, sql), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(State(h)->CursType, type);
    EXPECT_EQ(XFetch(h, 1, 1).rc, ER_SUCCESS) << Errors(h);
    return h;
  }
  std::vector<std::string> Table() { return TableRows(hConn, "SELECT i, s, n FROM t ORDER BY i"); }
};

constexpr sgn32 kTypes[] = {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_STATIC};

TEST_F(BulkSqlite, DeleteReportsRowsGoneAndEachRowsFailure) {
  for (sgn32 type : kTypes) {
    SCOPED_TRACE(type);
    Fill(6);
    handle_t h = OpenT(type, SQL_CONCUR_LOCK);
    ASSERT_EQ(Exec(hConn2, "DELETE FROM t WHERE i = 5"), ER_SUCCESS);
    prepared.clear();
    BulkAnswer a = Bulk(h, SC_BULK_DELETE_BY_BOOKMARK, {2, 5, 4});
    EXPECT_EQ(a.rc, ER_ROWS_UPDTD_DLTD) << Errors(h);
    EXPECT_EQ(a.status, (std::vector<int>{1, 5, 1}));
    EXPECT_EQ(a.affected, 2);
    EXPECT_EQ(State(h)->cRowsProcessed, 2u);
    EXPECT_EQ(prepared, std::vector<std::string>{"DELETE FROM \"t\" WHERE _ROWID_ = ?"});
    EXPECT_EQ(Table(), (std::vector<std::string>{"1|r1|10", "3|r3|30", "6|r6|60"}));
    // A row whose statement fails keeps its error and its diagnostic; the others go on.
    ip.fail["execute"] = {ER_SUCCESS, ER_SYNTAXIS};
    a = Bulk(h, SC_BULK_DELETE_BY_BOOKMARK, {1, 3, 6});
    EXPECT_EQ(a.rc, ER_ROWS_UPDTD_DLTD);
    EXPECT_EQ(a.status, (std::vector<int>{1, 5, 1}));
    EXPECT_EQ(Table(), (std::vector<std::string>{"3|r3|30"}));
    // Nothing left to delete.
    a = Bulk(h, SC_BULK_DELETE_BY_BOOKMARK, {1, 6});
    EXPECT_EQ(a.rc, ER_NO_ROWS_UPDTD_DLTD);
    EXPECT_EQ(a.status, (std::vector<int>{5, 5}));
    EXPECT_EQ(a.affected, 0);
    engine.ops().endCursor(h);
  }
}

TEST_F(BulkSqlite, UpdateSetsTheNamedColumnsByKey) {
  for (sgn32 type : kTypes) {
    SCOPED_TRACE(type);
    Fill(5);
    handle_t h = OpenT(type, SQL_CONCUR_LOCK);
    prepared.clear();
    BulkAnswer a = Bulk(h, SC_BULK_UPDATE_BY_BOOKMARK, {3, 1}, Texts({"x3", "x1"}), {2});
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.status, (std::vector<int>{2, 2}));
    EXPECT_EQ(a.affected, 2);
    EXPECT_EQ(prepared, std::vector<std::string>{"UPDATE \"t\" SET \"s\" = ? WHERE _ROWID_ = ?"});
    EXPECT_EQ(Table(), (std::vector<std::string>{"1|x1|10", "2|r2|20", "3|x3|30", "4|r4|40", "5|r5|50"}));
    // Two columns, a NULL among the new values; one row gone since.
    ASSERT_EQ(Exec(hConn2, "DELETE FROM t WHERE i = 4"), ER_SUCCESS);
    Dataset* two = test_support::ParamRows({{CTYPE_CHR, 20}, {CTYPE_SGN32}}, {{"y2", "NULL"}, {"y4", "7"}});
    prepared.clear();
    a = Bulk(h, SC_BULK_UPDATE_BY_BOOKMARK, {2, 4}, two, {2, 3});
    EXPECT_EQ(a.rc, ER_ROWS_UPDTD_DLTD);
    EXPECT_EQ(a.status, (std::vector<int>{2, 5}));
    EXPECT_EQ(prepared, std::vector<std::string>{"UPDATE \"t\" SET \"s\" = ?, \"n\" = ? WHERE _ROWID_ = ?"});
    EXPECT_EQ(Table()[1], "2|y2|NULL");
    // Column numbers that do not name the values' columns in order are refused.
    a = Bulk(h, SC_BULK_UPDATE_BY_BOOKMARK, {1},
             test_support::ParamRows({{CTYPE_CHR}, {CTYPE_CHR}}, {{"a", "b"}}), {3, 2});
    EXPECT_EQ(a.rc, ER_GENERAL_ERROR);
    EXPECT_EQ(a.status, (std::vector<int>{5}));
    engine.ops().endCursor(h);
  }
}

TEST_F(BulkSqlite, FetchReturnsRowsInTheCallersOrder) {
  Fill(8);
  for (sgn32 type : kTypes) {
    SCOPED_TRACE(type);
    handle_t h = OpenT(type, SQL_CONCUR_LOCK, 3);
    BulkAnswer a = Bulk(h, SC_BULK_FETCH_BY_BOOKMARK, {7, 2, 5});
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.rows, (std::vector<std::string>{"7|r7|70", "2|r2|20", "5|r5|50"}));
    EXPECT_EQ(a.status, (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(a.rsStatus, a.status);
    EXPECT_EQ(a.affected, 3);
    // A row deleted since is reported at its own place, the others stay at theirs.
    ASSERT_EQ(Exec(hConn2, "DELETE FROM t WHERE i = 2"), ER_SUCCESS);
    a = Bulk(h, SC_BULK_FETCH_BY_BOOKMARK, {7, 2, 5});
    EXPECT_EQ(a.rc, ER_SUCCESS);
    EXPECT_EQ(a.rows, (std::vector<std::string>{"7|r7|70", "NULL|NULL|NULL", "5|r5|50"}));
    EXPECT_EQ(a.status, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(a.rsStatus, a.status);
    EXPECT_EQ(a.affected, 2);
    // The cursor still scrolls afterwards.
    XFetchAnswer x = XFetch(h, 4, 1);
    EXPECT_EQ(x.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(x.First(), (std::vector<std::string>{"4", "5", "6"}));
    ASSERT_EQ(Exec(hConn, "INSERT INTO t VALUES (2, 'r2', 20)"), ER_SUCCESS);
    engine.ops().endCursor(h);
  }
}

// A bookmark that names no row of the keyset ends the operation with a
// general error before anything runs; every status stays an error.
TEST_F(BulkSqlite, BookmarksOutsideTheKeysetEndTheOperation) {
  Fill(6);
  struct Case {
    uns16 op;
    std::vector<bookmark_t> bookmarks;
  } cases[] = {
      {SC_BULK_FETCH_BY_BOOKMARK, {3, 0}},  {SC_BULK_FETCH_BY_BOOKMARK, {0xFFFFFFFFu, 3}},
      {SC_BULK_FETCH_BY_BOOKMARK, {3, 7}},  {SC_BULK_DELETE_BY_BOOKMARK, {0x80000000u, 2}},
      {SC_BULK_DELETE_BY_BOOKMARK, {2, 7}}, {SC_BULK_UPDATE_BY_BOOKMARK, {7, 2}},
      {SC_BULK_UPDATE_BY_BOOKMARK, {2, 0}},
  };
  for (sgn32 type : kTypes) {
    SCOPED_TRACE(type);
    handle_t h = OpenT(type, SQL_CONCUR_LOCK);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.op);
      prepared.clear();
      BulkAnswer a = c.op == SC_BULK_UPDATE_BY_BOOKMARK ? Bulk(h, c.op, c.bookmarks, Texts({"a", "b"}), {2})
                                                        : Bulk(h, c.op, c.bookmarks);
      EXPECT_EQ(a.rc, ER_GENERAL_ERROR);
      EXPECT_EQ(a.status, (std::vector<int>{5, 5}));
      EXPECT_EQ(a.affected, 0);
      EXPECT_TRUE(a.rows.empty());
      EXPECT_TRUE(prepared.empty()) << "nothing was sent";
    }
    // The bookmarks of the keyset still work.
    BulkAnswer a = Bulk(h, SC_BULK_FETCH_BY_BOOKMARK, {6, 3});
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.rows, (std::vector<std::string>{"6|r6|60", "3|r3|30"}));
    engine.ops().endCursor(h);
  }
  EXPECT_EQ(Table().size(), 6u);
}

// A keyset in its cache files: bookmarks map through the window's position.
TEST_F(BulkSqlite, SpilledKeysetMapsBookmarksThroughItsWindow) {
  Fill(5050);
  handle_t h = OpenT(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, 10);
  ASSERT_EQ(State(h)->pKeySet->KSC.fState, DSC_SPILLED);
  ASSERT_EQ(XFetch(h, 5041, 1).rc, ER_SUCCESS);
  EXPECT_EQ(Bulk(h, SC_BULK_FETCH_BY_BOOKMARK, {5045, 2, 5051}).rc, ER_GENERAL_ERROR) << "past the last key";
  BulkAnswer a = Bulk(h, SC_BULK_FETCH_BY_BOOKMARK, {5045, 2, 5050});
  EXPECT_EQ(a.status, (std::vector<int>{0, 0, 0}));
  ASSERT_EQ(a.rows.size(), 3u);
  EXPECT_EQ(a.rows[0], "5045|r5045|50450");
  EXPECT_EQ(a.rows[1], "2|r2|20");
  EXPECT_EQ(a.rows[2], "5050|r5050|50500");
  a = Bulk(h, SC_BULK_DELETE_BY_BOOKMARK, {3, 5040});
  EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
  EXPECT_EQ(a.status, (std::vector<int>{1, 1}));
  auto gone = Query(hConn, "SELECT COUNT(*) FROM t WHERE i IN (3, 5040)");
  EXPECT_EQ(gone[0][0], "0");
  engine.ops().endCursor(h);
}

// Optimistic concurrency by values: each row's old values join the key in
// the WHERE clause; NULL old values are compared with IS NULL, and a row
// changed by another connection is not touched.
TEST_F(BulkSqlite, OptimisticValuesRefuseRowsChangedSince) {
  for (sgn32 type : kTypes) {
    SCOPED_TRACE(type);
    Fill(4);
    ASSERT_EQ(Exec(hConn, "UPDATE t SET n = NULL WHERE i = 2 OR i = 4"), ER_SUCCESS);
    handle_t h = OpenT(type, SQL_CONCUR_VALUES);
    ASSERT_EQ(State(h)->ConcType, SQL_CONCUR_VALUES);
    ASSERT_EQ(Exec(hConn2, "UPDATE t SET s = 'other' WHERE i = 3 OR i = 4"), ER_SUCCESS);
    prepared.clear();
    BulkAnswer a = Bulk(h, SC_BULK_UPDATE_BY_BOOKMARK, {1, 2, 3, 4}, Texts({"u1", "u2", "u3", "u4"}), {2});
    EXPECT_EQ(a.rc, ER_ROWS_UPDTD_DLTD) << Errors(h);
    EXPECT_EQ(a.status, (std::vector<int>{2, 2, 5, 5}));
    EXPECT_EQ(a.affected, 2);
    // Every row prepares anew: row 1 is the first, rows 2 and 4 have a NULL old value, row 3 follows one.
    const std::string base = "UPDATE \"t\" SET \"s\" = ? WHERE _ROWID_ = ? AND \"i\" = ? AND \"s\" = ?";
    EXPECT_EQ(prepared, (std::vector<std::string>{base + " AND \"n\" = ?", base + " AND \"n\" IS NULL",
                                                  base + " AND \"n\" = ?", base + " AND \"n\" IS NULL"}));
    EXPECT_EQ(Table(), (std::vector<std::string>{"1|u1|10", "2|u2|NULL", "3|other|30", "4|other|NULL"}));
    // Without NULL old values the statement prepared for the first row serves the next.
    ASSERT_EQ(Exec(hConn, "UPDATE t SET n = 5 WHERE n IS NULL"), ER_SUCCESS);
    handle_t h2 = OpenT(type, SQL_CONCUR_VALUES);
    prepared.clear();
    a = Bulk(h2, SC_BULK_UPDATE_BY_BOOKMARK, {1, 2, 4}, Texts({"v1", "v2", "v4"}), {2});
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h2);
    EXPECT_EQ(a.status, (std::vector<int>{2, 2, 2}));
    EXPECT_EQ(prepared, (std::vector<std::string>{base + " AND \"n\" = ?"}));
    engine.ops().endCursor(h2);
    // Delete compares the same way: rows 3 and 4 hold other values than the cursor read.
    a = Bulk(h, SC_BULK_DELETE_BY_BOOKMARK, {4, 3});
    EXPECT_EQ(a.rc, ER_NO_ROWS_UPDTD_DLTD);
    EXPECT_EQ(a.status, (std::vector<int>{5, 5}));
    EXPECT_EQ(Table().size(), 4u);
    engine.ops().endCursor(h);
  }
}

struct Refusal {
  const char* what;
  sgn32 type;
  sgn32 conc;
  uns16 op;
  errcode_t rc;
  bool hasStatus;
};

TEST_F(BulkSqlite, Refusals) {
  Fill(5);
  const Refusal cases[] = {
      {"add", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, SC_BULK_ADD, ER_GENERAL_ERROR, false},
      {"unknown op", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, 9, ER_GENERAL_ERROR, false},
      {"update without values", SQL_CURSOR_STATIC, SQL_CONCUR_LOCK, SC_BULK_UPDATE_BY_BOOKMARK,
       ER_GENERAL_ERROR, false},
      {"read-only delete", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, SC_BULK_DELETE_BY_BOOKMARK,
       ER_INVALID_ARGUMENT, true},
      {"static read-only: no keyset", SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, SC_BULK_DELETE_BY_BOOKMARK,
       ER_GENERAL_ERROR, true},
      {"dynamic", SQL_CURSOR_DYNAMIC, SQL_CONCUR_LOCK, SC_BULK_FETCH_BY_BOOKMARK, ER_BLKOP_INVALID_CURS,
       false},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.what);
    // A dynamic cursor is set in the state: the driver's answer does not matter here.
    handle_t h =
        Scrollable(hConn, c.type == SQL_CURSOR_DYNAMIC ? SQL_CURSOR_KEYSET_DRIVEN : c.type, c.conc, 3);
    ASSERT_EQ(OpenScrollable(h, "SELECT i, s FROM t"), ER_SUCCESS) << Errors(h);
    if (c.type != SQL_CURSOR_DYNAMIC) {
      ASSERT_EQ(XFetch(h, 1, 1).rc, ER_SUCCESS);
    }
    State(h)->CursType = c.type;
    BulkAnswer a = Bulk(h, c.op, {1, 2});
    EXPECT_EQ(a.rc, c.rc);
    EXPECT_EQ(a.hasStatus, c.hasStatus);
    EXPECT_EQ(a.status, (c.hasStatus ? std::vector<int>{5, 5} : std::vector<int>{}));
    engine.ops().endCursor(h);
  }
  // A mixed cursor (keyset-driven with a keyset size) and a handle of no cursor.
  handle_t h = Scrollable(hConn, SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, 3);
  ASSERT_EQ(OpenScrollable(h, "SELECT i, s FROM t"), ER_SUCCESS) << Errors(h);
  State(h)->KSSize = 3;
  EXPECT_EQ(Bulk(h, SC_BULK_DELETE_BY_BOOKMARK, {1}).rc, ER_BLKOP_INVALID_CURS);
  State(h)->KSSize = 0;
  EXPECT_EQ(Bulk(h, SC_BULK_DELETE_BY_BOOKMARK, {}).rc, ER_GENERAL_ERROR);
  engine.ops().endCursor(h);
  EXPECT_EQ(Bulk(h, SC_BULK_DELETE_BY_BOOKMARK, {1}).rc, ER_INVALID_ARGUMENT);
  EXPECT_EQ(Table().size(), 5u);
}

// Statements whose rows cannot be named by one table's keys are refused
// after the status array is handed out, with the codes of the validation.
TEST_F(BulkSqlite, JoinsGroupingAndUnionsAreRefused) {
  Fill(3);
  const std::pair<uns16, errcode_t> cases[] = {{SCR_F_JOIN, ER_PRQST_JOIN_CNDTN},
                                               {SCR_F_GROUP_BY, ER_PRQST_GROUPBY_CLAUSE},
                                               {SCR_F_UNION, ER_PRQST_UNION_CLAUSE},
                                               {SCR_F_AGGREGATE, ER_PRQST_SCALAR_AGGR}};
  handle_t h = OpenT(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK);
  const uns16 flags = State(h)->SelectRqstFlags;
  for (const auto& [flag, rc] : cases) {
    SCOPED_TRACE(flag);
    // As the prepare-time analysis leaves them for such a statement.
    State(h)->SelectRqstFlags = uns16(flags | flag);
    prepared.clear();
    BulkAnswer d = Bulk(h, SC_BULK_DELETE_BY_BOOKMARK, {1});
    EXPECT_EQ(d.rc, rc);
    EXPECT_EQ(d.status, std::vector<int>{5});
    EXPECT_EQ(Bulk(h, SC_BULK_UPDATE_BY_BOOKMARK, {1}, Texts({"z"}), {2}).rc, rc);
    EXPECT_TRUE(prepared.empty());
  }
  State(h)->SelectRqstFlags = flags;
  engine.ops().endCursor(h);
  EXPECT_EQ(Table().size(), 3u);
}

}  // namespace
}  // namespace engine_test
