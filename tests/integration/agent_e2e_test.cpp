// End to end: the real sqlgate started through the launcher, the wire client
// over loopback TCP (and UDP), our driver manager and the SQLite driver.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include <openssl/ssl.h>

#include "agent_client.h"
#include "catalog_cases.h"
#include "fidelity_e2e.h"
#include "rpc/svc.h"

using namespace agent_test;

namespace {

// Every test starts its own agent.
class AgentE2E : public AgentTest {};

TEST(AgentE2EProgram, UsageAndExitCodes) {
  test_support::TempDir dir;
  EXPECT_EQ(RunToEnd({SQLGATE_BINARY}, dir.file("err")), 1);
  EXPECT_NE(test_support::read_file(dir.file("err")).find("Usage:"), std::string::npos);
  EXPECT_EQ(RunToEnd({SQLGATE_BINARY, "+nosuch", "+internal="}, dir.file("err")), 1);
  EXPECT_EQ(RunToEnd({SQLGATE_BINARY, "+internal=tcp=x"}, dir.file("err")), 1);
  EXPECT_NE(test_support::read_file(dir.file("err")).find("unable to install tcp=x protocol"),
            std::string::npos);
}

// Every termination signal ends the agent with code 0 after its connections
// are closed, and names itself in the log.
TEST_F(AgentE2E, TerminationSignalsEndWithZero) {
  struct {
    int sig;
    bool viaLauncher;  // the launcher passes on only SIGINT and SIGTERM
    const char* logLine;
  } cases[] = {{SIGTERM, true, "got SIGTERM"}, {SIGINT, true, "got SIGINT"}, {SIGQUIT, false, "got SIGQUIT"}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.logLine);
    unlink(dir.file("agent.log").c_str());
    StartConnected();
    handle_t h = cl->Cursor(hConn);
    ASSERT_EQ(cl->Prepare(h, "SELECT 1"), ER_SUCCESS);
    ASSERT_EQ(cl->Execute(h), ER_SUCCESS);
    cl.reset();
    if (c.viaLauncher) {
      proc->signal(c.sig);
    } else {
      ASSERT_GT(proc->agentPid(), 0);
      kill(proc->agentPid(), c.sig);
    }
    EXPECT_EQ(proc->wait(), 0) << test_support::read_file(dir.file("stderr"));
    proc.reset();
    std::string log = Log();
    EXPECT_NE(log.find("server starting"), std::string::npos) << log;
    EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
    EXPECT_NE(log.find("server shutting down"), std::string::npos) << log;
  }
}

TEST_F(AgentE2E, SighupLeavesTheAgentRunning) {
  StartConnected();
  int agent = proc->agentPid();
  ASSERT_GT(agent, 0);
  for (int i = 0; i < 2; i++) {
    kill(agent, SIGHUP);  // straight to the agent: the launcher passes on only SIGINT and SIGTERM
    usleep(100000);
    EXPECT_EQ(cl->Query(hConn, "SELECT 7")[0][0], "7");
  }
  EXPECT_NE(Log().find("got SIGHUP"), std::string::npos);
}

TEST_F(AgentE2E, CursorBeforeAgentParameterAnswers152) {
  Start();
  std::string fail;
  ASSERT_EQ(cl->Connect(hServer, nullptr, ConnStr().c_str(), &hConn, &fail), ER_SUCCESS) << fail;
  errcode_t e = ER_SUCCESS;
  cl->Cursor(hConn, &e);
  EXPECT_EQ(e, ER_NEED_UPGRADE_BROKER);
  EXPECT_NE(cl->Errors(hConn).find("Agent needs a newer broker[SQLSTATE:IM927]"), std::string::npos);
  ASSERT_EQ(cl->AgentName(hServer), "odbc");
  cl->Cursor(hConn, &e);
  EXPECT_EQ(e, ER_SUCCESS);
}

