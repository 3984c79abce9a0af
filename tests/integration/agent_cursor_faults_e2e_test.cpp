// End to end through the cursor engine, on SQLite and on PostgreSQL: a dynamic
// cursor with row versions prepared again after its rowsets were read (the
// catalog rows of the new analysis come into buffers of their own size), and
// long values on a connection that defers long data, on every scrollable
// cursor type, arriving whole in their rowset cells.
#include <gtest/gtest.h>

#include <unistd.h>

#include "agent_client.h"

using namespace agent_test;

namespace {

enum : sgn32 { NEXT = 1, FIRST = 2, LAST = 3, PRIOR = 4, RELATIVE = 6 };
constexpr uns32 CURSOR_TYPE = 0x32030006, KEYSET_SIZE = 0x32030008, ROWSET_SIZE = 0x32030009;
constexpr uns32 DEFER_LONG_DATA = 0x2201000f, SECOND_XFETCH = 0x22010008;

struct Rowset {
  errcode_t rc = ER_GENERAL_ERROR;
  Rows rows;
  std::vector<int> status;
  std::vector<int> indicators;  // of the last column
};

// The agent on SQLite (a file database in the test's folder) or on the test
// command's PostgreSQL server, where each test works in a schema of its own.
class AgentCursorFaults : public AgentTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool pg() const { return GetParam(); }
  std::string schema;

