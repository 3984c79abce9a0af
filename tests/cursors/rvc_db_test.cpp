// Row versions on a real data source (SQLite file database, or PostgreSQL when
// built with RVC_TEST_POSTGRES): the link opened from the client's saved
// connect request, the versions written, compared and flushed in the table
// VYRRVC, the diagnostics of a missing table, and the second connection's
// auto-commit whatever the agent's commit mode.
#include <unistd.h>

#include <memory>

#include "cursors/engine_session.h"
#include "cursors/keyset.h"
#include "cursors/rvc.h"

namespace engine_test {
namespace {

struct DatasetFree {
  void operator()(Dataset* d) const {
    Dataset_Done(d);
    free(d);
  }
};
using DatasetPtr = std::unique_ptr<Dataset, DatasetFree>;

std::string Hex8(handle_t h) {
  char b[16];
  snprintf(b, sizeof b, "%08lX", static_cast<unsigned long>(h));
  return b;
}

class RvcDb : public EngineSession {
 protected:
  handle_t hConn = 0, hOther = 0, hCurs = 0;
  std::string schema;

#ifdef RVC_TEST_POSTGRES
  std::string BaseConnStr() const {
    const char* port = getenv("SQLGATE_PG_PORT");
    const char* user = getenv("SQLGATE_PG_USER");
    const char* db = getenv("SQLGATE_PG_DB");
    return std::string("DRIVER=") + test_support::kPgDriver + ";Servername=127.0.0.1;Port=" + port +
           ";Database=" + (db ? db : "sqlgate") + ";Username=" + (user ? user : "postgres") + ";Password=";
  }
  // Every connection of the test works in a schema of its own.
  std::string ConnStr() const { return BaseConnStr() + ";ConnSettings={SET search_path = " + schema + "}"; }
#else
  std::string ConnStr() const {
    return std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + dir.file("rvc.db");
  }
#endif

  void SetUp() override {
#ifdef RVC_TEST_POSTGRES
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
#endif
    EngineSession::SetUp();
    schema = "rvc_" + std::to_string(getpid());
#ifdef RVC_TEST_POSTGRES
    handle_t h = 0;
    ASSERT_EQ(Connect(BaseConnStr(), &h), ER_SUCCESS) << Errors(hServer);
    Exec(h, "DROP SCHEMA IF EXISTS " + schema + " CASCADE");
    ASSERT_EQ(Exec(h, "CREATE SCHEMA " + schema), ER_SUCCESS) << Errors(h);
    engine.ops().endConnect(h);
#endif
    ASSERT_EQ(Connect(ConnStr(), &hConn), ER_SUCCESS) << Errors(hServer);
    ASSERT_EQ(Connect(ConnStr(), &hOther), ER_SUCCESS) << Errors(hServer);
    for (const char* ddl : {"CREATE TABLE VYRRVC (HCONN VARCHAR(8), HCURS VARCHAR(8), KEYVER VARCHAR(32), "
                            "ROWVER VARCHAR(32))",
                            "CREATE TABLE t (id INTEGER, v VARCHAR(20))", "INSERT INTO t VALUES (1, 'one')",
                            "INSERT INTO t VALUES (2, 'two')", "INSERT INTO t VALUES (3, 'three')"})
      ASSERT_EQ(Exec(hOther, ddl), ER_SUCCESS) << ddl << Errors(hOther);
    hCurs = NewCursor(hConn);
  }
  void TearDown() override {
    ODBC_SetAgentOptions(nullptr);
#ifdef RVC_TEST_POSTGRES
    if (hOther) Exec(hOther, "DROP SCHEMA IF EXISTS " + schema + " CASCADE");
#endif
    EngineSession::TearDown();
  }

