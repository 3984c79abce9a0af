// Connection pooling on the fake drivers with an injected clock (reuse, matching, time-out,
// liveness through the connection-dead attribute and through the probe statement, the
// retry wait, dropping every record with the environment), and on the SQLite driver.

#include <gtest/gtest.h>

#include <algorithm>

#include "dm/odbc3_test_util.h"

namespace {

using namespace odbc3test;

time_t now_value = 1000000;
time_t test_clock() { return now_value; }

SQLPOINTER V(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

class Pool : public ::testing::Test {
 protected:
  void SetUp() override {
    now_value = 1000000;
    _zolandm_pool_set_clock(test_clock);
    ASSERT_EQ(SQLSetEnvAttr(nullptr, SQL_ATTR_CONNECTION_POOLING, V(SQL_CP_ONE_PER_DRIVER), 0), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, V(SQL_OV_ODBC3), 0), SQL_SUCCESS);
    configure("");
    fake = std::make_unique<stmttest::FakeStmt>("odbc3");
  }
  void TearDown() override {
    for (SQLHDBC d : dbcs) {
      SQLDisconnect(d);
      SQLFreeHandle(SQL_HANDLE_DBC, d);
    }
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
    SQLSetEnvAttr(nullptr, SQL_ATTR_CONNECTION_POOLING, V(SQL_CP_OFF), 0);
    _zolandm_pool_set_clock(nullptr);
  }

  // The data source "fake" on the ODBC 3 fake, pooled for 60 seconds; `probe` is the pool's
  // probe statement, a retry wait of 30 seconds.
  void configure(const std::string& probe) {
    ini.odbc_ini("[ODBC Data Sources]\nfake = FakeDrv\n[fake]\nDriver = " + dmtest::fake_driver("odbc3") +
                 "\n");
    ini.odbcinst_ini("[FakeDrv]\nDriver = " + dmtest::fake_driver("odbc3") + "\nCPTimeout = 60\n" +
                     (probe.empty() ? "" : "CPProbe = " + probe + "\n") +
                     "[ODBC Connection Pooling]\nRetry Wait = 30\n");
  }

  SQLHDBC connection() {
    SQLHDBC d = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &d), SQL_SUCCESS);
    dbcs.push_back(d);
    return d;
  }

  SQLRETURN connect(SQLHDBC d, const char* user = "u") {
    return SQLConnect(d, S("fake"), SQL_NTS, S(user), SQL_NTS, S("p"), SQL_NTS);
  }

  size_t driver_connects() { return dmtest::fake_calls("odbc3", "Connect ").size(); }
  size_t driver_disconnects() { return dmtest::fake_calls("odbc3", "Disconnect").size(); }
  int pooled() {
    int n = 0;
    for (zolandm_dbc* r = static_cast<zolandm_env*>(env)->pool; r != nullptr; r = r->next) ++n;
    return n;
  }
  zolandm_dbc* first_record() { return static_cast<zolandm_env*>(env)->pool; }

  dmtest::TempOdbcEnv ini;
  SQLHENV env = nullptr;
  std::vector<SQLHDBC> dbcs;
  std::unique_ptr<stmttest::FakeStmt> fake;
};

TEST_F(Pool, ReusedBySameKeysOnly) {
  SQLHDBC a = connection();
  dmtest::fake_log_clear("odbc3");
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  EXPECT_EQ(static_cast<zolandm_dbc*>(a)->cp_timeout, 60);
  SQLHSTMT st = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, a, &st), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
  EXPECT_EQ(driver_disconnects(), 0u) << "kept open in the pool";
  EXPECT_EQ(fake->calls("DropStmt").size(), 1u) << "the statement left behind is dropped in the driver";
  EXPECT_EQ(pooled(), 1);
  EXPECT_EQ(first_record()->cp_expiry, now_value + 60);

  SQLHDBC b = connection();
  ASSERT_EQ(connect(b), SQL_SUCCESS);
  EXPECT_EQ(driver_connects(), 1u) << "taken from the pool";
  EXPECT_EQ(static_cast<zolandm_dbc*>(b)->state, 2);
  EXPECT_EQ(first_record()->cp_in_use, 1);
  EXPECT_EQ(dmtest::fake_live("odbc3", 1), 1);
  // The record it borrowed is lent: another connect with the same keys connects anew.
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  EXPECT_EQ(driver_connects(), 2u);
  ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(b), SQL_SUCCESS);
  EXPECT_EQ(pooled(), 2);
  // Another user matches neither.
  ASSERT_EQ(connect(a, "someone else"), SQL_SUCCESS);
  EXPECT_EQ(driver_connects(), 3u);
}

