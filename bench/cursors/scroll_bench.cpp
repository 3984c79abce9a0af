// Scrolling through the agent: scrollable cursors against a forward-only read.
//
// Tables scroll<N> (k INTEGER PRIMARY KEY, s VARCHAR(20), d DOUBLE) of N =
// 100,000 and 5,000 rows, in a SQLite file database (connection with
// StepAPI=1) and, when SQLGATE_PG_PORT names a server, in PostgreSQL through
// psqlodbca.so; the bench makes them when they are missing. Every case runs
// "SELECT k, s, d FROM scroll<N> ORDER BY k" through a fresh agent (sqlgate
// started through the launcher, the wire client over loopback), rowsets of 100:
//   forward   forward-only, fetch calls of 100 rows to the end (the baseline)
//   keyset    keyset-driven, extendedfetch2 ABSOLUTE 1, 101, ... to the end
//   ks-random keyset-driven, 1,000 ABSOLUTE rowsets at random rows (fixed seed)
//   dynamic   dynamic, NEXT to the end, then PRIOR back to the start
//   static    static, ABSOLUTE 1, 101, ... to the end
// Reported per case: rows/s over the whole case (prepare, execute and every
// fetch: a static or keyset-driven cursor does much of its work in the
// execute), its ratio to the forward-only read, p50/p95 of the fetch calls'
// latency, statements per rowset, and the agent's peak resident memory
// (VmHWM) on N = 100,000 against the same case on N = 5,000.
// Statements are counted in this process: the same case runs once through the
// cursor engine over the real backend with the interposer of the engine's
// tests, which counts the backend's executes (each sends one statement to the
// data source); "per rowset" divides those of the fetch calls by the rowsets
// that came back, the execute's own are shown apart.
// Wall time is noisy on a shared machine: each case runs SQLGATE_BENCH_REPS
// times (3), interleaved, and the fastest run counts; ratios come from one run
// of the program. The agent's own CPU time (user and system, from /proc) over
// the case is shown beside it with its ratio, as the steadier figure where the
// driver runs in the agent (SQLite); PostgreSQL's server time is not in it.
//
// Targets: static <= 1.5x the forward-only read, keyset-driven in order <= 3x;
// the agent's peak on 100,000 rows at most 20 MB above its peak on 5,000.
// The PostgreSQL driver holds a whole result in memory unless told to stream
// it (SQLGATE_BENCH_PG_OPTIONS below): its growth shows in the forward-only
// row as well.
//
// Run: source scripts/pg.sh start; build/bench/cursors_scroll_bench [sqlite|postgresql] [case ...]
// 2>/dev/null
//      (arguments: only those databases and cases, the forward-only read always;
//      SQLGATE_BENCH_DIR: where the SQLite database is kept, /tmp/sqlgate-scroll-bench;
//      SQLGATE_BENCH_PG_OPTIONS: keys added to the PostgreSQL connection string,
//      such as ";UseDeclareFetch=1;Fetch=100" to stream results as StepAPI=1 does)
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "agent/spawned_agent.h"
#include "bench_smoke.h"
#include "cursors/cursors.h"
#include "fixtures/engine/interposer.h"
#include "fixtures/support/odbc_config.h"
#include "fixtures/support/support.h"
#include "sqlext.h"

namespace {

constexpr sgn32 kRowset = 100;
const long kBigRows = bench_smoke::Pick(100000L, 2000L), kSmallRows = bench_smoke::Pick(5000L, 500L);
const int kRandomRowsets = bench_smoke::Pick(1000, 20);

enum CaseId { kForward, kKeyset, kKeysetRandom, kDynamic, kStatic, kCases };
constexpr const char* kCaseNames[kCases] = {"forward", "keyset", "ks-random", "dynamic", "static"};
constexpr sgn32 kCursorTypes[kCases] = {SQL_CURSOR_FORWARD_ONLY, SQL_CURSOR_KEYSET_DRIVEN,
                                        SQL_CURSOR_KEYSET_DRIVEN, SQL_CURSOR_DYNAMIC, SQL_CURSOR_STATIC};

// What a case does with its connection: through the agent or in this process.
struct Link {
  virtual ~Link() = default;
  // A cursor of the type with rowsets of 100, sql prepared and executed; 0 on failure.
  virtual handle_t Open(sgn32 type, const std::string& sql) = 0;
  virtual errcode_t Scroll(handle_t h, sgn32 irow, sgn32 fetchType, int* rows) = 0;
  virtual errcode_t Fetch(handle_t h, int* rows) = 0;
  virtual void Close(handle_t h) = 0;
  // Statements sent to the data source so far, where they can be counted.
  virtual long Statements() { return 0; }
  // CPU time of the agent so far, where there is one.
  virtual double AgentCpuMs() { return 0; }
};

struct WireLink : Link {
  agent_bench::Agent agent;
  WireClient* c = nullptr;
  handle_t hServer = 0, hConn = 0;
  bool ok = false;

