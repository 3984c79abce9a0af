// End to end through the keyed cursors: the real sqlgate through the launcher,
// the wire client, the SQLite driver and the PostgreSQL driver. A statement
// with parameter markers on keyset-driven, mixed and dynamic cursors (its
// parameters kept and sent again with every keyed statement of the engine,
// after a close and when replaced), rowsets re-read by key while another
// connection deletes and changes rows in them, and RELATIVE moves of dynamic
// and mixed cursors after it inserted or deleted rows in the rowset.
#include <cstdint>

#include "agent_client.h"
#include "fixtures/support/param_rows.h"

using namespace agent_test;
using test_support::ParamRows;

namespace {

constexpr uns32 CURSOR_TYPE = 0x32030006;
constexpr uns32 CONCURRENCY = 0x32030007;
constexpr uns32 KEYSET_SIZE = 0x32030008;
constexpr uns32 ROWSET_SIZE = 0x32030009;
enum : sgn32 { NEXT = 1, FIRST = 2, RELATIVE = 6 };

struct Rowset {
  errcode_t rc = ER_GENERAL_ERROR;
  Rows rows;
  std::vector<int> status;
};

class KeyedCursorE2E : public AgentTest {
 protected:
  handle_t hOther = 0;  // a second connection of the same client: the "other user"

  // The agent without its rowset size limit, connected twice to SQLite or PostgreSQL.
  void Connect(bool pg) {
    if (!pg) ToleratePluginLeaks();
    Start({"+norowsetlimit"});
    if (HasFatalFailure()) return;
    ASSERT_EQ(cl->AgentName(hServer), "odbc");
    const std::string connStr = pg ? test_support::pg_conn_str() : ConnStr();
    for (handle_t* h : {&hConn, &hOther}) {
      std::string fail;
      ASSERT_EQ(cl->Connect(hServer, nullptr, connStr.c_str(), h, &fail), ER_SUCCESS) << fail;
    }
    // The client has the oriented fetch: dynamic cursors and keyset sizes are offered.
    cl->GetInt(hConn, 0x22010008);
  }
  // Table `table` of `columns` with keys 1..n and `a` = "r<k>"; a compound
  // key (k, j) gets j = k % 3.
  // `tail` follows the column list.
  void Fill(const std::string& table, const std::string& columns, int n, bool compound = false,
            const std::string& tail = "") {
    cl->Exec(hConn, "DROP TABLE IF EXISTS " + table);
    ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE " + table + " (" + columns + ")" + tail), ER_SUCCESS)
        << cl->Errors(hConn);
    std::string values;
    for (int k = 1; k <= n; k++) values += (k > 1 ? ", " : "") + Values(k, compound);
    ASSERT_EQ(cl->Exec(hConn, "INSERT INTO " + table + " VALUES " + values), ER_SUCCESS) << cl->Errors(hConn);
  }
  static std::string Values(int k, bool compound) {
    return "(" + std::to_string(k) + (compound ? ", " + std::to_string(k % 3) : "") + ", 'r" +
           std::to_string(k) + "')";
  }
  handle_t Open(sgn32 type, sgn32 rsSize, sgn32 ksSize) {
    handle_t h = cl->Cursor(hConn);
    EXPECT_EQ(cl->SetInt(h, CURSOR_TYPE, type), ER_SUCCESS);
    EXPECT_EQ(cl->SetInt(h, ROWSET_SIZE, rsSize), ER_SUCCESS);
    if (ksSize) {
      EXPECT_EQ(cl->SetInt(h, KEYSET_SIZE, ksSize), ER_SUCCESS);
    }
    return h;
  }
  // One parameter row of one INTEGER.
  errcode_t IntParameter(handle_t h, sgn32 v) {
    Dataset* ds = ParamRows({{CTYPE_SGN32}}, {{std::to_string(v)}});
    errcode_t e = cl->Parameters(h, ds);
    Dataset_Done(ds);
    free(ds);
    return e;
  }
  Rowset XFetch(handle_t h, sgn32 irow, sgn32 ft) {
    Rowset out;
    call_extendedfetch2 a{h, irow, ft};
    xfetchres r{};
    EXPECT_EQ(dbsvc_extendedfetch2(cl->c, &a, &r), RPC_SUCCESS);
    out.rc = r.error;
    if (r.pRowSet) {
      const Dataset* ds = r.pRowSet->pDataset;
      for (int row = 0; ds && row < ds->nRows; row++) {
        std::vector<std::string> v;
        for (int col = 0; col < ds->nCols; col++) v.push_back(Cell(*ds, col, row));
        out.rows.push_back(v);
      }
      for (int i = 0; i < r.pRowSet->RSSize; i++) out.status.push_back(r.pRowSet->rgfRowStatus[i]);
    }
    dbsvc_extendedfetch2_free(&r);
    return out;
  }
  // Rows (k, "r<k>") for each k; 0 stands for a deleted row's empty place.
  static Rows Keyed(std::vector<int> keys) {
    Rows out;
    for (int k : keys)
      out.push_back(k ? std::vector<std::string>{std::to_string(k), "r" + std::to_string(k)}
                      : std::vector<std::string>{"NULL", "NULL"});
    return out;
  }

