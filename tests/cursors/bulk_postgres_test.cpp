// Bulk operations in front of the real backend and PostgreSQL (psqlodbca.so):
// delete, update and fetch by bookmark on keyset-driven and static cursors,
// and optimistic values that refuse rows another session changed.
#include <string>
#include <vector>

#include "cursors/bulk_fixture.h"

namespace engine_test {
namespace {

class BulkPostgres : public OnPostgres<BulkSession> {
 protected:
  void MakeTables() override { MakeTable("bk_t", "i INTEGER PRIMARY KEY, s VARCHAR(20), n INTEGER"); }
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
  std::vector<std::string> Table() { return TableRows(hPg, "SELECT i, s, n FROM bk_t ORDER BY i"); }
};

TEST_F(BulkPostgres, DeleteUpdateAndFetchByBookmark) {
  for (sgn32 type : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_STATIC}) {
    SCOPED_TRACE(type);
    Reset(6);
    handle_t h = OpenT(type, SQL_CONCUR_VALUES);
    ASSERT_EQ(Exec(hPg2, "DELETE FROM bk_t WHERE i = 2"), ER_SUCCESS);
    BulkAnswer a = Bulk(h, SC_BULK_FETCH_BY_BOOKMARK, {4, 2, 1});
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.status, (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(a.rows, (std::vector<std::string>{"4|r4|40", "NULL|NULL|NULL", "1|r1|10"}));
    a = Bulk(h, SC_BULK_DELETE_BY_BOOKMARK, {3, 2});
    EXPECT_EQ(a.rc, ER_ROWS_UPDTD_DLTD) << Errors(h);
    EXPECT_EQ(a.status, (std::vector<int>{1, 5}));
    a = Bulk(h, SC_BULK_UPDATE_BY_BOOKMARK, {4, 1}, Texts({"u4", "u1"}), {2});
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.status, (std::vector<int>{2, 2}));
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
    BulkAnswer a = Bulk(h, SC_BULK_UPDATE_BY_BOOKMARK, {1, 2, 3, 4}, Texts({"a", "b", "c", "d"}), {2});
    EXPECT_EQ(a.rc, ER_ROWS_UPDTD_DLTD) << Errors(h);
    EXPECT_EQ(a.status, (std::vector<int>{2, 2, 5, 2}));
    EXPECT_EQ(Table(), (std::vector<std::string>{"1|a|10", "2|b|NULL", "3|other|NULL", "4|d|40"}));
    engine.ops().endCursor(h);
  }
}

}  // namespace
}  // namespace engine_test
