// Positioned and bulk updates through the agent against direct keyed updates.
//
// The real sqlgate is started through the launcher and driven with the wire
// client over loopback, on SQLite (file database) and on PostgreSQL
// (psqlodbca.so, the server of `source scripts/pg.sh start`; skipped when
// SQLGATE_PG_PORT is not set). Table t (k INTEGER PRIMARY KEY, s VARCHAR(20),
// n INTEGER) of 10,000 rows; every case sets s and n of all rows to new
// values, on a connection with autocommit off and one commit at the end, so
// that the data source's log flushes do not hide the work per row:
//  direct      "UPDATE t SET s = ?, n = ? WHERE k = ?" prepared once, then per
//              row one parameters call and one execute (the client's
//              SQLBindParameter + SQLExecute), each a call to the agent;
//  array       the same statement executed once with a 10,000-row parameter
//              array (shown for reference);
//  setpos/1    keyset-driven cursor "SELECT k, s, n FROM t ORDER BY k",
//              optimistic concurrency by values, rowset of 1: per row an
//              absolute extendedfetch2 then setpos SQL_UPDATE of columns 2, 3;
//  setpos/1 sel  the same comparing the select list only (value extent 2):
//              the old values are the rowset's, no second SELECT;
//  setpos/100  the same with rowsets of 100: one absolute fetch per rowset,
//              then a setpos SQL_UPDATE of each of its rows;
//  bulk        the same cursor with one rowset of 10,000 rows (the old values
//              compared come from the fetched rowset; the agent runs with
//              +norowsetlimit, which lifts the cap of 100 rows per rowset):
//              one fetch, then one bulkoperations SQL_UPDATE_BY_BOOKMARK of
//              the 10,000 bookmarks;
//  bulk/lock   the same bulk update on a keyset-driven cursor with locking
//              concurrency (no old values compared), rowset of 100, after one
//              fetch.
// Each case includes its cursor's open (keyset build) and the commit. Cases
// run in turn, --reps rounds (default 3); the median wall time of each case
// is reported with its ratio to direct, and beside it the median CPU time of
// the agent process (user + system, from /proc; it holds the SQLite driver
// but not the PostgreSQL server), which the machine's other load moves less.
//
// Statements per updated row: a second agent runs every case once on the
// first --count rows (default 1,000) with the driver manager's trace on
// ([ODBC] Trace=Yes in the bench's odbc.ini); the trace's SQLExecute and
// SQLExecDirect entries (statements run by the data source) and SQLPrepare
// entries are counted per case and divided by the rows updated. The few
// statements of the cursor's own open are included.
//
// Target: setpos and bulk at most 1.5x direct (wall time), on both databases.
//
// Build: cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DSQLGATE_BENCH=ON &&
//        cmake --build build -j4 --target cursors_update_bench
// Run:   (source scripts/pg.sh start; build/bench/cursors_update_bench
//        [--rows N] [--reps R] [--count N]; source scripts/pg.sh stop)
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench_smoke.h"
#include "fixtures/support/odbc_config.h"
#include "agent/spawned_agent.h"
#include "model/dataset_util.h"
#include "model/drv_param_codes.h"
#include "wire/client.h"

