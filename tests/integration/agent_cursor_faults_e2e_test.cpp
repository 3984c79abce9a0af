// End to end through the cursor engine, on SQLite and on PostgreSQL: a dynamic
// cursor with row versions prepared again after its rowsets were read (the
// catalog rows of the new analysis come into buffers of their own size), and
// long values on a connection that defers long data, on every scrollable
// cursor type, arriving whole in their rowset cells.
#include <gtest/gtest.h>

#include <unistd.h>

#include "agent_client.h"
#include "fixtures/support/param_rows.h"

using namespace agent_test;

namespace {

enum : sgn32 { NEXT = 1, FIRST = 2, LAST = 3, PRIOR = 4, ABSOLUTE = 5, RELATIVE = 6 };
constexpr uns32 CURSOR_TYPE = 0x32030006, KEYSET_SIZE = 0x32030008, ROWSET_SIZE = 0x32030009;
constexpr uns32 DEFER_LONG_DATA = 0x2201000f, SECOND_XFETCH = 0x22010008;

// proc: 0 the plain scrollable fetch, 1 the oriented one, 2 its J form.
clnt_stat CallXFetch(WireClient* c, handle_t h, sgn32 irow, sgn32 ft, int proc, xfetchres* r) {
  if (proc == 0) {
    call_extendedfetch a{h, irow};
    return dbsvc_extendedfetch(c, &a, r);
  }
  call_extendedfetch2 a{h, irow, ft};
  return proc == 1 ? dbsvc_extendedfetch2(c, &a, r) : dbsvc_extendedfetch2j(c, &a, r);
}

void FreeXFetch(int proc, xfetchres* r) {
  if (proc == 0)
    dbsvc_extendedfetch_free(r);
  else if (proc == 1)
    dbsvc_extendedfetch2_free(r);
  else
    dbsvc_extendedfetch2j_free(r);
}

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
    EXPECT_EQ(CallXFetch(cl->c, h, irow, ft, proc, &r), RPC_SUCCESS);
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
    FreeXFetch(proc, &r);
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

// Text of exactly n bytes: letters with two- and three-byte characters among
// them, so that pieces and cuts would show in the middle of a character.
std::string LongText(size_t n, size_t seed) {
  std::string t;
  t.reserve(n);
  while (t.size() < n) {
    const size_t i = t.size();
    if (i % 13 == 5 && i + 3 <= n)
      t += "\xE2\x82\xAC";
    else if (i % 11 == 3 && i + 2 <= n)
      t += "\xC3\xA9";
    else
      t += char('a' + (i * 7 + seed) % 26);
  }
  return t;
}

// Bytes of every value, zero among them.
std::string LongBinary(size_t n, size_t seed) {
  std::string b(n, '\0');
  for (size_t i = 0; i < n; i++) b[i] = char((i * 31 + seed * 5) % 256);
  return b;
}

std::string BinaryLiteral(bool pg, const std::string& b) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char ch : b) hex += {digits[ch >> 4], digits[ch & 15]};
  return pg ? "decode('" + hex + "', 'hex')" : "X'" + hex + "'";
}

// What a rowset of long values must bring: per row, the expected value of
// each checked column (0-based in the dataset; null: not checked).
struct LongRowsetWant {
  std::vector<int> cols;
  std::vector<std::vector<const std::string*>> rows;
};