TEST_F(Pool, AConnectionThatChangesDriverKeepsItsKeys) {
  ini.odbc_ini("[ODBC Data Sources]\nfake = FakeDrv\n[fake]\nDriver = " + dmtest::fake_driver("odbc3") +
               "\n[other]\nDriver = " + dmtest::fake_driver("odbc2") + "\n");
  SQLHDBC a = connection();
  ASSERT_EQ(SQLConnect(a, S("other"), SQL_NTS, S("u"), SQL_NTS, S("p"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);  // not pooled: no time-out for that driver
  // The next connect names another library: the old driver goes, the new keys stay.
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
  ASSERT_EQ(pooled(), 1);
  EXPECT_STREQ(first_record()->conn_dsn, "fake");
  dmtest::fake_log_clear("odbc3");
  SQLHDBC b = connection();
  ASSERT_EQ(connect(b), SQL_SUCCESS);
  EXPECT_EQ(driver_connects(), 0u);
}

TEST_F(Pool, ExpiredRecordsAreClosed) {
  SQLHDBC a = connection();
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
  dmtest::fake_log_clear("odbc3");
  now_value += 60;
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  EXPECT_EQ(driver_disconnects(), 1u);
  EXPECT_EQ(driver_connects(), 1u);
  EXPECT_EQ(pooled(), 0);
  EXPECT_EQ(dmtest::fake_live("odbc3", 1), 1) << "the expired record's driver connection was freed";
}

TEST_F(Pool, AFailedDisconnectStillReleasesTheDriverConnection) {
  SQLHDBC a = connection();
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
  now_value += 61;
  {
    dmtest::ScopedEnv refuse("FAKEDRV_DISCONNECT_RC", "-1");
    ASSERT_EQ(connect(a), SQL_SUCCESS);
  }
  EXPECT_EQ(pooled(), 0);
  EXPECT_EQ(dmtest::fake_live("odbc3", 1), 1);
}

TEST_F(Pool, DeadRecordIsReservedAndRefilled) {
  SQLHDBC a = connection();
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
  dmtest::fake_log_clear("odbc3");
  {
    dmtest::ScopedEnv dead("FAKEDRV_DEAD", "1");
    ASSERT_EQ(connect(a), SQL_SUCCESS);
  }
  EXPECT_EQ(driver_connects(), 1u);
  EXPECT_EQ(static_cast<zolandm_dbc*>(a)->pool_entry, first_record());
  EXPECT_EQ(first_record()->cp_in_use, 1);
  EXPECT_EQ(dmtest::fake_live("odbc3", 1), 2);
  // Back into the same record, whose old driver connection is closed first.
  ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
  EXPECT_EQ(pooled(), 1);
  EXPECT_EQ(driver_disconnects(), 1u);
  EXPECT_EQ(dmtest::fake_live("odbc3", 1), 1);
  EXPECT_EQ(first_record()->cp_in_use, 0);
  // And it matches again.
  dmtest::fake_log_clear("odbc3");
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  EXPECT_EQ(driver_connects(), 0u);
}

TEST_F(Pool, LivenessIsAskedOfNarrowDrivers) {
  SQLHDBC a = connection();
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
  dmtest::fake_log_clear("odbc3");
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  EXPECT_EQ(dmtest::fake_calls("odbc3", "GetConnectAttr attr=1209").size(), 1u);
}

TEST_F(Pool, ProbeVerdicts) {
  configure("SELECT 1");
  struct Case {
    const char* name;
    const char* control;  // a fake statement control set to -1 during the check
    const char* probe;
    bool reused;
  } cases[] = {
      {"rows read to the end", "", "SELECT 1", true},
      {"executed without columns", "", "UPDATE t", true},
      {"execution failed", "rc:ExecDirect", "SELECT 1", false},
      {"column count failed", "rc:NumResultCols", "SELECT 1", false},
      {"fetch failed", "rc:Fetch", "SELECT 1", false},
      {"no statement", "rc:AllocStmt", "SELECT 1", false},
  };
  dmtest::ScopedEnv no_answer("FAKEDRV_DEAD_RC", "-1");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    configure(c.probe);
    SQLHDBC a = connection();
    ASSERT_EQ(connect(a), SQL_SUCCESS);
    ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
    dmtest::fake_log_clear("odbc3");
    fake->reset();
    if (c.control[0] != '\0') fake->set(c.control, -1);
    ASSERT_EQ(connect(a), SQL_SUCCESS);
    fake->reset();
    EXPECT_EQ(driver_connects(), c.reused ? 0u : 1u);
    ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
    // The probe's statement went with its manager record.
    for (zolandm_dbc* r = first_record(); r != nullptr; r = r->next) EXPECT_EQ(r->stmts, nullptr);
    SQLFreeHandle(SQL_HANDLE_DBC, a);
    dbcs.pop_back();
    // The next case starts from an empty pool.
    now_value += 1000;
    SQLHDBC sweep = connection();
    ASSERT_EQ(connect(sweep, "sweeper"), SQL_SUCCESS);
    SQLDisconnect(sweep);
    now_value += 1000;
  }
}

TEST_F(Pool, RetryWaitRefusesAtOnceUntilItEnds) {
  SQLHDBC a = connection();
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
  {
    // Found dead, and the connect of its own fails: the record waits out the retry time.
    dmtest::ScopedEnv dead("FAKEDRV_DEAD", "1");
    dmtest::ScopedEnv refuse("FAKEDRV_CONNECT_RC", "-1");
    EXPECT_EQ(connect(a), SQL_ERROR);
  }
  EXPECT_EQ(first_record()->cp_retry_until, now_value + 30);
  EXPECT_EQ(first_record()->cp_in_use, 0);
  EXPECT_EQ(dmtest::fake_live("odbc3", 1), 1) << "the dead driver connection was closed";
  dmtest::fake_log_clear("odbc3");
  now_value += 10;
  EXPECT_EQ(connect(a), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DBC, a), std::vector<std::string>{"08004"});
  EXPECT_EQ(driver_connects(), 0u);
  // A record with a retry time lives at least until that time, past its own time-out.
  EXPECT_GE(first_record()->cp_expiry, first_record()->cp_retry_until);
  now_value = first_record()->cp_retry_until;
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  EXPECT_EQ(driver_connects(), 1u) << "the record had no live connection: connected anew";
  EXPECT_EQ(first_record()->cp_retry_until, 0);
}