namespace {

constexpr sgn32 kKeysetDriven = 1;
constexpr sgn32 kLocking = 2;
constexpr sgn32 kOptimisticValues = 4;
constexpr sgn32 kFetchAbsolute = 5;
constexpr uns16 kSetPosUpdate = 2;
constexpr uns16 kBulkUpdateByBookmark = 5;
constexpr uns16 kRowUpdated = 2;
const char* const kSelect = "SELECT k, s, n FROM t ORDER BY k";
const char* const kUpdate = "UPDATE t SET s = ?, n = ? WHERE k = ?";

// Thrown so that the agents are stopped on the way out.
struct Failure {
  std::string what;
};
[[noreturn]] void Die(const std::string& what) { throw Failure{what}; }

// New values of rows first..first+count-1 (keys from 1) in pass p: s is
// "p<p>_<k>", n is k + p; with the key as a third column for the direct path.
Dataset* NewValues(int first, int count, int pass, bool withKey) {
  Dataset* ds = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
  const uns16 nCols = withKey ? 3 : 2;
  Dataset_Init(ds, nCols);
  ds->nCols = nCols;
  ds->col[0].cType = CTYPE_VCHR;
  ds->col[0].width = 21;
  for (uns16 c = 1; c < nCols; c++) {
    ds->col[c].cType = CTYPE_SGN32;
    ds->col[c].width = 4;
  }
  Dataset_AllocColumns(ds, count);
  for (int r = 0; r < count; r++) {
    const sgn32 k = first + r, n = k + pass;
    snprintf(Coldata_Cell(&ds->col[0], r), 21, "p%d_%d", pass, k);
    memcpy(Coldata_Cell(&ds->col[1], r), &n, 4);
    if (withKey) memcpy(Coldata_Cell(&ds->col[2], r), &k, 4);
    for (uns16 c = 0; c < nCols; c++) ds->col[c].indicators[r] = 0;
  }
  ds->nRows = count;
  return ds;
}

void FreeValues(Dataset* ds) {
  Dataset_Done(ds);
  free(ds);
}

// One agent through the launcher, a wire client and one connection.
class Agent {
 public:
  explicit Agent(const std::string& connStr) {
    if (!spawned_.port) Die("agent did not start");
    std::string err;
    c_ = wire_client_create("127.0.0.1", uns16(spawned_.port), false, 600, &err);
    if (!c_) Die("agent not reachable: " + err);
    if (!agent_bench::ConnectThroughAgent(c_, connStr, &hServer_, &hConn_)) Die("connect");
  }
  ~Agent() {
    agent_bench::DisconnectThroughAgent(c_, hServer_, hConn_);
    wire_client_destroy(c_);
  }
  Agent(const Agent&) = delete;
  Agent& operator=(const Agent&) = delete;

  // CPU time (user + system) of the agent so far.
  double CpuSeconds() const { return spawned_.CpuMs() / 1000.0; }

  void Check(errcode_t e, handle_t h, const char* what) {
    if (e == ER_SUCCESS) return;
    errinfores r{};
    std::string texts;
    if (dbsvc_errinfo(c_, &h, &r) == RPC_SUCCESS)
      for (unsigned i = 0; i < r.info.messageCount; i++)
        texts += std::string(" ") + (r.info.messages[i] ? r.info.messages[i] : "");
    dbsvc_errinfo_free(&r);
    Die(std::string(what) + " failed: " + std::to_string(e) + texts);
  }
  void SetInt(handle_t h, uns32 code, sgn32 v) {
    errcode_t e = ER_SUCCESS;
    if (wire_client_set_int(c_, h, code, v, &e) != RPC_SUCCESS) e = ER_GENERAL_ERROR;
    char what[64];
    snprintf(what, sizeof what, "set parameter %#x to %d", code, v);
    Check(e, h, what);
  }
  handle_t Cursor() {
    handleres r{};
    if (dbsvc_cursor(c_, &hConn_, &r) != RPC_SUCCESS || r.error) Die("cursor");
    return r.handle;
  }
  void EndCursor(handle_t h) {
    errcode_t e = ER_SUCCESS;
    dbsvc_endcursor(c_, &h, &e);
  }
  void Prepare(handle_t h, const char* sql) {
    call_prepare a{h, const_cast<char*>(sql)};
    errcode_t e = ER_SUCCESS;
    if (dbsvc_prepare(c_, &a, &e) != RPC_SUCCESS) e = ER_GENERAL_ERROR;
    Check(e, h, sql);
  }
  void Execute(handle_t h) {
    errcode_t e = ER_SUCCESS;
    if (dbsvc_execute(c_, &h, &e) != RPC_SUCCESS) e = ER_GENERAL_ERROR;
    Check(e, h, "execute");
  }
  // ds stays the caller's.
  void Parameters(handle_t h, Dataset* ds) {
    call_parameters a{h, ds};
    errcode_t e = ER_SUCCESS;
    if (dbsvc_parameters(c_, &a, &e) != RPC_SUCCESS) e = ER_GENERAL_ERROR;
    Check(e, h, "parameters");
  }
  void Exec(const std::string& sql) {
    handle_t h = Cursor();
    Prepare(h, sql.c_str());
    Execute(h);
    EndCursor(h);
  }
  // A statement whose failure does not matter (a DROP of what may not exist).
  void TryExec(const std::string& sql) {
    handle_t h = Cursor();
    call_prepare a{h, const_cast<char*>(sql.c_str())};
    errcode_t e = ER_SUCCESS;
    if (dbsvc_prepare(c_, &a, &e) == RPC_SUCCESS && e == ER_SUCCESS) dbsvc_execute(c_, &h, &e);
    EndCursor(h);
  }
  // The first column of the first row of a query, as an integer.
  long QueryLong(const std::string& sql) {
    handle_t h = Cursor();
    Prepare(h, sql.c_str());
    Execute(h);
    call_fetch fa{h, 1};
    datasetres fr{};
    long v = -1;
    if (dbsvc_fetch(c_, &fa, &fr) == RPC_SUCCESS && fr.desc.nRows == 1) {
      const Coldata& c = fr.desc.col[0];
      const char* cell = Coldata_Cell(&c, 0);
      if (c.cType == CTYPE_SGN32) {
        sgn32 x;
        memcpy(&x, cell, 4);
        v = x;
      } else if (c.cType == CTYPE_FLT64) {
        double x;
        memcpy(&x, cell, 8);
        v = long(x);
      } else if (c.cType == CTYPE_LCHR) {
        c_lchr l;
        memcpy(&l, cell, sizeof l);
        v = l.data ? atol(std::string(l.data, l.length).c_str()) : -1;
      } else {  // text
        v = atol(cell + (c.cType == CTYPE_VCHR16 ? 2 : c.cType == CTYPE_VCHR32 ? 4 : 0));
      }
    }
    dbsvc_fetch_free(&fr);
    EndCursor(h);
    return v;
  }
  void Commit() {
    errcode_t e = ER_SUCCESS;
    if (dbsvc_commit(c_, &hConn_, &e) != RPC_SUCCESS) e = ER_GENERAL_ERROR;
    Check(e, hConn_, "commit");
  }
  void AutocommitOff() { SetInt(hConn_, DRVP_CONN_AUTOCOMMIT, 0); }