// Fetches a rowset (proc as in XFetch) and checks each long value byte for
// byte: whole in its cell, or, on the J fetch above 60,000 bytes, held back
// and handed out by getDataJ in pieces of 30,000 bytes (two full pieces and
// the rest for 60,001 bytes).
void ExpectLongRowset(AgentClient* cl, handle_t h, int proc, sgn32 irow, sgn32 ft, const LongRowsetWant& w) {
  xfetchres r{};
  ASSERT_EQ(CallXFetch(cl->c, h, irow, ft, proc, &r), RPC_SUCCESS);
  EXPECT_EQ(r.error, ER_SUCCESS) << cl->Errors(h);
  const Dataset* ds = r.pRowSet ? r.pRowSet->pDataset : nullptr;
  EXPECT_TRUE(ds && ds->nRows == sgn32(w.rows.size()));
  for (int row = 0; ds && row < ds->nRows && row < int(w.rows.size()); row++) {
    for (size_t j = 0; j < w.cols.size(); j++) {
      const std::string* want = w.rows[size_t(row)][j];
      if (!want) continue;
      const int col = w.cols[j];
      SCOPED_TRACE("row " + std::to_string(row + 1) + " column " + std::to_string(col + 1));
      const indicator_t ind = ds->col[col].indicators[row];
      std::string got;
      if (proc == 2 && want->size() > 60000) {
        EXPECT_EQ(ind, -3);
        for (int guard = 0; guard < 100; guard++) {
          call_getdata a{h, col + 1, row + 1, 30000};
          getdatares g{};
          EXPECT_EQ(dbsvc_getdataj(cl->c, &a, &g), RPC_SUCCESS);
          EXPECT_EQ(g.error, ER_SUCCESS);
          // Before each piece: the bytes not yet handed out.
          EXPECT_EQ(g.cbRemaining, sgn32(want->size() - got.size()));
          const size_t n = g.error == ER_SUCCESS ? g.RcvBuff.RcvBuff_len : 0;
          if (n) got.append(g.RcvBuff.RcvBuff_val, n);
          dbsvc_getdataj_free(&g);
          if (n == 0) break;
          EXPECT_EQ(n, std::min<size_t>(30000, want->size() - (got.size() - n)));
        }
      } else {
        EXPECT_EQ(ind, 0);
        got = Cell(*ds, col, row);
        if (proc == 2) {
          errcode_t e = ER_SUCCESS;
          call_getdata a{h, col + 1, row + 1, 30000};
          getdatares g{};
          EXPECT_EQ(dbsvc_getdataj(cl->c, &a, &g), RPC_SUCCESS);
          e = g.error;
          dbsvc_getdataj_free(&g);
          EXPECT_EQ(e, ER_NO_DATA_FOUND) << "nothing held back";
        }
      }
      EXPECT_EQ(got.size(), want->size());
      EXPECT_TRUE(got == *want) << "value differs";
    }
  }
  FreeXFetch(proc, &r);
}