  explicit WireLink(const std::string& connStr) {
    std::string err;
    c = agent.port ? wire_client_create("127.0.0.1", uns16(agent.port), false, 600, &err) : nullptr;
    ok = c && agent_bench::ConnectThroughAgent(c, connStr, &hServer, &hConn);
    if (!ok) fprintf(stderr, "agent: cannot connect %s\n", err.c_str());
    // A client asks for the oriented fetch first: dynamic cursors are offered to it only.
    call_getdrvparameter a{hConn, DRVP_CONN_XFETCH2};
    getdrvparameterres r{};
    if (ok) dbsvc_getdrvparameter(c, &a, &r);
    dbsvc_getdrvparameter_free(&r);
  }
  ~WireLink() override {
    if (ok) agent_bench::DisconnectThroughAgent(c, hServer, hConn);
    wire_client_destroy(c);
  }
  handle_t Open(sgn32 type, const std::string& sql) override {
    handleres hc{};
    if (dbsvc_cursor(c, &hConn, &hc) != RPC_SUCCESS || hc.error) return 0;
    handle_t h = hc.handle;
    errcode_t e = ER_SUCCESS;
    wire_client_set_int(c, h, DRVP_STMT_CURSOR_TYPE, type, &e);
    if (e == ER_SUCCESS) wire_client_set_int(c, h, DRVP_STMT_ROWSET_SIZE, kRowset, &e);
    call_prepare pa{h, const_cast<char*>(sql.c_str())};
    if (e == ER_SUCCESS) dbsvc_prepare(c, &pa, &e);
    if (e == ER_SUCCESS) dbsvc_execute(c, &h, &e);
    if (e == ER_SUCCESS) return h;
    errinfores ei{};
    if (dbsvc_errinfo(c, &h, &ei) == RPC_SUCCESS)
      for (unsigned i = 0; i < ei.info.messageCount; i++)
        fprintf(stderr, "error %d: %s\n", int(e), ei.info.messages[i] ? ei.info.messages[i] : "");
    dbsvc_errinfo_free(&ei);
    Close(h);
    return 0;
  }
  errcode_t Scroll(handle_t h, sgn32 irow, sgn32 fetchType, int* rows) override {
    call_extendedfetch2 a{h, irow, fetchType};
    xfetchres r{};
    if (dbsvc_extendedfetch2(c, &a, &r) != RPC_SUCCESS) return ER_GENERAL_ERROR;
    *rows = int(r.crow);
    dbsvc_extendedfetch2_free(&r);
    return r.error;
  }
  errcode_t Fetch(handle_t h, int* rows) override {
    call_fetch a{h, uns16(kRowset)};
    datasetres r{};
    if (dbsvc_fetch(c, &a, &r) != RPC_SUCCESS) return ER_GENERAL_ERROR;
    *rows = r.desc.nRows;
    dbsvc_fetch_free(&r);
    return r.error;
  }
  void Close(handle_t h) override {
    errcode_t e = ER_SUCCESS;
    dbsvc_endcursor(c, &h, &e);
  }
  double AgentCpuMs() override { return agent.CpuMs(); }
};

// The engine over the real backend, the backend's executes counted.
struct EngineLink : Link {
  engine_test::Interposer ip;
  DRV active{};
  handle_t hServer = 0, hConn = 0;
  bool ok = false;

