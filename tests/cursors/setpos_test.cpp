// Positioned operations in front of the real backend and the SQLite driver on
// a file database that a second connection shares: update, delete and add on
// keyset-driven, static and dynamic cursors, the exact statements, statuses
// and answers, optimistic concurrency by values against the other
// connection, refusals, row numbers outside the rowset, and new values sent
// as data at execution in pieces.
#include <cstring>
#include <string>
#include <vector>

#include "cursors/fetch_fixture.h"
#include "cursors/setpos_fixture.h"
#include "fixtures/support/param_rows.h"

namespace engine_test {
namespace {

using test_support::ParamColumn;
using test_support::ParamRows;

bool Dml(const char* sql) {
  return !strncmp(sql, "UPDATE", 6) || !strncmp(sql, "DELETE", 6) || !strncmp(sql, "INSERT", 6);
}

class SetPosSqlite : public OnSqlite<FetchSession> {
 protected:
  std::vector<std::string> statements;
  void SetUp() override {
    OnSqlite::SetUp();
    RecordPrepares(&statements, Dml);
  }
  // The table as the second connection sees it, "i|s|n" per row.
  std::vector<std::string> Rows(const char* where = "") {
    std::vector<std::string> out;
    for (auto& r : Query(hConn2, std::string("SELECT i, s, n FROM t ") + where + " ORDER BY i"))
      out.push_back(r[0] + "|" + r[1] + "|" + r[2]);
    return out;
  }
  // A cursor of the type over t, its first rowset (or the one at row `at`) fetched.
  handle_t Open(sgn32 type, sgn32 conc, sgn32 rs, sgn32 at = 1,
                const char* sql = "SELECT i, s, n FROM t ORDER BY i") {
    handle_t h = Scrollable(hConn, type == SQL_CURSOR_DYNAMIC ? SQL_CURSOR_KEYSET_DRIVEN : type, conc, rs);
    State(h)->CursType = type;
    EXPECT_EQ(OpenScrollable(h, sql), ER_SUCCESS) << Errors(h);
    if (type == SQL_CURSOR_DYNAMIC) {
      EXPECT_EQ(XFetch(h, 1, SQL_FETCH_FIRST).rc, ER_SUCCESS) << Errors(h);
      for (sgn32 r = 1; r < at; r += rs) EXPECT_EQ(XFetch(h, 1, SQL_FETCH_NEXT).rc, ER_SUCCESS) << Errors(h);
    } else {
      EXPECT_EQ(XFetch(h, at).rc, ER_SUCCESS) << Errors(h);
    }
    return h;
  }
  SetPosAnswer SetPos(handle_t h, sgn32 irow, uns16 opt, Dataset* ds = nullptr,
                      std::vector<uns16> cols = {}) {
    return SetPosCall(engine.ops(), h, irow, opt, ds, cols);
  }
  // New values of s (text) and n (integer), one row each.
  static Dataset* Values(const std::vector<std::vector<std::string>>& rows) {
    return ParamRows({{CTYPE_VCHR, 20}, {CTYPE_SGN32}}, rows);
  }
};

const sgn32 kTypes[] = {SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_STATIC, SQL_CURSOR_DYNAMIC};

// One row updated, one deleted and one added, on every cursor type; the next
// fetch shows the change.
TEST_F(SetPosSqlite, OneRowUpdateDeleteAddEveryType) {
  for (sgn32 type : kTypes) {
    SCOPED_TRACE(type);
    Fill(6);
    handle_t h = Open(type, SQL_CONCUR_VALUES, 4);
    statements.clear();
    SetPosAnswer a = SetPos(h, 2, SCS_SETPOS_UPDATE, Values({{"X2", "7"}}), {2, 3});
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.status, std::vector<int>{SQL_ROW_UPDATED});
    EXPECT_EQ(State(h)->cRowsProcessed, 1u);
    a = SetPos(h, 3, SCS_SETPOS_DELETE);
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.status, std::vector<int>{SQL_ROW_DELETED});
    a = SetPos(h, 1, SCS_SETPOS_ADD, ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR, 20}}, {{"100", "new"}}), {1, 2});
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.status, std::vector<int>{SQL_ROW_ADDED});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1|r1|10", "2|X2|7", "4|r4|40", "5|r5|50", "6|r6|60",
                                                "100|new|NULL"}));
    EXPECT_EQ(statements, (std::vector<std::string>{
                              "UPDATE \"t\" SET \"s\" = ?, \"n\" = ? WHERE _ROWID_ = ? AND \"i\" = ? AND "
                              "\"s\" = ? AND \"n\" = ?",
                              "DELETE FROM \"t\" WHERE _ROWID_ = ? AND \"i\" = ? AND \"s\" = ? AND \"n\" = ?",
                              "INSERT INTO \"t\" ( \"i\", \"s\" ) VALUES ( ?, ? )"}));
    if (type == SQL_CURSOR_KEYSET_DRIVEN) {
      XFetchAnswer f = XFetch(h, 1);
      EXPECT_EQ(f.status, (std::vector<int>{0, SQL_ROW_UPDATED, SQL_ROW_DELETED, 0}));
      EXPECT_EQ(f.rows[1], "2|X2|7");
    } else if (type == SQL_CURSOR_DYNAMIC) {
      EXPECT_EQ(XFetch(h, 1, SQL_FETCH_FIRST).rows,
                (std::vector<std::string>{"1|r1|10", "2|X2|7", "4|r4|40", "5|r5|50"}));
    }
    engine.ops().endCursor(h);
  }
}

