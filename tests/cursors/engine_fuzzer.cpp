// Drives the scrollable cursor engine with random sequences of ordinary calls:
// cursor options, prepares of a fixed set of statements, parameters and
// bindings, executes, every fetch orientation, positioned and bulk operations,
// long data, closes, catalog calls and changes made by another connection,
// against a small SQLite database through the real backend and our driver
// manager. Each input starts from a fresh database, server session and
// connections, and runs at most kMaxSteps calls over at most a few dozen rows,
// so that it is deterministic and quick.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "backend/backend.h"
#include "cursors/cursors.h"
#include "fixtures/support/odbc_config.h"
#include "fixtures/support/support.h"
#include "model/drv_param_codes.h"
#include "util/log.h"
#include "wire/dispatcher.h"

namespace {

constexpr int kMaxSteps = 48;
constexpr int kRows = 24;  // rows of t
constexpr int kCursors = 3;

const char* const kStatements[] = {
    "SELECT k, a, b FROM t ORDER BY k",
    "SELECT k, a, l FROM t ORDER BY k",
    "SELECT * FROM t",
    "SELECT a, k FROM t WHERE k > ? ORDER BY a DESC",
    "SELECT k, a FROM t WHERE b < ? AND a <> ? ORDER BY 2",
    "SELECT t.k, u.v FROM t, u WHERE t.k = u.k",
    "SELECT b, COUNT(*) FROM t GROUP BY b",
    "SELECT k FROM t UNION SELECT k FROM u",
    "SELECT MAX(k) FROM t",
    "SELECT k, v FROM u ORDER BY k",
    "UPDATE t SET a = ? WHERE k = ?",
    "INSERT INTO t (k, a, b) VALUES (?, ?, ?)",
    "DELETE FROM t WHERE k = ?",
    "SELECT k, a FROM t ORDER BY 3",
    "SELECT k, b + 1 FROM t ORDER BY 2",
    "SELECT t.k, a FROM t LEFT OUTER JOIN u ON t.k = u.k",
    "SELECT k, a, b FROM t WHERE k BETWEEN ? AND ? ORDER BY b, k",
    "SELEC k FROM",
    "SELECT k, a, b, l FROM t ORDER BY b DESC, k",
    "SELECT a FROM t ORDER BY a",
    "{call nothing(?)}",
};

struct Fixture {
  test_support::TempDir dir;
  DRV drv{};
  std::string db;
};

Fixture* g;

drv_ops& Ops() { return *g->drv.ops; }

void Exec(handle_t conn, const std::string& sql) {
  handle_t h = 0;
  if (Ops().cursor(conn, &h) != ER_SUCCESS) return;
  if (Ops().prepare(h, const_cast<char*>(sql.c_str())) == ER_SUCCESS) Ops().execute(h);
  Ops().endCursor(h);
}

handle_t OpenConnection(handle_t hServer) {
  ::Connect rec{};
  // A short lock wait: the row-version connection writes while a read is open.
  rec.dbOptions = strdup(("DRIVER=" + std::string(test_support::kSqliteDriver) + ";Database=" + g->db +
                          ";Timeout=20;SyncPragma=OFF")
                             .c_str());
  handle_t h = 0;
  if (Ops().connect(hServer, &rec, &h) != ER_SUCCESS) h = 0;
  Connect_Done(&rec);
  return h;
}

Dataset* NewDataset(FuzzedDataProvider& in, uns16 cols, sgn32 rows, bool skipMarks) {
  Dataset* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  if (!ds) return nullptr;
  Dataset_Init(ds, cols);
  ds->nCols = cols;
  for (uns16 c = 0; c < cols; c++) {
    const bool text = in.ConsumeBool();
    ds->col[c].cType = text ? CTYPE_VCHR : CTYPE_SGN32;
    ds->col[c].width = text ? 21 : 4;
  }
  Dataset_AllocColumns(ds, rows);
  ds->nRows = rows;
  for (sgn32 r = 0; r < rows; r++) {
    for (uns16 c = 0; c < cols; c++) {
      Coldata* col = &ds->col[c];
      const uint8_t v = in.ConsumeIntegral<uint8_t>();
      if (v >= 250) continue;  // NULL
      if (skipMarks && c == 0 && v >= 240) {
        col->indicators[r] = -4;  // skip this row
        continue;
      }
      if (v >= 236) {
        col->indicators[r] = -2;  // sent at execution time
        continue;
      }
      col->indicators[r] = 0;
      char* cell = Coldata_Cell(col, uint64_t(r));
      if (col->cType == CTYPE_SGN32) {
        sgn32 x = sgn32(v % 40) - 3;
        memcpy(cell, &x, 4);
      } else {
        snprintf(cell, 21, "v%u", unsigned(v));
      }
    }
  }
  return ds;
}

void FreeDataset(Dataset* ds) {
  if (!ds) return;
  Dataset_Done(ds);
  free(ds);
}

std::vector<Bindesc> Bindings(FuzzedDataProvider& in) {
  std::vector<Bindesc> v(in.ConsumeIntegralInRange<size_t>(0, 3));
  for (Bindesc& b : v) {
    const bool text = in.ConsumeBool();
    b.sqlType = sqltype_t(text ? 12 : 4);
    b.cType = text ? CTYPE_VCHR : CTYPE_SGN32;
    b.precision = text ? 20 : 10;
    b.scale = 0;
    b.usage = 1;
  }
  return v;
}

// Ascending column numbers from 1, as the wire lets them through.
uns16* Columns(FuzzedDataProvider& in, uns16* pn) {
  uns16 n = in.ConsumeIntegralInRange<uns16>(0, 3);
  uns16* cols = static_cast<uns16*>(malloc(sizeof(uns16) * (n ? n : 1)));
  uns16 next = 1;
  for (uns16 i = 0; i < n; i++) {
    next = uns16(next + in.ConsumeIntegralInRange<uns16>(0, 2));
    cols[i] = next++;
  }
  *pn = n;
  return cols;
}

void DropRowSet(PRSET set) {
  if (set) RS_Destroy(&set);
}

void Step(FuzzedDataProvider& in, handle_t hConn, handle_t hOther, handle_t* curs) {
  handle_t& h = curs[in.ConsumeIntegralInRange<int>(0, kCursors - 1)];
  const int op = in.ConsumeIntegralInRange<int>(0, 27);
  // ENGINE_FUZZ_TRACE=1 in the environment: each step's cursor slot and operation.
  static const bool trace = getenv("ENGINE_FUZZ_TRACE") != nullptr;
  if (trace) fprintf(stderr, "step: cursor %u op %d\n", unsigned(&h - curs), op);
  if (!h && op > 2 && op != 20 && op != 25) {
    Ops().cursor(hConn, &h);
    return;
  }
  switch (op) {
    case 0:
      if (h) Ops().endCursor(h);
      h = 0;
      Ops().cursor(hConn, &h);
      break;
    case 1: {
      sgn32 v = in.ConsumeIntegralInRange<sgn32>(0, 3);
      Ops().setDrvParameter(h, DRVP_STMT_CURSOR_TYPE, &v);
      break;
    }
    case 2: {
      sgn32 v = in.ConsumeIntegralInRange<sgn32>(1, 4);
      Ops().setDrvParameter(h, DRVP_STMT_CONCURRENCY, &v);
      break;
    }
    case 3: {
      sgn32 v = in.ConsumeBool() ? in.ConsumeIntegralInRange<sgn32>(1, 12)
                                 : in.ConsumeIntegralInRange<sgn32>(0, 150);
      Ops().setDrvParameter(h, DRVP_STMT_ROWSET_SIZE, &v);
      break;
    }
    case 4: {
      sgn32 v = in.ConsumeIntegralInRange<sgn32>(0, 30);
      Ops().setDrvParameter(h, DRVP_STMT_KEYSET_SIZE, &v);
      break;
    }
    case 5: {
      static const uns32 codes[] = {0x3203041a, DRVP_STMT_RETRIEVE_DATA, 0x32030001, 0x32030003, 0x3203041c,
                                    0x3203041e};
      uns32 code = codes[in.ConsumeIntegralInRange<size_t>(0, std::size(codes) - 1)];
      sgn32 v = in.ConsumeIntegralInRange<sgn32>(0, 3);
      Ops().setDrvParameter(h, code, &v);
      break;
    }
    case 6:
    case 7: {
      const char* sql = kStatements[in.ConsumeIntegralInRange<size_t>(0, std::size(kStatements) - 1)];
      Ops().prepare(h, const_cast<char*>(sql));
      break;
    }
    case 8: {
      uns16 cols = in.ConsumeIntegralInRange<uns16>(0, 3);
      Dataset* ds = NewDataset(in, cols, in.ConsumeIntegralInRange<sgn32>(1, 3), false);
      Ops().parameters(h, ds);  // taken over
      break;
    }
    case 9: {
      std::vector<Bindesc> b = Bindings(in);
      Ops().bind(h, uns16(b.size()), b.data());
      break;
    }
    case 10:
    case 11:
      Ops().execute(h);
      break;
    case 12:
    case 13:
    case 14: {
      PRSET set = nullptr;
      uns32 crow = 0;
      sgn32 size = 0;
      sgn32 irow = in.ConsumeIntegralInRange<sgn32>(-30, 30);
      sgn32 ft = in.ConsumeIntegralInRange<sgn32>(0, 7);
      if (op == 12)
        Ops().xFetch2(h, &set, irow, &crow, &size, ft);
      else if (op == 13)
        Ops().xFetch(h, &set, irow, &crow, &size);
      else
        Ops().xFetch2J(h, &set, irow, &crow, &size, ft);
      DropRowSet(set);
      break;
    }
    case 15: {
      char* buf = nullptr;
      precision_t got = 0;
      ctype_t type = CTYPE_CHR;
      sgn32 remain = 0;
      sgn32 col = in.ConsumeIntegralInRange<sgn32>(0, 5), row = in.ConsumeIntegralInRange<sgn32>(0, 4);
      precision_t want = in.ConsumeIntegralInRange<precision_t>(0, 70000);
      if (in.ConsumeBool())
        Ops().getDataJ(h, col, row, want, &buf, &got, &type, &remain);
      else
        Ops().getData(h, col, row, want, &buf, &got, &type, &remain);
      free(buf);
      break;
    }
    case 16: {
      Dataset ds{};
      Ops().fetch(h, in.ConsumeIntegralInRange<uns16>(0, 20), &ds);
      Dataset_Done(&ds);
      break;
    }
    case 17:
    case 18: {
      call_setpos a{};
      a.handle = h;
      a.irow = in.ConsumeIntegralInRange<sgn32>(-3, 12);
      a.fOption = in.ConsumeIntegralInRange<uns16>(0, 5);
      uns16 n = 0;
      a.rgiCol.rgiCol_val = Columns(in, &n);
      a.rgiCol.rgiCol_len = n;
      uns16 cols = uns16(n + in.ConsumeIntegralInRange<uns16>(0, 1));
      a.pDS = in.ConsumeBool() || cols ? NewDataset(in, cols, in.ConsumeIntegralInRange<sgn32>(1, 12), true)
                                       : nullptr;
      if (dbsv_check_args(DBSV_PROC_setpos, &a) != ER_SUCCESS) {
        FreeDataset(a.pDS);
        free(a.rgiCol.rgiCol_val);
        break;
      }
      uns16* status = nullptr;
      uns32 nStatus = 0;
      Ops().setPos(h, a.irow, a.fOption, 0, &status, &nStatus, a.pDS, a.rgiCol.rgiCol_val, n);  // takes both
      free(status);
      break;
    }
    case 19: {
      call_bulkoperations a{};
      a.handle = h;
      a.fOperation = in.ConsumeIntegralInRange<uns16>(3, 8);
      std::vector<bookmark_t> marks(in.ConsumeIntegralInRange<size_t>(0, 5));
      for (bookmark_t& m : marks) m = in.ConsumeIntegralInRange<bookmark_t>(0, kRows + 3);
      a.rBookMarks.rBookMarks_len = unsigned(marks.size());
      a.rBookMarks.rBookMarks_val = marks.data();
      a.cRows = uns16(marks.size());
      uns16 n = 0;
      a.rgiCol.rgiCol_val = Columns(in, &n);
      a.rgiCol.rgiCol_len = n;
      a.cCols = n;
      a.pDS =
          NewDataset(in, uns16(n + in.ConsumeIntegralInRange<uns16>(0, 1)), sgn32(marks.size() + 1), false);
      if (dbsv_check_args(DBSV_PROC_bulkoperations, &a) != ER_SUCCESS) {
        FreeDataset(a.pDS);
        free(a.rgiCol.rgiCol_val);
        break;
      }
      uns16* status = nullptr;
      uns16 affected = 0;
      PRSET set = nullptr;
      Ops().bulkOperations(h, a.fOperation, marks.data(), a.cRows, a.pDS, a.rgiCol.rgiCol_val, a.cCols,
                           &status, &affected, &set);
      free(status);
      DropRowSet(set);
      break;
    }
    case 20: {
      // Another connection changes, removes or adds a row.
      int k = in.ConsumeIntegralInRange<int>(1, kRows + 2);
      std::string ks = std::to_string(k);
      switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
          Exec(hOther,
               "UPDATE t SET a = 'o" + std::to_string(in.ConsumeIntegral<uint8_t>()) + "' WHERE k = " + ks);
          break;
        case 1:
          Exec(hOther, "DELETE FROM t WHERE k = " + ks);
          break;
        default:
          Exec(hOther, "INSERT INTO t VALUES (" + ks + ", 'n" + ks + "', " + ks + ", 'x')");
          break;
      }
      break;
    }
    case 21:
      Ops().close(h);
      break;
    case 22:
      Ops().moreResults(h);
      break;
    case 23: {
      sgn32 rs = in.ConsumeIntegralInRange<sgn32>(0, 12);
      uns16 nc = 0, np = 0;
      Coldesc *cd = nullptr, *pd = nullptr;
      sgn32 rows = 0;
      const bool withSql = in.ConsumeBool();
      char* sql =
          const_cast<char*>(kStatements[in.ConsumeIntegralInRange<size_t>(0, std::size(kStatements) - 1)]);
      Dataset* ds =
          in.ConsumeBool() ? NewDataset(in, in.ConsumeIntegralInRange<uns16>(1, 2), 1, false) : nullptr;
      Ops().executeJ(h, withSql ? sql : nullptr, ds, 0, nullptr, &rs, &nc, &cd, &np, &pd, &rows);
      FreeColdesc(cd, nc);
      FreeColdesc(pd, np);
      break;
    }
    case 24: {
      if (in.ConsumeBool()) {
        DDTables a{};
        a.tableName = strdup(in.ConsumeBool() ? "t" : "%");
        Ops().ddTables(h, &a);
        free(a.tableName);
      } else {
        DDColumns a{};
        a.tableName = strdup("t");
        Ops().ddColumns(h, &a);
        free(a.tableName);
      }
      break;
    }
    case 25: {
      // A new cursor with its type, concurrency and statement in one call.
      if (h) Ops().endCursor(h);
      h = 0;
      const char* sql = kStatements[in.ConsumeIntegralInRange<size_t>(0, std::size(kStatements) - 1)];
      if (Ops().prepareJ(hConn, const_cast<char*>(sql), in.ConsumeIntegralInRange<sgn32>(1, 4),
                         in.ConsumeIntegralInRange<sgn32>(0, 3), &h) != ER_SUCCESS &&
          h && !ODBC_CursorRec(h))
        h = 0;
      break;
    }
    case 26: {
      sgn32 v = in.ConsumeBool();
      Ops().setDrvParameter(hConn, DRVP_CONN_DEFER_LONG_DATA, &v);
      break;
    }
    default: {
      ErrInfo info{};
      if (Ops().errInfo(h, &info) == ER_SUCCESS) ErrInfo_Done(&info);
      // Values the cursor waits for (an execute's or a positioned operation's),
      // one short piece each, until it runs.
      for (int guard = 0; guard < 8; guard++) {
        sgn32 col = 0, row = 0;
        uns16* status = nullptr;
        uns32 n = 0;
        const errcode_t rc = Ops().paramData(h, &col, &row, &status, &n);
        free(status);
        if (rc != ER_NEED_DATA) break;
        char piece[] = "17";
        Ops().putData(h, CTYPE_CHR, 0, piece, 2);
      }
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g = new Fixture;
  test_support::set_odbc_config_in(g->dir.path());
  test_support::write_file(g->dir.file("odbcinst.ini"),
                           std::string("[SQLite3]\nDriver=") + test_support::kSqliteDriver + "\n");
  // In memory when the system offers it: no input waits for the disk.
  g->db = access("/dev/shm", W_OK) == 0 ? "/dev/shm/sqlgate-engine-fuzz-" + std::to_string(getpid()) + ".db"
                                        : g->dir.file("fuzz.db");
  atexit([] {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) unlink((g->db + suffix).c_str());
  });
  // The engine's progress and failure lines would bury libFuzzer's own.
  log_open_callback([](LOG*, int, char*) {}, nullptr, 0, 0, 0);
  g->drv.ops = &odbc_ops;
  SCs_InitDRV(&g->drv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  // Row versions or not: read when the server session is made.
  if (in.ConsumeBool())
    setenv("CURSOR_SENSITIVITY", "HIGH", 1);
  else
    unsetenv("CURSOR_SENSITIVITY");
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) unlink((g->db + suffix).c_str());
  handle_t hServer = 0;
  if (Ops().server(nullptr, &hServer) != ER_SUCCESS) return 0;
  char name[16];
  Ops().getDrvParameter(hServer, DRVP_SRV_AGENT_NAME, name, sizeof name, nullptr);
  handle_t hConn = OpenConnection(hServer), hOther = OpenConnection(hServer);
  if (hConn && hOther) {
    Exec(hOther,
         "CREATE TABLE VYRRVC (HCONN VARCHAR(8), HCURS VARCHAR(8), KEYVER VARCHAR(32), ROWVER VARCHAR(32))");
    Exec(hOther, "CREATE TABLE t (k INTEGER PRIMARY KEY, a VARCHAR(20), b INTEGER, l TEXT)");
    Exec(hOther, "CREATE TABLE u (k INTEGER, v VARCHAR(10))");
    Exec(hOther,
         "WITH RECURSIVE g(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM g WHERE x < " + std::to_string(kRows) +
             ") INSERT INTO t SELECT x, 'a' || x, x % 5, printf('%.*c', (x * 337) % 3000, 'z') FROM g");
    Exec(hOther, "UPDATE t SET l = printf('%.*c', 61000, 'y') WHERE k = 7");
    Exec(hOther, "INSERT INTO u VALUES (1, 'one'), (2, 'two'), (5, 'five')");
    sgn32 x2 = 0;
    uns16 len = 0;
    // The client has the oriented fetch: dynamic cursors and keyset sizes.
    if (in.ConsumeBool()) Ops().getDrvParameter(hConn, 0x22010008, &x2, 4, &len);
    handle_t curs[kCursors] = {};
    for (int i = 0; i < kMaxSteps && in.remaining_bytes() > 0; i++) Step(in, hConn, hOther, curs);
  }
  while (numServers > 0) Ops().endServer(hServer);
  return 0;
}
