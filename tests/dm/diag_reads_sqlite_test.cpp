// Diagnostics of the real SQLite driver read the ways applications read them, by ODBC 3 and
// ODBC 2 applications. This driver forgets a record once it has returned it with a message
// buffer (through SQLGetDiagRec or SQLError), so every read after the first must come from
// the manager's copy.

#include <gtest/gtest.h>

#include "dm/diag_reads_util.h"

namespace {

using diagreads::Record;
using odbc3test::ok;
using odbc3test::S;
using test_support::kSqliteDriver;

class DiagReadsSqlite : public odbc3test::Odbc3Test, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    if (access(kSqliteDriver, R_OK) != 0) GTEST_SKIP() << "SQLite ODBC driver not installed";
    open_env(GetParam());
    std::string in = std::string("DRIVER=") + kSqliteDriver + ";Database=" + ini.path("t.db");
    ASSERT_TRUE(ok(SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
  }
  stmttest::Utf8Locale locale;
};

TEST_P(DiagReadsSqlite, EveryWayFindsTheWholeRecord) {
  // The driver words its records by the application's version.
  const bool odbc2 = GetParam() == 2;
  const std::string state = odbc2 ? "S1000" : "HY000";
  const std::wstring prefix = odbc2 ? L"[SQLite]" : L"";
  struct Case {
    std::wstring table;
  } cases[] = {{L"nosuch"}, {L"nosuch_\u00fc\u65e5"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(odbc3test::utf8(c.table));
    const Record want{state, 1, prefix + L"no such table: " + c.table + L" (1)"};
    diagreads::check_reads(stmt, "SELECT * FROM " + odbc3test::utf8(c.table), want, "SELECT 1");
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, DiagReadsSqlite, ::testing::Values(3, 2),
                         [](const ::testing::TestParamInfo<int>& v) {
                           return "Odbc" + std::to_string(v.param);
                         });

}  // namespace
