// Clients at once through one agent: 100,000 rows of (INTEGER, VARCHAR(20),
// DOUBLE) from SQLite, read by one client alone and by 8 clients together,
// each with a session of its own, over loopback TCP with the wire client in
// blocks of 1,000. Reported: rows per second for each case, and for the 8
// clients their throughput against the lone client's (ratio_vs_one; the
// target is at least 4 on 8 cores).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_smoke.h"
#include "inprocess_fetch.h"
#include "spawned_agent.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uns16 kBlock = 1000;

std::string BenchDir() {
  const char* d = getenv("SQLGATE_BENCH_DIR");
  // A folder of its own: the other agent benchmarks keep a larger table.
  static std::string dir = std::string(d ? d : "/tmp/sqlgate-bench") + "/clients";
  return dir;
}

long Rows() {
  const char* r = getenv("SQLGATE_BENCH_ROWS");
  return r ? atol(r) : bench_smoke::Pick(100000L, 1000L);
}

bool Prepared() {
  static int ok = -1;
  if (ok < 0) {
    std::string dir = BenchDir();
    ok = system(("mkdir -p " + dir).c_str()) == 0 && agent_bench::MakeDatabase(dir, Rows());
  }
  return ok == 1;
}

// One client's whole read on a connection of its own: session, connection,
// prepare, execute, fetch to the end, and the ends. The rows seen, -1 on a
// failure.
long ReadAll(int port) {
  std::string err;
  WireClient* c = wire_client_create("127.0.0.1", uns16(port), false, 120, &err);
  if (!c) return -1;
  std::string cs =
      std::string("DRIVER=") + agent_bench::kSqliteDriver + ";Database=" + BenchDir() + "/bench.db;StepAPI=1";
  handle_t hServer = 0, hConn = 0;
  long seen = -1;
  if (agent_bench::ConnectThroughAgent(c, cs, &hServer, &hConn)) {
    handleres hc{};
    dbsvc_cursor(c, &hConn, &hc);
    handle_t h = hc.handle;
    call_prepare pa{h, const_cast<char*>("SELECT i, s, d FROM big")};
    errcode_t e = ER_SUCCESS;
    if (dbsvc_prepare(c, &pa, &e) == RPC_SUCCESS && !e && dbsvc_execute(c, &h, &e) == RPC_SUCCESS && !e) {
      seen = 0;
      for (;;) {
        call_fetch fa{h, kBlock};
        datasetres fr{};
        if (dbsvc_fetch(c, &fa, &fr) != RPC_SUCCESS || fr.error) {
          dbsvc_fetch_free(&fr);
          seen = -1;
          break;
        }
        int n = fr.desc.nRows;
        dbsvc_fetch_free(&fr);
        if (n <= 0) break;
        seen += n;
      }
    }
    dbsvc_endcursor(c, &h, &e);
    agent_bench::DisconnectThroughAgent(c, hServer, hConn);
  }
  wire_client_destroy(c);
  return seen;
}

// The lone client's rows per second, for the ratio.
double g_oneClientRate = 0;

void BM_ClientsAtOnce(benchmark::State& state) {
  if (!Prepared()) {
    state.SkipWithError("cannot make the database");
    return;
  }
  const int clients = int(state.range(0));
  agent_bench::Agent agent;
  if (!agent.port) {
    state.SkipWithError("the agent did not start");
    return;
  }
  double seconds = 0;
  long total = 0;
  for (auto _ : state) {
    std::vector<long> seen(size_t(clients), 0);
    auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; i++) threads.emplace_back([&, i] { seen[size_t(i)] = ReadAll(agent.port); });
    for (auto& t : threads) t.join();
    double s = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(s);
    seconds += s;
    for (long n : seen) {
      if (n != Rows()) state.SkipWithError("wrong row count");
      total += n;
    }
  }
  double rate = seconds > 0 ? double(total) / seconds : 0;
  state.counters["rows_per_client"] = double(Rows());
  state.counters["rows_per_s"] = rate;
  if (clients == 1) g_oneClientRate = rate;
  if (clients > 1 && g_oneClientRate > 0) state.counters["ratio_vs_one"] = rate / g_oneClientRate;
  state.counters["agent_peak_MB"] = agent.PeakMB();
}
// The lone client first: the others' ratio is against it.
BENCHMARK(BM_ClientsAtOnce)
    ->Arg(1)
    ->Arg(8)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(bench_smoke::Pick(5, 1));

}  // namespace

BENCHMARK_MAIN();
