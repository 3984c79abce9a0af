// Bulk operations in front of the real backend and PostgreSQL (psqlodbca.so):
// delete, update and fetch by bookmark on keyset-driven and static cursors,
// and optimistic values that refuse rows another session changed.
#include <string>
#include <vector>

#include "cursors/bulk.h"
#include "cursors/fetch_fixture.h"
#include "fixtures/support/param_rows.h"

namespace engine_test {
namespace {

class BulkPostgres : public FetchSession {
 protected:
  handle_t hPg = 0, hPg2 = 0;
  void SetUp() override {
    if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    FetchSession::SetUp();
    ASSERT_EQ(Connect(PgConnStr(), &hPg), ER_SUCCESS) << Errors(hServer);
    ASSERT_EQ(Connect(PgConnStr(), &hPg2), ER_SUCCESS) << Errors(hServer);
    Exec(hPg, "DROP TABLE IF EXISTS bk_t");
    ASSERT_EQ(Exec(hPg, "CREATE TABLE bk_t (i INTEGER PRIMARY KEY, s VARCHAR(20), n INTEGER)"), ER_SUCCESS)
        << Errors(hPg);
  }
  void TearDown() override {
    if (hPg) Exec(hPg, "DROP TABLE IF EXISTS bk_t");
    FetchSession::TearDown();
  }
  void Reset(int n) {
    ASSERT_EQ(Exec(hPg, "DELETE FROM bk_t"), ER_SUCCESS);
    ASSERT_EQ(Exec(hPg, "INSERT INTO bk_t SELECT g, 'r' || g, g * 10 FROM generate_series(1, " +
                            std::to_string(n) + ") g"),
              ER_SUCCESS)
        << Errors(hPg);
  }
  handle_t OpenT(sgn32 type, sgn32 conc) {
    handle_t h = Scrollable(hPg, type, conc, 4);
    EXPECT_EQ(OpenScrollable(h, "SELECT i, s, n FROM bk_t ORDER BY i"), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(State(h)->CursType, type);
    EXPECT_EQ(XFetch(h, 1, 1).rc, ER_SUCCESS) << Errors(h);
    return h;
  }
  // Status per bookmark, rows of a fetch in a.second.
  errcode_t Bulk(handle_t h, uns16 op, std::vector<bookmark_t> bm, std::vector<int>* status,
                 std::vector<std::string>* rows = nullptr, Dataset* values = nullptr, uns16 col = 0) {
    uns16* st = nullptr;
    uns16 affected = 0;
    PRSET rs = nullptr;
    uns16* cols = nullptr;
    if (col) {
      cols = static_cast<uns16*>(malloc(sizeof(uns16)));
      *cols = col;
    }
    errcode_t rc = engine.ops().bulkOperations(h, op, bm.data(), uns16(bm.size()), values, cols, col ? 1 : 0,
                                               &st, &affected, &rs);
    status->clear();
    for (size_t i = 0; st && i < bm.size(); i++) status->push_back(st[i]);
    free(st);
    if (rs && rows) *rows = RowsText(rs->pDataset);
    RS_Destroy(&rs);
    return rc;
  }
  std::vector<std::string> Table() {
    std::vector<std::string> out;
    for (auto& r : Query(hPg, "SELECT i, s, n FROM bk_t ORDER BY i"))
      out.push_back(r[0] + "|" + r[1] + "|" + r[2]);
    return out;
  }
  static Dataset* Texts(const std::vector<std::string>& vals) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& v : vals) rows.push_back({v});
    return test_support::ParamRows({{CTYPE_CHR, 20}}, rows);
  }
};

TEST_F(BulkPostgres, DeleteUpdateAndFetchByBookmark) {
  for (sgn32 type : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_STATIC}) {
    SCOPED_TRACE(type);
    Reset(6);
    handle_t h = OpenT(type, SQL_CONCUR_VALUES);
    ASSERT_EQ(Exec(hPg2, "DELETE FROM bk_t WHERE i = 2"), ER_SUCCESS);
    std::vector<int> st;
    std::vector<std::string> rows;
    EXPECT_EQ(Bulk(h, SC_BULK_FETCH_BY_BOOKMARK, {4, 2, 1}, &st, &rows), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(st, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(rows, (std::vector<std::string>{"4|r4|40", "NULL|NULL|NULL", "1|r1|10"}));
    EXPECT_EQ(Bulk(h, SC_BULK_DELETE_BY_BOOKMARK, {3, 2}, &st), ER_ROWS_UPDTD_DLTD) << Errors(h);
    EXPECT_EQ(st, (std::vector<int>{1, 5}));
    EXPECT_EQ(Bulk(h, SC_BULK_UPDATE_BY_BOOKMARK, {4, 1}, &st, nullptr, Texts({"u4", "u1"}), 2), ER_SUCCESS)
        << Errors(h);
    EXPECT_EQ(st, (std::vector<int>{2, 2}));
    EXPECT_EQ(Table(), (std::vector<std::string>{"1|u1|10", "4|u4|40", "5|r5|50", "6|r6|60"}));
    engine.ops().endCursor(h);
  }
}

TEST_F(BulkPostgres, OptimisticValuesWithNullOldValues) {
  for (sgn32 type : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_STATIC}) {
    SCOPED_TRACE(type);
    Reset(4);
    ASSERT_EQ(Exec(hPg, "UPDATE bk_t SET n = NULL WHERE i IN (2, 3)"), ER_SUCCESS);
    handle_t h = OpenT(type, SQL_CONCUR_VALUES);
    ASSERT_EQ(Exec(hPg2, "UPDATE bk_t SET s = 'other' WHERE i = 3"), ER_SUCCESS);
    std::vector<int> st;
    EXPECT_EQ(Bulk(h, SC_BULK_UPDATE_BY_BOOKMARK, {1, 2, 3, 4}, &st, nullptr, Texts({"a", "b", "c", "d"}), 2),
              ER_ROWS_UPDTD_DLTD)
        << Errors(h);
    EXPECT_EQ(st, (std::vector<int>{2, 2, 5, 2}));
    EXPECT_EQ(Table(), (std::vector<std::string>{"1|a|10", "2|b|NULL", "3|other|NULL", "4|d|40"}));
    engine.ops().endCursor(h);
  }
}

}  // namespace
}  // namespace engine_test
