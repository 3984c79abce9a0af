// The fetch engines in front of the real backend and the SQLite driver on a
// file database that two connections share: absolute scrolling of static
// and keyset-driven cursors, snapshots that later changes do not touch,
// deleted rows, optimistic values, the dispatch's refusals, rowsets with a
// long column, and internal reads cut short by an injected driver error.
#include <algorithm>
#include <cstring>
#include <functional>

#include "cursors/fetch_engines.h"
#include "cursors/fetch_fixture.h"
#include "cursors/snapshot.h"
#include "fixtures/support/log_capture.h"

namespace engine_test {
namespace {

class FetchSqlite : public OnSqlite<FetchSession> {
 protected:
  void MakeTables() override {
    ASSERT_EQ(Exec(hConn, "CREATE TABLE t (i INTEGER PRIMARY KEY, s VARCHAR(20))"), ER_SUCCESS);
    ASSERT_EQ(Exec(hConn, "CREATE TABLE lt (i INTEGER PRIMARY KEY, txt TEXT)"), ER_SUCCESS);
  }
  void Fill(const char* table, int n) {
    ASSERT_EQ(
        Exec(hConn, std::string("WITH RECURSIVE g(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM g WHERE x < ") +
                        std::to_string(n) + ") INSERT INTO " + table + " SELECT x, 'r' || x FROM g"),
        ER_SUCCESS);
  }
};

TEST_F(FetchSqlite, StaticCursorScrollsByAbsoluteRow) {
  Fill("t", 25);
  for (sgn32 ft : {-1, 1}) {
    handle_t h = Scrollable(hConn, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 10);
    ASSERT_EQ(Open(h, "SELECT i, s FROM t ORDER BY i"), ER_SUCCESS) << Errors(h);
    CheckAbsolute(h, ft);
    XFetchAnswer a = XFetch(h, 3, ft);
    EXPECT_EQ(a.rows[0], "3|r3");
    engine.ops().endCursor(h);
  }
}

TEST_F(FetchSqlite, StaticSnapshotIgnoresLaterChanges) {
  for (int n : {25, 5000, 6000}) {
    SCOPED_TRACE(n);
    ASSERT_EQ(Exec(hConn, "DELETE FROM t"), ER_SUCCESS);
    Fill("t", n);
    handle_t h = Scrollable(hConn, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 7);
    ASSERT_EQ(Open(h, "SELECT i, s FROM t ORDER BY i"), ER_SUCCESS) << Errors(h);
    XFetchAnswer first = XFetch(h, 1, 1);
    ASSERT_EQ(first.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(first.rsltSetSize, n);
    EXPECT_EQ(State(h)->pSnapShot->SSC.fState, n > 5000 ? DSC_SPILLED : DSC_IN_MEMORY);
    // Another connection changes, deletes and adds rows: the snapshot stays.
    ASSERT_EQ(Exec(hConn2, "UPDATE t SET s = 'new' WHERE i = 2 OR i = " + std::to_string(n - 1)), ER_SUCCESS);
    ASSERT_EQ(Exec(hConn2, "DELETE FROM t WHERE i = 3 OR i = " + std::to_string(n)), ER_SUCCESS);
    ASSERT_EQ(Exec(hConn2, "INSERT INTO t VALUES (" + std::to_string(n + 1) + ", 'late')"), ER_SUCCESS);
    XFetchAnswer again = XFetch(h, 1, 1);
    EXPECT_EQ(again.rows, first.rows);
    XFetchAnswer last = XFetch(h, 0, 1);
    ASSERT_EQ(last.rc, ER_SUCCESS);
    ASSERT_EQ(last.rows.size(), 7u);
    EXPECT_EQ(last.rows[5], std::to_string(n - 1) + "|r" + std::to_string(n - 1));
    EXPECT_EQ(last.rows[6], std::to_string(n) + "|r" + std::to_string(n));
    EXPECT_EQ(XFetch(h, n + 1, 1).rc, ER_SCRL_RSLTSET_END);
    // A middle rowset, far from the first window of a spilled snapshot.
    XFetchAnswer mid = XFetch(h, n / 2, 1);
    ASSERT_EQ(mid.rc, ER_SUCCESS);
    EXPECT_EQ(mid.First(), Range(n / 2, n / 2 + 6));
    engine.ops().endCursor(h);
  }
}

TEST_F(FetchSqlite, DispatchRefusals) {
  Fill("t", 3);
  handle_t h = Scrollable(hConn, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 5);
  ASSERT_EQ(Open(h, "SELECT i FROM t WHERE i > 100"), ER_SUCCESS) << Errors(h);
  PRSET rs = nullptr;
  uns32 crow = 7;
  sgn32 size = 0;
  struct Case {
    const char* what;
    std::function<errcode_t()> call;
    errcode_t rc;
  } cases[] = {
      {"dead handle", [&] { return engine.ops().xFetch2(0xCCCC0FFF, &rs, 1, &crow, &size, 1); },
       ER_INVALID_ARGUMENT},
      {"no rowset pointer", [&] { return engine.ops().xFetch2(h, nullptr, 1, &crow, &size, 1); },
       ER_INVALID_ARGUMENT},
      {"no row count", [&] { return engine.ops().xFetch(h, &rs, 1, nullptr, &size); }, ER_INVALID_ARGUMENT},
      {"no result size", [&] { return engine.ops().xFetch(h, &rs, 1, &crow, nullptr); }, ER_INVALID_ARGUMENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.rc);
    EXPECT_EQ(rs, nullptr);
  }
  // An empty static result: the position is past the end.
  XFetchAnswer a = XFetch(h, 1, 1);
  EXPECT_EQ(a.rc, ER_SCRL_RSLTSET_END);
  engine.ops().endCursor(h);

  // A keyset-driven or locking static cursor the engine did not prepare.
  for (auto [type, conc] : {std::pair{SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY},
                            std::pair{SQL_CURSOR_STATIC, SQL_CONCUR_VALUES}}) {
    handle_t k = Scrollable(hConn, type, conc, 5);
    TSCCL& s = *State(k);
    s.CursType = type;
    s.ConcType = conc;
    EXPECT_EQ(XFetch(k, 1, 1).rc, ER_INVALID_CRSTATE);
    engine.ops().endCursor(k);
  }

  // Orientation 0, and the plain fetch, on the cursors that move by orientation only.
  handle_t d = Scrollable(hConn, SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_READ_ONLY, 5);
  ASSERT_EQ(Open(d, "SELECT i FROM t"), ER_SUCCESS);
  TSCCL& s = *State(d);
  s.f_state |= SCCL_THROUGH_ENGINE;
  struct Shape {
    sgn32 type, ksSize;
    uns16 flags;
  } shapes[] = {{SQL_CURSOR_DYNAMIC, 0, 0},
                {SQL_CURSOR_KEYSET_DRIVEN, 10, 0},
                {SQL_CURSOR_KEYSET_DRIVEN, 0, SCR_F_AGGREGATE},
                {SQL_CURSOR_DYNAMIC, 0, SCR_F_AGGREGATE}};
  for (const Shape& sh : shapes) {
    SCOPED_TRACE(std::to_string(sh.type) + "/" + std::to_string(sh.ksSize) + "/" + std::to_string(sh.flags));
    s.CursType = sh.type;
    s.KSSize = sh.ksSize;
    s.SelectRqstFlags = sh.flags;
    XFetchAnswer z = XFetch(d, 1, 0);
    EXPECT_EQ(z.rc, ER_DRV_NOT_CAPABLE);
    EXPECT_FALSE(z.hasRowSet);
    EXPECT_EQ(XFetch(d, 1).rc, ER_DRV_NOT_CAPABLE);
  }
  s.CursType = 7;
  EXPECT_EQ(XFetch(d, 1, 1).rc, ER_DRV_NOT_CAPABLE);
  // A scalar aggregate on a keyset-driven or dynamic cursor reads forward.
  s.CursType = SQL_CURSOR_KEYSET_DRIVEN;
  s.SelectRqstFlags = SCR_F_AGGREGATE;
  XFetchAnswer fw = XFetch(d, 1, 1);
  EXPECT_EQ(fw.rc, ER_SUCCESS) << Errors(d);
  EXPECT_EQ(fw.First(), Range(1, 3));
  EXPECT_EQ(fw.status, Statuses(3, 0, 2));
  // The result is exhausted: no rows answers "no data" with the empty rowset.
  XFetchAnswer none = XFetch(d, 1, 1);
  EXPECT_EQ(none.rc, ER_NO_DATA_FOUND);
  EXPECT_TRUE(none.hasRowSet);
  EXPECT_EQ(none.crow, 0u);
  EXPECT_EQ(none.status, Statuses(0, 0, 5));
  engine.ops().endCursor(d);
}

TEST_F(FetchSqlite, RetrieveDataOffKeepsStatusesOnly) {
  Fill("t", 4);
  handle_t h = Scrollable(hConn, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 3);
  sgn32 off = 0;
  ASSERT_EQ(engine.ops().setDrvParameter(h, DRVP_STMT_RETRIEVE_DATA, &off), ER_SUCCESS);
  ASSERT_EQ(Open(h, "SELECT i FROM t ORDER BY i"), ER_SUCCESS);
  XFetchAnswer a = XFetch(h, 3, 1);
  EXPECT_EQ(a.rc, ER_SUCCESS);
  EXPECT_EQ(a.crow, 2u);
  EXPECT_TRUE(a.rows.empty());
  EXPECT_EQ(a.status, Statuses(2, 0, 1));
  engine.ops().endCursor(h);
}

// The backend hands out one row per fetch when a long column is described:
// every rowset still gets all its rows.
TEST_F(FetchSqlite, LongColumnRowsetsAreFull) {
  Fill("lt", 12);
  for (sgn32 type : {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_STATIC}) {
    SCOPED_TRACE(type);
    handle_t h = Scrollable(hConn, type, SQL_CONCUR_READ_ONLY, 5);
    ASSERT_EQ(Open(h, "SELECT i, txt FROM lt ORDER BY i"), ER_SUCCESS) << Errors(h);
    if (type == SQL_CURSOR_FORWARD_ONLY) {
      ASSERT_TRUE(CursorHasLongColumn(ODBC_CursorRec(h))) << "TEXT is described as a long column";
      ip.counts.clear();
    }
    XFetchAnswer a = XFetch(h, 1, 1);
    EXPECT_EQ(a.rc, ER_SUCCESS);
    EXPECT_EQ(a.First(), Range(1, 5));
    EXPECT_EQ(a.rows[4], "5|r5");
    if (type == SQL_CURSOR_FORWARD_ONLY) {
      EXPECT_EQ(ip.counts["fetch"], 5);
      EXPECT_EQ(XFetch(h, 1, 1).First(), Range(6, 10));
      XFetchAnswer tail = XFetch(h, 1, 1);
      EXPECT_EQ(tail.First(), Range(11, 12));
      EXPECT_EQ(tail.status, Statuses(2, 0, 3));
    } else {
      EXPECT_EQ(XFetch(h, 11, 1).First(), Range(11, 12));
    }
    engine.ops().endCursor(h);
  }
}

class FetchSqliteKeyset : public FetchSqlite {
 protected:
  std::vector<std::string> prepared;  // the statements the engine prepares, in order
  void SetUp() override {
    FetchSqlite::SetUp();
    RecordPrepares(&prepared);
  }
  handle_t OpenKeyset(const std::string& sql, sgn32 rsSize, sgn32 conc = SQL_CONCUR_READ_ONLY) {
    handle_t h = Scrollable(hConn, SQL_CURSOR_KEYSET_DRIVEN, conc, rsSize);
    EXPECT_EQ(State(h)->CursType, SQL_CURSOR_KEYSET_DRIVEN);
    EXPECT_EQ(OpenScrollable(h, sql), ER_SUCCESS) << Errors(h);
    return h;
  }
};

TEST_F(FetchSqliteKeyset, ScrollsByAbsoluteRow) {
  Fill("t", 25);
  for (sgn32 ft : {-1, 1}) {
    handle_t h = OpenKeyset("SELECT i, s FROM t", 10);
    prepared.clear();
    ip.counts.clear();
    CheckAbsolute(h, ft);
    // One rowset SELECT, prepared once on the client's cursor and run once per rowset read.
    ASSERT_EQ(prepared.size(), 1u);
    std::string keys = "_ROWID_ IN (?";  // the driver's best row identifier, the one key column
    for (int i = 1; i < 10; i++) keys += ", ?";
    keys += ")";
    EXPECT_EQ(prepared[0], "SELECT  i, s FROM t  WHERE ( " + keys + " )    ORDER BY _ROWID_  ");
    EXPECT_EQ(ip.counts["execute"], 7);
    EXPECT_EQ(XFetch(h, 3, ft).rows[0], "3|r3");
    engine.ops().endCursor(h);
  }
}

TEST_F(FetchSqliteKeyset, OthersChangesShowAsTheyHappen) {
  Fill("t", 25);
  const std::string sql = "SELECT i, s FROM t WHERE i <= 20 ORDER BY i DESC";
  handle_t h = OpenKeyset(sql, 6);
  XFetchAnswer a = XFetch(h, 1, 1);
  ASSERT_EQ(a.rc, ER_SUCCESS) << Errors(h);
  EXPECT_EQ(a.First(), (std::vector<std::string>{"20", "19", "18", "17", "16", "15"}));
  ASSERT_EQ(Exec(hConn2, "DELETE FROM t WHERE i = 18 OR i = 13"), ER_SUCCESS);
  ASSERT_EQ(Exec(hConn2, "UPDATE t SET s = 'new' WHERE i = 19"), ER_SUCCESS);
  ASSERT_EQ(Exec(hConn2, "INSERT INTO t VALUES (0, 'r0')"), ER_SUCCESS);
  a = XFetch(h, 1, 1);
  ASSERT_EQ(a.rc, ER_SUCCESS) << Errors(h);
  EXPECT_EQ(a.rows,
            (std::vector<std::string>{"20|r20", "19|new", "NULL|NULL", "17|r17", "16|r16", "15|r15"}));
  EXPECT_EQ(a.status, (std::vector<int>{0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(a.rsltSetSize, 20);
  a = XFetch(h, 7, 1);
  EXPECT_EQ(a.rows, (std::vector<std::string>{"14|r14", "NULL|NULL", "12|r12", "11|r11", "10|r10", "9|r9"}));
  EXPECT_EQ(a.status, (std::vector<int>{0, 1, 0, 0, 0, 0}));
  // The last rowset: the row added by the other connection is not in the keyset.
  a = XFetch(h, 0, 1);
  EXPECT_EQ(a.First(), (std::vector<std::string>{"6", "5", "4", "3", "2", "1"}));
  // A deleted row stays deleted; the new row appears only with the next execute.
  EXPECT_EQ(XFetch(h, 3, 1).status[0], 1);
  ASSERT_EQ(OpenScrollable(h, sql), ER_SUCCESS) << Errors(h);
  a = XFetch(h, 0, 1);
  EXPECT_EQ(a.First(), (std::vector<std::string>{"5", "4", "3", "2", "1", "0"}));
  EXPECT_EQ(a.rsltSetSize, 19);
  engine.ops().endCursor(h);
}

// A rowset read by several SELECTs (a small parameter limit) with rows
// deleted in different SELECTs and at the end: every deleted row keeps its
// place, and the rowset has all its rows.
TEST_F(FetchSqliteKeyset, DeletedRowsAcrossSeveralSelects) {
  Fill("t", 30);
  struct Case {
    int maxParams;
    int selects;
  } cases[] = {{4, 3}, {3, 4}, {255, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.maxParams);
    handle_t h = OpenKeyset("SELECT i, s FROM t WHERE i > 10 ORDER BY i", 10);
    State(h)->cMaxParams = c.maxParams;
    ASSERT_EQ(Exec(hConn2, "DELETE FROM t WHERE i IN (12, 16, 19, 20)"), ER_SUCCESS);
    ip.counts.clear();
    XFetchAnswer a = XFetch(h, 1, 1);
    ASSERT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(ip.counts["execute"], c.selects + (c.maxParams == 255 ? 1 : c.selects));  // rows, then keys
    EXPECT_EQ(a.crow, 10u);
    EXPECT_EQ(a.First(),
              (std::vector<std::string>{"11", "NULL", "13", "14", "15", "NULL", "17", "18", "NULL", "NULL"}));
    EXPECT_EQ(a.status, (std::vector<int>{0, 1, 0, 0, 0, 1, 0, 0, 1, 1}));
    engine.ops().endCursor(h);
    ASSERT_EQ(Exec(hConn, "INSERT INTO t VALUES (12, 'r12'), (16, 'r16'), (19, 'r19'), (20, 'r20')"),
              ER_SUCCESS);
  }
}

TEST_F(FetchSqliteKeyset, LongColumnRowsetsAreFull) {
  Fill("lt", 12);
  handle_t h = OpenKeyset("SELECT i, txt FROM lt", 5);
  ASSERT_EQ(Exec(hConn2, "DELETE FROM lt WHERE i = 2"), ER_SUCCESS);
  XFetchAnswer a = XFetch(h, 1, 1);
  ASSERT_EQ(a.rc, ER_SUCCESS) << Errors(h);
  EXPECT_EQ(a.rows, (std::vector<std::string>{"1|r1", "NULL|NULL", "3|r3", "4|r4", "5|r5"}));
  EXPECT_EQ(a.status, (std::vector<int>{0, 1, 0, 0, 0}));
  a = XFetch(h, 0, 1);
  EXPECT_EQ(a.First(), Range(8, 12));
  engine.ops().endCursor(h);
}

TEST_F(FetchSqliteKeyset, RowsetSizeChangePreparesAgain) {
  Fill("t", 25);
  handle_t h = OpenKeyset("SELECT i, s FROM t", 4);
  EXPECT_EQ(XFetch(h, 1, 1).First(), Range(1, 4));
  prepared.clear();
  EXPECT_EQ(XFetch(h, 5, 1).First(), Range(5, 8));
  EXPECT_TRUE(prepared.empty());
  sgn32 six = 6;
  ASSERT_EQ(engine.ops().setDrvParameter(h, DRVP_STMT_ROWSET_SIZE, &six), ER_SUCCESS);
  XFetchAnswer a = XFetch(h, 5, 1);
  EXPECT_EQ(a.First(), Range(5, 10));
  ASSERT_EQ(prepared.size(), 1u);
  EXPECT_EQ(std::count(prepared[0].begin(), prepared[0].end(), '?'), 6);
  engine.ops().endCursor(h);
}

// The old values of optimistic concurrency line up with the rowset: all
// table columns, or with extent 2 the select list (a copy of the rowset),
// for keyset-driven, static and dynamic cursors; a deleted row leaves an
// empty row.
TEST_F(FetchSqliteKeyset, OptimisticValuesLineUpWithTheRowset) {
  ASSERT_EQ(Exec(hConn, "CREATE TABLE ov (i INTEGER PRIMARY KEY, s VARCHAR(20), n INTEGER)"), ER_SUCCESS);
  ASSERT_EQ(Exec(hConn,
                 "INSERT INTO ov VALUES (1, 'a', 10), (2, 'b', 20), (3, 'c', 30), (4, 'd', 40), "
                 "(5, 'e', 50)"),
            ER_SUCCESS);
  struct Case {
    sgn32 type, extent;
    std::vector<std::string> values;  // after row 3 went and row 2 changed
  } cases[] = {
      {SQL_CURSOR_KEYSET_DRIVEN, 1, {"1|a|10", "2|B|20", "NULL|NULL|NULL", "4|d|40"}},
      {SQL_CURSOR_KEYSET_DRIVEN, 2, {"a", "B", "NULL", "d"}},
      {SQL_CURSOR_STATIC, 1, {"1|a|10", "2|b|20", "3|c|30", "4|d|40"}},  // read at the first fetch
      {SQL_CURSOR_STATIC, 2, {"a", "b", "c", "d"}},
      {SQL_CURSOR_DYNAMIC, 1, {"1|a|10", "2|B|20", "4|d|40", "5|e|50"}},
      {SQL_CURSOR_DYNAMIC, 2, {"a", "B", "d", "e"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + "/" + std::to_string(c.extent));
    ASSERT_EQ(Exec(hConn, "UPDATE ov SET s = 'b' WHERE i = 2"), ER_SUCCESS);
    ASSERT_EQ(Exec(hConn, "INSERT OR IGNORE INTO ov VALUES (3, 'c', 30)"), ER_SUCCESS);
    // Dynamic without the client's second extended fetch: set in the state.
    handle_t h = Scrollable(hConn, c.type == SQL_CURSOR_DYNAMIC ? SQL_CURSOR_KEYSET_DRIVEN : c.type,
                            SQL_CONCUR_VALUES, 4);
    State(h)->CursType = c.type;
    sgn32 extent = c.extent;
    ASSERT_EQ(engine.ops().setDrvParameter(h, DRVP_STMT_CONC_VALUE_EXTENT, &extent), ER_SUCCESS);
    ASSERT_EQ(OpenScrollable(h, "SELECT s FROM ov ORDER BY i"), ER_SUCCESS) << Errors(h);
    ASSERT_EQ(State(h)->CursType, c.type);
    ASSERT_EQ(State(h)->ConcType, SQL_CONCUR_VALUES);
    if (c.type == SQL_CURSOR_STATIC) {
      // The static cursor reads its snapshot and the values at its first fetch.
      ASSERT_EQ(XFetch(h, 5, 1).rc, ER_SUCCESS) << Errors(h);
    }
    ASSERT_EQ(Exec(hConn2, "DELETE FROM ov WHERE i = 3"), ER_SUCCESS);
    ASSERT_EQ(Exec(hConn2, "UPDATE ov SET s = 'B' WHERE i = 2"), ER_SUCCESS);
    XFetchAnswer a = XFetch(h, 1, c.type == SQL_CURSOR_DYNAMIC ? SQL_FETCH_FIRST : SQL_FETCH_NEXT);
    ASSERT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    const Dataset* v = State(h)->pDSOptConcColVals;
    ASSERT_NE(v, nullptr);
    std::vector<std::string> got = RowsText(v, 4);
    EXPECT_EQ(got, c.values);
    engine.ops().endCursor(h);
  }
}

// A row whose positioned operation failed is reported "error" once, then
// "success" again.
TEST_F(FetchSqliteKeyset, ErrorStatusIsReportedOnce) {
  Fill("t", 8);
  for (sgn32 type : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_STATIC}) {
    SCOPED_TRACE(type);
    handle_t h = Scrollable(hConn, type, SQL_CONCUR_VALUES, 4);
    ASSERT_EQ(OpenScrollable(h, "SELECT i, s FROM t ORDER BY i"), ER_SUCCESS) << Errors(h);
    ASSERT_EQ(XFetch(h, 1, 1).status, Statuses(4, 0));
    KeySet* ks = State(h)->pKeySet;
    ASSERT_NE(ks->rgfRowStatus, nullptr);
    ks->rgfRowStatus[1] = SQL_ROW_ERROR;  // as a failed optimistic update leaves it
    ks->rgfRowStatus[2] = SQL_ROW_UPDATED;
    XFetchAnswer a = XFetch(h, 1, 1);
    EXPECT_EQ(a.status, (std::vector<int>{0, SQL_ROW_ERROR, SQL_ROW_UPDATED, 0}));
    // Updates too are reported once by the static cursor; the keyset-driven one keeps them.
    a = XFetch(h, 1, 1);
    EXPECT_EQ(a.status, (std::vector<int>{0, 0, type == SQL_CURSOR_STATIC ? 0 : SQL_ROW_UPDATED, 0}));
    engine.ops().endCursor(h);
  }
}

// Lock concurrency on a static cursor locks every row of its result, also
// when the keyset went to the cache files (each row by a self-assigning UPDATE).
TEST_F(FetchSqliteKeyset, StaticLockCoversASpilledKeyset) {
  Fill("t", 5050);
  sgn32 off = 0;
  ASSERT_EQ(engine.ops().setDrvParameter(hConn, DRVP_CONN_AUTOCOMMIT, &off), ER_SUCCESS);
  handle_t h = Scrollable(hConn, SQL_CURSOR_STATIC, SQL_CONCUR_LOCK, 10);
  ASSERT_EQ(OpenScrollable(h, "SELECT i, s FROM t ORDER BY i"), ER_SUCCESS) << Errors(h);
  ASSERT_EQ(State(h)->ConcType, SQL_CONCUR_LOCK);
  ASSERT_EQ(State(h)->pKeySet->KSC.fState, DSC_SPILLED);
  ip.counts.clear();
  prepared.clear();
  XFetchAnswer a = XFetch(h, 5041, 1);
  ASSERT_EQ(a.rc, ER_SUCCESS) << Errors(h);
  EXPECT_EQ(a.First(), Range(5041, 5050));
  ASSERT_EQ(prepared.size(), 1u);
  EXPECT_EQ(prepared[0], "UPDATE \"t\" SET _ROWID_ = ? WHERE _ROWID_ = ?");
  EXPECT_EQ(ip.counts["execute"], 5050);
  EXPECT_EQ(ip.counts["close"], 0) << "the client's cursor stays open with lock concurrency";
  EXPECT_EQ(XFetch(h, 1, 1).First(), Range(1, 10));
  engine.ops().endCursor(h);
  ASSERT_EQ(engine.ops().commit(hConn), ER_SUCCESS);
}

// The static cursor's first fetch: a row lock not taken and a values read
// that fails each answer with their code and log their line at error level.
TEST_F(FetchSqliteKeyset, StaticFirstFetchFailuresLogTheirLine) {
  Fill("t", 3);
  struct Case {
    sgn32 conc;
    const char* op;
    std::vector<errcode_t> answers;
    errcode_t rc;
    const char* line;
  } cases[] = {
      {SQL_CONCUR_LOCK,
       "execute",
       {ER_COMM_FAILURE},
       ER_ROW_ERROR,
       "scs_p_LockRows: Couldn't acquire row lock(s)."},
      // The snapshot takes two fetches (its rows, then none), the values the third.
      {SQL_CONCUR_VALUES,
       "fetch",
       {ER_SUCCESS, ER_SUCCESS, ER_COMM_FAILURE},
       ER_COMM_FAILURE,
       "scs_p_GetOptConcColVals: Could not fill optimistic concurrency values cache"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    handle_t h = Scrollable(hConn, SQL_CURSOR_STATIC, c.conc, 2);
    ASSERT_EQ(OpenScrollable(h, "SELECT i, s FROM t ORDER BY i"), ER_SUCCESS) << Errors(h);
    ASSERT_EQ(State(h)->ConcType, c.conc);
    test_support::LogCapture log;
    ip.fail[c.op] = c.answers;
    EXPECT_EQ(XFetch(h, 1).rc, c.rc);
    ip.fail.clear();
    EXPECT_TRUE(log.HasExact(LOG_ERR, c.line)) << log.Dump();
    engine.ops().endCursor(h);
  }
}

// Only the text the engine appended is cut, never the client's own.
TEST_F(FetchSqliteKeyset, ForUpdateCutTakesOnlyWhatWasAppended) {
  Fill("t", 3);
  handle_t h = OpenKeyset("SELECT i, s FROM t WHERE s <> ' for update' ORDER BY i", 2);
  TSCCL* s = State(h);
  s->ConcType = SQL_CONCUR_LOCK;
  s->bLockByUpdate = 0;
  size_t appended = 0;
  // SQLite refuses FOR UPDATE: the prepare fails, the text is what counts.
  scs_p_RowSetSelectPrepare(s, 2, 1, &appended);
  EXPECT_EQ(appended, strlen(" FOR UPDATE"));
  const std::string text = s->Rqst.translated;
  ASSERT_EQ(text.substr(text.size() - appended), " FOR UPDATE");
  scs_p_ForUpdateCut(s, appended);
  EXPECT_EQ(std::string(s->Rqst.translated), text.substr(0, text.size() - appended));
  EXPECT_NE(std::string(s->Rqst.translated).find("' for update'"), std::string::npos);
  scs_p_ForUpdateCut(s, 0);
  EXPECT_EQ(std::string(s->Rqst.translated), text.substr(0, text.size() - appended));
  engine.ops().endCursor(h);
}

// A driver error during an internal whole-result read: the backend's fetch
// answers the rows so far with success and queues the diagnostics.
decltype(drv_ops::fetch) g_realFetch = nullptr;
int g_fetchCalls = 0, g_failAt = 0;
handle_t g_failOn = 0;  // only fetches on this cursor count; 0: all
errcode_t FetchFailingAt(handle_t h, uns16 n, Dataset* ds) {
  errcode_t rc = g_realFetch(h, n, ds);
  if (g_failOn && h != g_failOn) return rc;
  if (++g_fetchCalls == g_failAt && rc == ER_SUCCESS) {
    ErrorQ* q = &ODBC_CursorRec(h)->pendingError;
    FlushErrorMsgQ(q);
    QErrorMsg(q, DBErrMsgCreate("injected: connection lost", 77, "08S01"));
  }
  return rc;
}

TEST_F(FetchSqlite, SnapshotCutShortIsAnError) {
  Fill("t", 450);
  g_realFetch = ip.ops.fetch;
  ip.ops.fetch = FetchFailingAt;
  // Client-visible fetches keep the backend's behaviour: rows so far, success.
  g_fetchCalls = 0;
  g_failAt = 1;
  handle_t f = NewCursor(hConn);
  ASSERT_EQ(Open(f, "SELECT i FROM t"), ER_SUCCESS);
  Dataset ds{};
  EXPECT_EQ(engine.ops().fetch(f, 10, &ds), ER_SUCCESS);
  EXPECT_EQ(ds.nRows, 10);
  Dataset_Done(&ds);
  engine.ops().endCursor(f);
  // The static cursor's snapshot read stops at the second batch: an error, not
  // 200 rows, of the execute (read-only) or of the first fetch (keyed).
  for (sgn32 conc : {SQL_CONCUR_READ_ONLY, SQL_CONCUR_VALUES}) {
    SCOPED_TRACE(conc);
    handle_t h = Scrollable(hConn, SQL_CURSOR_STATIC, conc, 10);
    g_failOn = h;
    g_fetchCalls = 0;
    g_failAt = 2;
    errcode_t rc = OpenScrollable(h, "SELECT i FROM t ORDER BY i");
    XFetchAnswer a;
    if (rc == ER_SUCCESS) {
      EXPECT_EQ(conc, SQL_CONCUR_VALUES) << "a read-only snapshot is read at execute";
      a = XFetch(h, 1, 1);
      rc = a.rc;
    }
    EXPECT_EQ(rc, ErrorFromSQLState("08S01") ? ErrorFromSQLState("08S01") : ER_GENERAL_ERROR);
    EXPECT_FALSE(a.hasRowSet);
    EXPECT_NE(Errors(h).find("injected: connection lost"), std::string::npos);
    XFetchAnswer again = XFetch(h, 1, 1);
    EXPECT_TRUE(again.rc != ER_SUCCESS || again.rows.empty()) << "no rows of a result cut short";
    g_failOn = 0;
    engine.ops().endCursor(h);
  }
  ip.ops.fetch = g_realFetch;
}

// The key re-read of the deleted-row check and the old values, cut short by a
// driver error: the fetch fails; no live row is reported deleted.
TEST_F(FetchSqlite, KeyRereadAndValuesCutShortAreErrors) {
  Fill("t", 20);
  g_realFetch = ip.ops.fetch;
  for (const char* what : {"keys", "values"}) {
    SCOPED_TRACE(what);
    const bool values = std::string(what) == "values";
    handle_t h =
        Scrollable(hConn, SQL_CURSOR_KEYSET_DRIVEN, values ? SQL_CONCUR_VALUES : SQL_CONCUR_READ_ONLY, 6);
    ASSERT_EQ(OpenScrollable(h, "SELECT i, s FROM t ORDER BY i"), ER_SUCCESS) << Errors(h);
    State(h)->cMaxParams = 2;  // two rows per SELECT: three fetches on the second auxiliary cursor
    if (!values) {
      ASSERT_EQ(Exec(hConn2, "DELETE FROM t WHERE i = 1"), ER_SUCCESS);
    }
    ip.ops.fetch = FetchFailingAt;
    g_failOn = State(h)->hSCCurs2;
    g_fetchCalls = 0;
    g_failAt = 2;
    XFetchAnswer a = XFetch(h, 1, 1);
    ip.ops.fetch = g_realFetch;
    g_failOn = 0;
    EXPECT_EQ(a.rc, ErrorFromSQLState("08S01") ? ErrorFromSQLState("08S01") : ER_GENERAL_ERROR);
    EXPECT_FALSE(a.hasRowSet);
    EXPECT_NE(Errors(h).find("injected: connection lost"), std::string::npos);
    // Read again without the failure: only the row that went is deleted.
    a = XFetch(h, 1, 1);
    ASSERT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.status, (std::vector<int>{values ? 0 : 1, 0, 0, 0, 0, 0}));
    engine.ops().endCursor(h);
  }
}

}  // namespace
}  // namespace engine_test
