// End to end against PostgreSQL: the real sqlgate through the launcher, the wire
// client, our driver manager and psqlodbca.so on the test command's server.
#include <gtest/gtest.h>

#include <signal.h>

#include "agent_client.h"
#include "catalog_cases.h"
#include "fidelity_e2e.h"

using namespace agent_test;

namespace {

class AgentPgE2E : public ::testing::Test {
 protected:
  test_support::TempDir dir;
  std::unique_ptr<AgentProcess> proc;
  std::unique_ptr<AgentClient> cl;
  handle_t hServer = 0, hConn = 0;

  void SetUp() override {
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    WriteConfig(dir);
    proc = std::make_unique<AgentProcess>(LAUNCH_BINARY, SQLGATE_BINARY, std::vector<std::string>{},
                                          dir.file("stderr"));
    ASSERT_GT(proc->port(), 0);
    cl = std::make_unique<AgentClient>(proc->port());
    hServer = cl->Server();
    ASSERT_EQ(cl->AgentName(hServer), "odbc");
    std::string fail;
    ASSERT_EQ(cl->Connect(hServer, nullptr, test_support::pg_conn_str().c_str(), &hConn, &fail), ER_SUCCESS)
        << fail;
    cl->Exec(hConn, "DROP TABLE IF EXISTS e2e");
    ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE e2e (i INTEGER, s VARCHAR(20), d DOUBLE PRECISION)"), ER_SUCCESS);
  }
  void TearDown() override {
    if (!proc) return;
    cl->Exec(hConn, "DROP TABLE IF EXISTS e2e");
    cl.reset();
    proc->signal(SIGTERM);
    EXPECT_EQ(proc->wait(), 0);
  }
};

TEST_F(AgentPgE2E, RowsParametersAndResults) {
  ASSERT_EQ(cl->Exec(hConn,
                     "INSERT INTO e2e SELECT g, CASE WHEN g % 7 = 0 THEN NULL ELSE 'r' || g END, g * 0.5 "
                     "FROM generate_series(1, 1500) g"),
            ER_SUCCESS);
  Rows rows = cl->Query(hConn, "SELECT i, s, d FROM e2e ORDER BY i", 100);
  ASSERT_EQ(rows.size(), 1500u);
  for (int r = 0; r < 1500; r++) {
    int x = r + 1;
    ASSERT_EQ(rows[r][0], std::to_string(x));
    ASSERT_EQ(rows[r][1], x % 7 == 0 ? "NULL" : "r" + std::to_string(x));
  }
  // Two statements in one text: two results.
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(h, "SELECT 1; SELECT 'two'"), ER_SUCCESS) << cl->Errors(h);
  ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(cl->FetchAll(h, 10), (Rows{{"1"}}));
  ASSERT_EQ(cl->Simple(dbsvc_moreresults, h), ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(cl->FetchAll(h, 10), (Rows{{"two"}})) << cl->Errors(h);
  EXPECT_EQ(cl->Simple(dbsvc_moreresults, h), ER_NO_MORE_RESULTS);
}

TEST_F(AgentPgE2E, UnicodeConnection) {
  handle_t wide = 0;
  std::string fail;
  ASSERT_EQ(cl->Connect(hServer, nullptr, test_support::pg_conn_str().c_str(), &wide, &fail,
                        std::string("W\x7F\x01\x01", 4) + "u"),
            ER_SUCCESS)
      << fail;
  EXPECT_EQ(cl->GetInt(wide, 0x22010013), 1);
  ASSERT_EQ(cl->Exec(wide, "INSERT INTO e2e (i, s) VALUES (1, 'caf\xC3\xA9 \xE2\x82\xAC')"), ER_SUCCESS);
  EXPECT_EQ(cl->Query(hConn, "SELECT s FROM e2e"), (Rows{{"caf\xC3\xA9 \xE2\x82\xAC"}}));
  Rows rows = cl->Query(wide, "SELECT i, s FROM e2e");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "1");
  EXPECT_EQ(cl->Simple(dbsvc_endconnect, wide), ER_SUCCESS);
}

