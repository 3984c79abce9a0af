// The engine in front of the real backend and the SQLite driver on a file
// database that two connections share: forward-only traffic unchanged,
// static cursors read from their snapshot, the capability string, discovery
// of awkward names, and nothing left behind when connections and sessions end.
#include "cursors/engine_session.h"
#include "cursors/snapshot.h"

namespace engine_test {
namespace {

class EngineSqlite : public EngineSession {
 protected:
  handle_t hConn = 0, hConn2 = 0;
  std::string ConnStr() const {
    return std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + dir.file("test.db");
  }
  void SetUp() override {
    EngineSession::SetUp();
    ASSERT_EQ(Connect(ConnStr(), &hConn), ER_SUCCESS) << Errors(hServer);
    ASSERT_EQ(Connect(ConnStr(), &hConn2), ER_SUCCESS) << Errors(hServer);
    ASSERT_EQ(Exec(hConn, "CREATE TABLE t (i INTEGER, s VARCHAR(20), d DOUBLE)"), ER_SUCCESS);
  }
  void Fill(int n) {
    ASSERT_EQ(Exec(hConn, "BEGIN"), ER_SUCCESS);
    for (int i = 0; i < n; i++)
      ASSERT_EQ(Exec(hConn, "INSERT INTO t VALUES (" + std::to_string(i) + ", 'r" + std::to_string(i) +
                                "', " + std::to_string(i) + ".5)"),
                ER_SUCCESS);
    ASSERT_EQ(Exec(hConn, "COMMIT"), ER_SUCCESS);
  }
};

TEST_F(EngineSqlite, ForwardOnlyPassesThrough) {
  Fill(7);
  for (uns16 block : {1, 3, 100}) {
    ip.counts.clear();
    auto rows = Query(hConn, "SELECT i, s, d FROM t ORDER BY i", 0, block);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[6], (std::vector<std::string>{"6", "r6", "6.5"}));
    // Every fetch went to the backend as asked; nothing was closed behind the client.
    EXPECT_EQ(ip.counts["fetch"], (7 + block - 1) / block + 1);
    EXPECT_EQ(ip.counts["close"], 0);
  }
}

TEST_F(EngineSqlite, StaticCursorReadsItsSnapshot) {
  Fill(30);
  handle_t h = NewCursor(hConn, SQL_CURSOR_STATIC);
  EXPECT_EQ(ODBC_CursorRec(h)->st_sccl.CursType, SQL_CURSOR_STATIC) << "negotiated through SC_GetInfo";
  ASSERT_EQ(engine.ops().prepare(h, const_cast<char*>("SELECT i, s FROM t ORDER BY i")), ER_SUCCESS)
      << Errors(h);
  ip.counts.clear();
  // The whole result is read at execute and the driver's cursor closed: a row
  // the other connection adds later is not in the snapshot.
  ip.before["close"] = [&] { ASSERT_EQ(Exec(hConn2, "INSERT INTO t VALUES (99, 'late', 0)"), ER_SUCCESS); };
  ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS) << Errors(h);
  ip.before.clear();
  EXPECT_EQ(ip.counts["fetch"], 2);  // 200 rows at a time, until an empty batch
  EXPECT_EQ(ip.counts["close"], 1);
  auto rows = FetchAll(h, 8);
  ASSERT_EQ(rows.size(), 30u);
  EXPECT_EQ(rows[29], (std::vector<std::string>{"29", "r29"}));
  EXPECT_EQ(ip.counts["fetch"], 2) << "the fetches read the snapshot";
  EXPECT_EQ(ip.counts["close"], 1);
  EXPECT_EQ(ODBC_CursorRec(h)->st_sccl.RsltSetSize, 30);
  // Closed and executed again: a fresh snapshot with the new row.
  ASSERT_EQ(engine.ops().close(h), ER_SUCCESS);
  ASSERT_EQ(Open(h, "SELECT i, s FROM t ORDER BY i"), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(FetchAll(h, 100).size(), 31u);
  // Executed again without a close: the new result, not the old snapshot.
  ASSERT_EQ(Exec(hConn2, "INSERT INTO t VALUES (100, 'later', 0)"), ER_SUCCESS);
  ASSERT_EQ(Open(h, "SELECT i, s FROM t ORDER BY i"), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(FetchAll(h, 100).size(), 32u);
  engine.ops().endCursor(h);
}

TEST_F(EngineSqlite, FailedSnapshotReadIsReported) {
  Fill(450);
  handle_t h = NewCursor(hConn, SQL_CURSOR_STATIC);
  ASSERT_EQ(engine.ops().prepare(h, const_cast<char*>("SELECT i FROM t")), ER_SUCCESS) << Errors(h);
  ip.counts.clear();
  ip.fail["fetch"] = {ER_SUCCESS, ER_GENERAL_ERROR};
  EXPECT_EQ(engine.ops().execute(h), ER_GENERAL_ERROR);
  EXPECT_FALSE(ODBC_CursorRec(h)->st_sccl.f_state & SCCL_SNAPSHOT_READ);
  // The rest of the result is not served as if it were the whole.
  EXPECT_EQ(ip.counts["close"], 1);
  Dataset ds{};
  engine.ops().fetch(h, 10, &ds);
  EXPECT_EQ(ds.nRows, 0);
  Dataset_Done(&ds);
  engine.ops().endCursor(h);
}

TEST_F(EngineSqlite, CapabilityStringFollowsCommitBehaviour) {
  sgn32 commit = -1;
  uns16 len = 0;
  ASSERT_EQ(ip.ops.getDrvParameter(hConn, DRVP_CONN_INFO_INT + SQL_CURSOR_COMMIT_BEHAVIOR, &commit, 4, &len),
            ER_SUCCESS);
  EXPECT_EQ(CapabilityString(hConn), "001.005:111111" + std::to_string(commit) + "00100");
}

TEST_F(EngineSqlite, DiscoveryOfAwkwardNames) {
  for (const char* ddl :
       {"CREATE TABLE \"t_x1\" (a INTEGER)", "CREATE TABLE tax1 (b INTEGER, c INTEGER)",
        "CREATE TABLE \"p%\" (\"x_y\" INTEGER, xay TEXT)", "CREATE TABLE \"we\"\"ird\" (\"q\"\"c\" INTEGER)",
        "CREATE TABLE MiXed (n NUMERIC(10,2))"})
    ASSERT_EQ(Exec(hConn, ddl), ER_SUCCESS) << ddl;
  handle_t h = NewCursor(hConn);
  const TSCCL& s = ODBC_CursorRec(h)->st_sccl;
  ASSERT_EQ(s.idQuoteChar, '"');
  struct Case {
    const char* name;
    std::vector<std::string> cols;  // name:SQL type
  } cases[] = {
      {"t_x1", {"\"a\":4"}},
      {"tax1", {"\"b\":4", "\"c\":4"}},
      {"\"p%\"", {"\"x_y\":4"}},
      {"\"we\"\"ird\"", {"\"q\"\"c\":4"}},
      {"MiXed", {"\"n\":" + std::to_string(SQL_DOUBLE)}},  // the driver describes NUMERIC as DOUBLE
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<std::string> got = Columns(h, "", k.name);
    // Only the INTEGER and NUMERIC columns are compared whole: TEXT's type is the driver's choice.
    if (std::string(k.name) == "\"p%\"") {
      ASSERT_EQ(got.size(), 2u);
      EXPECT_EQ(got[1].substr(0, 6), "\"xay\":");
      got.pop_back();
    }
    EXPECT_EQ(got, k.cols);
  }
  EXPECT_EQ(Resolve(h, "", "t_y1"), "error 10");
  // The driver reports case-sensitive identifiers: another spelling is another name.
  ASSERT_EQ(s.idIdentCase, 3);
  EXPECT_EQ(Resolve(h, "", "MIXED"), "error 10");
  EXPECT_EQ(Resolve(h, "", "MiXed"), ".\"MiXed\"");
  engine.ops().endCursor(h);
}

TEST_F(EngineSqlite, EndsLeaveNothingBehind) {
  Fill(5200);
  // A spilled snapshot on each connection, one of them with an auxiliary cursor.
  handle_t a = NewCursor(hConn, SQL_CURSOR_STATIC), b = NewCursor(hConn2, SQL_CURSOR_STATIC);
  const int before = OpenTempFiles();
  for (handle_t h : {a, b}) {
    ASSERT_EQ(Open(h, "SELECT i, s, d FROM t"), ER_SUCCESS) << Errors(h);
    Dataset ds{};
    ASSERT_EQ(engine.ops().fetch(h, 10, &ds), ER_SUCCESS);
    Dataset_Done(&ds);
    ASSERT_EQ(ODBC_CursorRec(h)->st_sccl.pSnapShot->SSC.fState, DSC_SPILLED);
  }
  ASSERT_EQ(scs_p_AuxCursorOpen(&ODBC_CursorRec(a)->st_sccl), ER_SUCCESS);
  handle_t aux = ODBC_CursorRec(a)->st_sccl.hSCCurs;
  EXPECT_EQ(OpenTempFiles(), before + 4);
  // Ending a connection ends its cursors, their files and auxiliary cursors.
  ASSERT_EQ(engine.ops().endConnect(hConn), ER_SUCCESS);
  EXPECT_EQ(OpenTempFiles(), before + 2);
  EXPECT_EQ(ODBC_CursorRec(a), nullptr);
  EXPECT_EQ(ODBC_CursorRec(aux), nullptr);
  hConn = 0;
  // The last end of the session does the same for what is still open.
  ASSERT_EQ(engine.ops().endServer(hServer), ER_SUCCESS);
  EXPECT_EQ(OpenTempFiles(), before);
  EXPECT_EQ(numServers, 0u);
}

TEST_F(EngineSqlite, FailedConnectLeavesNoConnection) {
  handle_t h = 7;
  EXPECT_NE(
      Connect("DRIVER=" + std::string(test_support::kSqliteDriver) + ";Database=/nonexistent/dir/x.db", &h),
      ER_SUCCESS);
  EXPECT_EQ(h, 0u);
  int saved = 0;
  for (auto* n = static_cast<CONNINFO*>(ODBC_ServerRec(hServer)->pConnInfo); n; n = n->pNext) saved++;
  EXPECT_EQ(saved, 2);
}

}  // namespace
}  // namespace engine_test
