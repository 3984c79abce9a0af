// Clients at once through one agent: 100,000 rows of (INTEGER, VARCHAR(20),
// DOUBLE), read by one client alone and by 8 clients together, each with a
// session of its own, over loopback TCP with the wire client in blocks of
// 1,000; from SQLite, and from PostgreSQL when SQLGATE_PG_PORT names the test
// server. Reported: rows per second for each case, and for the 8 clients
// their throughput against the lone client's (ratio_vs_one; the target is at
// least 4 on 8 cores).
//
// BM_InProcessAtOnce reads the SQLite table the same ways in this process,
// straight through our driver manager: the driver's own ratio, which bounds
// the agent's.
//
// The lone SQLite client reads about 9% slower than through an agent that
// never starts a thread. The agent's own work per row is the same; the time
// goes to the SQLite library's mutexes (about 21 taken per row: its
// connection and memory-statistics locks), which glibc takes with plain
// stores only while the process has one thread and with atomic instructions
// once it has more.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench_smoke.h"
#include "inprocess_fetch.h"
#include "spawned_agent.h"
#include "sql.h"
#include "sqlext.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uns16 kBlock = 1000;
constexpr const char* kPgDriver = "/usr/lib/x86_64-linux-gnu/odbc/psqlodbca.so";
enum Db { kSqlite = 0, kPostgres = 1 };

std::string BenchDir() {
  const char* d = getenv("SQLGATE_BENCH_DIR");
  // A folder of its own: the other agent benchmarks keep tables of other sizes.
  static std::string dir = std::string(d ? d : "/tmp/sqlgate-bench") + "/throughput";
  return dir;
}

long Rows() {
  const char* r = getenv("SQLGATE_BENCH_ROWS");
  return r ? atol(r) : bench_smoke::Pick(100000L, 1000L);
}

std::string PgConnStr() {
  const char* port = getenv("SQLGATE_PG_PORT");
  const char* user = getenv("SQLGATE_PG_USER");
  const char* db = getenv("SQLGATE_PG_DB");
  return std::string("DRIVER=") + kPgDriver + ";Servername=127.0.0.1;Port=" + (port ? port : "") +
         ";Database=" + (db ? db : "sqlgate") + ";Username=" + (user ? user : "postgres") + ";Password=";
}

std::string ConnStr(Db db) {
  if (db == kPostgres) return PgConnStr() + ";UseDeclareFetch=1;Fetch=1000";
  return std::string("DRIVER=") + agent_bench::kSqliteDriver + ";Database=" + BenchDir() +
         "/bench.db;StepAPI=1";
}

const char* Query(Db db) {
  return db == kPostgres ? "SELECT i, s, d FROM bench_clients" : "SELECT i, s, d FROM big";
}

// The PostgreSQL table, through our driver manager in this process.
bool MakePgTable(long rows) {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  bool ok = SQLAllocEnv(&env) == SQL_SUCCESS && SQLAllocConnect(env, &dbc) == SQL_SUCCESS;
  std::string cs = PgConnStr();
  ok = ok && SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)cs.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                            SQL_DRIVER_NOPROMPT));
  auto exec = [&](const std::string& sql) {
    SQLHSTMT st;
    if (SQLAllocStmt(dbc, &st) != SQL_SUCCESS) return false;
    SQLRETURN r = SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS);
    SQLFreeStmt(st, SQL_DROP);
    return SQL_SUCCEEDED(r) || r == SQL_NO_DATA;
  };
  const std::string n = std::to_string(rows);
  ok = ok && exec("DROP TABLE IF EXISTS bench_clients") &&
       exec("CREATE TABLE bench_clients (i INTEGER, s VARCHAR(20), d DOUBLE PRECISION)") &&
       exec("INSERT INTO bench_clients SELECT g, 'text value ' || g, g * 0.25 FROM generate_series(1, " + n +
            ") g");
  if (dbc) {
    SQLDisconnect(dbc);
    SQLFreeConnect(dbc);
  }
  if (env) SQLFreeEnv(env);
  return ok;
}

// The tables, once per program; the agent may use both drivers.
bool Prepared(Db db) {
  static int ok[2] = {-1, -1};
  if (ok[kSqlite] < 0) {
    std::string dir = BenchDir();
    ok[kSqlite] = system(("mkdir -p " + dir).c_str()) == 0 && agent_bench::MakeDatabase(dir, Rows());
    if (FILE* f = fopen((dir + "/odbcinst.ini").c_str(), "a")) {
      fprintf(f, "\n[PostgreSQL ANSI]\nDriver=%s\n", kPgDriver);
      fclose(f);
    }
  }
  if (db == kPostgres && ok[kPostgres] < 0) ok[kPostgres] = getenv("SQLGATE_PG_PORT") && MakePgTable(Rows());
  return ok[db] == 1;
}