  std::string Conn() const {
    if (!pg()) return ConnStr();
    return test_support::pg_conn_str() + ";ConnSettings={SET search_path = " + schema + "}";
  }
  void SetUp() override {
    if (pg() && !getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    schema = "faults_" + std::to_string(getpid());
  }
  // Starts the agent (environment given for it alone) and connects.
  void Begin(const char* sensitivity = nullptr) {
    // Row versions open a second connection, whose driver library leaks.
    ToleratePluginLeaks();
    if (sensitivity) setenv("CURSOR_SENSITIVITY", sensitivity, 1);
    Start();
    unsetenv("CURSOR_SENSITIVITY");
    if (HasFatalFailure()) return;
    ASSERT_EQ(cl->AgentName(hServer), "odbc");
    std::string fail;
    if (pg()) {
      handle_t h = 0;
      ASSERT_EQ(cl->Connect(hServer, nullptr, test_support::pg_conn_str().c_str(), &h, &fail), ER_SUCCESS)
          << fail;
      cl->Exec(h, "DROP SCHEMA IF EXISTS " + schema + " CASCADE");
      ASSERT_EQ(cl->Exec(h, "CREATE SCHEMA " + schema), ER_SUCCESS) << cl->Errors(h);
      ASSERT_EQ(cl->Simple(dbsvc_endconnect, h), ER_SUCCESS);
    }
    ASSERT_EQ(cl->Connect(hServer, nullptr, Conn().c_str(), &hConn, &fail), ER_SUCCESS) << fail;
    ASSERT_EQ(cl->Connect(hServer, nullptr, Conn().c_str(), &hOther, &fail), ER_SUCCESS) << fail;
    // The client has the oriented fetch: dynamic cursors and keyset sizes.
    cl->GetInt(hConn, SECOND_XFETCH);
  }
  void TearDown() override {
    if (pg() && cl && hOther) cl->Exec(hOther, "DROP SCHEMA IF EXISTS " + schema + " CASCADE");
    AgentTest::TearDown();
  }
  handle_t Open(sgn32 type, sgn32 rsSize, const std::string& sql, sgn32 ksSize = 0) {
    handle_t h = cl->Cursor(hConn);
    EXPECT_EQ(cl->SetInt(h, CURSOR_TYPE, type), ER_SUCCESS);
    EXPECT_EQ(cl->SetInt(h, ROWSET_SIZE, rsSize), ER_SUCCESS);
    if (ksSize) {
      EXPECT_EQ(cl->SetInt(h, KEYSET_SIZE, ksSize), ER_SUCCESS);
    }
    EXPECT_EQ(cl->Prepare(h, sql), ER_SUCCESS) << cl->Errors(h);
    EXPECT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
    return h;
  }
  // proc: 0 the plain scrollable fetch, 1 the oriented one, 2 its J form.
  Rowset XFetch(handle_t h, sgn32 irow, sgn32 ft, int proc = 1) {
    Rowset out;
    xfetchres r{};
    clnt_stat st;
    if (proc == 0) {
      call_extendedfetch a{h, irow};
      st = dbsvc_extendedfetch(cl->c, &a, &r);
    } else {
      call_extendedfetch2 a{h, irow, ft};
      st = proc == 1 ? dbsvc_extendedfetch2(cl->c, &a, &r) : dbsvc_extendedfetch2j(cl->c, &a, &r);
    }
    EXPECT_EQ(st, RPC_SUCCESS);
    out.rc = r.error;
    if (r.pRowSet) {
      const Dataset* ds = r.pRowSet->pDataset;
      for (int row = 0; ds && row < ds->nRows; row++) {
        std::vector<std::string> v;
        for (int c = 0; c < ds->nCols; c++) v.push_back(Cell(*ds, c, row));
        out.rows.push_back(v);
        out.indicators.push_back(ds->col[ds->nCols - 1].indicators[row]);
      }
      for (int i = 0; i < r.pRowSet->RSSize; i++) out.status.push_back(r.pRowSet->rgfRowStatus[i]);
    }
    if (proc == 0)
      dbsvc_extendedfetch_free(&r);
    else if (proc == 1)
      dbsvc_extendedfetch2_free(&r);
    else
      dbsvc_extendedfetch2j_free(&r);
    return out;
  }
  std::string GetDataJ(handle_t h, sgn32 col, sgn32 row, errcode_t* pe) {
    std::string all;
    for (int guard = 0; guard < 1000; guard++) {
      call_getdata a{h, col, row, 30000};
      getdatares r{};
      EXPECT_EQ(dbsvc_getdataj(cl->c, &a, &r), RPC_SUCCESS);
      *pe = r.error;
      size_t n = r.error == ER_SUCCESS ? r.RcvBuff.RcvBuff_len : 0;
      if (n) all.append(r.RcvBuff.RcvBuff_val, n);
      dbsvc_getdataj_free(&r);
      if (n == 0) break;
    }
    return all;
  }

  handle_t hOther = 0;
};

// A dynamic cursor keeping row versions reads a rowset, sees another
// connection's change as status 2 once, and is then prepared again: the
// analysis reads catalog rows on the engine's own cursors, which have read
// rowsets in blocks before, and the statement runs as new.
TEST_P(AgentCursorFaults, DynamicCursorWithRowVersionsPreparedAgain) {
  Begin("HIGH");
  if (HasFatalFailure()) return;
  ASSERT_EQ(cl->GetInt(hConn, 0x2201000b), 1) << "row versions kept";
  ASSERT_EQ(cl->Exec(hOther,
                     "CREATE TABLE VYRRVC (HCONN VARCHAR(8), HCURS VARCHAR(8), KEYVER VARCHAR(32), "
                     "ROWVER VARCHAR(32))"),
            ER_SUCCESS)
      << cl->Errors(hOther);
  ASSERT_EQ(cl->Exec(hOther, "CREATE TABLE t (k INTEGER PRIMARY KEY, a VARCHAR(20), b INTEGER)"), ER_SUCCESS);
  for (int k = 1; k <= 12; k++)
    ASSERT_EQ(cl->Exec(hOther, "INSERT INTO t VALUES (" + std::to_string(k) + ", 'a" + std::to_string(k) +
                                   "', " + std::to_string(k * 10) + ")"),
              ER_SUCCESS);
  const std::string sql = "SELECT k, a, b FROM t ORDER BY k";
  const Rows first5 = {
      {"1", "a1", "10"}, {"2", "a2", "20"}, {"3", "a3", "30"}, {"4", "a4", "40"}, {"5", "a5", "50"}};
  handle_t h = Open(2, 5, sql);
  ASSERT_EQ(cl->GetInt(h, CURSOR_TYPE), 2);
  for (int round = 0; round < 2; round++) {
    SCOPED_TRACE("round " + std::to_string(round));
    Rowset r = XFetch(h, 0, FIRST);
    ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
    Rows want = first5;
    if (round) want[1] = {"2", "changed", "20"};
    EXPECT_EQ(r.rows, want);
    EXPECT_EQ(r.status, std::vector<int>(5, 0));
    r = XFetch(h, 0, RELATIVE);
    EXPECT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
    EXPECT_EQ(r.status, std::vector<int>(5, 0));
    ASSERT_EQ(
        cl->Exec(hOther, std::string("UPDATE t SET a = '") + (round ? "again" : "changed") + "' WHERE k = 2"),
        ER_SUCCESS);
    r = XFetch(h, 0, RELATIVE);
    EXPECT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
    EXPECT_EQ(r.status, (std::vector<int>{0, 2, 0, 0, 0}));
    r = XFetch(h, 0, RELATIVE);
    EXPECT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
    EXPECT_EQ(r.status, std::vector<int>(5, 0));
    // Prepared again on the same cursor, as new.
    ASSERT_EQ(cl->Prepare(h, sql), ER_SUCCESS) << cl->Errors(h);
    ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
  }
  Rowset r = XFetch(h, 0, LAST);
  EXPECT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
  ASSERT_EQ(r.rows.size(), 5u);
  EXPECT_EQ(r.rows.back()[0], "12");
  EXPECT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
}

// Long values on a connection that defers long data: every scrollable cursor
// type brings each value whole in its rowset cell, through the plain, the
// oriented and the J fetch, and executed again after a close.
TEST_P(AgentCursorFaults, LongValuesOnADeferringConnection) {
  Begin();
  if (HasFatalFailure()) return;
  ASSERT_EQ(cl->SetInt(hConn, DEFER_LONG_DATA, 1), ER_SUCCESS);
  ASSERT_EQ(cl->Exec(hOther, "CREATE TABLE tl (k INTEGER PRIMARY KEY, a VARCHAR(20), l TEXT)"), ER_SUCCESS);
  std::vector<std::string> values;
  for (int k = 1; k <= 12; k++) {
    values.push_back(std::string(size_t(200 + 650 * k), char('a' + k)));
    ASSERT_EQ(cl->Exec(hOther, "INSERT INTO tl VALUES (" + std::to_string(k) + ", 'a" + std::to_string(k) +
                                   "', '" + values.back() + "')"),
              ER_SUCCESS)
        << cl->Errors(hOther);
  }
  auto want = [&](int from, int n) {
    Rows rows;
    for (int k = from; k < from + n; k++)
      rows.push_back({std::to_string(k), "a" + std::to_string(k), values[k - 1]});
    return rows;
  };
  const std::string sql = "SELECT k, a, l FROM tl ORDER BY k";
  struct Case {
    const char* name;
    sgn32 type, ksSize;
  } cases[] = {{"keyset", 1, 0}, {"mixed", 1, 15}, {"dynamic", 2, 0}, {"static", 3, 0}};
  for (const Case& c : cases) {
    for (int proc = 0; proc < 3; proc++) {
      // The plain fetch takes absolute rows: keyset-driven and static only.
      if (proc == 0 && (c.type == 2 || c.ksSize)) continue;
      SCOPED_TRACE(std::string(c.name) + " fetch " + std::to_string(proc));
      handle_t h = Open(c.type, 10, sql, c.ksSize);
      ASSERT_EQ(cl->GetInt(h, CURSOR_TYPE), c.type);
      for (int again = 0; again < 2; again++) {
        Rowset r = XFetch(h, 1, FIRST, proc);
        ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
        EXPECT_EQ(r.rows, want(1, 10));
        EXPECT_EQ(r.indicators, std::vector<int>(10, 0));
        // Keyset-driven with the whole keyset and static cursors take absolute rows.
        const bool absolute = c.type == 3 || (c.type == 1 && c.ksSize == 0);
        r = absolute ? XFetch(h, 11, NEXT, proc) : XFetch(h, 0, NEXT, proc);
        ASSERT_EQ(r.rc, ER_SUCCESS) << cl->Errors(h);
        EXPECT_EQ(r.rows, want(11, 2));
        if (proc == 2) {
          errcode_t e = ER_SUCCESS;
          GetDataJ(h, 3, 1, &e);
          EXPECT_EQ(e, ER_NO_DATA_FOUND) << "nothing held back";
        }
        // Executed again after a close: the engine prepares the cursor again.
        ASSERT_EQ(cl->Simple(dbsvc_close, h), ER_SUCCESS);
        ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
      }
      EXPECT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
    }
  }
  // The forward-only cursor still leaves them to the long-data call.
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(h, sql), ER_SUCCESS) << cl->Errors(h);
  ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
  Rows rows;
  ASSERT_EQ(cl->Fetch(h, 10, &rows), 1);
  EXPECT_EQ(rows[0][2], "LONG");
  errcode_t e = ER_GENERAL_ERROR;
  EXPECT_EQ(cl->GetLong(h, 3, 1000, &e), values[0]);
  EXPECT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Drivers, AgentCursorFaults, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) {
                           return i.param ? "PostgreSQL" : "SQLite";
                         });

}  // namespace
