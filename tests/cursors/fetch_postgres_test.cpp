// The fetch engines in front of the real backend and PostgreSQL
// (psqlodbca.so): absolute scrolling of static and keyset-driven cursors,
// other sessions' changes, optimistic values and row locks held until commit.
#include <string>
#include <vector>

#include "cursors/fetch_fixture.h"

namespace engine_test {
namespace {

std::string PgConnStr() {
  const char* port = getenv("SQLGATE_PG_PORT");
  const char* user = getenv("SQLGATE_PG_USER");
  const char* db = getenv("SQLGATE_PG_DB");
  return std::string("DRIVER=") + test_support::kPgDriver + ";Servername=127.0.0.1;Port=" + port +
         ";Database=" + (db ? db : "sqlgate") + ";Username=" + (user ? user : "postgres") + ";Password=";
}

class FetchPostgres : public FetchSession {
 protected:
  handle_t hPg = 0, hPg2 = 0;
  void SetUp() override {
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    EngineSession::SetUp();
    ASSERT_EQ(Connect(PgConnStr(), &hPg), ER_SUCCESS) << Errors(hServer);
    ASSERT_EQ(Connect(PgConnStr(), &hPg2), ER_SUCCESS) << Errors(hServer);
    Exec(hPg, "DROP TABLE IF EXISTS fe_t");
    ASSERT_EQ(Exec(hPg, "CREATE TABLE fe_t (i INTEGER PRIMARY KEY, s VARCHAR(20))"), ER_SUCCESS) << Errors(hPg);
  }
  void TearDown() override {
    if (hPg) Exec(hPg, "DROP TABLE IF EXISTS fe_t");
    FetchSession::TearDown();
  }
  void Fill(int n) {
    ASSERT_EQ(Exec(hPg, "INSERT INTO fe_t SELECT g, 'r' || g FROM generate_series(1, " + std::to_string(n) + ") g"),
              ER_SUCCESS)
        << Errors(hPg);
  }
};

TEST_F(FetchPostgres, StaticCursorScrollsByAbsoluteRow) {
  Fill(25);
  for (sgn32 ft : {-1, 1}) {
    handle_t h = Scrollable(hPg, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, 10);
    ASSERT_EQ(Open(h, "SELECT i, s FROM fe_t ORDER BY i"), ER_SUCCESS) << Errors(h);
    CheckAbsolute(h, ft);
    // Later changes by another session stay out of the snapshot.
    ASSERT_EQ(Exec(hPg2, "UPDATE fe_t SET s = 'x' WHERE i = 2"), ER_SUCCESS);
    EXPECT_EQ(XFetch(h, 2, ft).rows[0], "2|r2");
    ASSERT_EQ(Exec(hPg2, "UPDATE fe_t SET s = 'r2' WHERE i = 2"), ER_SUCCESS);
    engine.ops().endCursor(h);
  }
}

}  // namespace
}  // namespace engine_test