// One client's whole read on a connection of its own: session, connection,
// prepare, execute, fetch to the end, and the ends. The rows seen, -1 on a
// failure.
long ReadAll(int port, Db db) {
  std::string err;
  WireClient* c = wire_client_create("127.0.0.1", uns16(port), false, 120, &err);
  if (!c) return -1;
  handle_t hServer = 0, hConn = 0;
  long seen = -1;
  if (agent_bench::ConnectThroughAgent(c, ConnStr(db), &hServer, &hConn)) {
    handleres hc{};
    dbsvc_cursor(c, &hConn, &hc);
    handle_t h = hc.handle;
    call_prepare pa{h, const_cast<char*>(Query(db))};
    errcode_t e = ER_SUCCESS;
    if (dbsvc_prepare(c, &pa, &e) == RPC_SUCCESS && !e && dbsvc_execute(c, &h, &e) == RPC_SUCCESS && !e)
      seen = agent_bench::FetchToEnd(c, h, kBlock);
    dbsvc_endcursor(c, &h, &e);
    agent_bench::DisconnectThroughAgent(c, hServer, hConn);
  }
  wire_client_destroy(c);
  return seen;
}

// Runs `read` on n threads at once for every iteration; sets the rate
// counters, and the ratio against the lone reader's rate kept in *oneRate.
void AtOnce(benchmark::State& state, int n, const std::function<long()>& read, double* oneRate) {
  double seconds = 0;
  long total = 0;
  for (auto _ : state) {
    std::vector<long> seen(size_t(n), 0);
    auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < n; i++) threads.emplace_back([&, i] { seen[size_t(i)] = read(); });
    for (auto& t : threads) t.join();
    double s = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(s);
    seconds += s;
    for (long r : seen) {
      if (r != Rows()) state.SkipWithError("wrong row count");
      total += r;
    }
  }
  double rate = seconds > 0 ? double(total) / seconds : 0;
  state.counters["rows_per_client"] = double(Rows());
  state.counters["rows_per_s"] = rate;
  if (n == 1) *oneRate = rate;
  if (n > 1 && *oneRate > 0) state.counters["ratio_vs_one"] = rate / *oneRate;
}

double g_oneClientRate[2];

// Arguments: clients, database (0 SQLite, 1 PostgreSQL).
void BM_ClientsAtOnce(benchmark::State& state) {
  const Db db = Db(state.range(1));
  if (!Prepared(db)) {
    state.SkipWithError(db == kPostgres ? "no PostgreSQL table (SQLGATE_PG_PORT)"
                                        : "cannot make the database");
    return;
  }
  agent_bench::Agent agent;
  if (!agent.port) {
    state.SkipWithError("the agent did not start");
    return;
  }
  AtOnce(
      state, int(state.range(0)), [&] { return ReadAll(agent.port, db); }, &g_oneClientRate[db]);
  state.counters["agent_peak_MB"] = agent.PeakMB();
}
// The lone client first: the others' ratio is against it. PostgreSQL only
// where there is a server.
void ClientCases(benchmark::internal::Benchmark* b) {
  b->ArgNames({"clients", "pg"});
  for (Db db : {kSqlite, kPostgres})
    if (db == kSqlite || getenv("SQLGATE_PG_PORT"))
      for (int n : {1, 8}) b->Args({n, db});
}
BENCHMARK(BM_ClientsAtOnce)
    ->Apply(ClientCases)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(bench_smoke::Pick(5, 1));

double g_oneInProcessRate;

void BM_InProcessAtOnce(benchmark::State& state) {
  if (!Prepared(kSqlite)) {
    state.SkipWithError("cannot make the database");
    return;
  }
  AtOnce(
      state, int(state.range(0)),
      [] { return agent_bench::FetchInProcess(BenchDir() + "/bench.db", kBlock); }, &g_oneInProcessRate);
}
BENCHMARK(BM_InProcessAtOnce)
    ->ArgName("clients")
    ->Arg(1)
    ->Arg(8)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(bench_smoke::Pick(5, 1));

}  // namespace

BENCHMARK_MAIN();
