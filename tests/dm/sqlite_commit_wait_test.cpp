// A commit that waits in the driver leaves the manager free for the other connections:
// with SQLite, a commit waits until no other connection is reading, and the reader must
// be able to finish its read meanwhile.

#include <gtest/gtest.h>

#include <unistd.h>

#include <future>
#include <string>

#include "fixtures/odbc_env/dm_test_env.h"
#include "fixtures/support/odbc_config.h"

extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

using namespace dmtest;

using test_support::kSqliteDriver;

bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

class SqliteCommitWait : public DmTest {
 protected:
  void SetUp() override {
    if (access(kSqliteDriver, R_OK) != 0) GTEST_SKIP() << "SQLite ODBC driver not installed";
    DmTest::SetUp();
  }
  // A second connection on the same environment; StepAPI streams rows, so an open
  // result keeps the database's shared lock until it is read to the end.
  SQLHDBC open(const std::string& db) {
    SQLHDBC h = nullptr;
    EXPECT_EQ(SQLAllocConnect(env, &h), SQL_SUCCESS);
    std::string in = std::string("DRIVER=") + kSqliteDriver + ";Database=" + db + ";StepAPI=1;Timeout=4000";
    EXPECT_TRUE(ok(SQLDriverConnect(h, nullptr, U(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    return h;
  }
  static void run(SQLHDBC h, const char* sql) {
    SQLHSTMT st = nullptr;
    ASSERT_EQ(SQLAllocStmt(h, &st), SQL_SUCCESS);
    ASSERT_TRUE(ok(SQLExecDirect(st, U(std::string(sql)), SQL_NTS))) << sql;
    SQLFreeStmt(st, SQL_DROP);
  }
};

TEST_F(SqliteCommitWait, ReaderFinishesWhileTheCommitWaits) {
  const std::string db = ini.path("w.db");
  SQLHDBC writer = open(db), reader = open(db);
  run(writer, "CREATE TABLE t (k INTEGER)");
  run(writer, "INSERT INTO t VALUES (1), (2), (3)");
  ASSERT_EQ(SQLSetConnectOption(writer, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
  run(writer, "INSERT INTO t VALUES (4)");

  // The reader holds the shared lock: its result is open, one row read.
  SQLHSTMT rs = nullptr;
  ASSERT_EQ(SQLAllocStmt(reader, &rs), SQL_SUCCESS);
  ASSERT_TRUE(ok(SQLExecDirect(rs, U(std::string("SELECT k FROM t ORDER BY k")), SQL_NTS)));
  ASSERT_TRUE(ok(SQLFetch(rs)));

  // The commit waits for the reader; the reader reads on and closes, and the commit then
  // goes through instead of running into the driver's timeout.
  auto commit = std::async(std::launch::async, [&] { return SQLTransact(nullptr, writer, SQL_COMMIT); });
  usleep(300000);
  int more = 0;
  while (ok(SQLFetch(rs))) more++;
  EXPECT_EQ(more, 2);
  EXPECT_EQ(SQLFreeStmt(rs, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(commit.get(), SQL_SUCCESS);

  SQLFreeStmt(rs, SQL_DROP);
  for (SQLHDBC h : {writer, reader}) {
    SQLDisconnect(h);
    SQLFreeConnect(h);
  }
}

}  // namespace