// Every row of the rowset (-2), also a short last rowset, with one row failing.
TEST_F(SetPosSqlite, AllRowsOfTheRowset) {
  struct Case {
    sgn32 type, at;
    std::vector<errcode_t> executeFails;
    errcode_t rc;
    std::vector<int> status;
    std::vector<std::string> rows;  // rows 5.. afterwards
  } cases[] = {
      {SQL_CURSOR_KEYSET_DRIVEN,
       5,
       {},
       ER_SUCCESS,
       {2, 2, 2, 2},
       {"5|a|1", "6|b|2", "7|c|3", "8|d|4", "9|r9|90", "10|r10|100"}},
      {SQL_CURSOR_KEYSET_DRIVEN,
       9,
       {},
       ER_ROWS_UPDTD_DLTD,
       {2, 2, 3, 3},
       {"5|r5|50", "6|r6|60", "7|r7|70", "8|r8|80", "9|a|1", "10|b|2"}},
      {SQL_CURSOR_STATIC,
       9,
       {},
       ER_ROWS_UPDTD_DLTD,
       {2, 2, 3, 3},
       {"5|r5|50", "6|r6|60", "7|r7|70", "8|r8|80", "9|a|1", "10|b|2"}},
      {SQL_CURSOR_DYNAMIC,
       5,
       {ER_GENERAL_ERROR},
       ER_ROWS_UPDTD_DLTD,
       {5, 2, 2, 2},
       {"5|r5|50", "6|b|2", "7|c|3", "8|d|4", "9|r9|90", "10|r10|100"}},
      {SQL_CURSOR_STATIC,
       9,
       {ER_GENERAL_ERROR, ER_GENERAL_ERROR},
       ER_NO_ROWS_UPDTD_DLTD,
       {5, 5, 3, 3},
       {"5|r5|50", "6|r6|60", "7|r7|70", "8|r8|80", "9|r9|90", "10|r10|100"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " at " + std::to_string(c.at));
    Fill(10);
    handle_t h = Open(c.type, SQL_CONCUR_VALUES, 4, c.at);
    ip.fail["execute"] = c.executeFails;
    SetPosAnswer a =
        SetPos(h, -2, SCS_SETPOS_UPDATE, Values({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}}), {2, 3});
    ip.fail.erase("execute");
    EXPECT_EQ(a.rc, c.rc) << Errors(h);
    EXPECT_EQ(a.status, c.status);
    EXPECT_EQ(Rows("WHERE i >= 5"), c.rows);
    engine.ops().endCursor(h);
  }
}