  explicit EngineLink(const std::string& connStr) {
    SCs_UninstallDRV();
    active = ip.drv;
    SCs_InitDRV(&active);
    char buf[16];
    ok = ops().server(nullptr, &hServer) == ER_SUCCESS &&
         ops().getDrvParameter(hServer, DRVP_SRV_AGENT_NAME, buf, sizeof buf, nullptr) == ER_SUCCESS;
    ::Connect rec{};
    rec.dbOptions = strdup(connStr.c_str());
    ok = ok && ops().connect(hServer, &rec, &hConn) == ER_SUCCESS;
    Connect_Done(&rec);
    sgn32 yes = 0;
    uns16 len = 0;
    if (ok) ops().getDrvParameter(hConn, DRVP_CONN_XFETCH2, &yes, sizeof yes, &len);
    if (!ok) fprintf(stderr, "engine: cannot connect with %s\n", connStr.c_str());
  }
  ~EngineLink() override {
    if (hConn) ops().endConnect(hConn);
    while (numServers > 0) ops().endServer(hServer);
    SCs_UninstallDRV();
  }
  drv_ops& ops() { return *active.ops; }
  handle_t Open(sgn32 type, const std::string& sql) override {
    handle_t h = 0;
    sgn32 rs = kRowset;
    errcode_t e = ops().cursor(hConn, &h);
    if (e == ER_SUCCESS && type != SQL_CURSOR_FORWARD_ONLY)
      e = ops().setDrvParameter(h, DRVP_STMT_CURSOR_TYPE, &type);
    if (e == ER_SUCCESS) e = ops().setDrvParameter(h, DRVP_STMT_ROWSET_SIZE, &rs);
    if (e == ER_SUCCESS) e = ops().prepare(h, const_cast<char*>(sql.c_str()));
    if (e == ER_SUCCESS) e = ops().execute(h);
    if (e == ER_SUCCESS) return h;
    if (h) Close(h);
    return 0;
  }
  errcode_t Scroll(handle_t h, sgn32 irow, sgn32 fetchType, int* rows) override {
    PRSET rs = nullptr;
    uns32 crow = 0;
    sgn32 size = 0;
    errcode_t e = ops().xFetch2(h, &rs, irow, &crow, &size, fetchType);
    *rows = int(crow);
    RS_Destroy(&rs);
    return e;
  }
  errcode_t Fetch(handle_t h, int* rows) override {
    Dataset ds{};
    errcode_t e = ops().fetch(h, uns16(kRowset), &ds);
    *rows = ds.nRows;
    Dataset_Done(&ds);
    return e;
  }
  void Close(handle_t h) override { ops().endCursor(h); }
  long Statements() override { return ip.counts["execute"]; }
  // Runs sql forward-only; the rows it returned, or -1 on failure.
  long Run(const std::string& sql) {
    handle_t h = Open(SQL_CURSOR_FORWARD_ONLY, sql);
    if (!h) return -1;
    long n = 0;
    for (int got = 0; Fetch(h, &got) == ER_SUCCESS && got > 0;) n += got;
    Close(h);
    return n;
  }
};

struct Result {
  bool ok = false;
  long rows = 0, rowsets = 0;
  double totalMs = 0, agentCpuMs = 0;
  std::vector<double> latencyMs;  // per fetch call
  long execStatements = 0, fetchStatements = 0;
  double peakMB = 0;
};

double MsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// One case on a table of n rows.
Result RunCase(Link& link, CaseId id, long n) {
  Result r;
  const double cpu0 = link.AgentCpuMs();
  const auto t0 = std::chrono::steady_clock::now();
  const handle_t h =
      link.Open(kCursorTypes[id], "SELECT k, s, d FROM scroll" + std::to_string(n) + " ORDER BY k");
  if (!h) {
    fprintf(stderr, "%s: open failed\n", kCaseNames[id]);
    return r;
  }
  r.execStatements = link.Statements();
  // One fetch call, timed; false at the end or on an error.
  errcode_t last = ER_SUCCESS;
  auto call = [&](auto&& fetch) {
    int got = 0;
    const auto t = std::chrono::steady_clock::now();
    last = fetch(&got);
    r.latencyMs.push_back(MsSince(t));
    if (last != ER_SUCCESS || got <= 0) return false;
    r.rows += got;
    r.rowsets++;
    return true;
  };
  auto absolute = [&](sgn32 irow) {
    return call([&](int* got) { return link.Scroll(h, irow, SQL_FETCH_ABSOLUTE, got); });
  };
  long want = n;
  bool ended = true;  // the case stopped where it should
  switch (id) {
    case kForward:
      while (call([&](int* got) { return link.Fetch(h, got); })) {
      }
      ended = last == ER_SUCCESS;
      break;
    case kKeyset:
    case kStatic:
      for (long irow = 1; irow <= n && ended; irow += kRowset) ended = absolute(sgn32(irow));
      break;
    case kKeysetRandom: {
      std::mt19937 rng(20261211);
      std::uniform_int_distribution<long> pick(1, n - kRowset + 1);
      for (int i = 0; i < kRandomRowsets && ended; i++) ended = absolute(sgn32(pick(rng)));
      want = long(kRandomRowsets) * kRowset;
      break;
    }
    case kDynamic:
      while (call([&](int* got) { return link.Scroll(h, 0, SQL_FETCH_NEXT, got); })) {
      }
      ended = last == ER_SCRL_RSLTSET_END;
      while (ended && call([&](int* got) { return link.Scroll(h, 0, SQL_FETCH_PRIOR, got); })) {
      }
      ended = ended && last == ER_SCRL_RSLTSET_START;
      want = 2 * n;
      break;
    default:
      break;
  }
  r.totalMs = MsSince(t0);
  r.agentCpuMs = link.AgentCpuMs() - cpu0;
  r.fetchStatements = link.Statements() - r.execStatements;
  link.Close(h);
  r.ok = ended && r.rows == want;
  if (!r.ok)
    fprintf(stderr, "%s on %ld rows: %ld rows, not %ld (last answer %d)\n", kCaseNames[id], n, r.rows, want,
            int(last));
  return r;
}

// A fresh agent per case: its peak memory is that case's.
Result RunThroughAgent(const std::string& connStr, CaseId id, long n) {
  WireLink link(connStr);
  if (!link.ok) return {};
  Result r = RunCase(link, id, n);
  r.peakMB = link.agent.PeakMB();
  return r;
}

struct Db {
  const char* name;
  std::string connStr;  // the cases' connection
  std::string fillConnStr;
  std::string columns;  // of the table's CREATE
  std::string fill;     // INSERT ... of rows 1 to @N
};

std::string Replace(std::string s, const std::string& what, const std::string& with) {
  for (size_t at; (at = s.find(what)) != std::string::npos;) s.replace(at, what.size(), with);
  return s;
}

// Makes scroll<n> unless it has its n rows.
bool MakeTable(const Db& db, long n) {
  EngineLink link(db.fillConnStr);
  const std::string t = "scroll" + std::to_string(n);
  if (!link.ok) return false;
  if (link.Run("SELECT k FROM " + t) == n) return true;
  link.Run("DROP TABLE " + t);
  return link.Run("CREATE TABLE " + t + " (" + db.columns + ")") == 0 &&
         link.Run(Replace(Replace(db.fill, "@T", t), "@N", std::to_string(n))) == 0 &&
         link.Run("SELECT k FROM " + t) == n;
}

std::string BenchDir() {
  const char* d = getenv("SQLGATE_BENCH_DIR");
  return d ? d : "/tmp/sqlgate-scroll-bench";
}

std::vector<std::string> g_only;  // the program's arguments

bool Wanted(const char* name, const std::vector<std::string>& among) {
  bool named = false;
  for (const std::string& a : g_only)
    if (std::find(among.begin(), among.end(), a) != among.end()) {
      named = true;
      if (strcasecmp(a.c_str(), name) == 0) return true;
    }
  return !named;
}
const std::vector<std::string> kDbArgs = {"sqlite", "postgresql"};
const std::vector<std::string> kCaseArgs(std::begin(kCaseNames), std::end(kCaseNames));

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(double(v.size()) * p))];
}