  // The client's parameter goes with every keyed statement of every keyed
  // cursor type: the first rowsets, a row deleted by the other connection, a
  // close and execute with the kept parameter, new parameters after a close.
  void ParametersAreKept(bool pg) {
    Connect(pg);
    if (HasFatalFailure()) return;
    const std::string t = "sg_kp";
    Fill(t, "k INTEGER PRIMARY KEY, a VARCHAR(20)", 30);
    if (HasFatalFailure()) return;
    const std::string sql = "SELECT k, a FROM " + t + " WHERE k > ? ORDER BY k";
    struct Kind {
      const char* name;
      sgn32 type, ksSize, concurrency;
    } kinds[] = {{"keyset", 1, 0, 1},         {"mixed", 1, 12, 1},         {"dynamic", 2, 0, 1},
                 {"keyset, values", 1, 0, 4}, {"mixed, values", 1, 12, 4}, {"dynamic, values", 2, 0, 4}};
    for (const Kind& kind : kinds) {
      for (bool bind : {false, true}) {
        SCOPED_TRACE(std::string(kind.name) + (bind ? " with bind" : " without bind"));
        const bool dynamic = kind.type == 2;
        // A whole keyset takes the absolute row; the others move on by NEXT.
        const sgn32 second = kind.type == 1 && kind.ksSize == 0 ? 6 : 0;
        handle_t h = Open(kind.type, 5, kind.ksSize);
        // Optimistic concurrency by values reads the old values with the parameters too.
        ASSERT_EQ(cl->SetInt(h, CONCURRENCY, kind.concurrency), ER_SUCCESS);
        ASSERT_EQ(cl->GetInt(h, CURSOR_TYPE), kind.type);
        ASSERT_EQ(cl->Prepare(h, sql), ER_SUCCESS) << cl->Errors(h);
        if (bind) {
          ASSERT_EQ(cl->Bind(h, {{SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 1}}), ER_SUCCESS) << cl->Errors(h);
        }
        ASSERT_EQ(IntParameter(h, 5), ER_SUCCESS) << cl->Errors(h);
        ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
        Rowset r = XFetch(h, 1, FIRST);
        ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
        EXPECT_EQ(r.rows, Keyed({6, 7, 8, 9, 10}));
        EXPECT_EQ(r.status, (std::vector<int>{0, 0, 0, 0, 0}));
        r = XFetch(h, second, NEXT);
        ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
        EXPECT_EQ(r.rows, Keyed({11, 12, 13, 14, 15}));

        // The other connection deletes a row of the rowset: a keyset shows its
        // place with status 1, a dynamic cursor reads on past it.
        ASSERT_EQ(cl->Exec(hOther, "DELETE FROM " + t + " WHERE k = 8"), ER_SUCCESS) << cl->Errors(hOther);
        r = XFetch(h, 1, FIRST);
        ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
        if (dynamic) {
          EXPECT_EQ(r.rows, Keyed({6, 7, 9, 10, 11}));
          EXPECT_EQ(r.status, (std::vector<int>{0, 0, 0, 0, 0}));
        } else {
          EXPECT_EQ(r.rows, Keyed({6, 7, 0, 9, 10}));
          EXPECT_EQ(r.status, (std::vector<int>{0, 0, 1, 0, 0}));
        }
        ASSERT_EQ(cl->Exec(hOther, "INSERT INTO " + t + " VALUES (8, 'r8')"), ER_SUCCESS)
            << cl->Errors(hOther);

        // Closed and executed again: prepared again, the kept parameter sent again.
        ASSERT_EQ(cl->Simple(dbsvc_close, h), ER_SUCCESS);
        ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
        r = XFetch(h, 1, FIRST);
        ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
        EXPECT_EQ(r.rows, Keyed({6, 7, 8, 9, 10}));

        // New parameters after a close replace the kept ones.
        ASSERT_EQ(cl->Simple(dbsvc_close, h), ER_SUCCESS);
        ASSERT_EQ(IntParameter(h, 20), ER_SUCCESS) << cl->Errors(h);
        ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
        r = XFetch(h, 1, FIRST);
        ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
        EXPECT_EQ(r.rows, Keyed({21, 22, 23, 24, 25}));
        r = XFetch(h, second, NEXT);
        ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
        EXPECT_EQ(r.rows, Keyed({26, 27, 28, 29, 30}));
        // And new parameters without a close, before the next execute.
        ASSERT_EQ(IntParameter(h, 27), ER_SUCCESS) << cl->Errors(h);
        ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
        r = XFetch(h, 1, FIRST);
        ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
        EXPECT_EQ(r.rows, Keyed({28, 29, 30}));
        EXPECT_EQ(r.status, (std::vector<int>{0, 0, 0, 3, 3}));
        ASSERT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
      }
    }
  }