// Optimistic concurrency by values: a row another connection changed is
// refused, also when its old value was NULL; a NULL old value is compared with
// IS NULL and the next row without NULLs gets its own statement.
TEST_F(SetPosSqlite, OptimisticValuesRefuseOthersChanges) {
  for (sgn32 type : kTypes) {
    SCOPED_TRACE(type);
    Fill(4);
    ASSERT_EQ(Exec(hConn, "UPDATE t SET n = NULL WHERE i = 2"), ER_SUCCESS);
    handle_t h = Open(type, SQL_CONCUR_VALUES, 4);
    statements.clear();
    SetPosAnswer a =
        SetPos(h, -2, SCS_SETPOS_UPDATE, Values({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}}), {2, 3});
    const std::string kUpdate =
        "UPDATE \"t\" SET \"s\" = ?, \"n\" = ? WHERE _ROWID_ = ? AND \"i\" = ? AND \"s\" = ? AND ";
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.status, (std::vector<int>{2, 2, 2, 2}));
    EXPECT_EQ(statements, (std::vector<std::string>{kUpdate + "\"n\" = ?", kUpdate + "\"n\" IS NULL",
                                                    kUpdate + "\"n\" = ?"}));
    engine.ops().endCursor(h);

    Fill(4);
    ASSERT_EQ(Exec(hConn, "UPDATE t SET n = NULL WHERE i = 2"), ER_SUCCESS);
    h = Open(type, SQL_CONCUR_VALUES, 4);
    ASSERT_EQ(Exec(hConn2, "UPDATE t SET n = 5 WHERE i = 2"), ER_SUCCESS);
    ASSERT_EQ(Exec(hConn2, "UPDATE t SET s = 'other' WHERE i = 3"), ER_SUCCESS);
    for (sgn32 row : {2, 3}) {
      a = SetPos(h, row, SCS_SETPOS_UPDATE, Values({{"mine", "0"}}), {2, 3});
      EXPECT_EQ(a.rc, ER_NO_ROWS_UPDTD_DLTD);
      EXPECT_EQ(a.status, std::vector<int>{SQL_ROW_ERROR});
      a = SetPos(h, row, SCS_SETPOS_DELETE);
      EXPECT_EQ(a.rc, ER_NO_ROWS_UPDTD_DLTD);
    }
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1|r1|10", "2|r2|5", "3|other|30", "4|r4|40"}));
    engine.ops().endCursor(h);
  }
}

// Rows updated one call after another reuse the statement the call before
// prepared on the auxiliary cursor; a different statement in between (a
// delete, a comparison with NULL) is prepared, and so is the next update.
TEST_F(SetPosSqlite, SuccessiveCallsReuseThePreparedStatement) {
  for (sgn32 type : {sgn32(SQL_CURSOR_KEYSET_DRIVEN), sgn32(SQL_CURSOR_STATIC)}) {
    SCOPED_TRACE(type);
    Fill(7);
    ASSERT_EQ(Exec(hConn, "UPDATE t SET n = NULL WHERE i = 5"), ER_SUCCESS);
    handle_t h = Open(type, SQL_CONCUR_VALUES, 7);
    ASSERT_EQ(Exec(hConn2, "UPDATE t SET s = 'other' WHERE i = 3"), ER_SUCCESS);
    statements.clear();
    struct Step {
      sgn32 row;
      uns16 opt;
      errcode_t rc;
      int status;
    } steps[] = {
        {1, SCS_SETPOS_UPDATE, ER_SUCCESS, SQL_ROW_UPDATED},
        {2, SCS_SETPOS_UPDATE, ER_SUCCESS, SQL_ROW_UPDATED},
        {3, SCS_SETPOS_UPDATE, ER_NO_ROWS_UPDTD_DLTD, SQL_ROW_ERROR},  // changed by the other connection
        {4, SCS_SETPOS_DELETE, ER_SUCCESS, SQL_ROW_DELETED},
        {6, SCS_SETPOS_UPDATE, ER_SUCCESS, SQL_ROW_UPDATED},
        {5, SCS_SETPOS_UPDATE, ER_SUCCESS, SQL_ROW_UPDATED},  // its n is NULL
        {7, SCS_SETPOS_UPDATE, ER_SUCCESS, SQL_ROW_UPDATED},
    };
    for (const Step& st : steps) {
      SCOPED_TRACE(st.row);
      Dataset* ds = st.opt == SCS_SETPOS_UPDATE ? Values({{"u" + std::to_string(st.row), "7"}}) : nullptr;
      SetPosAnswer a = SetPos(h, st.row, st.opt, ds, ds ? std::vector<uns16>{2, 3} : std::vector<uns16>{});
      EXPECT_EQ(a.rc, st.rc) << Errors(h);
      EXPECT_EQ(a.status, std::vector<int>{st.status});
    }
    ASSERT_EQ(statements.size(), 5u);
    EXPECT_EQ(statements[1].rfind("DELETE", 0), 0u);
    EXPECT_EQ(statements[2], statements[0]);
    EXPECT_NE(statements[3].find("IS NULL"), std::string::npos);
    EXPECT_EQ(statements[4], statements[0]);
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"1|u1|7", "2|u2|7", "3|other|30", "5|u5|7", "6|u6|7", "7|u7|7"}));
    engine.ops().endCursor(h);
  }
}