// Every case of one database; false when a target is missed or a case failed.
bool Bench(const Db& db, int reps) {
  if (!MakeTable(db, kBigRows) || !MakeTable(db, kSmallRows)) {
    fprintf(stderr, "%s: cannot make the tables\n", db.name);
    return false;
  }
  Result best[kCases], small[kCases], counted[kCases];
  bool run[kCases];
  for (int id = 0; id < kCases; id++) run[id] = id == kForward || Wanted(kCaseNames[id], kCaseArgs);
  for (int rep = 0; rep < reps; rep++)
    for (int id = 0; id < kCases; id++) {
      if (!run[id]) continue;
      Result r = RunThroughAgent(db.connStr, CaseId(id), kBigRows);
      const double peak = std::max(r.peakMB, best[id].peakMB);
      const double cpu = rep ? std::min(r.agentCpuMs, best[id].agentCpuMs) : r.agentCpuMs;
      if (r.ok && (!best[id].ok || r.totalMs < best[id].totalMs)) best[id] = r;
      best[id].peakMB = peak;
      best[id].agentCpuMs = cpu;
    }
  for (int id = 0; id < kCases; id++)
    if (run[id]) small[id] = RunThroughAgent(db.connStr, CaseId(id), kSmallRows);
  for (int id = 0; id < kCases; id++) {
    if (!run[id]) continue;
    EngineLink link(db.connStr);
    counted[id] = RunCase(link, CaseId(id), kBigRows);
  }

  printf("\n%s, %ld rows, rowsets of %d (fastest of %d runs)\n", db.name, kBigRows, kRowset, reps);
  printf("%-10s %9s %6s %8s %8s %6s %7s %7s %8s %7s %7s %7s %6s  %s\n", "case", "rows/s", "x fwd", "total ms",
         "agent ms", "x fwd", "p50 ms", "p95 ms", "stmts/rs", "exec st", "peak MB", "5k MB", "+MB",
         "targets");
  const double fwdMs = best[kForward].totalMs, fwdCpu = best[kForward].agentCpuMs;
  bool ok = true;
  for (int id = 0; id < kCases; id++) {
    if (!run[id]) continue;
    const Result& r = best[id];
    const Result& c = counted[id];
    const double ratio = fwdMs > 0 ? r.totalMs / fwdMs : 0;
    const double grow = r.peakMB - small[id].peakMB;
    const double limit = id == kStatic ? 1.5 : id == kKeyset ? 3.0 : 0;
    const bool met = grow <= 20 && (limit == 0 || ratio <= limit);
    std::string targets = limit > 0 ? "x<=" + std::to_string(limit).substr(0, 3) + " " : "";
    targets += "+MB<=20: ";
    targets += !(r.ok && small[id].ok && c.ok) ? "FAILED" : met ? "ok" : "MISSED";
    ok = ok && r.ok && small[id].ok && c.ok && (met || bench_smoke::On());
    printf("%-10s %9.0f %6.2f %8.1f %8.0f %6.2f %7.3f %7.3f %8.3f %7ld %7.1f %7.1f %6.1f  %s\n",
           kCaseNames[id], r.totalMs > 0 ? double(r.rows) / r.totalMs * 1000 : 0, ratio, r.totalMs,
           r.agentCpuMs, fwdCpu > 0 ? r.agentCpuMs / fwdCpu : 0, Percentile(r.latencyMs, 0.5),
           Percentile(r.latencyMs, 0.95), c.rowsets ? double(c.fetchStatements) / double(c.rowsets) : 0,
           c.execStatements, r.peakMB, small[id].peakMB, grow, targets.c_str());
  }
  if (bench_smoke::On()) {  // the tests share the data source: a smoke run leaves no table behind
    EngineLink link(db.fillConnStr);
    for (long n : {kBigRows, kSmallRows}) link.Run("DROP TABLE scroll" + std::to_string(n));
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; i++) g_only.push_back(argv[i]);
  const std::string dir = BenchDir();
  if (system(("mkdir -p " + dir).c_str()) != 0) return 2;
  // The agent inherits the configuration: it takes a DRIVER only as odbcinst.ini registers it.
  test_support::set_odbc_config_in(dir);
  test_support::write_file(dir + "/odbcinst.ini",
                           std::string("[SQLite3]\nDriver=") + test_support::kSqliteDriver +
                               "\n\n[PostgreSQL ANSI]\nDriver=" + test_support::kPgDriver + "\n");
  const char* repsEnv = getenv("SQLGATE_BENCH_REPS");
  const int reps = std::max(1, repsEnv ? atoi(repsEnv) : bench_smoke::Pick(3, 1));
  const std::string sqlite =
      std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + dir + "/scroll.db";
  std::vector<Db> dbs = {{"SQLite", sqlite + ";StepAPI=1", sqlite,
                          "k INTEGER PRIMARY KEY, s VARCHAR(20), d DOUBLE",
                          "WITH RECURSIVE g(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM g WHERE i < @N) "
                          "INSERT INTO @T SELECT i, 'row ' || i, i * 0.25 FROM g"}};
  const char* pgOptions = getenv("SQLGATE_BENCH_PG_OPTIONS");
  if (getenv("SQLGATE_PG_PORT"))
    dbs.push_back({"PostgreSQL", test_support::pg_conn_str() + (pgOptions ? pgOptions : ""),
                   test_support::pg_conn_str(), "k INTEGER PRIMARY KEY, s VARCHAR(20), d DOUBLE PRECISION",
                   "INSERT INTO @T SELECT i, 'row ' || i, i * 0.25 FROM generate_series(1, @N) i"});
  else
    printf("PostgreSQL skipped: no SQLGATE_PG_PORT (source scripts/pg.sh start)\n");
  bool ok = true;
  for (const Db& db : dbs)
    if (Wanted(db.name, kDbArgs)) ok = Bench(db, reps) && ok;
  printf("\nall targets met: %s\n", ok ? "yes" : "NO");
  return ok ? 0 : 1;
}