  // A keyset-driven cursor on kSelect.
  // extent 2: optimistic concurrency compares the select list only.
  handle_t OpenKeyset(sgn32 rowset, sgn32 concurrency = kOptimisticValues, sgn32 extent = 1) {
    handle_t h = Cursor();
    SetInt(h, DRVP_STMT_CURSOR_TYPE, kKeysetDriven);
    SetInt(h, DRVP_STMT_CONCURRENCY, concurrency);
    if (extent != 1) SetInt(h, DRVP_STMT_CONC_VALUE_EXTENT, extent);
    SetInt(h, DRVP_STMT_ROWSET_SIZE, rowset);
    Prepare(h, kSelect);
    Execute(h);
    return h;
  }
  // An absolute fetch of the rowset starting at row; returns its rows.
  int FetchAt(handle_t h, sgn32 row) {
    call_extendedfetch2 a{h, row, kFetchAbsolute};
    xfetchres r{};
    errcode_t e = dbsvc_extendedfetch2(c_, &a, &r) == RPC_SUCCESS ? r.error : ER_GENERAL_ERROR;
    const int n = r.pRowSet && r.pRowSet->pDataset ? r.pRowSet->pDataset->nRows : 0;
    dbsvc_extendedfetch2_free(&r);
    Check(e, h, "extendedfetch2");
    return n;
  }
  // setpos SQL_UPDATE of rowset row irow with columns 2 and 3; ds stays the caller's.
  void SetPosUpdate(handle_t h, sgn32 irow, Dataset* ds) {
    uns16 cols[] = {2, 3};
    call_setpos a{h, irow, kSetPosUpdate, 0, ds, {2, cols}};
    setposres r{};
    errcode_t e = dbsvc_setpos(c_, &a, &r) == RPC_SUCCESS ? r.error : ER_GENERAL_ERROR;
    const bool updated =
        r.rgfRowStatus.rgfRowStatus_len == 1 && r.rgfRowStatus.rgfRowStatus_val[0] == kRowUpdated;
    dbsvc_setpos_free(&r);
    Check(e, h, "setpos");
    if (!updated) Die("setpos: row " + std::to_string(irow) + " not updated");
  }
  // Bulk update of bookmarks 1..count; ds stays the caller's.
  void BulkUpdate(handle_t h, int count, Dataset* ds) {
    std::vector<bookmark_t> bm(static_cast<size_t>(count));
    for (int i = 0; i < count; i++) bm[size_t(i)] = bookmark_t(i + 1);
    uns16 cols[] = {2, 3};
    call_bulkoperations a{};
    a.handle = h;
    a.fOperation = kBulkUpdateByBookmark;
    a.rBookMarks.rBookMarks_len = unsigned(count);
    a.rBookMarks.rBookMarks_val = bm.data();
    a.cRows = uns16(count);
    a.pDS = ds;
    a.rgiCol.rgiCol_len = 2;
    a.rgiCol.rgiCol_val = cols;
    a.cCols = 2;
    bulkopres r{};
    errcode_t e = dbsvc_bulkoperations(c_, &a, &r) == RPC_SUCCESS ? r.error : ER_GENERAL_ERROR;
    const int affected = r.cRowsAffected;
    dbsvc_bulkoperations_free(&r);
    Check(e, h, "bulkoperations");
    if (affected != count) Die("bulk update: " + std::to_string(affected) + " rows updated");
  }