// A dynamic cursor updated twice in the same rowset compares the second time
// with what the first stored.
TEST_F(SetPosSqlite, DynamicSecondUpdateWithoutFetch) {
  Fill(4);
  handle_t h = Open(SQL_CURSOR_DYNAMIC, SQL_CONCUR_VALUES, 4);
  EXPECT_EQ(SetPos(h, 2, SCS_SETPOS_UPDATE, Values({{"x", "1"}}), {2, 3}).rc, ER_SUCCESS) << Errors(h);
  SetPosAnswer a = SetPos(h, 2, SCS_SETPOS_UPDATE, Values({{"y", "2"}}), {2, 3});
  EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
  EXPECT_EQ(a.status, std::vector<int>{SQL_ROW_UPDATED});
  EXPECT_EQ(Rows("WHERE i = 2"), std::vector<std::string>{"2|y|2"});
  EXPECT_EQ(XFetch(h, 1, SQL_FETCH_FIRST).rows[1], "2|y|2");
  engine.ops().endCursor(h);
}

// A row deleted in the rowset leaves a gap in the stored values read again
// after an update: later rows keep their own old values.
TEST_F(SetPosSqlite, DynamicUpdatesAfterADeleteInTheRowset) {
  Fill(7);
  handle_t h = Open(SQL_CURSOR_DYNAMIC, SQL_CONCUR_VALUES, 7);
  EXPECT_EQ(SetPos(h, 4, SCS_SETPOS_DELETE).rc, ER_SUCCESS) << Errors(h);
  for (sgn32 row : {6, 5, 7, 6}) {
    SCOPED_TRACE(row);
    SetPosAnswer a = SetPos(h, row, SCS_SETPOS_UPDATE, Values({{"u" + std::to_string(row), "1"}}), {2, 3});
    EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
    EXPECT_EQ(a.status, std::vector<int>{SQL_ROW_UPDATED});
  }
  EXPECT_EQ(Rows(),
            (std::vector<std::string>{"1|r1|10", "2|r2|20", "3|r3|30", "5|u5|1", "6|u6|1", "7|u7|1"}));
  engine.ops().endCursor(h);
}