// Values around the 60,000-byte line and far above it, text and binary, on a
// connection that defers long data, plain and Unicode: every scrollable cursor
// type brings each value whole; the J fetch keeps those of up to 60,000 bytes
// in the rowset and holds back the longer ones, which getDataJ hands out in
// pieces, whole.
TEST_P(AgentCursorFaults, LongValuesAboveTheCapOnADeferringConnection) {
  Begin();
  if (HasFatalFailure()) return;
  const std::string blob = pg() ? "BYTEA" : "BLOB";
  ASSERT_EQ(cl->Exec(hOther, "CREATE TABLE tb (k INTEGER PRIMARY KEY, l TEXT, b " + blob + ")"), ER_SUCCESS)
      << cl->Errors(hOther);
  const size_t sizes[] = {59999, 60000, 60001, 200003};
  std::vector<std::string> texts, bins;
  for (size_t k = 0; k < 4; k++) {
    texts.push_back(LongText(sizes[k], k));
    bins.push_back(LongBinary(sizes[k], k));
    ASSERT_EQ(cl->Exec(hOther, "INSERT INTO tb VALUES (" + std::to_string(k + 1) + ", '" + texts.back() +
                                   "', " + BinaryLiteral(pg(), bins.back()) + ")"),
              ER_SUCCESS)
        << cl->Errors(hOther);
  }
  // SQLite describes BLOB columns as BINARY(255), not as long ones.
  LongRowsetWant want;
  want.cols = pg() ? std::vector<int>{1, 2} : std::vector<int>{1};
  for (size_t k = 0; k < 4; k++) {
    want.rows.push_back({&texts[k]});
    if (pg()) want.rows.back().push_back(&bins[k]);
  }
  const std::string sql = "SELECT k, l, b FROM tb ORDER BY k";
  struct Case {
    const char* name;
    sgn32 type, ksSize;
  } cases[] = {{"keyset", 1, 0}, {"mixed", 1, 8}, {"dynamic", 2, 0}, {"static", 3, 0}};
  const handle_t plain = hConn;
  handle_t wide = 0;
  std::string fail;
  ASSERT_EQ(
      cl->Connect(hServer, nullptr, Conn().c_str(), &wide, &fail, std::string("W\x7F\x01\x01", 4) + "u"),
      ER_SUCCESS)
      << fail;
  cl->GetInt(wide, SECOND_XFETCH);
  for (handle_t conn : {plain, wide}) {
    SCOPED_TRACE(conn == wide ? "unicode" : "plain");
    ASSERT_EQ(cl->SetInt(conn, DEFER_LONG_DATA, 1), ER_SUCCESS);
    hConn = conn;
    for (const Case& c : cases) {
      for (int proc = 0; proc < 3; proc++) {
        if (proc == 0 && (c.type == 2 || c.ksSize)) continue;
        SCOPED_TRACE(std::string(c.name) + " fetch " + std::to_string(proc));
        handle_t h = Open(c.type, 4, sql, c.ksSize);
        for (int again = 0; again < 2; again++) {
          ExpectLongRowset(cl.get(), h, proc, 1, FIRST, want);
          if (HasFatalFailure()) return;
          // Executed again after a close: the engine prepares the cursor again.
          ASSERT_EQ(cl->Simple(dbsvc_close, h), ER_SUCCESS);
          ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
        }
        EXPECT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
      }
    }
  }
  hConn = plain;
  EXPECT_EQ(cl->Simple(dbsvc_endconnect, wide), ER_SUCCESS);
}

// A static cursor whose result is too long for memory keeps its rows in spill
// files: long values there, before and after the spill, come back whole.
TEST_P(AgentCursorFaults, LongValuesInASpilledSnapshot) {
  Begin();
  if (HasFatalFailure()) return;
  ASSERT_EQ(cl->SetInt(hConn, DEFER_LONG_DATA, 1), ER_SUCCESS);
  ASSERT_EQ(cl->Exec(hOther, "CREATE TABLE ts (k INTEGER PRIMARY KEY, l TEXT)"), ER_SUCCESS);
  const int rows = 5100;
  const std::string n = std::to_string(rows);
  ASSERT_EQ(
      cl->Exec(hOther, pg() ? "INSERT INTO ts SELECT g, 'v' || g FROM generate_series(1, " + n + ") g"
                            : "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
                                  n + ") INSERT INTO ts SELECT x, 'v' || x FROM c"),
      ER_SUCCESS)
      << cl->Errors(hOther);
  // Row 3 is kept in memory until the spill; rows 5050 to 5053 go to the files.
  const size_t sizes[] = {59999, 60000, 60001, 200003};
  std::vector<std::string> texts;
  for (size_t k = 0; k < 4; k++) texts.push_back(LongText(sizes[k], k + 3));
  const std::string early = LongText(200003, 9);
  ASSERT_EQ(cl->Exec(hOther, "UPDATE ts SET l = '" + early + "' WHERE k = 3"), ER_SUCCESS);
  for (size_t k = 0; k < 4; k++)
    ASSERT_EQ(cl->Exec(hOther, "UPDATE ts SET l = '" + texts[k] + "' WHERE k = " + std::to_string(5050 + k)),
              ER_SUCCESS);
  const std::string v1 = "v1", v2 = "v2", v4 = "v4";
  LongRowsetWant head{{1}, {{&v1}, {&v2}, {&early}, {&v4}}}, tail{{1}, {}};
  for (const std::string& t : texts) tail.rows.push_back({&t});
  for (int proc : {0, 2}) {
    SCOPED_TRACE("fetch " + std::to_string(proc));
    handle_t h = Open(3, 4, "SELECT k, l FROM ts ORDER BY k");
    ExpectLongRowset(cl.get(), h, proc, 5050, ABSOLUTE, tail);
    ExpectLongRowset(cl.get(), h, proc, 1, ABSOLUTE, head);
    ExpectLongRowset(cl.get(), h, proc, 5050, ABSOLUTE, tail);
    EXPECT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
  }
  EXPECT_NE(test_support::read_file(dir.file("agent.log")).find("Opened temporary files"), std::string::npos)
      << "the snapshot spilled";
}