  // Rowsets re-read by key (one key column: the keys as one IN list; a
  // compound key: a group per row) while the other connection deletes and
  // changes rows in them: a deleted row keeps its place with status 1, a
  // changed one shows its new values. Rowsets of 10, and of 300, which take
  // more than one keyed SELECT.
  void RowsetsReadByKey(bool pg, bool compound) {
    Connect(pg);
    if (HasFatalFailure()) return;
    const std::string t = compound ? "sg_kc" : "sg_ks";
    // SQLite: no rowid to stand in for the compound key.
    if (compound)
      Fill(t, "k INTEGER NOT NULL, j INTEGER NOT NULL, a VARCHAR(20), PRIMARY KEY (k, j)", 600, true,
           pg ? "" : " WITHOUT ROWID");
    else
      Fill(t, "k INTEGER PRIMARY KEY, a VARCHAR(20)", 600);
    if (HasFatalFailure()) return;
    const std::string sql = "SELECT k, a FROM " + t + " ORDER BY k";
    struct Size {
      sgn32 rows;
      std::vector<int> deleted, changed;  // keys, all within the first rowset
    } sizes[] = {{10, {3, 7}, {5, 10}}, {300, {2, 128, 129, 260, 300}, {1, 127, 255, 256, 299}}};
    for (const Size& sz : sizes) {
      SCOPED_TRACE("rowsets of " + std::to_string(sz.rows));
      handle_t h = Open(1, sz.rows, 0);
      ASSERT_EQ(cl->Prepare(h, sql), ER_SUCCESS) << cl->Errors(h);
      ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
      std::vector<int> keys;
      for (int k = 1; k <= sz.rows; k++) keys.push_back(k);
      Rowset r = XFetch(h, 1, FIRST);
      ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
      EXPECT_EQ(r.rows, Keyed(keys));
      EXPECT_EQ(r.status, std::vector<int>(size_t(sz.rows), 0));

      Rows want = Keyed(keys);
      std::vector<int> status(size_t(sz.rows), 0);
      for (int k : sz.deleted) {
        ASSERT_EQ(cl->Exec(hOther, "DELETE FROM " + t + " WHERE k = " + std::to_string(k)), ER_SUCCESS);
        want[size_t(k - 1)] = {"NULL", "NULL"};
        status[size_t(k - 1)] = 1;
      }
      for (int k : sz.changed) {
        ASSERT_EQ(cl->Exec(hOther, "UPDATE " + t + " SET a = 'u" + std::to_string(k) +
                                       "' WHERE k = " + std::to_string(k)),
                  ER_SUCCESS);
        want[size_t(k - 1)][1] = "u" + std::to_string(k);
      }
      r = XFetch(h, 1, FIRST);
      ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
      EXPECT_EQ(r.rows, want);
      EXPECT_EQ(r.status, status);
      // The next rowset, untouched, in the keyset's order.
      r = XFetch(h, sz.rows + 1, NEXT);
      ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
      std::vector<int> next;
      for (int k = sz.rows + 1; k <= std::min(2 * sz.rows, 600); k++) next.push_back(k);
      EXPECT_EQ(r.rows, Keyed(next));
      ASSERT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
      // The rows back as they were, for the next size.
      for (int k : sz.deleted)
        ASSERT_EQ(cl->Exec(hOther, "INSERT INTO " + t + " VALUES " + Values(k, compound)), ER_SUCCESS);
      for (int k : sz.changed)
        ASSERT_EQ(cl->Exec(hOther, "UPDATE " + t + " SET a = 'r" + std::to_string(k) +
                                       "' WHERE k = " + std::to_string(k)),
                  ER_SUCCESS);
    }
  }
  // Keys 10, 20, ... 200 in rowsets of 5, the rowset at 60-100; the other
  // connection inserts or deletes a row inside it, then a RELATIVE move
  // starts irow rows from the rowset's first row in the result as it stands
  // now (from where that row stood, when it is the one deleted). Dynamic
  // cursors, and mixed ones whose window is the rowset.
  void RelativeCountsFromTheFirstRow(bool pg) {
    Connect(pg);
    if (HasFatalFailure()) return;
    const std::string t = "sg_rel";
    cl->Exec(hConn, "DROP TABLE IF EXISTS " + t);
    ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE " + t + " (k INTEGER PRIMARY KEY, a VARCHAR(20))"), ER_SUCCESS)
        << cl->Errors(hConn);
    std::string values;
    for (int k = 10; k <= 200; k += 10) values += (k > 10 ? ", " : "") + Values(k, false);
    ASSERT_EQ(cl->Exec(hConn, "INSERT INTO " + t + " VALUES " + values), ER_SUCCESS) << cl->Errors(hConn);
    auto range = [](int from, int to) {
      std::vector<int> keys;
      for (int k = from; k <= to; k += 10) keys.push_back(k);
      return keys;
    };
    struct Case {
      int key;
      bool insert;  // else delete
      sgn32 irow;
      std::vector<int> keys;
    } cases[] = {
        {75, true, -1, {50, 60, 70, 75, 80}},   {75, true, 6, range(110, 150)},
        {75, true, -3, {30, 40, 50, 60, 70}},   {75, true, -5, range(10, 50)},
        {75, true, 1, {70, 75, 80, 90, 100}},   {75, true, 5, range(100, 140)},
        {75, true, 0, {60, 70, 75, 80, 90}},    {70, false, -1, {50, 60, 80, 90, 100}},
        {70, false, 6, range(130, 170)},        {70, false, -2, {40, 50, 60, 80, 90}},
        {70, false, 1, range(80, 120)},         {70, false, 5, range(120, 160)},
        {70, false, 0, {60, 80, 90, 100, 110}}, {60, false, -1, {50, 70, 80, 90, 100}},
        {60, false, 6, range(120, 160)},        {60, false, -4, {20, 30, 40, 50, 70}},
        {95, true, -1, range(50, 90)},          {95, true, 6, range(110, 150)},
        {95, true, 3, {90, 95, 100, 110, 120}},
    };
    for (sgn32 ksSize : {0, 5}) {
      handle_t h = Open(ksSize ? 1 : 2, 5, ksSize);
      ASSERT_EQ(cl->Prepare(h, "SELECT k, a FROM " + t + " ORDER BY k"), ER_SUCCESS) << cl->Errors(h);
      ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
      for (const Case& c : cases) {
        // RELATIVE 0 stays inside a mixed cursor's window: its rows are those of its keys.
        if (ksSize && c.irow == 0) continue;
        SCOPED_TRACE(std::string(ksSize ? "mixed" : "dynamic") + (c.insert ? ", insert " : ", delete ") +
                     std::to_string(c.key) + ", RELATIVE " + std::to_string(c.irow));
        ASSERT_EQ(XFetch(h, 1, FIRST).rows, Keyed(range(10, 50))) << cl->Errors(h);
        ASSERT_EQ(XFetch(h, 5, RELATIVE).rows, Keyed(range(60, 100))) << cl->Errors(h);
        const std::string row = "INSERT INTO " + t + " VALUES " + Values(c.key, false);
        const std::string gone = "DELETE FROM " + t + " WHERE k = " + std::to_string(c.key);
        ASSERT_EQ(cl->Exec(hOther, c.insert ? row : gone), ER_SUCCESS) << cl->Errors(hOther);
        Rowset r = XFetch(h, c.irow, RELATIVE);
        EXPECT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
        EXPECT_EQ(r.rows, Keyed(c.keys));
        EXPECT_EQ(r.status, std::vector<int>(5, 0));
        ASSERT_EQ(cl->Exec(hOther, c.insert ? gone : row), ER_SUCCESS) << cl->Errors(hOther);
      }
      ASSERT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
    }
  }
};

TEST_F(KeyedCursorE2E, SqliteParametersAreKeptAndSentAgain) { ParametersAreKept(false); }

TEST_F(KeyedCursorE2E, SqliteRowsetsReadByOneKeyColumn) { RowsetsReadByKey(false, false); }

TEST_F(KeyedCursorE2E, SqliteRowsetsReadByACompoundKey) { RowsetsReadByKey(false, true); }

TEST_F(KeyedCursorE2E, PostgresRowsetsReadByOneKeyColumn) {
  if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
  RowsetsReadByKey(true, false);
}

TEST_F(KeyedCursorE2E, PostgresRowsetsReadByACompoundKey) {
  if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
  RowsetsReadByKey(true, true);
}

TEST_F(KeyedCursorE2E, PostgresParametersAreKeptAndSentAgain) {
  if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
  ParametersAreKept(true);
}

TEST_F(KeyedCursorE2E, SqliteRelativeCountsFromTheFirstRow) { RelativeCountsFromTheFirstRow(false); }

TEST_F(KeyedCursorE2E, PostgresRelativeCountsFromTheFirstRow) {
  if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
  RelativeCountsFromTheFirstRow(true);
}

}  // namespace
