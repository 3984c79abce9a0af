// Positioned operations in front of the real backend and PostgreSQL
// (psqlodbca.so): two schemas hold a table of the same name, and only the
// one the statement names changes; another session's change is refused by
// optimistic concurrency by values.
#include <cstring>
#include <string>
#include <vector>

#include "cursors/fetch_fixture.h"
#include "cursors/setpos_fixture.h"
#include "fixtures/support/param_rows.h"

namespace engine_test {
namespace {

using test_support::ParamRows;

class SetPosPostgres : public OnPostgres<FetchSession> {
 protected:
  void MakeTables() override {
    for (const char* schema : {"sp_a", "sp_b"}) {
      const std::string s = schema;
      Exec(hPg, "DROP SCHEMA IF EXISTS " + s + " CASCADE");
      ASSERT_EQ(Exec(hPg, "CREATE SCHEMA " + s), ER_SUCCESS) << Errors(hPg);
      ASSERT_EQ(Exec(hPg, "CREATE TABLE " + s + ".pt (i INTEGER PRIMARY KEY, s VARCHAR(20), n INTEGER)"),
                ER_SUCCESS)
          << Errors(hPg);
      ASSERT_EQ(Exec(hPg, "INSERT INTO " + s + ".pt SELECT g, 'r' || g, g * 10 FROM generate_series(1, 5) g"),
                ER_SUCCESS);
    }
  }
  void TearDown() override {
    if (hPg) Exec(hPg, "DROP SCHEMA IF EXISTS sp_a CASCADE");
    if (hPg) Exec(hPg, "DROP SCHEMA IF EXISTS sp_b CASCADE");
    OnPostgres::TearDown();
  }
  std::vector<std::string> Rows(const std::string& schema) {
    std::vector<std::string> out;
    for (auto& r : Query(hPg2, "SELECT i, s, n FROM " + schema + ".pt ORDER BY i"))
      out.push_back(r[0] + "|" + r[1] + "|" + r[2]);
    return out;
  }
  SetPosAnswer SetPos(handle_t h, sgn32 irow, uns16 opt, Dataset* ds = nullptr,
                      std::vector<uns16> cols = {}) {
    return SetPosCall(engine.ops(), h, irow, opt, ds, cols);
  }
  handle_t Open(sgn32 type, const char* sql) {
    handle_t h =
        Scrollable(hPg, type == SQL_CURSOR_DYNAMIC ? SQL_CURSOR_KEYSET_DRIVEN : type, SQL_CONCUR_VALUES, 3);
    State(h)->CursType = type;
    EXPECT_EQ(OpenScrollable(h, sql), ER_SUCCESS) << Errors(h);
    EXPECT_EQ(XFetch(h, 1, type == SQL_CURSOR_DYNAMIC ? SQL_FETCH_FIRST : SQL_FETCH_NEXT).rc, ER_SUCCESS)
        << Errors(h);
    return h;
  }
};

const std::vector<std::string> kUntouched = {"1|r1|10", "2|r2|20", "3|r3|30", "4|r4|40", "5|r5|50"};

TEST_F(SetPosPostgres, OnlyTheNamedSchemaChanges) {
  for (sgn32 type : {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_STATIC, SQL_CURSOR_DYNAMIC}) {
    SCOPED_TRACE(type);
    ASSERT_EQ(Exec(hPg, "DELETE FROM sp_b.pt"), ER_SUCCESS);
    ASSERT_EQ(Exec(hPg, "INSERT INTO sp_b.pt SELECT * FROM sp_a.pt"), ER_SUCCESS);
    handle_t h = Open(type, "SELECT i, s, n FROM sp_b.pt ORDER BY i");
    SetPosAnswer a =
        SetPos(h, 1, SCS_SETPOS_UPDATE, ParamRows({{CTYPE_VCHR, 20}, {CTYPE_SGN32}}, {{"one", "1"}}), {2, 3});
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.status, std::vector<int>{SQL_ROW_UPDATED});
    a = SetPos(h, 2, SCS_SETPOS_DELETE);
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.status, std::vector<int>{SQL_ROW_DELETED});
    a = SetPos(
        h, -2, SCS_SETPOS_ADD,
        ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR, 20}}, {{"10", "ten"}, {"11", "eleven"}, {"12", "twelve"}}),
        {1, 2});
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.status, (std::vector<int>{4, 4, 4}));
    EXPECT_EQ(Rows("sp_b"), (std::vector<std::string>{"1|one|1", "3|r3|30", "4|r4|40", "5|r5|50",
                                                      "10|ten|NULL", "11|eleven|NULL", "12|twelve|NULL"}));
    EXPECT_EQ(Rows("sp_a"), kUntouched);
    // Another session's change is refused.
    ASSERT_EQ(Exec(hPg2, "UPDATE sp_b.pt SET n = 33 WHERE i = 3"), ER_SUCCESS);
    a = SetPos(h, 3, SCS_SETPOS_UPDATE, ParamRows({{CTYPE_VCHR, 20}, {CTYPE_SGN32}}, {{"mine", "0"}}),
               {2, 3});
    EXPECT_EQ(a.rc, ER_NO_ROWS_UPDTD_DLTD);
    EXPECT_EQ(a.status, std::vector<int>{SQL_ROW_ERROR});
    EXPECT_EQ(Rows("sp_b")[1], "3|r3|33");
    engine.ops().endCursor(h);
  }
}

}  // namespace
}  // namespace engine_test