TEST_F(AgentE2E, ConnectByNameStringAndUnicode) {
  ToleratePluginLeaks();
  Start();
  ASSERT_EQ(cl->AgentName(hServer), "odbc");
  handle_t byName = 0, byString = 0, wide = 0;
  std::string fail;
  ASSERT_EQ(cl->Connect(hServer, "testdb", nullptr, &byName, &fail), ER_SUCCESS) << fail;
  ASSERT_EQ(cl->Exec(byName, "CREATE TABLE t (a INTEGER, b VARCHAR(10))"), ER_SUCCESS);
  ASSERT_EQ(cl->Exec(byName, "INSERT INTO t VALUES (1, 'caf\xC3\xA9')"), ER_SUCCESS);
  ASSERT_EQ(cl->Connect(hServer, "", ConnStr().c_str(), &byString, &fail), ER_SUCCESS) << fail;
  EXPECT_EQ(cl->Query(byString, "SELECT b FROM t")[0][0], "caf\xC3\xA9");
  ASSERT_EQ(
      cl->Connect(hServer, nullptr, ConnStr().c_str(), &wide, &fail, std::string("W\x7F\x01\x01", 4) + "u"),
      ER_SUCCESS)
      << fail;
  EXPECT_EQ(cl->GetInt(wide, 0x22010013), 1);
  EXPECT_EQ(cl->GetInt(byString, 0x22010013), 0);
  Rows rows = cl->Query(wide, "SELECT a, b FROM t");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "1");
}

TEST_F(AgentE2E, MissingDataSourceTextsInTheReply) {
  Start();
  handle_t h = 0;
  std::string fail;
  EXPECT_EQ(cl->Connect(hServer, "nosuchdsn", nullptr, &h, &fail), ER_DRV_NOT_FOUND);
  EXPECT_EQ(h, 0u);
  EXPECT_NE(fail.find("[ODBC Server]"), std::string::npos) << fail;
  EXPECT_NE(fail.find("IM002"), std::string::npos) << fail;
  EXPECT_TRUE(cl->ErrorTexts(hServer).empty());  // handed over with the reply
  EXPECT_EQ(cl->Connect(hServer, nullptr, (ConnStr() + ";SAVEFILE=" + dir.file("x")).c_str(), &h, &fail),
            ER_INVALID_CONNSTR);
  EXPECT_NE(fail.find("SAVEFILE"), std::string::npos) << fail;
}

// A driver text longer than the agent's read of it reaches the client cut,
// narrow and wide, instead of being lost.
TEST_F(AgentE2E, LongDriverTextsComeCut) {
  Start();
  ASSERT_EQ(cl->AgentName(hServer), "odbc");
  const std::string sql = "SELECT * FROM " + std::string(700, 'q');
  for (const std::string& sv : {std::string(), kUnicodeSession}) {
    SCOPED_TRACE(sv.empty() ? "narrow" : "wide");
    handle_t conn = 0;
    ASSERT_EQ(cl->Connect(hServer, nullptr, ConnStr().c_str(), &conn, nullptr, sv), ER_SUCCESS);
    handle_t h = cl->Cursor(conn);
    ASSERT_EQ(cl->Prepare(h, sql), ER_SYNTAXIS);
    std::vector<std::string> texts = cl->ErrorTexts(h);
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(texts[0].find("no such table: qqqq"), std::string::npos) << texts[0];
    EXPECT_LT(texts[0].size(), 600u);
  }
}

