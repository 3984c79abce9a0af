// Row versions over the scriptable fake backend: digests against an
// independent MD5, the version texts and statements, the link's lifecycle
// (made, made again, ended with its cursor or its connection, failures that
// leave nothing behind) and the per-row rules of comparing and updating.
#include <openssl/evp.h>

#include <thread>

#include "cursors/engine_fixture.h"
#include "cursors/keyset.h"
#include "cursors/rvc.h"
#include "fixtures/engine/fake_backend.h"
#include "model/drv_param_codes.h"
#include "util/fault.h"

namespace engine_test {
namespace {

std::string Md5Hex(const std::string& bytes) {
  unsigned char d[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(bytes.data(), bytes.size(), d, &n, EVP_md5(), nullptr);
  std::string out;
  char b[3];
  for (unsigned i = 0; i < n; i++) {
    snprintf(b, sizeof b, "%02X", d[i]);
    out += b;
  }
  return out;
}

std::string Hex(const uns8 d[16]) {
  char t[33];
  Binary2Char(d, t);
  return t;
}

// A dataset of one row per call to Row, columns as given.
struct Rows {
  Dataset ds{};
  Rows(std::vector<std::pair<ctype_t, precision_t>> shape, sgn32 nRows) {
    Dataset_Init(&ds, uns16(shape.size()));
    ds.nCols = uns16(shape.size());
    for (uns16 c = 0; c < ds.nCols; c++) {
      ds.col[c].cType = shape[c].first;
      ds.col[c].width = shape[c].second;
    }
    Dataset_AllocColumns(&ds, nRows);
    ds.nRows = nRows;
  }
  ~Rows() { Dataset_Done(&ds); }
  char* Cell(uns16 c, sgn32 r) {
    ds.col[c].indicators[r] = 0;
    return Coldata_Cell(&ds.col[c], uint64_t(r));
  }
  void Int(uns16 c, sgn32 r, sgn32 v) { memcpy(Cell(c, r), &v, 4); }
  void Vchr16(uns16 c, sgn32 r, const std::string& s) {
    uns16 n = uns16(s.size());
    memcpy(Cell(c, r), &n, 2);
    memcpy(Cell(c, r) + 2, s.data(), s.size());
  }
};

TEST(RvcText, DigitsAndHandles) {
  const struct {
    std::vector<uns8> bin;
    const char* text;
  } cases[] = {
      {std::vector<uns8>(16, 0), "00000000000000000000000000000000"},
      {std::vector<uns8>(16, 0xFF), "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"},
      {{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10},
       "0123456789ABCDEFFEDCBA9876543210"},
  };
  for (const auto& c : cases) {
    char t[40];
    memset(t, 'x', sizeof t);
    Binary2Char(c.bin.data(), t);
    EXPECT_STREQ(t, c.text);
  }
}

TEST(RvcDigest, LaysCellsOneAfterAnotherAndSkipsLongOnes) {
  Rows r({{CTYPE_SGN32, 4},
          {CTYPE_CHR, 6},
          {CTYPE_VCHR16, 12},
          {CTYPE_LCHR, 16},
          {CTYPE_WVCHR32, 4 + 4 * 4},
          {CTYPE_SGN16, 2}},
         3);
  // Row 0: every cell set; row 1: NULLs in the middle; row 2: a short text.
  char* big = strdup("a long value never digested");  // the dataset owns it
  for (sgn32 row = 0; row < 3; row++) {
    r.Int(0, row, 0x01020304 + row);
    c_lchr l{uns32(strlen(big)), row == 0 ? big : nullptr};
    memcpy(r.Cell(3, row), &l, sizeof l);
    sgn16 s = sgn16(-7 * row);
    memcpy(r.Cell(5, row), &s, 2);
  }
  memcpy(r.Cell(1, 0), "abcdef", 6);
  r.Vchr16(2, 0, "hello");
  uns32 wlen = 2;
  memcpy(r.Cell(4, 0), &wlen, 4);
  wchar_t w[2] = {L'\x00e9', L'z'};
  memcpy(r.Cell(4, 0) + 4, w, 8);
  memcpy(r.Cell(1, 1), "ghijkl", 6);
  r.ds.col[2].indicators[1] = -1;
  r.ds.col[4].indicators[1] = -1;
  memcpy(r.Cell(1, 2), "mnopqr", 6);
  r.Vchr16(2, 2, "");
  memcpy(r.Cell(4, 2), "\0\0\0\0", 4);

  auto le = [](uint64_t v, int n) { return std::string(reinterpret_cast<const char*>(&v), size_t(n)); };
  const size_t total = 4 + 6 + 12 + 20 + 2;  // the long column's 16 bytes are not counted
  std::string wide = std::string("\xe9\0\0\0z\0\0\0", 8);
  std::vector<std::string> packed = {
      le(0x01020304, 4) + "abcdef" + "hello" + wide + le(0, 2),
      le(0x01020305, 4) + "ghijkl" + le(uns16(-7), 2),
      le(0x01020306, 4) + "mnopqr" + le(uns16(-14), 2),
  };
  for (sgn32 row = 0; row < 3; row++) {
    std::string buf = packed[size_t(row)];
    buf.resize(total, '\0');
    uns8 d[16];
    ASSERT_EQ(RVC_CalcChkSum(&r.ds, uns32(row), d), ER_SUCCESS);
    EXPECT_EQ(Hex(d), Md5Hex(buf)) << "row " << row;
  }

  uns8 d[16];
  EXPECT_EQ(RVC_CalcChkSum(&r.ds, 3, d), ER_GENERAL_ERROR) << "a row past the end";
  EXPECT_EQ(RVC_CalcChkSum(nullptr, 0, d), ER_GENERAL_ERROR);
  vyr_fault_inject(0);
  EXPECT_EQ(RVC_CalcChkSum(&r.ds, 0, d), ER_NO_MEMORY);
  vyr_fault_inject(-1);
}

class RvcFake : public ::testing::Test {
 protected:
  FakeBackend fake;
  EngineOver engine{fake.drv};
  handle_t hConn = 0, hCurs = 0;

  void SetUp() override {
    fake.ints[DRVP_STMT_ROW_COUNT] = 1;
    hConn = Connect("dsn");
    ASSERT_EQ(engine.ops().cursor(hConn, &hCurs), ER_SUCCESS);
    fake.Take();
  }
  void TearDown() override {
    vyr_fault_inject(-1);
    fake.EndAll();
  }
  handle_t Connect(const char* dsn) {
    ::Connect req{};
    req.dbPath = const_cast<char*>(dsn);
    handle_t h = 0;
    EXPECT_EQ(engine.ops().connect(fake.hServer, &req, &h), ER_SUCCESS);
    return h;
  }
  TRVC& Rvc() { return ODBC_CursorRec(hCurs)->st_sccl.RVC; }
  errcode_t Init(int bNeedBind = 0) { return RVC_Init(&Rvc(), SCs_InnerDRV(), hConn, hCurs, bNeedBind); }
  static int LiveConnections() {
    int n = 0;
    for (uns16 i = 0; i < conHandles.numAllocated && conHandles.handleArray; i++)
      n += conHandles.handleArray[i].version != 0;
    return n;
  }
  RVCCxt_t* Context() { return static_cast<RVCCxt_t*>(ODBC_ServerRec(fake.hServer)->RVCCxt); }
  static bool LockIsFree() {
    bool free = false;
    std::thread t([&] {
      free = scs_p_Spl2().try_lock();
      if (free) scs_p_Spl2().unlock();
    });
    t.join();
    return free;
  }
  std::string Messages(handle_t h) {
    std::string out;
    for (ErrorMsg* m = ODBC_CursorRec(h)->pendingError.pFirstMsg; m; m = m->pNextMsg)
      out += std::string(m->szSQLSTATE) + " " + m->msgBuf + "\n";
    return out;
  }
  // ROWVER cells of the fake's read results, VCHR16 of the given width.
  void VersionRows(sgn32 n, const std::string& text, precision_t width = 36) {
    fake.rows = n;
    fake.shape = {{CTYPE_VCHR16, width}};
    fake.fillRow = [text, width](sgn32, Dataset* ds, sgn32 at) {
      char* cell = Coldata_Cell(&ds->col[0], uint64_t(at));
      uns16 len = uns16(std::min<size_t>(text.size(), width - 2));
      memcpy(cell, &len, 2);
      memcpy(cell + 2, text.data(), len);
      ds->col[0].indicators[at] = 0;
    };
  }
};

TEST_F(RvcFake, OpensASecondConnectionWithAutoCommitOn) {
  ASSERT_EQ(Init(), ER_SUCCESS);
  EXPECT_EQ(fake.Take(), "connect s0; setDrvParameter c1 22030000 1; cursor c1");
  TRVC& r = Rvc();
  ASSERT_NE(r.pParent, nullptr);
  EXPECT_EQ(r.pParent, Context());
  EXPECT_EQ(r.hConn, hConn);
  EXPECT_EQ(r.hCurs, hCurs);
  ASSERT_NE(Context()->pRVCFirstConn, nullptr);
  EXPECT_EQ(r.hCursRVC, Context()->pRVCFirstConn->hCursRVC);
  EXPECT_STREQ(Context()->pRVCFirstConn->pszDBName, "dsn");
  EXPECT_EQ(Context()->pRVCFirstConn->cUsage, 1);
  EXPECT_EQ(Context()->pDrv, SCs_InnerDRV());
  EXPECT_EQ(LiveConnections(), 2);

  // The handles in the statements: connection slot 0 and cursor slot 0.
  ASSERT_EQ(RVC_Flush(&r), ER_SUCCESS);
  EXPECT_EQ(fake.Take(),
            "prepare k1 DELETE FROM VYRRVC WHERE HCONN = 'BBBB0000' AND HCURS = 'CCCC0000'; execute k1");
  EXPECT_EQ(RVC_Done(&r), ER_SUCCESS);
  EXPECT_EQ(fake.Take(), "endCursor k1; endConnect c1");
  EXPECT_EQ(r.pParent, nullptr);
  EXPECT_EQ(r.hCursRVC, 0u);
  EXPECT_EQ(Context(), nullptr) << "the last link takes the context with it";
  EXPECT_EQ(LiveConnections(), 1);
  EXPECT_EQ(RVC_Done(&r), ER_SUCCESS) << "ending twice is harmless";
  EXPECT_EQ(RVC_Flush(&r), ER_SUCCESS) << "nothing to flush without a link";
  EXPECT_EQ(fake.Take(), "");
}

TEST_F(RvcFake, CursorHandleSlotThreeIsWrittenCCCC0003) {
  handle_t more[3];
  for (handle_t& h : more) ASSERT_EQ(engine.ops().cursor(hConn, &h), ER_SUCCESS);
  ASSERT_EQ(more[2] & 0xFFFF, 3u);
  TRVC& r = ODBC_CursorRec(more[2])->st_sccl.RVC;
  ASSERT_EQ(RVC_Init(&r, SCs_InnerDRV(), hConn, more[2], 0), ER_SUCCESS);
  fake.Take();
  ASSERT_EQ(RVC_Flush(&r), ER_SUCCESS);
  EXPECT_EQ(fake.Take(),
            "prepare k4 DELETE FROM VYRRVC WHERE HCONN = 'BBBB0000' AND HCURS = 'CCCC0003'; execute k4");
}

TEST_F(RvcFake, OpeningAgainEndsTheLinkBefore) {
  ASSERT_EQ(Init(), ER_SUCCESS);
  const handle_t first = Rvc().hCursRVC;
  fake.Take();
  ASSERT_EQ(Init(), ER_SUCCESS);
  EXPECT_EQ(fake.Take(), "endCursor k1; endConnect c1; connect s0; setDrvParameter c1 22030000 1; cursor c1");
  EXPECT_EQ(LiveConnections(), 2) << "no second connection is left behind";
  EXPECT_EQ(Rvc().hCursRVC, first) << "the freed slots are taken again";
  EXPECT_EQ(Context()->pRVCFirstConn->pNext, nullptr);
}

TEST_F(RvcFake, FailedOpeningLeavesNothing) {
  const struct {
    const char* what;
    std::function<void()> arrange;
    errcode_t rc;
    const char* calls;
  } cases[] = {
      {"no saved request",
       [this] {
         ::Connect req{};
         fake.ops.connect(fake.hServer, &req, &hConn);
       },
       ER_GENERAL_ERROR, ""},
      {"context", [] { vyr_fault_inject(0); }, ER_NO_MEMORY, ""},
      {"link record", [] { vyr_fault_inject(1); }, ER_NO_MEMORY, ""},
      {"connect", [this] { fake.fail["connect"] = {ER_CONN_REJECTED_DS}; }, ER_CONN_REJECTED_DS,
       "connect s0"},
      {"auto-commit", [this] { fake.fail["setDrvParameter"] = {ER_GENERAL_ERROR}; }, ER_GENERAL_ERROR,
       "connect s0; setDrvParameter c1 22030000 1; endConnect c1"},
      {"cursor", [this] { fake.fail["cursor"] = {ER_NO_MEMORY}; }, ER_NO_MEMORY,
       "connect s0; setDrvParameter c1 22030000 1; cursor c1; endConnect c1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fake.EndAll();
    hConn = Connect("dsn");
    ASSERT_EQ(engine.ops().cursor(hConn, &hCurs), ER_SUCCESS);
    TRVC r{};
    c.arrange();
    const int before = LiveConnections();
    fake.Take();
    EXPECT_EQ(RVC_Init(&r, SCs_InnerDRV(), hConn, hCurs, 0), c.rc);
    vyr_fault_inject(-1);
    EXPECT_EQ(fake.Take(), c.calls);
    EXPECT_EQ(r.pParent, nullptr);
    EXPECT_EQ(Context(), nullptr);
    EXPECT_TRUE(LockIsFree());
    EXPECT_LE(LiveConnections(), before);
  }
}

TEST_F(RvcFake, EndingTheCursorEndsItsLinkWhateverItsTypeBecame) {
  ASSERT_EQ(Init(), ER_SUCCESS);
  TSCCL& s = ODBC_CursorRec(hCurs)->st_sccl;
  s.CursType = SQL_CURSOR_KEYSET_DRIVEN;
  s.bUseRVC = 0;
  fake.Take();
  ASSERT_EQ(engine.ops().endCursor(hCurs), ER_SUCCESS);
  EXPECT_EQ(fake.Take(),
            "prepare k1 DELETE FROM VYRRVC WHERE HCONN = 'BBBB0000' AND HCURS = 'CCCC0000'; execute k1; "
            "endCursor k1; endConnect c1; endCursor k0");
  EXPECT_EQ(LiveConnections(), 1);
  EXPECT_EQ(Context(), nullptr);
}

TEST_F(RvcFake, EndingTheClientsConnectionEndsTheLinks) {
  handle_t h2 = 0;
  ASSERT_EQ(engine.ops().cursor(hConn, &h2), ER_SUCCESS);
  ASSERT_EQ(Init(), ER_SUCCESS);
  ASSERT_EQ(RVC_Init(&ODBC_CursorRec(h2)->st_sccl.RVC, SCs_InnerDRV(), hConn, h2, 0), ER_SUCCESS);
  EXPECT_EQ(LiveConnections(), 3);
  ASSERT_EQ(engine.ops().endConnect(hConn), ER_SUCCESS);
  EXPECT_EQ(LiveConnections(), 0);
  EXPECT_EQ(Context(), nullptr);
}

TEST_F(RvcFake, ASecondConnectionEndedUnderneathIsForgotten) {
  ASSERT_EQ(Init(), ER_SUCCESS);
  const handle_t hidden = Context()->pRVCFirstConn->hConnRVC;
  ASSERT_EQ(engine.ops().endConnect(hidden), ER_SUCCESS);
  EXPECT_EQ(Rvc().pParent, nullptr);
  EXPECT_EQ(Rvc().hCursRVC, 0u);
  EXPECT_EQ(Context(), nullptr);
  // A new connection and cursor take the freed slots: the old link's handles
  // must not reach them.
  handle_t other = Connect("dsn2"), otherCurs = 0;
  ASSERT_EQ(fake.ops.cursor(other, &otherCurs), ER_SUCCESS);
  fake.Take();
  ASSERT_EQ(engine.ops().endCursor(hCurs), ER_SUCCESS);
  EXPECT_EQ(fake.Take(), "endCursor k0");
  EXPECT_NE(ODBC_CursorRec(otherCurs), nullptr);
}

TEST_F(RvcFake, FlushFailureReportsTheTable) {
  ASSERT_EQ(Init(), ER_SUCCESS);
  _Cursor* hidden = ODBC_CursorRec(Rvc().hCursRVC);
  QErrorMsg(&hidden->pendingError, DBErrMsgCreate("no such table: VYRRVC", 1, "42S02"));
  fake.fail["prepare"] = {ER_SYNTAXIS};
  EXPECT_EQ(RVC_Flush(&Rvc()), ER_SYNTAXIS);
  EXPECT_EQ(Messages(hCurs), "42S02 no such table: VYRRVC\nIM926 Check that the table VYRRVC exists\n");
  EXPECT_EQ(hidden->pendingError.pFirstMsg, nullptr);
  EXPECT_EQ(ODBC_CursorRec(hCurs)->pendingError.bNoFlush, 0);
}

TEST_F(RvcFake, WritesAddedRowsAndTheirStatements) {
  ASSERT_EQ(Init(1), ER_SUCCESS);
  Rows keys({{CTYPE_SGN32, 4}}, 2), vals({{CTYPE_SGN32, 4}, {CTYPE_VCHR16, 12}}, 2);
  for (sgn32 r = 0; r < 2; r++) {
    keys.Int(0, r, r + 1);
    vals.Int(0, r, r + 1);
    vals.Vchr16(1, r, "v" + std::to_string(r));
  }
  KeySet ks{};
  ks.pDataset = &keys.ds;
  VersionRows(0, "");
  uns16 status[2] = {3, 3};
  fake.Take();
  ASSERT_EQ(RVC_Write(&Rvc(), &ks, &vals.ds, status), ER_SUCCESS);
  EXPECT_EQ(status[0], SQL_ROW_SUCCESS);
  EXPECT_EQ(status[1], SQL_ROW_SUCCESS);
  EXPECT_EQ(
      fake.Take(),
      "prepare k1 SELECT ROWVER FROM VYRRVC WHERE HCONN = 'BBBB0000' AND HCURS = 'CCCC0000' AND KEYVER = ?; "
      "parameters k1 1; bind k1 1; execute k1; fetch k1 2; "
      "parameters k1 1; bind k1 1; execute k1; fetch k1 2; close k1; "
      "prepare k1 INSERT INTO VYRRVC VALUES ( 'BBBB0000', 'CCCC0000', ?, ?); "
      "parameters k1 1; bind k1 2; execute k1; parameters k1 1; bind k1 2; execute k1");

  // Nothing to do for an empty rowset.
  Rows none({{CTYPE_SGN32, 4}}, 0);
  EXPECT_EQ(RVC_Write(&Rvc(), &ks, &none.ds, status), ER_SUCCESS);
  EXPECT_EQ(fake.Take(), "");
  // A keyset shorter than the rowset fails at the missing key row.
  keys.ds.nRows = 1;
  status[0] = status[1] = 3;
  EXPECT_EQ(RVC_Write(&Rvc(), &ks, &vals.ds, status), ER_GENERAL_ERROR);
  EXPECT_EQ(status[0], SQL_ROW_ADDED);
  EXPECT_EQ(status[1], 3);
}

TEST_F(RvcFake, ComparesOnlyWhatTheCellHolds) {
  ASSERT_EQ(Init(), ER_SUCCESS);
  Rows keys({{CTYPE_SGN32, 4}}, 1), vals({{CTYPE_SGN32, 4}}, 1);
  keys.Int(0, 0, 1);
  vals.Int(0, 0, 7);
  KeySet ks{};
  ks.pDataset = &keys.ds;
  uns8 d[16];
  ASSERT_EQ(RVC_CalcChkSum(&vals.ds, 0, d), ER_SUCCESS);
  const std::string same = Hex(d);
  const struct {
    std::string cell;
    precision_t width;
    uns16 status;
  } cases[] = {
      {same, 36, SQL_ROW_SUCCESS},
      {same + "  ", 40, SQL_ROW_SUCCESS},  // a padded CHAR column
      {same.substr(0, 31) + "0", 36, SQL_ROW_UPDATED},
      {same.substr(0, 10), 36, SQL_ROW_UPDATED},  // short: never read past it
      {same, 12, SQL_ROW_UPDATED},                // cut by a narrow column
      {"", 36, SQL_ROW_UPDATED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cell);
    VersionRows(1, c.cell, c.width);
    uns16 status = 3;
    fake.Take();
    EXPECT_EQ(RVC_Write(&Rvc(), &ks, &vals.ds, &status), ER_SUCCESS);
    EXPECT_EQ(status, c.status);
    const bool stored = fake.Take().find("UPDATE VYRRVC SET ROWVER = ?") != std::string::npos;
    EXPECT_EQ(stored, c.status == SQL_ROW_UPDATED);
  }
  // Two records for one key: the comparison fails.
  VersionRows(2, same);
  uns16 status = 3;
  EXPECT_EQ(RVC_Write(&Rvc(), &ks, &vals.ds, &status), ER_GENERAL_ERROR);
  EXPECT_EQ(status, 3);
}

TEST_F(RvcFake, UpdateRowsMarksFailuresAndGoesOn) {
  ASSERT_EQ(Init(), ER_SUCCESS);
  uns8 keys[4 * 16] = {0}, rows[4 * 16] = {0};
  for (int r = 0; r < 4; r++) keys[r * 16] = rows[r * 16 + 15] = uns8(r + 1);
  const struct {
    const char* what;
    std::vector<errcode_t> execute;
    sgn32 rowCount;
    std::vector<uns16> after;
    errcode_t rc;
  } cases[] = {
      {"all stored", {}, 1, {2, 0, 2, 2}, ER_SUCCESS},
      {"nothing updated", {}, 0, {5, 0, 5, 5}, ER_SUCCESS},
      {"first fails", {ER_GENERAL_ERROR}, 1, {5, 0, 2, 2}, ER_SUCCESS},
      {"last fails", {ER_SUCCESS, ER_SUCCESS, ER_GENERAL_ERROR}, 1, {2, 0, 2, 5}, ER_GENERAL_ERROR},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uns16> status = {2, 0, 2, 2};
    fake.fail["execute"] = c.execute;
    fake.ints[DRVP_STMT_ROW_COUNT] = c.rowCount;
    fake.Take();
    EXPECT_EQ(RVC_UpdateRows(&Rvc(), keys, rows, status.data(), 4), c.rc);
    EXPECT_EQ(status, c.after);
  }
  fake.Take();
  fake.fail["execute"].clear();
  fake.ints[DRVP_STMT_ROW_COUNT] = 1;
  std::vector<uns16> status = {2, 0, 0, 0};
  ASSERT_EQ(RVC_UpdateRows(&Rvc(), keys, rows, status.data(), 4), ER_SUCCESS);
  EXPECT_EQ(fake.Take(),
            "prepare k1 UPDATE VYRRVC SET ROWVER = ? WHERE HCONN = 'BBBB0000' AND HCURS = 'CCCC0000' AND "
            "KEYVER = ?; parameters k1 1; execute k1; getDrvParameter k1 32010000");
  fake.fail["prepare"] = {ER_SYNTAXIS};
  EXPECT_EQ(RVC_UpdateRows(&Rvc(), keys, rows, status.data(), 4), ER_SYNTAXIS);
  EXPECT_EQ(status[0], 2) << "a failed prepare marks nothing";
}

TEST_F(RvcFake, WriteFailureMovesTheLinksDiagnostics) {
  ASSERT_EQ(Init(), ER_SUCCESS);
  Rows keys({{CTYPE_SGN32, 4}}, 2), vals({{CTYPE_SGN32, 4}}, 2);
  for (sgn32 r = 0; r < 2; r++) keys.Int(0, r, r), vals.Int(0, r, r);
  KeySet ks{};
  ks.pDataset = &keys.ds;
  VersionRows(0, "");
  const handle_t hidden = Rvc().hCursRVC;
  QErrorMsg(&ODBC_CursorRec(hidden)->pendingError, DBErrMsgCreate("statement", 0, "HY000"));
  QErrorMsg(&ODBC_ConnectRec(Context()->pRVCFirstConn->hConnRVC)->pendingError,
            DBErrMsgCreate("connection", 0, "08S01"));
  // Read fine, first insert fails: that row is an error, the next one keeps 4.
  fake.fail["execute"] = {ER_SUCCESS, ER_SUCCESS, ER_GENERAL_ERROR};
  uns16 status[2] = {3, 3};
  EXPECT_EQ(RVC_Write(&Rvc(), &ks, &vals.ds, status), ER_GENERAL_ERROR);
  EXPECT_EQ(status[0], SQL_ROW_ERROR);
  EXPECT_EQ(status[1], SQL_ROW_ADDED);
  EXPECT_EQ(Messages(hCurs), "HY000 statement\n08S01 connection\n");
}

TEST_F(RvcFake, ServerEndFreesLinksLeft) {
  ASSERT_EQ(Init(), ER_SUCCESS);
  RVC_ServerDone(ODBC_ServerRec(fake.hServer));
  EXPECT_EQ(Context(), nullptr);
  Rvc() = TRVC{};
}

}  // namespace
}  // namespace engine_test
