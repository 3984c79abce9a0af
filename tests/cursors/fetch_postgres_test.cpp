// The fetch engines in front of the real backend and PostgreSQL
// (psqlodbca.so): absolute scrolling of static and keyset-driven cursors,
// other sessions' changes, optimistic values and row locks held until commit.
#include <string>
#include <vector>

#include "cursors/fetch_fixture.h"

namespace engine_test {
namespace {

class FetchPostgres : public OnPostgres<FetchSession> {
 protected:
  void MakeTables() override { MakeTable("fe_t", "i INTEGER PRIMARY KEY, s VARCHAR(20)"); }
  void Fill(int n) {
    ASSERT_EQ(
        Exec(hPg, "INSERT INTO fe_t SELECT g, 'r' || g FROM generate_series(1, " + std::to_string(n) + ") g"),
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

TEST_F(FetchPostgres, KeysetCursorScrollsAndSeesOthersChanges) {
  Fill(25);
  for (sgn32 ft : {-1, 1}) {
    handle_t h = Scrollable(hPg, SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, 10);
    ASSERT_EQ(OpenScrollable(h, "SELECT i, s FROM fe_t ORDER BY i"), ER_SUCCESS) << Errors(h);
    ASSERT_EQ(State(h)->CursType, SQL_CURSOR_KEYSET_DRIVEN);
    CheckAbsolute(h, ft);
    engine.ops().endCursor(h);
  }
  handle_t h = Scrollable(hPg, SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, 5);
  ASSERT_EQ(OpenScrollable(h, "SELECT s, i FROM fe_t WHERE i > 10 ORDER BY i DESC"), ER_SUCCESS) << Errors(h);
  ASSERT_EQ(Exec(hPg2, "DELETE FROM fe_t WHERE i = 24"), ER_SUCCESS);
  ASSERT_EQ(Exec(hPg2, "UPDATE fe_t SET s = 'new' WHERE i = 22"), ER_SUCCESS);
  ASSERT_EQ(Exec(hPg2, "INSERT INTO fe_t VALUES (30, 'r30')"), ER_SUCCESS);
  XFetchAnswer a = XFetch(h, 1, 1);
  ASSERT_EQ(a.rc, ER_SUCCESS) << Errors(h);
  EXPECT_EQ(a.rows, (std::vector<std::string>{"r25|25", "NULL|NULL", "r23|23", "new|22", "r21|21"}));
  EXPECT_EQ(a.status, (std::vector<int>{0, 1, 0, 0, 0}));
  EXPECT_EQ(a.rsltSetSize, 15);
  ASSERT_EQ(OpenScrollable(h, "SELECT s, i FROM fe_t WHERE i > 10 ORDER BY i DESC"), ER_SUCCESS) << Errors(h);
  a = XFetch(h, 1, 1);
  EXPECT_EQ(a.rows, (std::vector<std::string>{"r30|30", "r25|25", "r23|23", "new|22", "r21|21"}));
  EXPECT_EQ(a.rsltSetSize, 15);
  engine.ops().endCursor(h);
}

// Lock concurrency: the rows of the rowset stay locked until the client
// commits, by a self-assigning UPDATE or by the rowset SELECT's FOR UPDATE.
TEST_F(FetchPostgres, LockedRowsStayLockedUntilCommit) {
  Fill(12);
  sgn32 off = 0;
  ASSERT_EQ(engine.ops().setDrvParameter(hPg, DRVP_CONN_AUTOCOMMIT, &off), ER_SUCCESS) << Errors(hPg);
  ASSERT_EQ(Exec(hPg2, "SET lock_timeout = '500ms'"), ER_SUCCESS) << Errors(hPg2);
  for (int byUpdate : {1, 0}) {
    SCOPED_TRACE(byUpdate);
    handle_t h = Scrollable(hPg, SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, 4);
    ASSERT_EQ(OpenScrollable(h, "SELECT i, s FROM fe_t ORDER BY i"), ER_SUCCESS) << Errors(h);
    ASSERT_EQ(State(h)->ConcType, SQL_CONCUR_LOCK);
    State(h)->bLockByUpdate = byUpdate;
    ip.counts.clear();
    XFetchAnswer a = XFetch(h, 5, 1);
    ASSERT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.First(), Range(5, 8));
    EXPECT_EQ(ip.counts["close"], 0) << "the client's cursor keeps its locks";
    if (!byUpdate) {
      EXPECT_NE(std::string(State(h)->Rqst.translated).find(" FOR UPDATE"), std::string::npos);
    }
    for (int row : {6, 8})
      EXPECT_NE(Exec(hPg2, "UPDATE fe_t SET s = 'x' WHERE i = " + std::to_string(row)), ER_SUCCESS) << row;
    for (int row : {4, 9})
      EXPECT_EQ(Exec(hPg2, "UPDATE fe_t SET s = 'x' WHERE i = " + std::to_string(row)), ER_SUCCESS) << row;
    ASSERT_EQ(engine.ops().commit(hPg), ER_SUCCESS) << Errors(hPg);
    EXPECT_EQ(Exec(hPg2, "UPDATE fe_t SET s = 'y' WHERE i = 6"), ER_SUCCESS) << Errors(hPg2);
    engine.ops().endCursor(h);
  }
}

}  // namespace
}  // namespace engine_test