 private:
  // Without the cap of 100 rows per rowset, for the bulk update of one rowset.
  agent_bench::Agent spawned_{{"+norowsetlimit"}};
  WireClient* c_ = nullptr;
  handle_t hServer_ = 0, hConn_ = 0;
};

// The cases; each updates rows 1..rows with the values of pass p.
void Direct(Agent& a, int rows, int p) {
  handle_t h = a.Cursor();
  a.Prepare(h, kUpdate);
  for (int k = 1; k <= rows; k++) {
    Dataset* ds = NewValues(k, 1, p, true);
    a.Parameters(h, ds);
    FreeValues(ds);
    a.Execute(h);
  }
  a.EndCursor(h);
  a.Commit();
}

void Array(Agent& a, int rows, int p) {
  handle_t h = a.Cursor();
  a.Prepare(h, kUpdate);
  Dataset* ds = NewValues(1, rows, p, true);
  a.Parameters(h, ds);
  FreeValues(ds);
  a.Execute(h);
  a.EndCursor(h);
  a.Commit();
}

void SetPosRowsets(Agent& a, int rows, int p, int rowset, sgn32 extent = 1) {
  handle_t h = a.OpenKeyset(rowset, kOptimisticValues, extent);
  for (int first = 1; first <= rows; first += rowset) {
    const int n = std::min(a.FetchAt(h, first), rows - first + 1);
    for (int i = 0; i < n; i++) {
      Dataset* ds = NewValues(first + i, 1, p, false);
      a.SetPosUpdate(h, i + 1, ds);
      FreeValues(ds);
    }
  }
  a.EndCursor(h);
  a.Commit();
}

void SetPos1(Agent& a, int rows, int p) { SetPosRowsets(a, rows, p, 1); }
void SetPos100(Agent& a, int rows, int p) { SetPosRowsets(a, rows, p, 100); }
void SetPos1SelectList(Agent& a, int rows, int p) { SetPosRowsets(a, rows, p, 1, 2); }

void Bulk(Agent& a, int rows, int p) {
  handle_t h = a.OpenKeyset(rows);
  if (a.FetchAt(h, 1) != rows) Die("bulk: short rowset");
  Dataset* ds = NewValues(1, rows, p, false);
  a.BulkUpdate(h, rows, ds);
  FreeValues(ds);
  a.EndCursor(h);
  a.Commit();
}

// Locking concurrency compares no old values: any bookmark of the keyset
// serves, whatever the rowset fetched.
void BulkLocking(Agent& a, int rows, int p) {
  handle_t h = a.OpenKeyset(100, kLocking);
  a.FetchAt(h, 1);
  Dataset* ds = NewValues(1, rows, p, false);
  a.BulkUpdate(h, rows, ds);
  FreeValues(ds);
  a.EndCursor(h);
  a.Commit();
}

struct Case {
  const char* name;
  void (*run)(Agent&, int, int);
};
const Case kCases[] = {{"direct", Direct},        {"array", Array},
                       {"setpos/1", SetPos1},     {"setpos/1 sel", SetPos1SelectList},
                       {"setpos/100", SetPos100}, {"bulk", Bulk},
                       {"bulk/lock", BulkLocking}};

struct Db {
  std::string name;
  std::string connStr;
};

void MakeTable(Agent& a, const Db& db, int rows) {
  a.TryExec("DROP TABLE t");
  a.Exec("CREATE TABLE t (k INTEGER PRIMARY KEY, s VARCHAR(20), n INTEGER)");
  handle_t h = a.Cursor();
  a.Prepare(h, "INSERT INTO t (s, n, k) VALUES (?, ?, ?)");
  Dataset* ds = NewValues(1, rows, 0, true);
  a.Parameters(h, ds);
  FreeValues(ds);
  a.Execute(h);
  a.EndCursor(h);
  a.Commit();
  const long have = a.QueryLong("SELECT CAST(COUNT(*) AS INTEGER) FROM t");
  if (have != rows) Die(db.name + ": table not filled: " + std::to_string(have));
}

// Every row of 1..rows holds the values of pass p.
void Verify(Agent& a, const Db& db, const char* name, int rows, int p) {
  const long ok = a.QueryLong("SELECT CAST(COUNT(*) AS INTEGER) FROM t WHERE k <= " + std::to_string(rows) +
                              " AND n = k + " + std::to_string(p));
  if (ok != rows)
    Die(db.name + " " + name + ": " + std::to_string(ok) + " of " + std::to_string(rows) + " rows updated");
}

// Wall time and the agent's CPU time of one case.
std::pair<double, double> Seconds(Agent& a, const Case& c, int rows, int p) {
  const double cpu0 = a.CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  c.run(a, rows, p);
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(),
          a.CpuSeconds() - cpu0};
}

