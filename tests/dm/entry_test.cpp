// The entry protocol's per-call work: diagnostics cleared at entry on every handle type (also
// when the list is already empty, which skips the free but must still reset the counters), a
// busy handle refused without touching the running call's flag or records, and calls on two
// connections running at once, each keeping to its own handles' diagnostics.

#include <functional>
#include <thread>

#include "dm/stmt_test_util.h"

namespace {

using namespace stmttest;

class Entry : public StmtTest {
 protected:
  void SetUp() override { open_fake("odbc3", 3); }

  // The four handles of the fixture, each with an ordinary call that succeeds on it.
  struct Target {
    const char* name;
    zolandm_hdr* hdr;
    uint16_t* read_count;
    std::function<SQLRETURN()> call;
    // The busy flag (null for the environment, which has none), as a value to set and read.
    std::function<void(int)> set_busy;
    std::function<int()> busy;
  };
  std::vector<Target> targets() {
    SQLHDESC desc = nullptr;
    EXPECT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &desc, 0, nullptr), SQL_SUCCESS);
    auto* e = static_cast<zolandm_env*>(env);
    auto* c = static_cast<zolandm_dbc*>(dbc);
    auto* s = rec();
    auto* d = static_cast<zolandm_desc*>(desc);
    return {
        {"env", reinterpret_cast<zolandm_hdr*>(e), &e->diag_read_count,
         [this] {
           SQLINTEGER v = 0;
           return SQLGetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &v, 0, nullptr);
         },
         nullptr, nullptr},
        {"dbc", reinterpret_cast<zolandm_hdr*>(c), &c->diag_read_count,
         [this] {
           SQLUINTEGER v = 0;
           return SQLGetConnectOption(dbc, SQL_AUTOCOMMIT, &v);
         },
         [c](int v) { c->busy = static_cast<SQLSMALLINT>(v); }, [c] { return int(c->busy); }},
        {"stmt", reinterpret_cast<zolandm_hdr*>(s), &s->diag_read_count,
         [this] {
           SQLULEN n = 0;
           return SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &n, 0, nullptr);
         },
         [s](int v) { s->busy = v; }, [s] { return s->busy; }},
        {"desc", reinterpret_cast<zolandm_hdr*>(d), &d->diag_read_count,
         [desc] {
           SQLSMALLINT n = 0;
           return SQLGetDescField(desc, 0, SQL_DESC_COUNT, &n, 0, nullptr);
         },
         [d](int v) { d->busy = static_cast<SQLSMALLINT>(v); }, [d] { return int(d->busy); }},
    };
  }
};

TEST_F(Entry, EachCallStartsWithTheHandlesDiagnosticsCleared) {
  for (const Target& t : targets()) {
    SCOPED_TRACE(t.name);
    for (bool with_records : {true, false}) {
      SCOPED_TRACE(with_records ? "records present" : "no records");
      if (with_records) {
        _zolandm_diag_add(t.hdr, ZOLANDM_E_01004);
        _zolandm_diag_add(t.hdr, ZOLANDM_E_S1000, "left over");
        ASSERT_EQ(_zolandm_diag_count(t.hdr), 2);
      }
      t.hdr->last_rc = -1;
      *t.read_count = 3;
      EXPECT_NE(t.call(), SQL_ERROR);
      EXPECT_EQ(_zolandm_diag_count(t.hdr), 0);
      EXPECT_EQ(*t.read_count, 0);
      EXPECT_NE(t.hdr->last_rc, -1);
    }
  }
}

TEST_F(Entry, ABusyHandleIsRefusedAndTheRunningCallKeepsItsFlagAndRecords) {
  for (const Target& t : targets()) {
    if (!t.set_busy) continue;
    SCOPED_TRACE(t.name);
    // As if a call were inside the driver on this handle and had reported a warning.
    t.set_busy(1);
    _zolandm_diag_add(t.hdr, ZOLANDM_E_01004);
    EXPECT_EQ(t.call(), SQL_ERROR);
    EXPECT_EQ(t.call(), SQL_ERROR);
    EXPECT_EQ(t.busy(), 1) << "a refused call must not end the running call's hold";
    ASSERT_EQ(_zolandm_diag_count(t.hdr), 3);
    EXPECT_EQ(t.hdr->diag->code, ZOLANDM_E_S1010);
    EXPECT_EQ(t.hdr->diag->next->code, ZOLANDM_E_S1010);
    EXPECT_EQ(t.hdr->diag->next->next->code, ZOLANDM_E_01004);
    // The running call ends; the next call takes the handle and starts clean.
    t.set_busy(0);
    EXPECT_NE(t.call(), SQL_ERROR);
    EXPECT_EQ(t.busy(), 0);
    EXPECT_EQ(_zolandm_diag_count(t.hdr), 0);
  }
}

// Each thread has its own environment, connection and statement on the SQLite driver; both
// run queries and a refused call over and over at once.
TEST(EntryThreads, CallsOnTwoConnectionsRunTogether) {
  if (access(kSqliteDriver, R_OK) != 0) GTEST_SKIP() << "SQLite ODBC driver not installed";
  dmtest::TempOdbcEnv ini;
  auto run = [&](int which, int* failures) {
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    SQLHSTMT stmt = nullptr;
    SQLAllocEnv(&env);
    SQLAllocConnect(env, &dbc);
    std::string in =
        std::string("DRIVER=") + kSqliteDriver + ";Database=" + ini.path("t" + std::to_string(which) + ".db");
    if (!SQL_SUCCEEDED(
            SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
      ++*failures;
      return;
    }
    SQLAllocStmt(dbc, &stmt);
    const int rows = 50 + which;
    std::string sql = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
                      std::to_string(rows) + ") SELECT x FROM c";
    for (int round = 0; round < 200; ++round) {
      // Fetching from a closed statement is refused by the manager itself...
      if (SQLFetch(stmt) != SQL_ERROR || _zolandm_diag_count(stmt) != 1) ++*failures;
      // ...and the next call starts without that record.
      if (SQLExecDirect(stmt, S(sql), SQL_NTS) != SQL_SUCCESS || _zolandm_diag_count(stmt) != 0) ++*failures;
      long sum = 0;
      SQLINTEGER x = 0;
      SQLLEN ind = 0;
      while (SQLFetch(stmt) == SQL_SUCCESS) {
        if (SQLGetData(stmt, 1, SQL_C_LONG, &x, 0, &ind) != SQL_SUCCESS) ++*failures;
        sum += x;
      }
      if (sum != long(rows) * (rows + 1) / 2) ++*failures;
      if (SQLFreeStmt(stmt, SQL_CLOSE) != SQL_SUCCESS) ++*failures;
      if (static_cast<zolandm_stmt*>(stmt)->busy != 0 || static_cast<zolandm_dbc*>(dbc)->busy != 0)
        ++*failures;
    }
    SQLFreeStmt(stmt, SQL_DROP);
    SQLDisconnect(dbc);
    SQLFreeConnect(dbc);
    SQLFreeEnv(env);
  };
  int failures[2] = {0, 0};
  std::thread a(run, 0, &failures[0]);
  std::thread b(run, 1, &failures[1]);
  a.join();
  b.join();
  EXPECT_EQ(failures[0], 0);
  EXPECT_EQ(failures[1], 0);
}

}  // namespace
