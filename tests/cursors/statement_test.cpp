// The engine's statement operations over the scriptable fake backend: what
// reaches the backend for prepare, execute and the combined calls, snapshots
// taken at execute, batches, long values held back from a rowset and handed
// out in pieces, the catalog family and the named bind descriptions.
#include <cwchar>

#include "cursors/engine_fixture.h"
#include "cursors/snapshot.h"
#include "cursors/statement.h"
#include "fixtures/engine/fake_backend.h"
#include "fixtures/support/log_capture.h"
#include "model/drv_param_codes.h"

namespace engine_test {
namespace {

using test_support::LogCapture;

// A one-column dataset of n rows (every value "p").
Dataset* Params(sgn32 n) {
  Dataset* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  Dataset_Init(ds, 1);
  ds->nCols = 1;
  ds->col[0].cType = CTYPE_VCHR;
  ds->col[0].width = Dataset_SizeCol(CTYPE_VCHR, 4);
  Dataset_AllocColumns(ds, n);
  for (sgn32 r = 0; r < n; r++) {
    strcpy(Coldata_Cell(&ds->col[0], uint64_t(r)), "p");
    ds->col[0].indicators[r] = 0;
  }
  ds->nRows = n;
  return ds;
}

class StatementTest : public ::testing::Test {
 protected:
  FakeBackend fake;
  EngineOver engine{fake.drv};
  handle_t hConn = 0;

  void SetUp() override {
    // The catalog knows table t, for the analysis of queries on scrollable cursors.
    fake.catalogRows = {{"\x01NULL", "\x01NULL", "t"}};
    fake.ints = {{DRVP_CONN_INFO_INT + 28, 2}};  // unquoted names are lower case
    ::Connect req{};
    req.dbPath = const_cast<char*>("dsn");
    ASSERT_EQ(engine.ops().connect(fake.hServer, &req, &hConn), ER_SUCCESS);
  }
  void TearDown() override { fake.EndAll(); }

  // A cursor whose engine state has the given type and concurrency.
  handle_t Cursor(sgn32 type = SQL_CURSOR_FORWARD_ONLY, sgn32 conc = SQL_CONCUR_READ_ONLY) {
    handle_t h = 0;
    EXPECT_EQ(engine.ops().cursor(hConn, &h), ER_SUCCESS);
    TSCCL& s = State(h);
    s.CursType = type;
    s.ConcType = conc;
    fake.Take();
    return h;
  }
  static TSCCL& State(handle_t h) { return ODBC_CursorRec(h)->st_sccl; }
  // The calls since the last Take that name cursor h (not its auxiliary cursors).
  std::string TakeOn(handle_t h) {
    const std::string k = " " + HandleText(h);
    std::string out;
    for (const auto& c : fake.calls) {
      size_t at = c.find(k);
      if (at == std::string::npos || (at + k.size() < c.size() && c[at + k.size()] != ' ')) continue;
      out += (out.empty() ? "" : "; ") + c;
    }
    fake.calls.clear();
    return out;
  }
  // Rows of (INTEGER base + row number, VARCHAR "r<n>").
  void IntTextRows(sgn32 n, sgn32 base = 0) {
    fake.rows = n;
    fake.fetched = 0;
    fake.shape = {{CTYPE_SGN32, 4}, {CTYPE_VCHR, Dataset_SizeCol(CTYPE_VCHR, 20)}};
    fake.fillRow = [base](sgn32 row, Dataset* ds, sgn32 at) {
      sgn32 v = base + row;
      memcpy(Coldata_Cell(&ds->col[0], uint64_t(at)), &v, 4);
      ds->col[0].indicators[at] = 0;
      snprintf(Coldata_Cell(&ds->col[1], uint64_t(at)), 20, "r%d", v);
      ds->col[1].indicators[at] = 0;
    };
  }
  std::vector<std::string> FirstColumn(handle_t h, uns16 maxRows) {
    Dataset ds{};
    EXPECT_EQ(engine.ops().fetch(h, maxRows, &ds), ER_SUCCESS);
    std::vector<std::string> out;
    for (sgn32 r = 0; r < ds.nRows; r++) out.push_back(CellText(ds, 0, r));
    Dataset_Done(&ds);
    return out;
  }
};

TEST_F(StatementTest, ExecuteWithoutPrepareReachesNothing) {
  LogCapture log;
  for (sgn32 type : {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_STATIC, SQL_CURSOR_KEYSET_DRIVEN}) {
    handle_t h = Cursor(type);
    EXPECT_EQ(engine.ops().execute(h), ER_FUNCTION_SEQ);
    EXPECT_EQ(fake.Take(), "");
    EXPECT_TRUE(log.HasExact(LOG_WARNING, "execute without prior prepare")) << log.Dump();
  }
  EXPECT_EQ(engine.ops().execute(0x12345), ER_INVALID_ARGUMENT);
}

TEST_F(StatementTest, StaticReadOnlySelectIsReadAtExecute) {
  handle_t h = Cursor(SQL_CURSOR_STATIC);
  IntTextRows(5);
  ASSERT_EQ(engine.ops().prepare(h, const_cast<char*>("SELECT i, s FROM t")), ER_SUCCESS);
  fake.Take();
  ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS);
  // The whole result at once, then the backend's cursor is closed.
  EXPECT_EQ(fake.Count("fetch"), 2u);
  EXPECT_EQ(fake.Count("close"), 1u);
  EXPECT_EQ(State(h).RsltSetSize, 5);
  EXPECT_TRUE(State(h).f_state & SCCL_SNAPSHOT_READ);
  EXPECT_EQ(FirstColumn(h, 2), (std::vector<std::string>{"0", "1"}));
  // Executed again without a new prepare: the snapshot stands, read from its start.
  IntTextRows(3, 100);
  fake.Take();
  ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS);
  EXPECT_EQ(fake.Count("fetch"), 0u);
  EXPECT_EQ(fake.Count("close"), 1u) << "the new result behind the snapshot is closed";
  EXPECT_EQ(FirstColumn(h, 10), (std::vector<std::string>{"0", "1", "2", "3", "4"}));
  EXPECT_EQ(fake.Count("fetch"), 0u);
  // A new prepare is a new result.
  ASSERT_EQ(engine.ops().prepare(h, const_cast<char*>("SELECT i, s FROM t")), ER_SUCCESS);
  ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS);
  EXPECT_EQ(FirstColumn(h, 10), (std::vector<std::string>{"100", "101", "102"}));
}