TEST_F(Pool, MatchingOptions) {
  SQLHDBC a = connection();
  ASSERT_EQ(SQLSetConnectAttr(a, SQL_ATTR_PACKET_SIZE, V(4096), 0), SQL_SUCCESS);
  ASSERT_EQ(connect(a), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
  SQLHDBC b = connection();
  dmtest::fake_log_clear("odbc3");
  ASSERT_EQ(connect(b), SQL_SUCCESS);
  EXPECT_EQ(driver_connects(), 1u) << "strict match: another packet size";
  ASSERT_EQ(SQLDisconnect(b), SQL_SUCCESS);
  SQLFreeHandle(SQL_HANDLE_DBC, b);
  dbcs.pop_back();

  // Relaxed match ignores the packet size; a catalog the borrower asks for is sent.
  SQLHENV relaxed = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &relaxed), SQL_SUCCESS);
  ASSERT_EQ(SQLSetEnvAttr(relaxed, SQL_ATTR_ODBC_VERSION, V(SQL_OV_ODBC3), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetEnvAttr(relaxed, SQL_ATTR_CP_MATCH, V(SQL_CP_RELAXED_MATCH), 0), SQL_SUCCESS);
  SQLHDBC c = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, relaxed, &c), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(c, SQL_ATTR_PACKET_SIZE, V(4096), 0), SQL_SUCCESS);
  ASSERT_EQ(connect(c), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(c), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(c, SQL_ATTR_PACKET_SIZE, V(512), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(c, SQL_ATTR_CURRENT_CATALOG, const_cast<char*>("cat"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(c, SQL_ATTR_AUTOCOMMIT, V(SQL_AUTOCOMMIT_OFF), 0), SQL_SUCCESS);
  dmtest::fake_log_clear("odbc3");
  ASSERT_EQ(connect(c), SQL_SUCCESS);
  EXPECT_EQ(driver_connects(), 0u);
  auto sets = dmtest::fake_calls("odbc3", "SetConnect");
  EXPECT_NE(std::find(sets.begin(), sets.end(), "SetConnectAttr attr=102 value=0 len=0"), sets.end());
  EXPECT_NE(std::find(sets.begin(), sets.end(), "SetConnectAttr attr=109 value=cat len=-3"), sets.end());
  ASSERT_EQ(SQLDisconnect(c), SQL_SUCCESS);
  // A borrower without a catalog does not match the record that now has one.
  SQLHDBC d = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, relaxed, &d), SQL_SUCCESS);
  dmtest::fake_log_clear("odbc3");
  ASSERT_EQ(connect(d), SQL_SUCCESS);
  EXPECT_EQ(driver_connects(), 1u);
  SQLDisconnect(d);
  SQLFreeHandle(SQL_HANDLE_DBC, d);
  SQLFreeHandle(SQL_HANDLE_DBC, c);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, relaxed), SQL_SUCCESS);
}