TEST_F(AgentPgE2E, CommitAndRollback) {
  handle_t writer = 0;
  std::string fail;
  ASSERT_EQ(cl->Connect(hServer, nullptr, test_support::pg_conn_str().c_str(), &writer, &fail), ER_SUCCESS)
      << fail;
  ASSERT_EQ(cl->SetInt(writer, 0x22030000, 0), ER_SUCCESS);  // autocommit off
  ASSERT_EQ(cl->Exec(writer, "INSERT INTO e2e (i) VALUES (1)"), ER_SUCCESS);
  EXPECT_EQ(cl->Query(hConn, "SELECT count(*) FROM e2e")[0][0], "0");
  ASSERT_EQ(cl->Simple(dbsvc_rollback, writer), ER_SUCCESS);
  ASSERT_EQ(cl->Exec(writer, "INSERT INTO e2e (i) VALUES (2)"), ER_SUCCESS);
  ASSERT_EQ(cl->Simple(dbsvc_commit, writer), ER_SUCCESS);
  EXPECT_EQ(cl->Query(hConn, "SELECT i FROM e2e")[0][0], "2");
}

TEST_F(AgentPgE2E, BadSqlTexts) {
  handle_t h = cl->Cursor(hConn);
  errcode_t e = cl->Prepare(h, "SELEC 1");
  if (e == ER_SUCCESS) e = cl->Execute(h);
  EXPECT_NE(e, ER_SUCCESS);
  EXPECT_NE(cl->Errors(h).find("syntax error"), std::string::npos);
}

TEST_F(AgentPgE2E, DescribeAndExactValuesOneByOneAndInBlocks) {
  ASSERT_EQ(cl->Exec(hConn,
                     "INSERT INTO e2e SELECT g, CASE WHEN g % 9 = 0 THEN NULL ELSE 'v' || g END, g / 4.0 "
                     "FROM generate_series(1, 700) g"),
            ER_SUCCESS);
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(h, "SELECT i, s, d FROM e2e ORDER BY i"), ER_SUCCESS) << cl->Errors(h);
  coldescres cd{};
  ASSERT_EQ(dbsvc_describecolumns(cl->c, &h, &cd), RPC_SUCCESS);
  ASSERT_EQ(cd.error, ER_SUCCESS);
  ASSERT_EQ(cd.desc.desc_len, 3u);
  EXPECT_STREQ(cd.desc.desc_val[0].label, "i");
  EXPECT_STREQ(cd.desc.desc_val[1].label, "s");
  EXPECT_STREQ(cd.desc.desc_val[2].label, "d");
  EXPECT_EQ(cd.desc.desc_val[0].sqlType, SQLTYPE_INTEGER);
  EXPECT_EQ(cd.desc.desc_val[1].sqlType, SQLTYPE_VARCHAR);
  EXPECT_EQ(cd.desc.desc_val[1].nullable & 0xF, 1);
  dbsvc_describecolumns_free(&cd);
  for (uns16 block : {1, 64}) {
    ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
    Rows rows = cl->FetchAll(h, block);
    ASSERT_EQ(rows.size(), 700u) << "block " << block;
    for (int r = 0; r < 700; r++) {
      int x = r + 1;
      ASSERT_EQ(rows[r][0], std::to_string(x)) << "block " << block;
      ASSERT_EQ(rows[r][1], x % 9 == 0 ? "NULL" : "v" + std::to_string(x));
      char d[64];
      snprintf(d, sizeof d, "%.17g", x / 4.0);
      ASSERT_EQ(rows[r][2], d);
    }
  }
}

TEST_F(AgentPgE2E, LongTextReadInPieces) {
  cl->Exec(hConn, "DROP TABLE IF EXISTS e2e_long");
  ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE e2e_long (id INTEGER, body TEXT)"), ER_SUCCESS);
  ASSERT_EQ(cl->Exec(hConn, "INSERT INTO e2e_long VALUES (1, repeat('z', 102400))"), ER_SUCCESS);
  ASSERT_EQ(cl->SetInt(hConn, 0x2201000f, 1), ER_SUCCESS);  // long values come later, in pieces
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(h, "SELECT id, body FROM e2e_long"), ER_SUCCESS);
  ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
  Rows rows;
  ASSERT_EQ(cl->Fetch(h, 10, &rows), 1);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "LONG"}));
  errcode_t e = ER_SUCCESS;
  EXPECT_EQ(cl->GetLong(h, 2, 7000, &e), std::string(102400, 'z'));
  EXPECT_EQ(e, ER_SUCCESS);
  EXPECT_EQ(cl->GetLong(h, 3, 10, &e), "");
  EXPECT_EQ(e, ER_INVALID_COLUMN);
  cl->Simple(dbsvc_endcursor, h);
  cl->Exec(hConn, "DROP TABLE e2e_long");
}