TEST_F(StatementTest, ExecuteAfterCloseSendsTheStatementAgain) {
  fake.ints[DRVP_CONN_NEED_BIND] = 1;
  handle_t h = 0;
  ASSERT_EQ(engine.ops().cursor(hConn, &h), ER_SUCCESS);
  State(h).CursType = SQL_CURSOR_KEYSET_DRIVEN;
  ASSERT_TRUE(State(h).bNeedBind);
  const char* sql = "UPDATE t SET s = ? WHERE i = 1";
  ASSERT_EQ(engine.ops().prepare(h, const_cast<char*>(sql)), ER_SUCCESS);
  ASSERT_EQ(engine.ops().parameters(h, Params(2)), ER_SUCCESS);
  Bindesc b{SQLTYPE_VARCHAR, CTYPE_VCHR, 4, 0, 1};
  ASSERT_EQ(engine.ops().bind(h, 1, &b), ER_SUCCESS);
  ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS);
  ASSERT_EQ(engine.ops().close(h), ER_SUCCESS);
  fake.Take();
  ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS);
  const std::string k = HandleText(h);
  EXPECT_EQ(TakeOn(h),
            "prepare " + k + " " + sql + "; parameters " + k + " 2; bind " + k + " 1; execute " + k);
  EXPECT_FALSE(State(h).f_state & SCCL_CLOSED);
  // Not closed since: nothing is sent again.
  ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS);
  EXPECT_EQ(TakeOn(h), "execute " + k);
}