TEST_F(Pool, FreeingTheEnvironmentClosesEveryRecord) {
  SQLHDBC a = connection();
  SQLHDBC b = connection();
  ASSERT_EQ(connect(a, "one"), SQL_SUCCESS);
  ASSERT_EQ(connect(b, "two"), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(a), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(b), SQL_SUCCESS);
  EXPECT_EQ(pooled(), 2);
  for (SQLHDBC d : dbcs) EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, d), SQL_SUCCESS);
  dbcs.clear();
  dmtest::fake_log_clear("odbc3");
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
  env = nullptr;
  EXPECT_EQ(driver_disconnects(), 2u);
  EXPECT_EQ(dmtest::fake_live("odbc3", 1), 0);
  EXPECT_EQ(dmtest::fake_live("odbc3", 0), 0);
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
}

// ---- SQLite --------------------------------------------------------------------------------------

TEST(PoolSqlite, APooledConnectionIsTheSameConnection) {
  dmtest::TempOdbcEnv ini;
  ini.odbcinst_ini(std::string("[SQLite3]\nDriver = ") + test_support::kSqliteDriver + "\nCPTimeout = 60\n");
  ASSERT_EQ(SQLSetEnvAttr(nullptr, SQL_ATTR_CONNECTION_POOLING, V(SQL_CP_ONE_PER_DRIVER), 0), SQL_SUCCESS);
  SQLHENV env = nullptr;
  ASSERT_EQ(SQLAllocHandleStd(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
  const std::string same = "DRIVER={SQLite3};Database=" + ini.path("a.db");
  const std::string other = "DRIVER={SQLite3};Database=" + ini.path("a.db") + ";Timeout=1000";
  auto session = [&](const std::string& in, const char* sql) {
    SQLHDBC dbc = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    EXPECT_TRUE(ok(SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    SQLHSTMT st = nullptr;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_SUCCESS);
    SQLRETURN rc = SQLExecDirect(st, S(sql), SQL_NTS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, st), SQL_SUCCESS);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    return rc;
  };
  ASSERT_EQ(session(same, "CREATE TEMP TABLE only_here (x INTEGER)"), SQL_SUCCESS);
  // A temporary table lives as long as its connection: seen only through the pooled one.
  EXPECT_EQ(session(same, "INSERT INTO only_here VALUES (1)"), SQL_SUCCESS);
  EXPECT_EQ(session(other, "INSERT INTO only_here VALUES (1)"), SQL_ERROR);
  EXPECT_EQ(session(same, "INSERT INTO only_here VALUES (2)"), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
  SQLSetEnvAttr(nullptr, SQL_ATTR_CONNECTION_POOLING, V(SQL_CP_OFF), 0);
}

}  // namespace