  TSCCL& State(handle_t h) { return ODBC_CursorRec(h)->st_sccl; }
  errcode_t Init(handle_t conn, handle_t curs) {
    TSCCL& s = State(curs);
    return RVC_Init(&s.RVC, s.pDrv, conn, curs, s.bNeedBind);
  }
  // The first block of a forward-only query, as the backend fetched it.
  DatasetPtr Fetch(const std::string& sql) {
    handle_t h = NewCursor(hConn);
    EXPECT_EQ(Open(h, sql), ER_SUCCESS) << Errors(h);
    DatasetPtr ds(static_cast<Dataset*>(calloc(1, sizeof(Dataset))));
    EXPECT_EQ(engine.ops().fetch(h, 100, ds.get()), ER_SUCCESS) << Errors(h);
    engine.ops().endCursor(h);
    return ds;
  }
  // Writes the versions of t's rows (keys: id; values: id and v) for cursor h.
  errcode_t Write(handle_t h, std::vector<uns16>* status, const char* where = "") {
    DatasetPtr keys = Fetch(std::string("SELECT id FROM t ") + where + " ORDER BY id");
    DatasetPtr vals = Fetch(std::string("SELECT id, v FROM t ") + where + " ORDER BY id");
    KeySet ks{};
    ks.pDataset = keys.get();
    status->assign(size_t(vals->nRows), 3);
    return RVC_Write(&State(h).RVC, &ks, vals.get(), status->data());
  }
  std::vector<std::vector<std::string>> Records(handle_t h) {
    return Query(hOther, "SELECT KEYVER, ROWVER FROM VYRRVC WHERE HCONN = '" + Hex8(hConn) +
                             "' AND HCURS = '" + Hex8(h) + "' ORDER BY KEYVER");
  }
  size_t AllRecords() { return Query(hOther, "SELECT HCONN FROM VYRRVC").size(); }
  static int LiveConnections() {
    int n = 0;
    for (uns16 i = 0; i < conHandles.numAllocated && conHandles.handleArray; i++)
      n += conHandles.handleArray[i].version != 0;
    return n;
  }
  std::string Digest(Dataset* ds, uns32 row) {
    uns8 d[16];
    EXPECT_EQ(RVC_CalcChkSum(ds, row, d), ER_SUCCESS);
    char t[33];
    Binary2Char(d, t);
    return t;
  }
};

using Statuses = std::vector<uns16>;

TEST_F(RvcDb, VersionsFollowTheRows) {
  ASSERT_EQ(Init(hConn, hCurs), ER_SUCCESS) << Errors(hCurs);
  ASSERT_EQ(RVC_Flush(&State(hCurs).RVC), ER_SUCCESS) << Errors(hCurs);
  Statuses st;
  // First sight: every row added internally, reported unchanged once stored.
  ASSERT_EQ(Write(hCurs, &st), ER_SUCCESS) << Errors(hCurs);
  EXPECT_EQ(st, Statuses({0, 0, 0}));
  DatasetPtr keys = Fetch("SELECT id FROM t ORDER BY id");
  DatasetPtr vals = Fetch("SELECT id, v FROM t ORDER BY id");
  std::vector<std::vector<std::string>> want;
  for (uns32 r = 0; r < 3; r++) want.push_back({Digest(keys.get(), r), Digest(vals.get(), r)});
  std::sort(want.begin(), want.end());
  EXPECT_EQ(Records(hCurs), want);

  ASSERT_EQ(Write(hCurs, &st), ER_SUCCESS) << Errors(hCurs);
  EXPECT_EQ(st, Statuses({0, 0, 0})) << "unchanged rows";
  // Another connection changes row 2: updated once, then unchanged again.
  ASSERT_EQ(Exec(hOther, "UPDATE t SET v = 'TWO' WHERE id = 2"), ER_SUCCESS);
  ASSERT_EQ(Write(hCurs, &st), ER_SUCCESS) << Errors(hCurs);
  EXPECT_EQ(st, Statuses({0, 2, 0}));
  ASSERT_EQ(Write(hCurs, &st), ER_SUCCESS) << Errors(hCurs);
  EXPECT_EQ(st, Statuses({0, 0, 0}));
  // A new row is added and then known.
  ASSERT_EQ(Exec(hOther, "INSERT INTO t VALUES (4, 'four')"), ER_SUCCESS);
  ASSERT_EQ(Write(hCurs, &st), ER_SUCCESS) << Errors(hCurs);
  EXPECT_EQ(st, Statuses({0, 0, 0, 0}));
  EXPECT_EQ(Records(hCurs).size(), 4u);

  // An empty rowset writes nothing.
  {
    DatasetPtr noKeys = Fetch("SELECT id FROM t WHERE id > 100");
    DatasetPtr noVals = Fetch("SELECT id, v FROM t WHERE id > 100");
    ASSERT_EQ(noVals->nRows, 0);
    KeySet ks{};
    ks.pDataset = noKeys.get();
    ip.counts.clear();
    uns16 none = 3;
    EXPECT_EQ(RVC_Write(&State(hCurs).RVC, &ks, noVals.get(), &none), ER_SUCCESS);
    EXPECT_TRUE(ip.counts.empty());
    EXPECT_EQ(none, 3);
  }

  // Two records for one key: the comparison fails.
  ASSERT_EQ(Exec(hOther, "INSERT INTO VYRRVC VALUES ('" + Hex8(hConn) + "', '" + Hex8(hCurs) + "', '" +
                             want[0][0] + "', 'X')"),
            ER_SUCCESS);
  EXPECT_EQ(Write(hCurs, &st), ER_GENERAL_ERROR);

  // The flush deletes this cursor's records only.
  ASSERT_EQ(Exec(hOther, "INSERT INTO VYRRVC VALUES ('" + Hex8(hConn) + "', 'CCCCFFFF', 'K', 'R')"),
            ER_SUCCESS);
  ASSERT_EQ(RVC_Flush(&State(hCurs).RVC), ER_SUCCESS) << Errors(hCurs);
  EXPECT_TRUE(Records(hCurs).empty());
  EXPECT_EQ(AllRecords(), 1u);
}

TEST_F(RvcDb, UpdateRowsMarksRowsWithoutARecord) {
  ASSERT_EQ(Init(hConn, hCurs), ER_SUCCESS) << Errors(hCurs);
  Statuses st;
  ASSERT_EQ(Write(hCurs, &st, "WHERE id <> 2"), ER_SUCCESS) << Errors(hCurs);
  DatasetPtr keys = Fetch("SELECT id FROM t ORDER BY id");
  DatasetPtr vals = Fetch("SELECT id, v FROM t ORDER BY id");
  uns8 kd[3 * 16], rd[3 * 16];
  for (uns32 r = 0; r < 3; r++) {
    ASSERT_EQ(RVC_CalcChkSum(keys.get(), r, kd + r * 16), ER_SUCCESS);
    rd[r * 16] = uns8(r);
    memset(rd + r * 16 + 1, 0xAB, 15);
  }
  // Row 2 (id 2) has no record: nothing updated, status 5, the rows after it go on.
  Statuses upd = {2, 2, 2};
  EXPECT_EQ(RVC_UpdateRows(&State(hCurs).RVC, kd, rd, upd.data(), 3), ER_SUCCESS) << Errors(hCurs);
  EXPECT_EQ(upd, Statuses({2, 5, 2}));
  std::vector<std::string> versions;
  for (auto& row : Records(hCurs)) versions.push_back(row[1]);
  std::sort(versions.begin(), versions.end());
  std::string ab;
  for (int i = 0; i < 15; i++) ab += "AB";
  EXPECT_EQ(versions, (std::vector<std::string>{"00" + ab, "02" + ab}));
}

TEST_F(RvcDb, MissingTableFailsTheFlushWithItsMessage) {
  ASSERT_EQ(Exec(hOther, "DROP TABLE VYRRVC"), ER_SUCCESS);
  ASSERT_EQ(Init(hConn, hCurs), ER_SUCCESS) << Errors(hCurs);
  EXPECT_NE(RVC_Flush(&State(hCurs).RVC), ER_SUCCESS);
  const std::string errs = Errors(hCurs);
  EXPECT_NE(errs.find("VYRRVC"), std::string::npos) << errs;
  EXPECT_GE(std::count(errs.begin(), errs.end(), '\n'), 2) << "the driver's diagnostics, then ours: " << errs;
  const std::string last = "Check that the table VYRRVC exists[SQLSTATE:IM926]\n";
  ASSERT_GE(errs.size(), last.size());
  EXPECT_EQ(errs.substr(errs.size() - last.size()), last) << errs;
}

TEST_F(RvcDb, LinksComeAndGoWithTheirConnections) {
  const int base = LiveConnections();
  ASSERT_EQ(Init(hConn, hCurs), ER_SUCCESS) << Errors(hCurs);
  EXPECT_EQ(LiveConnections(), base + 1);
  ASSERT_EQ(Init(hConn, hCurs), ER_SUCCESS) << Errors(hCurs);
  EXPECT_EQ(LiveConnections(), base + 1) << "opening again leaves no connection behind";
  EXPECT_EQ(RVC_Done(&State(hCurs).RVC), ER_SUCCESS);
  EXPECT_EQ(LiveConnections(), base);

  // Failures on the way leave nothing either.
  for (const char* op : {"connect", "setDrvParameter", "cursor"}) {
    SCOPED_TRACE(op);
    ip.fail[op] = {ER_GENERAL_ERROR};
    EXPECT_EQ(Init(hConn, hCurs), ER_GENERAL_ERROR);
    ip.fail.clear();
    EXPECT_EQ(LiveConnections(), base);
    EXPECT_EQ(State(hCurs).RVC.pParent, nullptr);
  }

  // Ending the cursor flushes its records and ends the link.
  Statuses st;
  ASSERT_EQ(Init(hConn, hCurs), ER_SUCCESS) << Errors(hCurs);
  ASSERT_EQ(Write(hCurs, &st), ER_SUCCESS) << Errors(hCurs);
  EXPECT_EQ(AllRecords(), 3u);
  EXPECT_EQ(engine.ops().endCursor(hCurs), ER_SUCCESS);
  EXPECT_EQ(AllRecords(), 0u);
  EXPECT_EQ(LiveConnections(), base);

  // Ending the client's connection ends the links of its cursors.
  hCurs = NewCursor(hConn);
  ASSERT_EQ(Init(hConn, hCurs), ER_SUCCESS) << Errors(hCurs);
  ASSERT_EQ(engine.ops().endConnect(hConn), ER_SUCCESS);
  hConn = 0;
  EXPECT_EQ(LiveConnections(), base - 1);
  EXPECT_EQ(ODBC_ServerRec(hServer)->RVCCxt, nullptr);
}

TEST_F(RvcDb, VersionsAreCommittedUnderNoAutoCommit) {
  AgentOptions opt{};
  opt.f_noautocommit = 1;
  ODBC_SetAgentOptions(&opt);
  handle_t hManual = 0;
  ASSERT_EQ(Connect(ConnStr(), &hManual), ER_SUCCESS) << Errors(hServer);
  handle_t h = NewCursor(hManual);
  ASSERT_EQ(Init(hManual, h), ER_SUCCESS) << Errors(h);
  ODBC_SetAgentOptions(nullptr);
  Statuses st;
  ASSERT_EQ(Write(h, &st), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(st, Statuses({0, 0, 0}));
  EXPECT_EQ(AllRecords(), 3u) << "another connection sees the versions";
  engine.ops().endCursor(h);
  engine.ops().rollback(hManual);
  engine.ops().endConnect(hManual);
}

}  // namespace
}  // namespace engine_test