TEST_F(StatementTest, ExecuteJSetsTheRowsetSizeOfScrollableCursorsOnly) {
  fake.ints[DRVP_STMT_ROW_COUNT] = 4;
  struct Case {
    sgn32 type;
    errcode_t setAnswer;  // the backend's answer to the rowset size
    sgn32 want, got;
    errcode_t result;
  } cases[] = {
      {SQL_CURSOR_FORWARD_ONLY, ER_SUCCESS, 500, 500, ER_SUCCESS},
      {SQL_CURSOR_KEYSET_DRIVEN, ER_SUCCESS, 20, 20, ER_SUCCESS},
      {SQL_CURSOR_KEYSET_DRIVEN, ER_OPT_VAL_CHANGED, 500, 100, ER_SUCCESS},
      {SQL_CURSOR_KEYSET_DRIVEN, ER_INVALID_OPTION, 500, 500, ER_INVALID_OPTION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.type << " " << c.setAnswer);
    handle_t h = Cursor(c.type);
    fake.ints[DRVP_STMT_ROWSET_SIZE] = 100;
    fake.fail["setDrvParameter"] = {c.setAnswer};
    sgn32 rs = c.want, rows = -5;
    uns16 nc = 0, np = 0;
    Coldesc *cd = nullptr, *pd = nullptr;
    errcode_t rc = engine.ops().executeJ(h, const_cast<char*>("DELETE FROM t"), Params(1), 0, nullptr, &rs,
                                         &nc, &cd, &np, &pd, &rows);
    EXPECT_EQ(rc, c.result);
    EXPECT_EQ(rs, c.got);
    std::string calls = fake.Take();
    EXPECT_EQ(calls.find("setDrvParameter k") != std::string::npos, c.type != SQL_CURSOR_FORWARD_ONLY)
        << calls;
    if (c.result == ER_SUCCESS) {
      EXPECT_NE(calls.find("execute k"), std::string::npos) << calls;
      EXPECT_EQ(nc, 2);
      EXPECT_EQ(rows, 4);
    } else {
      EXPECT_EQ(calls.find("prepare k"), std::string::npos) << calls;
    }
    FreeColdesc(cd, nc);
    FreeColdesc(pd, np);
    EXPECT_NE(ODBC_CursorRec(h), nullptr) << "the cursor lives on";
    fake.fail.clear();
  }
}

TEST_F(StatementTest, BatchStopsAtTheFirstFailure) {
  fake.ints[DRVP_STMT_ROW_COUNT] = 3;
  handle_t h = Cursor();
  Batch calls[3] = {{const_cast<char*>("INSERT INTO t VALUES (?)"), {}, Params(1)},
                    {const_cast<char*>("UPDATE t SET i = 2"), {}, Params(2)},
                    {const_cast<char*>("DELETE FROM t"), {}, Params(1)}};
  fake.fail["execute"] = {ER_SUCCESS, ER_SYNTAXIS};
  uns16 n = 9;
  sgn32* results = nullptr;
  EXPECT_EQ(engine.ops().executeBatchJ(h, 3, calls, &n, &results), ER_SYNTAXIS);
  EXPECT_EQ(n, 1);
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(std::vector<sgn32>(results, results + 3), (std::vector<sgn32>{3, 0, 0}));
  free(results);
  for (const Batch& b : calls) EXPECT_EQ(b.parameters, nullptr) << "taken over, run or not";
  EXPECT_EQ(fake.Count("prepare"), 2u);
}

// A bind carries at most 65535 descriptions: more from the client end the
// batch before the entry is prepared, its parameters still taken over.
TEST_F(StatementTest, BatchRefusesMoreBindDescriptionsThanABindCarries) {
  handle_t h = Cursor();
  Batch b{const_cast<char*>("DELETE FROM t"), {0x10000, nullptr}, Params(1)};
  uns16 n = 9;
  sgn32* results = nullptr;
  EXPECT_EQ(engine.ops().executeBatchJ(h, 1, &b, &n, &results), ER_INVALID_ARGUMENT);
  EXPECT_EQ(n, 0);
  EXPECT_NE(results, nullptr);
  free(results);
  EXPECT_EQ(b.parameters, nullptr);
  EXPECT_EQ(fake.Count("prepare"), 0u);
}