// Row numbers that name no row of the rowset change nothing.
TEST_F(SetPosSqlite, RowNumbersOutsideTheRowset) {
  Fill(10);
  struct Case {
    const char* what;
    sgn32 at, irow;
    uns16 opt;
    int dsRows;  // -1 none
    errcode_t rc;
  } cases[] = {
      {"row 0 update", 1, 0, SCS_SETPOS_UPDATE, 1, ER_INVALID_ROW_VALUE},
      {"row 0 delete", 1, 0, SCS_SETPOS_DELETE, -1, ER_INVALID_ROW_VALUE},
      {"beyond the rowset", 1, 5, SCS_SETPOS_UPDATE, 5, ER_INVALID_ROW_VALUE},
      {"beyond the rowset delete", 1, 5, SCS_SETPOS_DELETE, -1, ER_INVALID_ROW_VALUE},
      {"negative row", 1, -5, SCS_SETPOS_DELETE, -1, ER_INVALID_ROW_VALUE},
      {"key row not held", 9, 3, SCS_SETPOS_UPDATE, 3, ER_INVALID_ROW_VALUE},
      {"key row not held delete", 9, 3, SCS_SETPOS_DELETE, -1, ER_INVALID_ROW_VALUE},
      {"dataset short for all rows", 1, -2, SCS_SETPOS_UPDATE, 2, ER_INVALID_ROW_VALUE},
      {"dataset short for row 3", 1, 3, SCS_SETPOS_UPDATE, 2, ER_INVALID_ROW_VALUE},
      {"dataset short for an add", 1, -2, SCS_SETPOS_ADD, 3, ER_INVALID_ROW_VALUE},
      {"row 0 positions", 1, 0, SCS_SETPOS_POSITION, -1, ER_SUCCESS},
      {"position beyond the rowset", 1, 5, SCS_SETPOS_POSITION, -1, ER_INVALID_ROW_VALUE},
      {"refresh", 1, 1, SCS_SETPOS_REFRESH, -1, ER_DRV_NOT_CAPABLE},
  };
  const std::vector<std::string> before = Rows();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    handle_t h = Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 4, c.at);
    const positn_t pos = State(h)->Position, rsPos = State(h)->RSPosition;
    std::vector<std::vector<std::string>> rows;
    for (int r = 0; r < c.dsRows; r++) rows.push_back({std::to_string(200 + r), "z"});
    Dataset* ds = c.dsRows < 0 ? nullptr : ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR, 20}}, rows);
    SetPosAnswer a = SetPos(h, c.irow, c.opt, ds, ds ? std::vector<uns16>{1, 2} : std::vector<uns16>{});
    EXPECT_EQ(a.rc, c.rc);
    EXPECT_TRUE(a.status.empty());
    EXPECT_EQ(Rows(), before);
    if (c.rc != ER_SUCCESS) {
      EXPECT_EQ(State(h)->Position, pos);
      EXPECT_EQ(State(h)->RSPosition, rsPos);
    }
    engine.ops().endCursor(h);
  }
  // A one-row dataset serves a single row wherever it stands.
  handle_t h = Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 4);
  EXPECT_EQ(SetPos(h, 3, SCS_SETPOS_UPDATE, Values({{"three", "3"}}), {2, 3}).rc, ER_SUCCESS) << Errors(h);
  EXPECT_EQ(Rows("WHERE i = 3"), std::vector<std::string>{"3|three|3"});
  engine.ops().endCursor(h);
}

// Deletes without skip marks, skipped rows, and adds with a skipped row.
TEST_F(SetPosSqlite, DeletesAndSkippedRows) {
  Fill(6);
  handle_t h = Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 4);
  // A dataset without columns carries no marks: every row goes.
  Dataset* none = ParamRows({}, {});
  SetPosAnswer a = SetPos(h, -2, SCS_SETPOS_DELETE, none);
  EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
  EXPECT_EQ(a.status, (std::vector<int>{1, 1, 1, 1}));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"5|r5|50", "6|r6|60"}));
  engine.ops().endCursor(h);

  Fill(6);
  h = Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 4);
  Dataset* marks = ParamRows({{CTYPE_SGN32}}, {{"0"}, {"0"}, {"0"}, {"0"}});
  marks->col[0].indicators[1] = -4;
  marks->col[0].indicators[3] = -4;
  a = SetPos(h, -2, SCS_SETPOS_DELETE, marks);
  EXPECT_EQ(a.rc, ER_ROWS_UPDTD_DLTD);
  EXPECT_EQ(a.status, (std::vector<int>{1, 0, 1, 0}));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"2|r2|20", "4|r4|40", "5|r5|50", "6|r6|60"}));

  Dataset* add =
      ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR, 20}}, {{"50", "a"}, {"51", "b"}, {"52", "c"}, {"53", "d"}});
  add->col[0].indicators[2] = -4;
  a = SetPos(h, -2, SCS_SETPOS_ADD, add, {1, 2});
  EXPECT_EQ(a.rc, ER_ROW_ERROR);
  EXPECT_EQ(a.status, (std::vector<int>{4, 4, 3, 4}));
  EXPECT_EQ(State(h)->cRowsProcessed, 3u);
  EXPECT_EQ(Rows("WHERE i >= 50"), (std::vector<std::string>{"50|a|NULL", "51|b|NULL", "53|d|NULL"}));
  engine.ops().endCursor(h);
}