TEST_F(AgentE2E, DescribeFetchAndExactValues) {
  StartConnected();
  ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE t (i INTEGER NOT NULL, s VARCHAR(20), d DOUBLE)"), ER_SUCCESS);
  ASSERT_EQ(
      cl->Exec(hConn,
               "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c WHERE x < 2500) "
               "INSERT INTO t SELECT x, CASE WHEN x % 10 = 0 THEN NULL ELSE 'v' || x END, x / 4.0 FROM c"),
      ER_SUCCESS);
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(h, "SELECT i, s, d FROM t ORDER BY i"), ER_SUCCESS);
  coldescres cd{};
  ASSERT_EQ(dbsvc_describecolumns(cl->c, &h, &cd), RPC_SUCCESS);
  ASSERT_EQ(cd.error, ER_SUCCESS);
  ASSERT_EQ(cd.desc.desc_len, 3u);
  EXPECT_STREQ(cd.desc.desc_val[0].label, "i");
  EXPECT_STREQ(cd.desc.desc_val[1].columnName, "s");
  EXPECT_EQ(cd.desc.desc_val[0].sqlType, SQLTYPE_INTEGER);
  EXPECT_EQ(cd.desc.desc_val[1].sqlType, SQLTYPE_VARCHAR);
  EXPECT_EQ(cd.desc.desc_val[2].sqlType, SQLTYPE_DOUBLE);
  EXPECT_EQ(cd.desc.desc_val[1].nullable & 0xF, 1);
  dbsvc_describecolumns_free(&cd);
  for (uns16 block : {1, 100}) {
    ASSERT_EQ(cl->Execute(h), ER_SUCCESS);
    Rows rows = cl->FetchAll(h, block);
    ASSERT_EQ(rows.size(), 2500u) << "block " << block;
    for (int r = 0; r < 2500; r++) {
      int x = r + 1;
      ASSERT_EQ(rows[r][0], std::to_string(x));
      ASSERT_EQ(rows[r][1], x % 10 == 0 ? "NULL" : "v" + std::to_string(x));
      char d[64];
      snprintf(d, sizeof d, "%.17g", x / 4.0);
      ASSERT_EQ(rows[r][2], d);
    }
  }
}

TEST_F(AgentE2E, LongTextReadInPieces) {
  StartConnected();
  ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE l (id INTEGER, body TEXT)"), ER_SUCCESS);
  ASSERT_EQ(cl->Exec(hConn, "INSERT INTO l VALUES (1, printf('%.*c', 102400, 'z'))"), ER_SUCCESS);
  ASSERT_EQ(cl->SetInt(hConn, 0x2201000f, 1), ER_SUCCESS);  // long values come later, in pieces
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(h, "SELECT id, body FROM l"), ER_SUCCESS);
  ASSERT_EQ(cl->Execute(h), ER_SUCCESS);
  Rows rows;
  ASSERT_EQ(cl->Fetch(h, 10, &rows), 1);
  EXPECT_EQ(rows[0][0], "1");
  EXPECT_EQ(rows[0][1], "LONG");
  errcode_t e = ER_SUCCESS;
  EXPECT_EQ(cl->GetLong(h, 2, 10000, &e), std::string(102400, 'z'));
  EXPECT_EQ(e, ER_SUCCESS);
  EXPECT_EQ(cl->GetLong(h, 9, 10, &e), "");
  EXPECT_EQ(e, ER_INVALID_COLUMN);
}

TEST_F(AgentE2E, ParametersRowCountsAndMoreResults) {
  StartConnected();
  ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE p (i INTEGER, s VARCHAR(20))"), ER_SUCCESS);
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(h, "INSERT INTO p VALUES (?, ?)"), ER_SUCCESS);
  ASSERT_EQ(cl->NumberedParameters(h, 3), ER_SUCCESS);
  ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(cl->GetInt(h, 0x32010000), 3);
  Rows rows = cl->Query(hConn, "SELECT i, s FROM p ORDER BY i");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], (std::vector<std::string>{"101", "NULL"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"102", "p2"}));
  // A query with two parameter rows: one result per row.
  ASSERT_EQ(cl->Prepare(h, "SELECT s FROM p WHERE i = ?"), ER_SUCCESS);
  Dataset q{};
  Dataset_Init(&q, 1);
  q.nCols = 1;
  q.col[0].cType = CTYPE_SGN32;
  q.col[0].width = 4;
  Dataset_AllocColumns(&q, 2);
  for (int r = 0; r < 2; r++) {
    sgn32 v = r == 0 ? 100 : 102;
    memcpy(Coldata_Cell(&q.col[0], r), &v, 4);
    q.col[0].indicators[r] = 0;
  }
  q.nRows = 2;
  errcode_t e = ER_SUCCESS;
  call_execute2 ex{};
  ex.handle = h;
  ex.parameters = &q;
  ASSERT_EQ(dbsvc_execute2(cl->c, &ex, &e), RPC_SUCCESS);
  Dataset_Done(&q);
  ASSERT_EQ(e, ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(cl->FetchAll(h, 10), (Rows{{"p0"}}));
  EXPECT_EQ(cl->Simple(dbsvc_moreresults, h), ER_SUCCESS);
  EXPECT_EQ(cl->FetchAll(h, 10), (Rows{{"p2"}}));
  EXPECT_EQ(cl->Simple(dbsvc_moreresults, h), ER_NO_MORE_RESULTS);
}

