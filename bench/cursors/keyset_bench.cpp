// Keyset-driven execute on SQLite against a forward-only read of the keys.
//
// Table t (a INTEGER PRIMARY KEY, b VARCHAR(20), c DOUBLE) of N rows in a file
// database, b in no order of a. BM_KeysetExecute does what an execute of a
// keyset-driven cursor on "SELECT a, b, c FROM t ORDER BY b" does: the backend
// prepare, the analysis (tables, owners, ORDER BY, key columns from the
// connection's cache), the whole keyset read (KS_GetKeySet_KSD) and the
// client cursor's backend execute. BM_ForwardKeyRead is the baseline: the
// keys read forward-only through the backend ("SELECT a FROM t ORDER BY b, a",
// 200 rows per fetch, the keyset's own batch) plus the same client execute.
//
// Targets: keyset execute <= 2x the baseline at every N; peak memory of one
// keyset execute grows by at most 20 MB from 5,000 to 500,000 rows (measured
// in a child process per N, `--child N`, since peak memory only grows within
// a process). Also printed: catalog calls per prepare, cold and with a warm
// key cache. The connection streams its results (StepAPI=1) so that the
// driver's own result buffering does not hide the engine's memory.
//
// Run: build/bench/cursors_keyset_bench [--large]   (--large adds N = 500,000)
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "bench_smoke.h"
#include "cursors/cursors.h"
#include "cursors/discovery.h"
#include "cursors/keyset.h"
#include "fixtures/engine/interposer.h"
#include "fixtures/support/odbc_config.h"
#include "fixtures/support/support.h"
#include "model/drv_param_codes.h"

namespace {

engine_test::Interposer* g_ip = nullptr;
std::map<std::string, int> g_catalog;

template <auto Member, typename A>
errcode_t Counted(const char* op, handle_t h, A* a) {
  g_catalog[op]++;
  return (odbc_ops.*Member)(h, a);
}
errcode_t SpCols(handle_t h, DDSpecialColumns* a) { return Counted<&drv_ops::ddSpecialColumns>("sp", h, a); }
errcode_t Stats(handle_t h, DDStatistics* a) { return Counted<&drv_ops::ddStatistics>("st", h, a); }
errcode_t PKeys(handle_t h, DDPrimaryKeys* a) { return Counted<&drv_ops::ddPrimaryKeys>("pk", h, a); }
errcode_t Columns(handle_t h, DDColumns* a) { return Counted<&drv_ops::ddColumns>("col", h, a); }
errcode_t Tables(handle_t h, DDTables* a) { return Counted<&drv_ops::ddTables>("tables", h, a); }

int CatalogCalls() {
  int n = 0;
  for (auto& [op, count] : g_catalog) n += count;
  return n;
}

[[noreturn]] void Die(const char* what, errcode_t rc) {
  fprintf(stderr, "%s failed: %d\n", what, int(rc));
  exit(2);
}

// The engine over the real backend with one SQLite connection per database size.
struct Session {
  std::string dir;
  engine_test::Interposer ip;
  DRV active{};
  handle_t hServer = 0;
  std::map<long, handle_t> conns;

  bool owned = true;

  // In a directory of its own, or in the given one whose databases are kept.
  explicit Session(const char* existing = nullptr) {
    char tmpl[] = "/tmp/sqlgate-ks-bench.XXXXXX";
    owned = existing == nullptr;
    dir = existing ? existing : mkdtemp(tmpl);
    test_support::set_odbc_config_in(dir);
    test_support::write_file(dir + "/odbcinst.ini",
                             std::string("[SQLite3]\nDriver=") + test_support::kSqliteDriver + "\n");
    g_ip = &ip;
    ip.ops.ddSpecialColumns = SpCols;
    ip.ops.ddStatistics = Stats;
    ip.ops.ddPrimaryKeys = PKeys;
    ip.ops.ddColumns = Columns;
    ip.ops.ddTables = Tables;
    SCs_UninstallDRV();
    active = ip.drv;
    SCs_InitDRV(&active);
    if (errcode_t rc = ops().server(nullptr, &hServer)) Die("server", rc);
    char buf[16];
    ops().getDrvParameter(hServer, DRVP_SRV_AGENT_NAME, buf, sizeof buf, nullptr);
  }
  ~Session() {
    for (auto& [n, h] : conns) ops().endConnect(h);
    while (numServers > 0) ops().endServer(hServer);
    SCs_UninstallDRV();
    if (owned && system(("rm -rf " + dir).c_str()) != 0) fprintf(stderr, "cannot remove %s\n", dir.c_str());
  }
  drv_ops& ops() { return *active.ops; }