TEST_F(StatementTest, BatchRefusesResults) {
  struct Case {
    std::vector<const char*> sql;
    std::string label;  // first column label of a procedure call's description
    errcode_t result;
    uns16 done;
    size_t prepares;
  } cases[] = {
      {{"INSERT INTO t VALUES (1)", "  (SeLeCt i FROM t)"}, "", ER_INVALID_BATCH_CMD, 1, 1},
      {{"select 1"}, "", ER_INVALID_BATCH_CMD, 0, 0},
      {{"selected_proc_is_no_select"}, "", ER_SUCCESS, 1, 1},
      {{"{?=call p(?)}", "CALL q"}, "*I", ER_SUCCESS, 2, 2},
      {{"DELETE FROM t", "{call p}"}, "i", ER_INVALID_BATCH_CMD, 1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql.back());
    handle_t h = Cursor();
    fake.firstLabel = c.label;
    std::vector<Batch> calls;
    for (const char* s : c.sql) calls.push_back(Batch{const_cast<char*>(s), {}, nullptr});
    uns16 n = 9;
    sgn32* results = nullptr;
    EXPECT_EQ(engine.ops().executeBatchJ(h, uns16(calls.size()), calls.data(), &n, &results), c.result);
    EXPECT_EQ(n, c.done);
    EXPECT_NE(results, nullptr);
    free(results);
    EXPECT_EQ(fake.Count("prepare"), c.prepares);
    fake.Take();
  }
  // An entry without text runs the cursor's statement, classified as such.
  handle_t h = Cursor();
  ASSERT_EQ(engine.ops().prepare(h, const_cast<char*>("SELECT 1")), ER_SUCCESS);
  Batch again{nullptr, {}, nullptr};
  uns16 n = 9;
  sgn32* results = nullptr;
  EXPECT_EQ(engine.ops().executeBatchJ(h, 1, &again, &n, &results), ER_INVALID_BATCH_CMD);
  EXPECT_EQ(n, 0);
  free(results);
}

// A rowset of one long column: the given values (empty optional: NULL).
struct LongRowSet {
  RowSet rs{};
  Dataset* ds = nullptr;
  LongRowSet(ctype_t type, const std::vector<std::string>& bytes, const std::vector<bool>& nulls) {
    ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
    Dataset_Init(ds, 2);
    ds->nCols = 2;
    ds->col[0].cType = CTYPE_SGN32;
    ds->col[0].width = 4;
    ds->col[1].cType = type;
    ds->col[1].width = 16;
    Dataset_AllocColumns(ds, sgn32(bytes.size()));
    for (size_t r = 0; r < bytes.size(); r++) {
      ds->col[0].indicators[r] = 0;
      if (nulls[r]) continue;
      char* data = static_cast<char*>(malloc(bytes[r].size() + 4));
      memcpy(data, bytes[r].data(), bytes[r].size());
      uns32 len = uns32(type == CTYPE_WLCHR ? bytes[r].size() / 4 : bytes[r].size());
      char* cell = Coldata_Cell(&ds->col[1], r);
      memcpy(cell, &len, 4);
      memcpy(cell + 8, &data, sizeof data);
      ds->col[1].indicators[r] = 0;
    }
    ds->nRows = sgn32(bytes.size());
    rs.pDataset = ds;
  }
  ~LongRowSet() {
    Dataset_Done(ds);
    free(ds);
  }
};

std::string Wide(const std::wstring& w) {
  return std::string(reinterpret_cast<const char*>(w.data()), w.size() * 4);
}

