// The engine's statement operations in front of the real backend and the
// SQLite driver: combined calls, the rowset size the backend settles on,
// failed combined prepares, and long data on scrollable cursors whose
// statements the engine prepares again.
#include "cursors/engine_session.h"
#include "cursors/snapshot.h"
#include "cursors/statement.h"

namespace engine_test {
namespace {

class StatementSqlite : public EngineSession {
 protected:
  handle_t hConn = 0;
  void SetUp() override {
    EngineSession::SetUp();
    std::string cs =
        std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + dir.file("test.db");
    ASSERT_EQ(Connect(cs, &hConn), ER_SUCCESS) << Errors(hServer);
    ASSERT_EQ(Exec(hConn, "CREATE TABLE t (i INTEGER PRIMARY KEY, s VARCHAR(20), lt TEXT)"), ER_SUCCESS);
    for (int i = 0; i < 7; i++)
      ASSERT_EQ(Exec(hConn, "INSERT INTO t VALUES (" + std::to_string(i) + ", 'r" + std::to_string(i) +
                                "', '" + std::string(size_t(100 + i), char('a' + i)) + "')"),
                ER_SUCCESS);
  }
  static int LiveCursors() {
    int n = 0;
    for (uns16 i = 0; i < crsHandles.numAllocated && crsHandles.handleArray; i++)
      n += crsHandles.handleArray[i].version != 0;
    return n;
  }
  struct JResult {
    errcode_t rc;
    sgn32 rowSetSize, rows;
    uns16 nCols;
  };
  JResult ExecuteJ(handle_t h, const char* sql, sgn32 rowSetSize) {
    JResult r{ER_SUCCESS, rowSetSize, -9, 0};
    uns16 np = 0;
    Coldesc *cd = nullptr, *pd = nullptr;
    r.rc = engine.ops().executeJ(h, const_cast<char*>(sql), nullptr, 0, nullptr, &r.rowSetSize, &r.nCols, &cd,
                                 &np, &pd, &r.rows);
    FreeColdesc(cd, r.nCols);
    FreeColdesc(pd, np);
    return r;
  }
};

TEST_F(StatementSqlite, ExecuteJSettlesTheRowsetSize) {
  // Forward-only: the rowset size is not the engine's business.
  handle_t f = NewCursor(hConn);
  ip.counts.clear();
  JResult r = ExecuteJ(f, "SELECT i, s FROM t", 500);
  EXPECT_EQ(r.rc, ER_SUCCESS) << Errors(f);
  EXPECT_EQ(r.rowSetSize, 500);
  EXPECT_EQ(ip.counts["setDrvParameter"], 0);
  EXPECT_EQ(r.nCols, 2);
  EXPECT_EQ(FetchAll(f).size(), 7u);
  // Scrollable: the backend caps 500 at 100 and the client learns it; the
  // static read-only result is counted at execute.
  handle_t s = NewCursor(hConn, SQL_CURSOR_STATIC);
  r = ExecuteJ(s, "SELECT i, s FROM t", 500);
  EXPECT_EQ(r.rc, ER_SUCCESS) << Errors(s);
  EXPECT_EQ(r.rowSetSize, 100);
  EXPECT_EQ(ODBC_CursorRec(s)->st_sccl.RSSize, 100);
  EXPECT_EQ(r.rows, 7);
  EXPECT_EQ(FetchAll(s, 3).size(), 7u);
  // A DML statement counts what it changed.
  r = ExecuteJ(f, "UPDATE t SET s = 'u' WHERE i < 3", 1);
  EXPECT_EQ(r.rc, ER_SUCCESS) << Errors(f);
  EXPECT_EQ(r.rows, 3);
  engine.ops().endCursor(f);
  engine.ops().endCursor(s);
}

TEST_F(StatementSqlite, FailedPrepareJLeavesItsDiagnosticsOnTheConnection) {
  const int before = LiveCursors();
  for (sgn32 type : {sgn32(0), sgn32(SQL_CURSOR_STATIC)}) {
    handle_t h = 0x99;
    EXPECT_EQ(engine.ops().prepareJ(hConn, const_cast<char*>("SELECT i FROM nosuch"), SQL_CONCUR_READ_ONLY,
                                    type, &h),
              ER_SYNTAXIS);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(LiveCursors(), before);
    EXPECT_NE(Errors(hConn).find("no such table"), std::string::npos) << Errors(hConn);
  }
  handle_t h = 0;
  ASSERT_EQ(engine.ops().prepareJ(hConn, const_cast<char*>("SELECT i FROM t"), SQL_CONCUR_READ_ONLY,
                                  SQL_CURSOR_STATIC, &h),
            ER_SUCCESS);
  EXPECT_EQ(ODBC_CursorRec(h)->st_sccl.CursType, SQL_CURSOR_STATIC);
  ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(FetchAll(h).size(), 7u);
  engine.ops().endCursor(h);
}

// With the connection deferring long data, a scrollable cursor still gets its
// long values in its rows, also after the engine prepared it again.
TEST_F(StatementSqlite, ScrollableCursorsKeepLongDataUndeferred) {
  sgn32 on = 1;
  ASSERT_EQ(engine.ops().setDrvParameter(hConn, DRVP_CONN_DEFER_LONG_DATA, &on), ER_SUCCESS);
  handle_t f = NewCursor(hConn);
  ASSERT_EQ(engine.ops().prepare(f, const_cast<char*>("SELECT lt FROM t")), ER_SUCCESS);
  EXPECT_TRUE(ODBC_CursorRec(f)->st_sccl.bDeferLongData) << "forward-only cursors defer";
  engine.ops().endCursor(f);

  handle_t h = NewCursor(hConn, SQL_CURSOR_STATIC);
  const _Cursor* pc = ODBC_CursorRec(h);
  auto check = [&](const char* when) {
    SCOPED_TRACE(when);
    EXPECT_FALSE(pc->st_sccl.bDeferLongData);
    ASSERT_EQ(pc->nColdesc, 2);
    EXPECT_NE(pc->pColdesc[1].fetchLength, 0u);
    auto rows = FetchAll(h);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[6][1], std::string(106, 'g'));
  };
  ASSERT_EQ(Open(h, "SELECT i, lt FROM t ORDER BY i"), ER_SUCCESS) << Errors(h);
  check("prepared by the client");
  ASSERT_EQ(engine.ops().close(h), ER_SUCCESS);
  ip.counts.clear();
  ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(ip.counts["prepare"], 1);
  check("prepared again after close");
  EXPECT_TRUE(ODBC_ConnectRec(hConn)->bDeferLongData) << "the connection's switch stays";
  engine.ops().endCursor(h);
}

// On a deferring connection the statements the engine prepares itself are read
// whole: the keyset-driven cursor's rowset SELECT on the client's cursor, and
// the key SELECT on its own cursor, here over a binary key.
TEST_F(StatementSqlite, EnginePreparedStatementsKeepLongDataUndeferred) {
  sgn32 on = 1;
  ASSERT_EQ(engine.ops().setDrvParameter(hConn, DRVP_CONN_DEFER_LONG_DATA, &on), ER_SUCCESS);
  ASSERT_EQ(Exec(hConn, "CREATE TABLE bk (b BLOB PRIMARY KEY, lt TEXT)"), ER_SUCCESS);
  ASSERT_EQ(Exec(hConn, "INSERT INTO bk VALUES (x'01', 'one'), (x'02', 'two'), (x'03', 'three')"),
            ER_SUCCESS);
  for (const char* sql : {"SELECT i, lt FROM t ORDER BY i", "SELECT lt FROM bk ORDER BY b"}) {
    SCOPED_TRACE(sql);
    handle_t h = NewCursor(hConn, SQL_CURSOR_KEYSET_DRIVEN);
    sgn32 rs = 10;
    ASSERT_EQ(engine.ops().setDrvParameter(h, DRVP_STMT_ROWSET_SIZE, &rs), ER_SUCCESS);
    ASSERT_EQ(Open(h, sql), ER_SUCCESS) << Errors(h);
    PRSET set = nullptr;
    uns32 crow = 0;
    sgn32 size = 0;
    ASSERT_EQ(engine.ops().xFetch(h, &set, 1, &crow, &size), ER_SUCCESS) << Errors(h);
    ASSERT_NE(set, nullptr);
    const bool blob = strstr(sql, "bk") != nullptr;
    ASSERT_EQ(crow, blob ? 3u : 7u);
    const Dataset& ds = *set->pDataset;
    for (uns32 r = 0; r < crow; r++) {
      EXPECT_EQ(set->rgfRowStatus[r], 0) << r;
      EXPECT_EQ(ds.col[ds.nCols - 1].indicators[r], 0) << r;
    }
    EXPECT_EQ(CellText(ds, ds.nCols - 1, int(crow) - 1), blob ? "three" : std::string(106, 'g'));
    RS_Destroy(&set);
    engine.ops().endCursor(h);
  }
}

// A catalog call on a cursor that read a dynamic slice: the catalog rows are
// served as a static result of their own, with statuses for every row and
// nothing of the slice's keys.
TEST_F(StatementSqlite, CatalogResultAfterADynamicSlice) {
  sgn32 x2 = 0;
  uns16 len = 0;
  ASSERT_EQ(engine.ops().getDrvParameter(hConn, 0x22010008, &x2, 4, &len), ER_SUCCESS);
  handle_t h = NewCursor(hConn, SQL_CURSOR_DYNAMIC);
  ASSERT_EQ(ODBC_CursorRec(h)->st_sccl.CursType, SQL_CURSOR_DYNAMIC);
  ASSERT_EQ(Open(h, "SELECT i, s FROM t ORDER BY i"), ER_SUCCESS) << Errors(h);
  PRSET set = nullptr;
  uns32 crow = 0;
  sgn32 size = 0;
  ASSERT_EQ(engine.ops().xFetch2(h, &set, 0, &crow, &size, 2), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(crow, 1u);
  RS_Destroy(&set);
  DDColumns cols{};
  cols.tableName = strdup("t");
  ASSERT_EQ(engine.ops().ddColumns(h, &cols), ER_SUCCESS) << Errors(h);
  free(cols.tableName);
  sgn32 rs = 5;
  ASSERT_EQ(engine.ops().setDrvParameter(h, DRVP_STMT_ROWSET_SIZE, &rs), ER_SUCCESS);
  ASSERT_EQ(engine.ops().xFetch(h, &set, 1, &crow, &size), ER_SUCCESS) << Errors(h);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(crow, 3u) << "the columns of t";
  EXPECT_EQ(size, 3);
  for (int i = 0; i < 3; i++) EXPECT_EQ(set->rgfRowStatus[i], SQL_ROW_SUCCESS) << i;
  EXPECT_EQ(CellText(*set->pDataset, 3, 2), "lt");
  RS_Destroy(&set);
  engine.ops().endCursor(h);
}

TEST_F(StatementSqlite, BatchOfStatements) {
  handle_t h = NewCursor(hConn);
  Batch calls[3] = {{const_cast<char*>("INSERT INTO t (i, s) VALUES (10, 'x')"), {}, nullptr},
                    {const_cast<char*>("UPDATE t SET s = 'y' WHERE i >= 5"), {}, nullptr},
                    {const_cast<char*>("DELETE FROM nosuchtable"), {}, nullptr}};
  uns16 n = 0;
  sgn32* results = nullptr;
  EXPECT_NE(engine.ops().executeBatchJ(h, 3, calls, &n, &results), ER_SUCCESS);
  EXPECT_EQ(n, 2);
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(std::vector<sgn32>(results, results + 3), (std::vector<sgn32>{1, 3, 0}));
  free(results);
  EXPECT_NE(Errors(h).find("nosuchtable"), std::string::npos) << Errors(h);
  engine.ops().endCursor(h);
}

// A static cursor that is not read-only reads its keys, then its rows by the
// statement the analysis extended with them.
TEST_F(StatementSqlite, StaticCursorWithConcurrencyIsPreparedWithItsKeys) {
  handle_t h = NewCursor(hConn, SQL_CURSOR_STATIC);
  sgn32 conc = SQL_CONCUR_VALUES;
  errcode_t e = engine.ops().setDrvParameter(h, DRVP_STMT_CONCURRENCY, &conc);
  ASSERT_TRUE(e == ER_SUCCESS || e == ER_OPT_VAL_CHANGED);
  ASSERT_EQ(ODBC_CursorRec(h)->st_sccl.ConcType, SQL_CONCUR_VALUES);
  const char* sql = "SELECT s FROM t WHERE i > 2";
  ASSERT_EQ(engine.ops().prepare(h, const_cast<char*>(sql)), ER_SUCCESS) << Errors(h);
  ip.counts.clear();
  ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS) << Errors(h);
  const _Cursor* pc = ODBC_CursorRec(h);
  EXPECT_EQ(ip.counts["prepare"], 2) << "the key read, then the client's cursor again";
  ASSERT_NE(pc->st_sccl.Rqst.translated, nullptr);
  EXPECT_STREQ(pc->request.original, pc->st_sccl.Rqst.translated);
  EXPECT_STRNE(pc->request.original, sql);
  EXPECT_NE(std::string(pc->request.original).find("ORDER BY"), std::string::npos) << pc->request.original;
  EXPECT_EQ(pc->st_sccl.RsltSetSize, 4);
  auto rows = FetchAll(h);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], std::vector<std::string>{"r3"});
  EXPECT_EQ(rows[3], std::vector<std::string>{"r6"});
  engine.ops().endCursor(h);
}