// Statements run by the data source (SQLExecute and SQLExecDirect) and
// prepares, counted in the trace files of the folder.
struct Counts {
  long executes = 0, prepares = 0;
};
Counts TraceCounts(const std::string& dir) {
  Counts c;
  DIR* d = opendir(dir.c_str());
  while (dirent* e = d ? readdir(d) : nullptr) {
    if (strncmp(e->d_name, "trace.", 6) != 0) continue;
    std::ifstream in(dir + "/" + e->d_name);
    std::string line;
    while (std::getline(in, line)) {
      const size_t at = line.find(" ENTER SQL");
      if (at == std::string::npos) continue;
      const std::string fn = line.substr(at + 7);
      if (fn == "SQLExecute" || fn == "SQLExecDirect") c.executes++;
      if (fn == "SQLPrepare") c.prepares++;
    }
  }
  if (d) closedir(d);
  return c;
}

void WriteIni(const std::string& dir, bool trace) {
  std::ofstream(dir + "/odbc.ini") << (trace ? "[ODBC]\nTrace=Yes\nTraceFile=" + dir + "/trace.$S\n" : "");
}

struct Figures {
  std::map<std::string, double> seconds, cpu;               // medians per case
  std::map<std::string, std::pair<double, double>> perRow;  // executes, prepares
};