TEST_F(AgentPgE2E, ParameterArraysAndRowCounts) {
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(h, "INSERT INTO e2e (i, s) VALUES (?, ?)"), ER_SUCCESS);
  const int kRows = 5;
  ASSERT_EQ(cl->NumberedParameters(h, kRows), ER_SUCCESS);
  ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
  EXPECT_EQ(cl->GetInt(h, 0x32010000), kRows);
  Rows rows = cl->Query(hConn, "SELECT i, s FROM e2e ORDER BY i");
  ASSERT_EQ(rows.size(), size_t(kRows));
  for (int r = 0; r < kRows; r++)
    EXPECT_EQ(rows[r],
              (std::vector<std::string>{std::to_string(100 + r), r == 1 ? "NULL" : "p" + std::to_string(r)}));
}

TEST_F(AgentPgE2E, CatalogCalls) {
  cl->Exec(hConn, "DROP TABLE IF EXISTS e2e_ref");
  cl->Exec(hConn, "DROP TABLE IF EXISTS e2e_cat");
  for (const char* sql : kCatalogTables) ASSERT_EQ(cl->Exec(hConn, sql), ER_SUCCESS) << sql;
  RunCatalogCases(*cl, hConn, CatalogDriver::kPostgres);
  cl->Exec(hConn, "DROP TABLE e2e_ref");
  cl->Exec(hConn, "DROP TABLE e2e_cat");
}

// ---- data fidelity: the same cases as on SQLite ----

class AgentPgFidelity : public AgentPgE2E {
 protected:
  FidelityDb db;
  void SetUp() override {
    AgentPgE2E::SetUp();
    if (IsSkipped()) return;
    db.connStr = test_support::pg_conn_str();
    db.connStrPatient = test_support::pg_conn_str() + ";ConnSettings={SET lock_timeout = 2000}";
    db.gruss = kGruss + "      ";  // CHAR(10) comes back with its pad blanks
    db.overlongType = "VARCHAR";   // described as VARCHAR(255): 1020 bytes of room
    db.overlongSql = "repeat('\xE6\x9D\xB1', 400)";
    db.overlongCut = Repeat("\xE6\x9D\xB1", 340);
    db.blobType = "BYTEA";  // LONGVARBINARY of unknown size
    db.blobSql = "decode(repeat('ab', 300000), 'hex')";
    db.blob = std::string(300000, '\xAB');
    db.blobCutAtLeast = 60000;
    db.alterChecksLock = true;
  }
  FidelityCases Cases() { return FidelityCases(*cl, hServer, hConn, db); }
};

TEST_F(AgentPgFidelity, TextCellsHoldEveryCharacter) { Cases().TextCellsHoldEveryCharacter(); }
TEST_F(AgentPgFidelity, CutValuesAreWholeAndTold) { Cases().CutValuesAreWholeAndTold(); }
TEST_F(AgentPgFidelity, BinaryAndNullLongValues) { Cases().BinaryAndNullLongValues(); }
TEST_F(AgentPgFidelity, WideParameterWithoutBinding) { Cases().WideParameterWithoutBinding(); }
TEST_F(AgentPgFidelity, EndingAConnectionRollsBack) { Cases().EndingAConnectionRollsBack(); }
TEST_F(AgentPgFidelity, LastSessionEndRollsBack) {
  ASSERT_EQ(cl->Simple(dbsvc_endconnect, hConn), ER_SUCCESS);
  LastSessionEndRollsBack(*cl, &hServer, db);
  std::string fail;
  ASSERT_EQ(cl->Connect(hServer, nullptr, test_support::pg_conn_str().c_str(), &hConn, &fail), ER_SUCCESS)
      << fail;  // for TearDown
}

}  // namespace