TEST_F(AgentE2E, CatalogCalls) {
  StartConnected();
  for (const char* sql : kCatalogTables) ASSERT_EQ(cl->Exec(hConn, sql), ER_SUCCESS) << sql;
  RunCatalogCases(*cl, hConn, CatalogDriver::kSqlite);
}

TEST_F(AgentE2E, CommitAndRollbackSeenFromSecondConnection) {
  ToleratePluginLeaks();
  StartConnected({"+noautocommit"});
  handle_t other = 0;
  ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE tx (i INTEGER)"), ER_SUCCESS);
  ASSERT_EQ(cl->Simple(dbsvc_commit, hConn), ER_SUCCESS);
  std::string fail;
  ASSERT_EQ(cl->Connect(hServer, nullptr, ConnStr().c_str(), &other, &fail), ER_SUCCESS) << fail;
  ASSERT_EQ(cl->Exec(hConn, "INSERT INTO tx VALUES (1)"), ER_SUCCESS);
  ASSERT_EQ(cl->Simple(dbsvc_rollback, hConn), ER_SUCCESS);
  EXPECT_EQ(cl->Query(other, "SELECT count(*) FROM tx")[0][0], "0");
  ASSERT_EQ(cl->Simple(dbsvc_commit, other), ER_SUCCESS);  // ends the reader's transaction
  ASSERT_EQ(cl->Exec(hConn, "INSERT INTO tx VALUES (2)"), ER_SUCCESS);
  ASSERT_EQ(cl->Simple(dbsvc_commit, hConn), ER_SUCCESS);
  EXPECT_EQ(cl->Query(other, "SELECT i FROM tx")[0][0], "2");
}

// executeN is not offered: a live cursor answers "not capable", any other handle 21.
TEST_F(AgentE2E, ExecuteNAnswersNotCapable) {
  StartConnected();
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(h, "SELECT 1"), ER_SUCCESS) << cl->Errors(h);
  struct {
    handle_t handle;
    errcode_t expected;
  } cases[] = {{h, ER_DRV_NOT_CAPABLE}, {hConn, ER_INVALID_ARGUMENT}};
  for (auto& c : cases) {
    call_executen a{c.handle, 0, 1};
    executenres r{};
    ASSERT_EQ(dbsvc_executen(cl->c, &a, &r), RPC_SUCCESS);
    EXPECT_EQ(r.error, c.expected) << c.handle;
    dbsvc_executen_free(&r);
  }
  cl->Simple(dbsvc_endcursor, h);
}

TEST_F(AgentE2E, InitialSql) {
  WriteConfig(dir);
  test_support::write_file(dir.file("init.sql"),
                           "CREATE TABLE IF NOT EXISTS boot (x INTEGER);\n"
                           "INSERT INTO boot VALUES\n (42);\n");
  StartConnected({"+initsql", dir.file("init")});
  EXPECT_EQ(cl->Query(hConn, "SELECT x FROM boot"), (Rows{{"42"}}));
}

TEST_F(AgentE2E, BadSqlAnswers68WithReadableTexts) {
  StartConnected();
  handle_t h = cl->Cursor(hConn);
  errcode_t e = cl->Prepare(h, "SELEC 1");
  if (e == ER_SUCCESS) e = cl->Execute(h);
  EXPECT_EQ(e, ER_SYNTAXIS);
  auto texts = cl->ErrorTexts(h);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0].rfind("[ODBC Server]", 0), 0u) << texts[0];
  EXPECT_NE(texts[0].find("syntax error"), std::string::npos) << texts[0];
  EXPECT_NE(texts[0].find("[SQLSTATE:"), std::string::npos) << texts[0];
}