// A positioned update on a keyset-driven cursor, optimistic by values, whose
// rowset holds long values above 60,000 bytes: the old values carry them, the
// update goes through, and the long values stay whole in the table.
TEST_P(AgentCursorFaults, PositionedUpdateBesideLongValues) {
  Begin();
  if (HasFatalFailure()) return;
  ASSERT_EQ(cl->SetInt(hConn, DEFER_LONG_DATA, 1), ER_SUCCESS);
  ASSERT_EQ(cl->Exec(hOther, "CREATE TABLE tu (k INTEGER PRIMARY KEY, a VARCHAR(20), l TEXT)"), ER_SUCCESS);
  const std::string l1 = LongText(200003, 1), l2 = LongText(60001, 2);
  ASSERT_EQ(cl->Exec(hOther, "INSERT INTO tu VALUES (1, 'a1', '" + l1 + "')"), ER_SUCCESS);
  ASSERT_EQ(cl->Exec(hOther, "INSERT INTO tu VALUES (2, 'a2', '" + l2 + "')"), ER_SUCCESS);
  handle_t h = cl->Cursor(hConn);
  ASSERT_EQ(cl->SetInt(h, CURSOR_TYPE, 1), ER_SUCCESS);
  ASSERT_EQ(cl->SetInt(h, 0x32030007, 4), ER_SUCCESS);  // optimistic by values
  ASSERT_EQ(cl->SetInt(h, ROWSET_SIZE, 2), ER_SUCCESS);
  ASSERT_EQ(cl->Prepare(h, "SELECT k, a, l FROM tu ORDER BY k"), ER_SUCCESS) << cl->Errors(h);
  ASSERT_EQ(cl->Execute(h), ER_SUCCESS) << cl->Errors(h);
  LongRowsetWant want{{2}, {{&l1}, {&l2}}};
  ExpectLongRowset(cl.get(), h, 2, 1, FIRST, want);
  uns16 cols[] = {2};
  call_setpos a{h, 1, 2, 0, test_support::ParamRows({{CTYPE_VCHR, 20}}, {{"b1"}}), {1, cols}};
  setposres r{};
  ASSERT_EQ(dbsvc_setpos(cl->c, &a, &r), RPC_SUCCESS);
  EXPECT_EQ(r.error, ER_SUCCESS) << cl->Errors(h);
  ASSERT_EQ(r.rgfRowStatus.rgfRowStatus_len, 1u);
  EXPECT_EQ(r.rgfRowStatus.rgfRowStatus_val[0], 2);
  dbsvc_setpos_free(&r);
  Dataset_Done(a.pDS);
  free(a.pDS);
  EXPECT_EQ(cl->Query(hOther, "SELECT k, a FROM tu ORDER BY k"), (Rows{{"1", "b1"}, {"2", "a2"}}));
  // The whole long values, compared by the database.
  EXPECT_EQ(cl->Query(hOther, "SELECT k FROM tu WHERE l = '" + l1 + "'"), (Rows{{"1"}}));
  EXPECT_EQ(cl->Query(hOther, "SELECT k FROM tu WHERE l = '" + l2 + "'"), (Rows{{"2"}}));
  ExpectLongRowset(cl.get(), h, 2, 1, FIRST, want);
  EXPECT_EQ(cl->Simple(dbsvc_endcursor, h), ER_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Drivers, AgentCursorFaults, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& i) {
                           return i.param ? "PostgreSQL" : "SQLite";
                         });

}  // namespace