// A row another connection adds between the static cursor's key read and its
// own execute is in the snapshot but has no key: it comes with status 0, and
// no status is read beyond the keys'.
TEST_F(StatementSqlite, StaticRowAddedAfterTheKeysWereRead) {
  handle_t other = 0;
  ASSERT_EQ(Connect(std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + dir.file("test.db"),
                    &other),
            ER_SUCCESS);
  handle_t h = NewCursor(hConn, SQL_CURSOR_STATIC);
  sgn32 conc = SQL_CONCUR_VALUES, rs = 10;
  ASSERT_EQ(engine.ops().setDrvParameter(h, DRVP_STMT_CONCURRENCY, &conc), ER_SUCCESS);
  ASSERT_EQ(engine.ops().setDrvParameter(h, DRVP_STMT_ROWSET_SIZE, &rs), ER_SUCCESS);
  ASSERT_EQ(engine.ops().prepare(h, const_cast<char*>("SELECT i, s FROM t")), ER_SUCCESS) << Errors(h);
  int executes = 0;
  ip.before["execute"] = [&] {
    // The second execute is the client's cursor's, after the key read.
    if (++executes == 2) {
      ASSERT_EQ(Exec(other, "INSERT INTO t VALUES (7, 'added', 'x')"), ER_SUCCESS);
    }
  };
  ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS) << Errors(h);
  PRSET set = nullptr;
  uns32 crow = 0;
  sgn32 size = 0;
  ASSERT_EQ(engine.ops().xFetch(h, &set, 1, &crow, &size), ER_SUCCESS) << Errors(h);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(crow, 8u);
  for (uns32 i = 0; i < crow; i++) EXPECT_EQ(set->rgfRowStatus[i], SQL_ROW_SUCCESS) << i;
  EXPECT_EQ(CellText(*set->pDataset, 1, 7), "added");
  RS_Destroy(&set);
  engine.ops().endCursor(h);
}

}  // namespace
}  // namespace engine_test