// Statements the positioned operations do not serve.
TEST_F(SetPosSqlite, Refusals) {
  Fill(4);
  ASSERT_EQ(Exec(hConn, "CREATE TABLE u (i INTEGER PRIMARY KEY, m INTEGER)"), ER_SUCCESS);
  ASSERT_EQ(Exec(hConn, "INSERT INTO u VALUES (1, 1), (2, 2)"), ER_SUCCESS);
  statements.clear();
  struct Case {
    const char* sql;
    sgn32 type, conc;
    errcode_t rc;
  } cases[] = {
      {"SELECT t.i, u.m FROM t, u WHERE t.i = u.i", SQL_CURSOR_STATIC, SQL_CONCUR_VALUES,
       ER_PRQST_JOIN_CNDTN},
      {"SELECT n, COUNT(*) FROM t GROUP BY n", SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, ER_PRQST_GROUPBY_CLAUSE},
      {"SELECT i FROM t UNION SELECT i FROM u", SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, ER_PRQST_UNION_CLAUSE},
      {"SELECT COUNT(*) FROM t", SQL_CURSOR_STATIC, SQL_CONCUR_VALUES, ER_PRQST_SCALAR_AGGR},
      {"SELECT i, s, n FROM t ORDER BY i", SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY,
       ER_INVALID_ARGUMENT},
      {"SELECT i, s, n FROM t ORDER BY i", SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, ER_INVALID_ARGUMENT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    handle_t h = Open(c.type, c.conc, 2, 1, c.sql);
    for (uns16 opt : {SCS_SETPOS_UPDATE, SCS_SETPOS_DELETE, SCS_SETPOS_ADD}) {
      SetPosAnswer a = SetPos(h, 1, opt, ParamRows({{CTYPE_SGN32}}, {{"9"}}), {1});
      EXPECT_EQ(a.rc, c.rc) << opt;
      EXPECT_TRUE(a.status.empty());
    }
    engine.ops().endCursor(h);
  }
  EXPECT_EQ(Rows(), (std::vector<std::string>{"1|r1|10", "2|r2|20", "3|r3|30", "4|r4|40"}));
  EXPECT_TRUE(statements.empty());
  // Columns outside the cursor's, and a handle that names no cursor.
  handle_t h = Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 2);
  EXPECT_EQ(SetPos(h, 1, SCS_SETPOS_UPDATE, ParamRows({{CTYPE_SGN32}}, {{"9"}}), {4}).rc, ER_INVALID_COLUMN);
  EXPECT_EQ(
      SetPos(h, 1, SCS_SETPOS_UPDATE, ParamRows({{CTYPE_SGN32}, {CTYPE_SGN32}}, {{"9", "9"}}), {3, 2}).rc,
      ER_INVALID_COLUMN);
  EXPECT_EQ(SetPos(0xCCCC0FFF, 1, SCS_SETPOS_DELETE, ParamRows({{CTYPE_SGN32}}, {{"9"}}), {1}).rc,
            ER_INVALID_ARGUMENT);
  // A column list shorter than the new values' columns, and hostile row numbers.
  for (uns16 opt : {SCS_SETPOS_UPDATE, SCS_SETPOS_ADD}) {
    SCOPED_TRACE(opt);
    Dataset* two = ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR, 20}}, {{"90", "z"}});
    SetPosAnswer a = SetPos(h, 1, opt, two, {2});
    EXPECT_EQ(a.rc, ER_INVALID_ARGUMENT);
    EXPECT_TRUE(a.status.empty());
  }
  for (sgn32 irow : {INT32_MIN, INT32_MAX, -3}) {
    SCOPED_TRACE(irow);
    EXPECT_EQ(SetPos(h, irow, SCS_SETPOS_UPDATE, ParamRows({{CTYPE_SGN32}}, {{"9"}}), {3}).rc,
              ER_INVALID_ROW_VALUE);
    EXPECT_EQ(SetPos(h, irow, SCS_SETPOS_DELETE, nullptr).rc, ER_INVALID_ROW_VALUE);
  }
  EXPECT_EQ(Rows(), (std::vector<std::string>{"1|r1|10", "2|r2|20", "3|r3|30", "4|r4|40"}));
  engine.ops().endCursor(h);
}