TEST_F(AgentE2E, InvalidHandlesAnswer21) {
  StartConnected();
  handle_t bogus = 0xCCCC0077;
  EXPECT_EQ(cl->Simple(dbsvc_execute, bogus), ER_INVALID_ARGUMENT);
  EXPECT_EQ(cl->Simple(dbsvc_endconnect, bogus), ER_INVALID_ARGUMENT);
  EXPECT_EQ(cl->Prepare(hConn, "SELECT 1"), ER_INVALID_ARGUMENT);  // a connection is not a cursor
  errcode_t e = ER_SUCCESS;
  cl->Cursor(hServer, &e);
  EXPECT_EQ(e, ER_INVALID_ARGUMENT);
  errinfores r{};
  ASSERT_EQ(dbsvc_errinfo(cl->c, &bogus, &r), RPC_SUCCESS);
  EXPECT_EQ(r.error, ER_INVALID_ARGUMENT);
  dbsvc_errinfo_free(&r);
  // Procedures no layer offers answer "not capable" rather than fail.
  call_savepoint sp{hConn, SVPNT_SET, const_cast<char*>("s")};
  ASSERT_EQ(dbsvc_savepointj(cl->c, &sp, &e), RPC_SUCCESS);
  EXPECT_EQ(e, ER_DRV_NOT_CAPABLE);
  call_getoptable ot{hConn, 2};
  getoptableres otr{};
  ASSERT_EQ(dbsvc_getoptable(cl->c, &ot, &otr), RPC_SUCCESS);
  EXPECT_EQ(otr.error, ER_DRV_NOT_CAPABLE);
  ASSERT_NE(otr.table, nullptr);  // an empty table of the one type that travels
  EXPECT_EQ(otr.table->type, 1);
  EXPECT_EQ(otr.table->numElem, 0u);
  dbsvc_getoptable_free(&otr);
  call_getoptable ok{hConn, 1};
  ASSERT_EQ(dbsvc_getoptable(cl->c, &ok, &otr), RPC_SUCCESS);
  EXPECT_EQ(otr.error, ER_SUCCESS);
  ASSERT_NE(otr.table, nullptr);
  EXPECT_EQ(otr.table->numElem, 8u);
  dbsvc_getoptable_free(&otr);
}

// Procedures the agent cannot carry out still send a reply that travels.
TEST_F(AgentE2E, ProceduresWithoutAnOperationReply) {
  StartConnected();
  struct {
    uns16 type;
    errcode_t error;
    unsigned rows;
  } tables[] = {{1, ER_SUCCESS, 8}, {2, ER_DRV_NOT_CAPABLE, 0}, {0, ER_DRV_NOT_CAPABLE, 0}};
  for (auto& t : tables) {
    call_getoptable a{hConn, t.type};
    getoptableres r{};
    ASSERT_EQ(dbsvc_getoptable(cl->c, &a, &r), RPC_SUCCESS) << "type " << t.type;
    EXPECT_EQ(r.error, t.error) << "type " << t.type;
    ASSERT_NE(r.table, nullptr);
    EXPECT_EQ(r.table->type, 1);
    EXPECT_EQ(r.table->numElem, t.rows) << "type " << t.type;
    dbsvc_getoptable_free(&r);
  }
  call_savepoint sp{};
  sp.hConn = hConn;
  sp.name = const_cast<char*>("sp1");
  errcode_t e = ER_SUCCESS;
  ASSERT_EQ(dbsvc_savepointj(cl->c, &sp, &e), RPC_SUCCESS);
  EXPECT_EQ(e, ER_DRV_NOT_CAPABLE);
  XID_t xid{};
  call_xacommit xa{hConn, &xid, 0, 0};
  sgn32 xr = 0;
  ASSERT_EQ(dbsvc_xacommit(cl->c, &xa, &xr), RPC_SUCCESS);
  EXPECT_EQ(xr, -3);
  // The extended bind reaches the plain one: the statement still runs with it.
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(h, "SELECT ? + 1"), ER_SUCCESS);
  BindescX d{SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 1, const_cast<char*>("p")};
  call_bindx b{};
  b.handle = h;
  b.desc.desc_len = 1;
  b.desc.desc_val = &d;
  ASSERT_EQ(dbsvc_bindx(cl->c, &b, &e), RPC_SUCCESS);
  ASSERT_EQ(e, ER_SUCCESS);
  Dataset ds{};
  Dataset_Init(&ds, 1);
  ds.nCols = 1;
  ds.col[0].cType = CTYPE_SGN32;
  ds.col[0].width = 4;
  Dataset_AllocColumns(&ds, 1);
  sgn32 v = 41;
  memcpy(Coldata_Cell(&ds.col[0], 0), &v, 4);
  ds.col[0].indicators[0] = 0;
  ds.nRows = 1;
  e = cl->Parameters(h, &ds);
  Dataset_Done(&ds);
  ASSERT_EQ(e, ER_SUCCESS);
  ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(cl->FetchAll(h, 10), (Rows{{"42"}}));
}