TEST_F(StatementTest, LongValuesAreHeldBackAndHandedOutInPieces) {
  std::string big(70000, 'x');
  for (size_t i = 0; i < big.size(); i++) big[i] = char('a' + i % 26);
  std::wstring wbig(20000, L'\x263A');  // 80000 bytes of wide characters
  for (size_t i = 0; i < wbig.size(); i += 7) wbig[i] = L'a' + wchar_t(i % 26);
  struct Case {
    ctype_t type;
    std::string value;   // held back
    std::string fits;    // exactly 60000 bytes: stays in the rowset
    precision_t wanted;  // cbWanted (characters for wide text)
    ctype_t pieceType;
    std::vector<sgn32> remaining;  // before each piece
  } cases[] = {
      {CTYPE_LCHR, big, std::string(60000, 'f'), 30000, CTYPE_CHR, {70000, 40000, 10000, 0}},
      {CTYPE_LBIN, big, std::string(60000, 'f'), 30000, CTYPE_BIN, {70000, 40000, 10000, 0}},
      {CTYPE_WLCHR, Wide(wbig), Wide(std::wstring(15000, L'f')), 7000, CTYPE_WCHR, {80000, 52000, 24000, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    handle_t h = Cursor(SQL_CURSOR_STATIC);
    TSCCL& s = State(h);
    LongRowSet rows(c.type, {c.fits, c.value, ""}, {false, false, true});
    ASSERT_EQ(scs_p_HoldBackLongData(&s, &rows.rs), ER_SUCCESS);
    const Coldata& col = rows.ds->col[1];
    EXPECT_EQ(col.indicators[0], 0);
    EXPECT_EQ(col.indicators[1], -3);
    EXPECT_EQ(col.indicators[2], -1);
    uns32 len = 1;
    memcpy(&len, Coldata_Cell(&col, 1), 4);
    EXPECT_EQ(len, 0u);
    std::string got;
    char* piece = nullptr;
    precision_t n = 0;
    ctype_t t = CTYPE_VOID;
    sgn32 remaining = 0;
    for (sgn32 before : c.remaining) {
      ASSERT_EQ(engine.ops().getDataJ(h, 2, 2, c.wanted, &piece, &n, &t, &remaining), ER_SUCCESS);
      EXPECT_EQ(remaining, before);
      EXPECT_EQ(t, c.pieceType);
      if (before == 0) {
        EXPECT_EQ(piece, nullptr);
        EXPECT_EQ(n, 0u);
      } else {
        ASSERT_NE(piece, nullptr);
        got.append(piece, n);
      }
      free(piece);
      piece = nullptr;
    }
    EXPECT_TRUE(got == c.value) << "every byte once, in order";
    // What is not held back is not there.
    struct Miss {
      sgn32 col, row;
      errcode_t rc;
    } misses[] = {{2, 1, ER_NO_DATA_FOUND},    {2, 3, ER_NO_DATA_FOUND},    {1, 2, ER_NO_DATA_FOUND},
                  {0, 2, ER_INVALID_ARGUMENT}, {3, 2, ER_INVALID_ARGUMENT}, {2, 4, ER_INVALID_ARGUMENT}};
    for (const Miss& m : misses) {
      EXPECT_EQ(engine.ops().getDataJ(h, m.col, m.row, 10, &piece, &n, &t, &remaining), m.rc);
      EXPECT_EQ(piece, nullptr);
      EXPECT_EQ(remaining, -4);
    }
    engine.ops().endCursor(h);
  }
  // Nothing held back at all, and forward-only cursors ask the backend.
  handle_t h = Cursor(SQL_CURSOR_STATIC);
  char* piece = nullptr;
  precision_t n = 0;
  ctype_t t = CTYPE_VOID;
  sgn32 remaining = 0;
  EXPECT_EQ(engine.ops().getDataJ(h, 1, 1, 10, &piece, &n, &t, &remaining), ER_NO_DATA_FOUND);
  handle_t f = Cursor();
  EXPECT_EQ(engine.ops().getDataJ(f, 1, 1, 10, &piece, &n, &t, &remaining), ER_SUCCESS);
  EXPECT_EQ(fake.Take(), "getData " + HandleText(f) + " 1 1 10");
}

// The transfer record names rows in 16 bits: a row past them keeps its value
// in the rowset, and no piece of row 1's value is taken for it or back.
TEST_F(StatementTest, LongValuesPastRow65535StayInTheRowset) {
  const sgn32 n = 0x10001;
  std::vector<std::string> values(n);
  std::vector<bool> nulls(n, true);
  values[0] = std::string(60001, 'a');
  values[n - 1] = std::string(100000, 'b');
  nulls[0] = nulls[n - 1] = false;
  handle_t h = Cursor(SQL_CURSOR_STATIC);
  LongRowSet rows(CTYPE_LBIN, values, nulls);
  ASSERT_EQ(scs_p_HoldBackLongData(&State(h), &rows.rs), ER_SUCCESS);
  const Coldata& col = rows.ds->col[1];
  EXPECT_EQ(col.indicators[0], -3);
  EXPECT_EQ(col.indicators[n - 1], 0);
  uns32 len = 0;
  memcpy(&len, Coldata_Cell(&col, uint64_t(n - 1)), 4);
  EXPECT_EQ(len, 100000u);
  char* piece = nullptr;
  precision_t got = 0;
  ctype_t t = CTYPE_VOID;
  sgn32 remaining = 0;
  EXPECT_EQ(engine.ops().getDataJ(h, 2, n, 50000, &piece, &got, &t, &remaining), ER_NO_DATA_FOUND);
  EXPECT_EQ(piece, nullptr);
  // Row 1's value whole, in two pieces of its own.
  ASSERT_EQ(engine.ops().getDataJ(h, 2, 1, 50000, &piece, &got, &t, &remaining), ER_SUCCESS);
  EXPECT_EQ(remaining, 60001);
  free(piece);
  ASSERT_EQ(engine.ops().getDataJ(h, 2, 1, 50000, &piece, &got, &t, &remaining), ER_SUCCESS);
  EXPECT_EQ(remaining, 10001);
  EXPECT_EQ(got, 10001u);
  free(piece);
}

// Through the scrollable fetch: the static cursor's rowset holds back what is
// too long for it, also when the snapshot spilled to its files.
TEST_F(StatementTest, RowsetFetchHoldsBackLongValues) {
  for (sgn32 rows : {3, 5200}) {
    SCOPED_TRACE(rows);
    handle_t h = Cursor(SQL_CURSOR_STATIC);
    State(h).RSSize = 3;
    fake.rows = rows;
    fake.fetched = 0;
    fake.shape = {{CTYPE_SGN32, 4}, {CTYPE_LCHR, 16}};
    fake.fillRow = [](sgn32 row, Dataset* ds, sgn32 at) {
      memcpy(Coldata_Cell(&ds->col[0], uint64_t(at)), &row, 4);
      ds->col[0].indicators[at] = 0;
      const uns32 len = row == 1 ? 70000 : 10;
      char* data = static_cast<char*>(malloc(len + 1));
      memset(data, 'a' + row % 26, len);
      data[len] = 0;
      char* cell = Coldata_Cell(&ds->col[1], uint64_t(at));
      memcpy(cell, &len, 4);
      memcpy(cell + 8, &data, sizeof data);
      ds->col[1].indicators[at] = 0;
    };
    ASSERT_EQ(engine.ops().prepare(h, const_cast<char*>("SELECT i, s FROM t")), ER_SUCCESS);
    const int files = OpenTempFiles();
    ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS);
    EXPECT_EQ(OpenTempFiles(), files + (rows > 5000 ? 2 : 0));
    PRSET rs = nullptr;
    uns32 got = 0;
    sgn32 size = 0;
    ASSERT_EQ(engine.ops().xFetch2J(h, &rs, 1, &got, &size, 2), ER_SUCCESS);
    ASSERT_NE(rs, nullptr);
    ASSERT_EQ(rs->pDataset->nRows, 3);
    const Coldata& col = rs->pDataset->col[1];
    EXPECT_EQ(std::vector<indicator_t>(col.indicators, col.indicators + 3),
              (std::vector<indicator_t>{0, -3, 0}));
    std::string value;
    char* piece = nullptr;
    precision_t n = 0;
    ctype_t t = CTYPE_VOID;
    sgn32 remaining = -1;
    do {
      ASSERT_EQ(engine.ops().getDataJ(h, 2, 2, 32000, &piece, &n, &t, &remaining), ER_SUCCESS);
      if (piece) value.append(piece, n);
      free(piece);
      piece = nullptr;
    } while (remaining > 0);
    EXPECT_EQ(value, std::string(70000, 'b'));
    RS_Destroy(&rs);
    // The next rowset (none past the end) holds nothing back.
    EXPECT_EQ(engine.ops().xFetch2J(h, &rs, 4, &got, &size, 5) == ER_SUCCESS, rows > 3);
    EXPECT_EQ(engine.ops().getDataJ(h, 2, 2, 100, &piece, &n, &t, &remaining), ER_NO_DATA_FOUND);
    RS_Destroy(&rs);
    engine.ops().endCursor(h);
  }
}

TEST_F(StatementTest, CatalogCallsServeScrollableCursorsStatic) {
  struct Case {
    sgn32 type, conc, typeAfter, concAfter;
  } cases[] = {
      {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_LOCK, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY},
      {SQL_CURSOR_DYNAMIC, SQL_CONCUR_VALUES, SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY},
      {SQL_CURSOR_STATIC, SQL_CONCUR_LOCK, SQL_CURSOR_STATIC, SQL_CONCUR_LOCK},
      {SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_LOCK, SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_LOCK},
  };
  for (const Case& c : cases) {
    handle_t h = Cursor(c.type, c.conc);
    DDTables a{const_cast<char*>("q"), const_cast<char*>("o"), const_cast<char*>("t%"), nullptr};
    EXPECT_EQ(engine.ops().ddTables(h, &a), ER_SUCCESS);
    EXPECT_EQ(fake.Take(), "ddTables " + HandleText(h) + " 'q' 'o' 't%'");
    EXPECT_EQ(State(h).CursType, c.typeAfter);
    EXPECT_EQ(State(h).ConcType, c.concAfter);
  }
  // A slot the backend leaves empty answers that it cannot.
  handle_t h = Cursor(SQL_CURSOR_KEYSET_DRIVEN);
  EXPECT_EQ(engine.ops().ddTypeInfo(h, 0), ER_DRV_NOT_CAPABLE);
  EXPECT_EQ(engine.ops().ddTables(0x4711, nullptr), ER_INVALID_ARGUMENT);
}

errcode_t BindXMustNotBeCalled(handle_t, uns16, BindescX*) {
  ADD_FAILURE() << "the backend's bindX was called";
  return ER_GENERAL_ERROR;
}

TEST_F(StatementTest, NamedBindDescriptionsAreBoundPlain) {
  for (bool backendHasBindX : {false, true}) {
    fake.ops.bindX = backendHasBindX ? BindXMustNotBeCalled : nullptr;
    handle_t h = Cursor(SQL_CURSOR_KEYSET_DRIVEN);
    BindescX x[2] = {{SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 1, const_cast<char*>("@a")},
                     {SQLTYPE_VARCHAR, CTYPE_VCHR, 30, 2, 4, const_cast<char*>("@b")}};
    EXPECT_EQ(engine.ops().bindX(h, 2, x), ER_SUCCESS);
    EXPECT_EQ(TakeOn(h), "bind " + HandleText(h) + " 2");
    const TSCCL& s = State(h);
    ASSERT_EQ(s.nParamInfo, 2);
    EXPECT_EQ(s.pParamInfo[1].cType, CTYPE_VCHR);
    EXPECT_EQ(s.pParamInfo[1].precision, 30u);
    EXPECT_EQ(s.pParamInfo[1].scale, 2);
    EXPECT_EQ(s.pParamInfo[1].usage, 4);
    // The combined execute binds the same way.
    EXPECT_EQ(engine.ops().execute2X(h, const_cast<char*>("DELETE FROM t WHERE i = ?"), Params(1), 2, x),
              ER_SUCCESS);
    const std::string k = HandleText(h);
    EXPECT_EQ(TakeOn(h), "prepare " + k + " DELETE FROM t WHERE i = ?; parameters " + k + " 1; bind " + k +
                             " 2; execute " + k);
  }
  EXPECT_EQ(engine.ops().bindX(0x4711, 0, nullptr), ER_INVALID_ARGUMENT);
}

TEST_F(StatementTest, CombinedCallsTakeOverParametersOnFailure) {
  handle_t h = Cursor(SQL_CURSOR_STATIC);
  fake.fail["prepare"] = {ER_SYNTAXIS, ER_SYNTAXIS};
  EXPECT_EQ(engine.ops().execute2(h, const_cast<char*>("bad"), Params(3), 0, nullptr), ER_SYNTAXIS);
  sgn32 rs = 1, rows = 0;
  uns16 nc = 0, np = 0;
  Coldesc *cd = nullptr, *pd = nullptr;
  EXPECT_EQ(engine.ops().executeJ(h, const_cast<char*>("bad"), Params(3), 0, nullptr, &rs, &nc, &cd, &np, &pd,
                                  &rows),
            ER_SYNTAXIS);
  EXPECT_EQ(engine.ops().execute2(0x4711, nullptr, Params(3), 0, nullptr), ER_INVALID_ARGUMENT);
  EXPECT_EQ(fake.Count("parameters"), 0u);
  EXPECT_EQ(fake.Count("execute"), 0u);
}

TEST_F(StatementTest, MoreResultsOnScrollableCursors) {
  struct Case {
    sgn32 type, conc;
    bool passed;
  } cases[] = {
      {SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_READ_ONLY, true},
      {SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_LOCK, true},
      {SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, true},
      {SQL_CURSOR_STATIC, SQL_CONCUR_LOCK, false},
      {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, false},
      {SQL_CURSOR_DYNAMIC, SQL_CONCUR_VALUES, false},
  };
  for (const Case& c : cases) {
    handle_t h = Cursor(c.type, c.conc);
    State(h).RsltSetSize = 7;
    fake.fail["moreResults"] = {ER_SUCCESS};
    EXPECT_EQ(engine.ops().moreResults(h), c.passed ? ER_SUCCESS : ER_NO_MORE_RESULTS);
    EXPECT_EQ(fake.Count("moreResults"), c.passed ? 1u : 0u);
    EXPECT_EQ(State(h).RsltSetSize, -1);
    fake.Take();
    fake.fail.clear();
  }
  // A static cursor read whole at execute has nothing more behind it.
  handle_t h = Cursor(SQL_CURSOR_STATIC);
  IntTextRows(2);
  ASSERT_EQ(engine.ops().prepare(h, const_cast<char*>("SELECT i, s FROM t")), ER_SUCCESS);
  ASSERT_EQ(engine.ops().execute(h), ER_SUCCESS);
  fake.Take();
  EXPECT_EQ(engine.ops().moreResults(h), ER_NO_MORE_RESULTS);
  EXPECT_EQ(fake.Count("moreResults"), 0u);
  EXPECT_FALSE(State(h).f_state & SCCL_SNAPSHOT_READ);
}

TEST_F(StatementTest, FetchProcJDescribesTheOutputValues) {
  handle_t h = Cursor();
  fake.rows = 0;
  fake.shape = {{CTYPE_WCHR, 40}, {CTYPE_WVCHR, 44}, {CTYPE_WVCHR32, 44}, {CTYPE_SGN32, 4}, {CTYPE_VCHR, 21}};
  fake.fillRow = [](sgn32, Dataset*, sgn32) {};
  uns16 n = 0;
  Coldesc* d = nullptr;
  Dataset out{};
  ASSERT_EQ(engine.ops().fetchprocJ(h, &n, &d, &out), ER_SUCCESS);
  EXPECT_EQ(fake.Take(), "fetch " + HandleText(h) + " 0");
  ASSERT_EQ(n, 5);
  ASSERT_NE(d, nullptr);
  std::vector<precision_t> lengths;
  for (uns16 i = 0; i < n; i++) {
    EXPECT_EQ(d[i].fetchType, fake.shape[i].first);
    lengths.push_back(d[i].fetchLength);
  }
  EXPECT_EQ(lengths, (std::vector<precision_t>{10, 11, 10, 4, 21}));
  FreeColdesc(d, n);
  Dataset_Done(&out);
}

TEST_F(StatementTest, PrepareJMakesACursorOfTheGivenKind) {
  handle_t h = 0;
  ASSERT_EQ(
      engine.ops().prepareJ(hConn, const_cast<char*>("SELECT 1"), SQL_CONCUR_LOCK, SQL_CURSOR_DYNAMIC, &h),
      ER_SUCCESS);
  ASSERT_NE(ODBC_CursorRec(h), nullptr);
  std::string calls = fake.Take();
  const std::string k = HandleText(h);
  EXPECT_NE(calls.find("setDrvParameter " + k + " 32030006 2; setDrvParameter " + k +
                       " 32030007 2; prepare " + k + " SELECT 1"),
            std::string::npos)
      << calls;
  // A type the backend changes is no failure.
  fake.fail["setDrvParameter"] = {ER_OPT_VAL_CHANGED, ER_SUCCESS};
  handle_t h2 = 0;
  EXPECT_EQ(engine.ops().prepareJ(hConn, nullptr, SQL_CONCUR_READ_ONLY, SQL_CURSOR_DYNAMIC, &h2), ER_SUCCESS);
  EXPECT_NE(ODBC_CursorRec(h2), nullptr);
  // Forward-only: no option is set.
  fake.Take();
  handle_t h3 = 0;
  EXPECT_EQ(engine.ops().prepareJ(hConn, nullptr, SQL_CONCUR_READ_ONLY, 0, &h3), ER_SUCCESS);
  EXPECT_EQ(fake.Count("setDrvParameter k"), 0u);
  // A refused option or a failed prepare ends the new cursor.
  for (const char* failing : {"setDrvParameter", "prepare"}) {
    fake.fail[failing] = {ER_INVALID_OPTION};
    handle_t h4 = 0x77;
    EXPECT_EQ(engine.ops().prepareJ(hConn, const_cast<char*>("SELECT 1"), 1, 1, &h4), ER_INVALID_OPTION);
    EXPECT_EQ(h4, 0u);
    EXPECT_EQ(fake.Count("endCursor"), 1u) << failing;
    fake.Take();
    fake.fail.clear();
  }
}

}  // namespace
}  // namespace engine_test