Figures Measure(const std::string& dir, const Db& db, int rows, int reps, int countRows) {
  Figures f;
  int pass = 1;
  {
    WriteIni(dir, false);
    Agent a(db.connStr);
    a.AutocommitOff();
    MakeTable(a, db, rows);
    std::map<std::string, std::vector<double>> times, cpu;
    for (const Case& c : kCases) {  // warm: the driver's and the data source's caches
      c.run(a, std::min(rows, 200), pass);
      Verify(a, db, c.name, std::min(rows, 200), pass++);
    }
    for (int r = 0; r < reps; r++)
      for (const Case& c : kCases) {
        const auto [wall, agentCpu] = Seconds(a, c, rows, pass);
        times[c.name].push_back(wall);
        cpu[c.name].push_back(agentCpu);
        Verify(a, db, c.name, rows, pass++);
      }
    const auto median = [](std::vector<double> t) {
      std::sort(t.begin(), t.end());
      return t[t.size() / 2];
    };
    for (const Case& c : kCases) {
      f.seconds[c.name] = median(times[c.name]);
      f.cpu[c.name] = median(cpu[c.name]);
    }
  }
  // The counting agent reads the traced configuration at its first connection.
  WriteIni(dir, true);
  {
    Agent a(db.connStr);
    a.AutocommitOff();
    for (const Case& c : kCases) {
      const Counts before = TraceCounts(dir);
      c.run(a, countRows, pass);
      const Counts after = TraceCounts(dir);
      Verify(a, db, c.name, countRows, pass++);
      f.perRow[c.name] = {double(after.executes - before.executes) / countRows,
                          double(after.prepares - before.prepares) / countRows};
    }
    // The tests share the data source and may make a table t of their own.
    a.TryExec("DROP TABLE t");
    a.Commit();
  }
  WriteIni(dir, false);
  if (system(("rm -f " + dir + "/trace.*").c_str()) != 0) fprintf(stderr, "cannot remove the traces\n");
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  int rows = bench_smoke::Pick(10000, 100), reps = bench_smoke::Pick(3, 1),
      countRows = bench_smoke::Pick(1000, 20);
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!strcmp(argv[i], "--rows"))
      rows = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--reps"))
      reps = atoi(argv[i + 1]);
    else if (!strcmp(argv[i], "--count"))
      countRows = atoi(argv[i + 1]);
  }
  // Bookmark and row counts travel as 16-bit numbers.
  if (rows < 1 || rows > 65535 || reps < 1 || countRows < 1) {
    fprintf(stderr, "usage: %s [--rows 1..65535] [--reps R] [--count N]\n", argv[0]);
    return 2;
  }
  countRows = std::min(countRows, rows);
  char tmpl[] = "/tmp/sqlgate-update-bench.XXXXXX";
  const char* made = mkdtemp(tmpl);
  if (!made) {
    perror("mkdtemp");
    return 2;
  }
  const std::string dir = made;
  test_support::set_odbc_config_in(dir);
  // The agent connects only to drivers registered here.
  std::ofstream(dir + "/odbcinst.ini") << "[SQLite3]\nDriver=" << test_support::kSqliteDriver
                                       << "\n\n[PostgreSQL ANSI]\nDriver=" << test_support::kPgDriver << "\n";

  std::vector<Db> dbs;
  dbs.push_back(
      {"SQLite", std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + dir + "/t.db"});
  if (getenv("SQLGATE_PG_PORT"))
    dbs.push_back({"PostgreSQL", test_support::pg_conn_str()});
  else
    printf("PostgreSQL skipped: SQLGATE_PG_PORT is not set (source scripts/pg.sh start)\n");

  printf("%d rows, median of %d rounds; statements counted on %d rows\n", rows, reps, countRows);
  printf("%-11s %-13s %8s %9s %7s %10s %7s %13s %13s\n", "database", "case", "seconds", "rows/s", "ratio",
         "agent cpu", "ratio", "executes/row", "prepares/row");
  bool ok = true;
  int rc = 0;
  try {
    for (const Db& db : dbs) {
      const Figures f = Measure(dir, db, rows, reps, countRows);
      const double base = f.seconds.at("direct"), cpuBase = f.cpu.at("direct");
      for (const Case& c : kCases) {
        const double s = f.seconds.at(c.name), ratio = s / base, cpu = f.cpu.at(c.name);
        const auto [ex, pr] = f.perRow.at(c.name);
        const bool judged = strcmp(c.name, "direct") != 0 && strcmp(c.name, "array") != 0;
        if (judged) ok = ok && ratio <= 1.5;
        printf("%-11s %-13s %8.3f %9.0f %7.2f %10.3f %7.2f %13.3f %13.3f%s\n", db.name.c_str(), c.name, s,
               rows / s, ratio, cpu, cpuBase > 0 ? cpu / cpuBase : 0, ex, pr,
               judged && ratio > 1.5 ? "  (target <= 1.5: MISSED)" : "");
      }
    }
    printf("setpos and bulk <= 1.5x direct: %s\n", ok ? "ok" : "MISSED");
  } catch (const Failure& f) {
    fprintf(stderr, "update_bench: %s\n", f.what.c_str());
    rc = 2;
  }
  if (system(("rm -rf " + dir).c_str()) != 0) fprintf(stderr, "cannot remove %s\n", dir.c_str());
  return rc;
}
