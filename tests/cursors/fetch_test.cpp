// The fetch engines in front of the real backend and the SQLite driver on a
// file database that two connections share: absolute scrolling of static
// and keyset-driven cursors, snapshots that later changes do not touch,
// deleted rows, optimistic values, the dispatch's refusals, rowsets with a
// long column, and internal reads cut short by an injected driver error.
#include <functional>

#include "cursors/fetch_engines.h"
#include "cursors/fetch_fixture.h"
#include "cursors/snapshot.h"

namespace engine_test {
namespace {

class FetchSqlite : public FetchSession {
 protected:
  handle_t hConn = 0, hConn2 = 0;
  void SetUp() override {
    EngineSession::SetUp();
    const std::string cs = std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + dir.file("f.db");
    ASSERT_EQ(Connect(cs, &hConn), ER_SUCCESS) << Errors(hServer);
    ASSERT_EQ(Connect(cs, &hConn2), ER_SUCCESS) << Errors(hServer);
    ASSERT_EQ(Exec(hConn, "CREATE TABLE t (i INTEGER PRIMARY KEY, s VARCHAR(20))"), ER_SUCCESS);
    ASSERT_EQ(Exec(hConn, "CREATE TABLE lt (i INTEGER PRIMARY KEY, txt TEXT)"), ER_SUCCESS);
  }
  void Fill(const char* table, int n) {
    ASSERT_EQ(Exec(hConn, std::string("WITH RECURSIVE g(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM g WHERE x < ") +
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
    EXPECT_EQ(State(h).pSnapShot->SSC.fState, n > 5000 ? DSC_SPILLED : DSC_IN_MEMORY);
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
    TSCCL& s = State(k);
    s.CursType = type;
    s.ConcType = conc;
    EXPECT_EQ(XFetch(k, 1, 1).rc, ER_INVALID_CRSTATE);
    engine.ops().endCursor(k);
  }

  // Orientation 0, and the plain fetch, on the cursors that move by orientation only.
  handle_t d = Scrollable(hConn, SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_READ_ONLY, 5);
  ASSERT_EQ(Open(d, "SELECT i FROM t"), ER_SUCCESS);
  TSCCL& s = State(d);
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

// A driver error during an internal whole-result read: the backend's fetch
// answers the rows so far with success and queues the diagnostics.
decltype(drv_ops::fetch) g_realFetch = nullptr;
int g_fetchCalls = 0, g_failAt = 0;
errcode_t FetchFailingAt(handle_t h, uns16 n, Dataset* ds) {
  errcode_t rc = g_realFetch(h, n, ds);
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
  // The static cursor's snapshot read stops at the second batch: an error, not 200 rows.
  g_fetchCalls = 0;
  g_failAt = 2;
  handle_t h = Scrollable(hConn, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 10);
  ASSERT_EQ(Open(h, "SELECT i FROM t ORDER BY i"), ER_SUCCESS);
  XFetchAnswer a = XFetch(h, 1, 1);
  EXPECT_EQ(a.rc, ErrorFromSQLState("08S01") ? ErrorFromSQLState("08S01") : ER_GENERAL_ERROR);
  EXPECT_NE(a.rc, ER_SUCCESS);
  EXPECT_FALSE(a.hasRowSet);
  EXPECT_NE(Errors(h).find("injected: connection lost"), std::string::npos);
  ip.ops.fetch = g_realFetch;
  engine.ops().endCursor(h);
}

}  // namespace
}  // namespace engine_test