TEST_F(AgentE2E, CallOverUdp) {
  StartConnected();
  AgentClient udp(proc->port(), true);
  ASSERT_NE(udp.c, nullptr);
  // Handles are the agent's, whatever the transport.
  EXPECT_EQ(udp.Query(hConn, "SELECT 40 + 2"), (Rows{{"42"}}));
}

TEST_F(AgentE2E, EndingTheSessionEndsEverything) {
  StartConnected();
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(h, "SELECT 1"), ER_SUCCESS);
  ASSERT_EQ(cl->Execute(h), ER_SUCCESS);
  EXPECT_EQ(cl->Simple(dbsvc_endserver, hServer), ER_SUCCESS);
  EXPECT_EQ(cl->Execute(h), ER_INVALID_ARGUMENT);
  hServer = cl->Server();
  EXPECT_NE(hServer, 0u);
}

// TLS is started in band: the key file makes the process's one context (over
// TCP only, once), the switch parameter moves the calling connection to TLS
// after its clear reply.
TEST_F(AgentE2E, TlsThroughDriverParameters) {
  StartConnected();
  std::string key = std::string(TLS_DIR) + "/server.pem";
  auto set = [&](AgentClient& c, uns32 code, const char* text) {
    call_setdrvparameter a{};
    a.handle = hServer;
    a.opcode = code;
    a.value.type = text ? 1 : 0;
    a.value.paramval_u.s = const_cast<char*>(text);
    errcode_t r = ER_SUCCESS;
    EXPECT_EQ(dbsvc_setdrvparameter(c.c, &a, &r), RPC_SUCCESS);
    return r;
  };
  EXPECT_EQ(set(*cl, 0x10030002, nullptr), ER_DRV_NO_SUPPORT);  // no context yet
  AgentClient udp(proc->port(), true);
  EXPECT_EQ(set(udp, 0x11030001, key.c_str()), ER_DRV_NO_SUPPORT);  // datagrams carry no TLS
  EXPECT_EQ(set(*cl, 0x11030001, (dir.file("missing.pem")).c_str()), ER_GENERAL_ERROR);
  EXPECT_EQ(set(*cl, 0x11030001, key.c_str()), ER_SUCCESS);
  EXPECT_EQ(set(*cl, 0x11030001, key.c_str()), ER_FUNCTION_SEQ);
  ASSERT_EQ(set(*cl, 0x10030002, nullptr), ER_SUCCESS);
  SSL_CTX* ctx = static_cast<SSL_CTX*>(VYRRPC_new_ssl_ctx(0, nullptr));
  ASSERT_NE(ctx, nullptr);
  ASSERT_TRUE(VYRRPC_clnt_control(cl->c->clnt, CLSET_START_TLS, reinterpret_cast<char*>(ctx)));
  EXPECT_EQ(cl->Query(hConn, "SELECT 'secret'"), (Rows{{"secret"}}));
  cl.reset();
  VYRRPC_free_ssl_ctx(ctx);
}