// Fixed-width text filling its whole cell is taken as long as the cell.
TEST_F(SetPosSqlite, FixedWidthTextIsBounded) {
  Fill(4);
  handle_t h = Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 2);
  SetPosAnswer a = SetPos(h, -2, SCS_SETPOS_UPDATE, ParamRows({{CTYPE_CHR, 3}}, {{"abc"}, {"xyz"}}), {2});
  EXPECT_EQ(a.rc, ER_SUCCESS) << Errors(h);
  EXPECT_EQ(Rows("WHERE i <= 2"), (std::vector<std::string>{"1|abc|10", "2|xyz|20"}));
  engine.ops().endCursor(h);
}

class SetPosDataAtExec : public SetPosSqlite {
 protected:
  errcode_t ParamData(handle_t h, sgn32* col, sgn32* row, std::vector<int>* status = nullptr) {
    uns16* st = nullptr;
    uns32 n = 0;
    errcode_t e = engine.ops().paramData(h, col, row, &st, &n);
    for (uns32 i = 0; status && st && i < n; i++) status->push_back(st[i]);
    free(st);
    return e;
  }
  errcode_t Put(handle_t h, ctype_t t, indicator_t ind, std::string v) {
    return engine.ops().putData(h, t, ind, v.data(), precision_t(v.size()));
  }
};

// Update and add whose values come in pieces, over several rows and columns:
// the statements receive whole values.
TEST_F(SetPosDataAtExec, PiecesOverRowsAndColumns) {
  Fill(4);
  handle_t h = Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 2);
  SetPosAnswer a = SetPos(h, -2, SCS_SETPOS_UPDATE, Values({{"-2", "-2"}, {"-2", "7"}}), {2, 3});
  ASSERT_EQ(a.rc, ER_NEED_DATA);
  EXPECT_TRUE(a.status.empty());
  struct Piece {
    sgn32 col, row;
    std::vector<std::pair<indicator_t, std::string>> pieces;
    ctype_t type;
  } pieces[] = {
      {0, 0, {{0, "hel"}, {0, "lo "}, {0, "world"}}, CTYPE_VCHR},
      {1, 0, {{0, std::string("\x2a\0\0\0", 4)}}, CTYPE_SGN32},
      {0, 1, {{-1, ""}}, CTYPE_VCHR},
  };
  for (const Piece& p : pieces) {
    sgn32 col = -9, row = -9;
    ASSERT_EQ(ParamData(h, &col, &row), ER_NEED_DATA);
    EXPECT_EQ(col, p.col);
    EXPECT_EQ(row, p.row);
    for (auto& [ind, v] : p.pieces) ASSERT_EQ(Put(h, p.type, ind, v), ER_SUCCESS);
  }
  std::vector<int> status;
  EXPECT_EQ(ParamData(h, nullptr, nullptr, &status), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(status, (std::vector<int>{2, 2}));
  EXPECT_EQ(Rows("WHERE i <= 2"), (std::vector<std::string>{"1|hello world|42", "2|NULL|7"}));

  a = SetPos(h, -2, SCS_SETPOS_ADD, ParamRows({{CTYPE_SGN32}, {CTYPE_VCHR, 5}}, {{"60", "-2"}, {"61", "-2"}}),
             {1, 2});
  ASSERT_EQ(a.rc, ER_NEED_DATA);
  ASSERT_EQ(ParamData(h, nullptr, nullptr), ER_NEED_DATA);
  ASSERT_EQ(Put(h, CTYPE_VCHR, 0, "a long"), ER_SUCCESS);
  ASSERT_EQ(Put(h, CTYPE_VCHR, 0, "er value"), ER_SUCCESS);
  ASSERT_EQ(ParamData(h, nullptr, nullptr), ER_NEED_DATA);
  ASSERT_EQ(Put(h, CTYPE_VCHR, 0, "b"), ER_SUCCESS);
  status.clear();
  EXPECT_EQ(ParamData(h, nullptr, nullptr, &status), ER_SUCCESS) << Errors(h);
  EXPECT_EQ(status, (std::vector<int>{4, 4}));
  EXPECT_EQ(Rows("WHERE i >= 60"), (std::vector<std::string>{"60|a longer value|NULL", "61|b|NULL"}));
  engine.ops().endCursor(h);
}