  errcode_t Run(handle_t conn, const std::string& sql) {
    handle_t h = 0;
    errcode_t rc = ops().cursor(conn, &h);
    if (rc == ER_SUCCESS) rc = ops().prepare(h, const_cast<char*>(sql.c_str()));
    if (rc == ER_SUCCESS) rc = ops().execute(h);
    if (h) ops().endCursor(h);
    return rc;
  }
  handle_t Open(const std::string& db, const char* options) {
    ::Connect rec{};
    std::string cs = std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + db + options;
    rec.dbOptions = strdup(cs.c_str());
    handle_t h = 0;
    errcode_t rc = ops().connect(hServer, &rec, &h);
    Connect_Done(&rec);
    if (rc != ER_SUCCESS) Die("connect", rc);
    return h;
  }
  // A streaming connection to a database of n rows, made on first use (the
  // driver's streaming mode does not run the filling INSERT).
  handle_t Conn(long n) {
    if (conns.count(n)) return conns[n];
    const std::string db = dir + "/t" + std::to_string(n) + ".db";
    if (access(db.c_str(), F_OK) != 0) {
      handle_t h = Open(db, "");
      for (const std::string& sql :
           {std::string("CREATE TABLE t (a INTEGER PRIMARY KEY, b VARCHAR(20), c DOUBLE)"),
            "WITH RECURSIVE g(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM g WHERE i < " + std::to_string(n) +
                ") INSERT INTO t SELECT i, 'b' || ((i * 7919) % " + std::to_string(n) + "), i * 0.5 FROM g"})
        if (errcode_t rc = Run(h, sql)) Die("fill", rc);
      ops().endConnect(h);
    }
    return conns[n] = Open(db, ";StepAPI=1");
  }
};

Session* g_session = nullptr;
Session& S() {
  if (!g_session) g_session = new Session();
  return *g_session;
}

const char* kSql = "SELECT a, b, c FROM t ORDER BY b";

// The prepare-time analysis of a keyset-driven SELECT.
errcode_t Analyse(TSCCL* s, const char* sql) {
  errcode_t rc = scs_p_AuxCursorOpen(s);
  if (rc != ER_SUCCESS) return rc;
  free(s->pszSQL);
  s->pszSQL = strdup(sql);
  s->f_state = uns16(s->f_state & ~(SCCL_ORDER_BY_KEYS | SCCL_ROWSET_SELECT));
  if ((rc = SCR_AnalyseSQL(&s->Rqst, sql, 0, SCR_DROP_QUALIFIER)) != ER_SUCCESS) return rc;
  alist_Dealloc(&s->pLS_RefdTables, TableDescDestroy);
  alist_Dealloc(&s->pLS_OrdrCols, nullptr);
  s->pLS_RefdTables = alist_Alloc(sizeof(TableDesc));
  if ((rc = SCR_TablesGet(&s->Rqst, s->pLS_RefdTables, SCR_DROP_QUALIFIER)) != ER_SUCCESS) return rc;
  rc = scs_p_GetTblAttribs(s, static_cast<TableDesc*>(s->pLS_RefdTables->rElemnts), s->pLS_RefdTables->cUsed);
  if (rc != ER_SUCCESS) return rc;
  s->pLS_OrdrCols = alist_Alloc(sizeof(SCOrdrColDesc));
  if ((rc = SCR_OrderingColsGet(&s->Rqst, s->pLS_OrdrCols)) != ER_SUCCESS) return rc;
  KS_Close(s->pKeySet);
  return KS_GetKeyColDescs(s, s->pLS_RefdTables);
}

// One execute of a keyset-driven cursor, from the backend prepare on.
void KeysetExecute(handle_t conn, sgn32 wantRows) {
  Session& ss = S();
  handle_t h = 0;
  errcode_t rc = ss.ops().cursor(conn, &h);
  sgn32 type = SQL_CURSOR_KEYSET_DRIVEN;
  if (rc == ER_SUCCESS) rc = ss.ops().setDrvParameter(h, DRVP_STMT_CURSOR_TYPE, &type);
  if (rc == ER_SUCCESS) rc = ss.ops().prepare(h, const_cast<char*>(kSql));
  TSCCL* s = rc == ER_SUCCESS ? &ODBC_CursorRec(h)->st_sccl : nullptr;
  if (rc == ER_SUCCESS) rc = Analyse(s, kSql);
  if (rc == ER_SUCCESS) rc = KS_GetKeySet_KSD(s);
  if (rc == ER_SUCCESS) rc = ss.ops().execute(h);
  if (rc != ER_SUCCESS) Die("keyset execute", rc);
  if (s->RsltSetSize != wantRows) {
    fprintf(stderr, "keyset of %d rows, not %d\n", int(s->RsltSetSize), int(wantRows));
    exit(2);
  }
  ss.ops().endCursor(h);
}

// The baseline: the keys read forward-only, then the client's execute.
void ForwardKeyRead(handle_t conn, sgn32 wantRows) {
  Session& ss = S();
  handle_t h = 0;
  errcode_t rc = ss.ops().cursor(conn, &h);
  if (rc == ER_SUCCESS) rc = ss.ops().prepare(h, const_cast<char*>("SELECT a FROM t ORDER BY b, a"));
  if (rc == ER_SUCCESS) rc = ss.ops().execute(h);
  sgn32 total = 0;
  for (;;) {
    Dataset ds{};
    if (rc != ER_SUCCESS || (rc = ss.ops().fetch(h, 200, &ds)) != ER_SUCCESS || ds.nRows == 0) {
      Dataset_Done(&ds);
      break;
    }
    total += ds.nRows;
    Dataset_Done(&ds);
  }
  if (rc == ER_SUCCESS) rc = ss.ops().prepare(h, const_cast<char*>(kSql));
  if (rc == ER_SUCCESS) rc = ss.ops().execute(h);
  if (rc != ER_SUCCESS || total != wantRows) Die("forward read", rc);
  ss.ops().endCursor(h);
}

std::map<std::string, double> g_nsPerIter;  // "keyset/N", "forward/N"

template <void (*Body)(handle_t, sgn32)>
void Measure(benchmark::State& state, const char* name) {
  const long n = state.range(0);
  handle_t conn = S().Conn(n);
  Body(conn, sgn32(n));  // warm: key cache, database pages
  // Process CPU time: the machine's other load does not count (the driver runs in-process).
  auto cpuNs = [] {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e9 + double(ts.tv_nsec);
  };
  double total = 0;
  long iters = 0;
  for (auto _ : state) {
    const double t0 = cpuNs();
    Body(conn, sgn32(n));
    total += cpuNs() - t0;
    iters++;
  }
  g_nsPerIter[std::string(name) + "/" + std::to_string(n)] = total / double(iters ? iters : 1);
  state.counters["rows"] = double(n);
}

void BM_KeysetExecute(benchmark::State& state) { Measure<KeysetExecute>(state, "keyset"); }
void BM_ForwardKeyRead(benchmark::State& state) { Measure<ForwardKeyRead>(state, "forward"); }

long PeakKBOfOneExecute(const char* self, long n) {
  std::string cmd = std::string(self) + " --child " + std::to_string(n) + " " + S().dir;
  FILE* p = popen(cmd.c_str(), "r");
  long kb = -1;
  if (!p || fscanf(p, "%ld", &kb) != 1) kb = -1;
  if (p) pclose(p);
  return kb;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "--child") == 0) {
    const long n = atol(argv[2]);
    g_session = new Session(argv[3]);
    handle_t conn = S().Conn(n);
    KeysetExecute(conn, sgn32(n));
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    printf("%ld\n", ru.ru_maxrss);
    delete g_session;
    return 0;
  }
  bool large = false;
  for (int i = 1; i < argc; i++)
    if (strcmp(argv[i], "--large") == 0) {
      large = true;
      for (int j = i; j < argc - 1; j++) argv[j] = argv[j + 1];
      argc--;
      break;
    }
  std::vector<long> sizes = bench_smoke::Pick<std::vector<long>>({5000, 50000}, {200, 1000});
  if (large) sizes.push_back(500000);
  for (long n : sizes) {
    const long iterations = bench_smoke::On() ? 1 : n >= 500000 ? 3 : n >= 50000 ? 10 : 40;
    benchmark::RegisterBenchmark("BM_KeysetExecute", BM_KeysetExecute)
        ->Arg(n)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(iterations);
    benchmark::RegisterBenchmark("BM_ForwardKeyRead", BM_ForwardKeyRead)
        ->Arg(n)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(iterations);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();

  // Catalog calls of one prepare, on a fresh connection (cold) and again (warm).
  {
    Session& ss = S();
    ::Connect rec{};
    std::string cs = std::string("DRIVER=") + test_support::kSqliteDriver + ";Database=" + ss.dir + "/t" +
                     std::to_string(sizes[0]) + ".db";
    rec.dbOptions = strdup(cs.c_str());
    handle_t c = 0;
    ss.ops().connect(ss.hServer, &rec, &c);
    Connect_Done(&rec);
    int calls[2];
    for (int& k : calls) {
      g_catalog.clear();
      KeysetExecute(c, sgn32(sizes[0]));
      k = CatalogCalls();
    }
    ss.ops().endConnect(c);
    printf("catalog calls per prepare: cold %d, warm key cache %d (the table's owner lookup: %d)\n", calls[0],
           calls[1], g_catalog["tables"]);
  }
  printf("%10s %14s %14s %8s   (process CPU time per execute)\n", "rows", "keyset ms", "forward ms", "ratio");
  bool ok = true;
  for (long n : sizes) {
    const double k = g_nsPerIter["keyset/" + std::to_string(n)] / 1e6;
    const double f = g_nsPerIter["forward/" + std::to_string(n)] / 1e6;
    const double r = f > 0 ? k / f : 0;
    ok = ok && r <= 2.0;
    printf("%10ld %14.2f %14.2f %8.2f\n", n, k, f, r);
  }
  printf("keyset execute / (forward key read + client execute) <= 2 at every N: %s\n", ok ? "ok" : "MISSED");
  const long first = PeakKBOfOneExecute(argv[0], sizes.front());
  const long last = PeakKBOfOneExecute(argv[0], sizes.back());
  delete g_session;
  g_session = nullptr;
  const double growMB = (last - first) / 1024.0;
  printf(
      "peak memory of one keyset execute: %ld KB at %ld rows, %ld KB at %ld rows: +%.1f MB (target <= 20) "
      "%s\n",
      first, sizes.front(), last, sizes.back(), growMB, growMB <= 20 ? "ok" : "MISSED");
  return 0;
}