// ---- data fidelity: the same cases as on PostgreSQL ----

class AgentFidelity : public AgentE2E {
 protected:
  FidelityDb db;
  void SetUp() override {
    ToleratePluginLeaks();  // several SQLite connections
    StartConnected();
    db.connStr = ConnStr();
    db.connStrPatient = ConnStr() + ";Timeout=2000";
    db.gruss = kGruss;               // SQLite keeps CHAR values as they are
    db.overlongType = "VARCHAR(2)";  // 9 bytes of room; SQLite keeps the whole value
    db.overlongSql = "'a" + Repeat("\xE6\x9D\xB1\xE4\xBA\xAC", 2) + "'";
    db.overlongCut = "a\xE6\x9D\xB1\xE4\xBA\xAC";
    db.blobType = "BLOB";  // described as BINARY(255)
    db.blobSql = "CAST(printf('%.*c', 300, 'b') AS BLOB)";
    db.blob = std::string(300, 'b');
    db.blobCutAtLeast = 255;
    db.alterChecksLock = false;  // a locked database refuses the insert
  }
  FidelityCases Cases() { return FidelityCases(*cl, hServer, hConn, db); }
};

TEST_F(AgentFidelity, TextCellsHoldEveryCharacter) { Cases().TextCellsHoldEveryCharacter(); }
TEST_F(AgentFidelity, CutValuesAreWholeAndTold) { Cases().CutValuesAreWholeAndTold(); }
TEST_F(AgentFidelity, BinaryAndNullLongValues) { Cases().BinaryAndNullLongValues(); }
TEST_F(AgentFidelity, WideParameterWithoutBinding) { Cases().WideParameterWithoutBinding(); }
TEST_F(AgentFidelity, EndingAConnectionRollsBack) { Cases().EndingAConnectionRollsBack(); }
TEST_F(AgentFidelity, LastSessionEndRollsBack) {
  ASSERT_EQ(cl->Simple(dbsvc_endconnect, hConn), ER_SUCCESS);
  LastSessionEndRollsBack(*cl, &hServer, db);
}

// Drivers built for 2-byte wide characters (Debian's psqlodbcw.so and, when
// installed, MariaDB's libmaodbc.so) are refused with a readable message on
// plain and Unicode connections, and the agent serves on.
TEST_F(AgentFidelity, TwoByteWideDriversFailReadably) {
  const char* drivers[] = {"/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so",
                           "/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so"};
  // Registered, as a client's connection string may name only registered drivers.
  std::string inst = test_support::read_file(dir.file("odbcinst.ini"));
  for (const char* path : drivers) inst += std::string("\n[") + path + "]\nDriver=" + path + "\n";
  test_support::write_file(dir.file("odbcinst.ini"), inst);
  int tried = 0;
  for (const char* path : drivers) {
    if (access(path, R_OK) != 0) continue;
    tried++;
    for (const std::string& sv : {std::string(), kUnicodeSession}) {
      SCOPED_TRACE(std::string(path) + (sv.empty() ? " plain" : " unicode"));
      std::string cs =
          std::string("DRIVER=") + path + ";Server=127.0.0.1;Servername=127.0.0.1;Port=1;Database=x";
      handle_t h = 0;
      std::string fail;
      EXPECT_NE(cl->Connect(hServer, nullptr, cs.c_str(), &h, &fail, sv), ER_SUCCESS);
      EXPECT_TRUE(IsUtf8(fail));
      EXPECT_NE(fail.find("wide characters (SQLWCHAR) are 2 bytes"), std::string::npos)
          << fail << cl->Errors(hServer);
      EXPECT_NE(fail.find("[SQLSTATE:S1C00]"), std::string::npos) << fail;
      std::string server = cl->Errors(hServer);
      EXPECT_TRUE(IsUtf8(server));
    }
  }
  EXPECT_EQ(cl->Query(hConn, "SELECT 'still here'"), (Rows{{"still here"}}));
  if (tried == 0) GTEST_SKIP() << "no driver built for 2-byte wide characters installed";
}

}  // namespace