// Text pieces of either width, and binary pieces, for a text column of any
// width: variable text from a client comes as long text. Each update and add
// reaches the driver with the whole value.
TEST_F(SetPosDataAtExec, TextPiecesForAnyTextColumn) {
  Fill(2);
  handle_t h = Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 2);
  const ctype_t columns[] = {CTYPE_LCHR, CTYPE_CHR, CTYPE_VCHR, CTYPE_VCHR32};
  const ctype_t pieces[] = {CTYPE_CHR, CTYPE_VCHR, CTYPE_LCHR, CTYPE_BIN};
  int added = 100;
  for (ctype_t column : columns) {
    for (ctype_t piece : pieces) {
      const std::string tag = std::to_string(column) + "/" + std::to_string(piece);
      SCOPED_TRACE(tag);
      const std::string want = "a whole value, " + tag + ", longer than its column";
      ASSERT_EQ(XFetch(h, 1).rc, ER_SUCCESS);  // old values as stored now
      ASSERT_EQ(SetPos(h, 1, SCS_SETPOS_UPDATE, ParamRows({{column, 4}}, {{"-2"}}), {2}).rc, ER_NEED_DATA);
      ASSERT_EQ(ParamData(h, nullptr, nullptr), ER_NEED_DATA);
      for (size_t at = 0; at < want.size(); at += 10)
        ASSERT_EQ(Put(h, piece, 0, want.substr(at, 10)), ER_SUCCESS);
      std::vector<int> status;
      EXPECT_EQ(ParamData(h, nullptr, nullptr, &status), ER_SUCCESS) << Errors(h);
      EXPECT_EQ(status, std::vector<int>{SQL_ROW_UPDATED});
      EXPECT_EQ(Rows("WHERE i = 1"), std::vector<std::string>{"1|" + want + "|10"});

      ASSERT_EQ(SetPos(h, 1, SCS_SETPOS_ADD,
                       ParamRows({{CTYPE_SGN32}, {column, 4}}, {{std::to_string(added), "-2"}}), {1, 2})
                    .rc,
                ER_NEED_DATA);
      ASSERT_EQ(ParamData(h, nullptr, nullptr), ER_NEED_DATA);
      ASSERT_EQ(Put(h, piece, 0, "added "), ER_SUCCESS);
      ASSERT_EQ(Put(h, piece, 0, tag), ER_SUCCESS);
      status.clear();
      EXPECT_EQ(ParamData(h, nullptr, nullptr, &status), ER_SUCCESS) << Errors(h);
      EXPECT_EQ(status, std::vector<int>{SQL_ROW_ADDED});
      const std::string id = std::to_string(added++);
      EXPECT_EQ(Rows(("WHERE i = " + id).c_str()), std::vector<std::string>{id + "|added " + tag + "|NULL"});
    }
  }
  engine.ops().endCursor(h);
}

// A new positioned call gives up the one waiting for its data; a cursor
// ended while waiting frees it too.
TEST_F(SetPosDataAtExec, NewCallFreesTheWaitingOne) {
  Fill(4);
  handle_t h = Open(SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_VALUES, 2);
  ASSERT_EQ(SetPos(h, 1, SCS_SETPOS_UPDATE, Values({{"-2", "1"}}), {2, 3}).rc, ER_NEED_DATA);
  EXPECT_EQ(SetPos(h, 1, SCS_SETPOS_POSITION).rc, ER_SUCCESS);
  EXPECT_EQ(State(h)->pdsSetPosParam, nullptr);
  EXPECT_EQ(ParamData(h, nullptr, nullptr), ER_FUNCTION_SEQ);
  ASSERT_EQ(SetPos(h, 2, SCS_SETPOS_UPDATE, Values({{"-2", "1"}}), {2, 3}).rc, ER_NEED_DATA);
  ASSERT_EQ(SetPos(h, 2, SCS_SETPOS_UPDATE, Values({{"-2", "1"}}), {2, 3}).rc, ER_NEED_DATA);
  engine.ops().endCursor(h);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"1|r1|10", "2|r2|20", "3|r3|30", "4|r4|40"}));
}

}  // namespace
}  // namespace engine_test
