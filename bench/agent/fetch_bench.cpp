// 1,000,000 rows of (INTEGER, VARCHAR(20), DOUBLE) from SQLite, fetched
// (a) in-process through our driver manager with bound columns and block fetch,
// (b) through the agent over loopback TCP with the wire client, in blocks.
// The agent's peak resident memory while serving (b) is reported as a counter
// (agent_peak_MB).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_smoke.h"
#include "inprocess_fetch.h"
#include "spawned_agent.h"

namespace {

std::string BenchDir() {
  const char* d = getenv("SQLGATE_BENCH_DIR");
  static std::string dir = d ? d : "/tmp/sqlgate-bench";
  return dir;
}

long Rows() {
  const char* r = getenv("SQLGATE_BENCH_ROWS");
  return r ? atol(r) : bench_smoke::Pick(1000000L, 1000L);
}

bool Prepared() {
  static int ok = -1;
  if (ok < 0) {
    std::string dir = BenchDir();
    ok = system(("mkdir -p " + dir).c_str()) == 0 && agent_bench::MakeDatabase(dir, Rows());
  }
  return ok == 1;
}

void BM_InProcessBlockFetch(benchmark::State& state) {
  if (!Prepared()) {
    state.SkipWithError("cannot make the database");
    return;
  }
  for (auto _ : state) {
    long n = agent_bench::FetchInProcess(BenchDir() + "/bench.db", int(state.range(0)));
    if (n != Rows()) state.SkipWithError("wrong row count");
  }
  state.counters["rows"] = double(Rows());
}
BENCHMARK(BM_InProcessBlockFetch)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(3);

long FetchThroughAgent(WireClient* c, const std::string& dbFile, uns16 block) {
  std::string cs = std::string("DRIVER=") + agent_bench::kSqliteDriver + ";Database=" + dbFile + ";StepAPI=1";
  handle_t hServer = 0, hConn = 0;
  if (!agent_bench::ConnectThroughAgent(c, cs, &hServer, &hConn)) return -1;
  handleres hc{};
  dbsvc_cursor(c, &hConn, &hc);
  handle_t h = hc.handle;
  call_prepare pa{h, const_cast<char*>("SELECT i, s, d FROM big")};
  errcode_t e = ER_SUCCESS;
  dbsvc_prepare(c, &pa, &e);
  dbsvc_execute(c, &h, &e);
  if (e) return -1;
  long seen = agent_bench::FetchToEnd(c, h, block);
  if (seen < 0) return -1;
  dbsvc_endcursor(c, &h, &e);
  agent_bench::DisconnectThroughAgent(c, hServer, hConn);
  return seen;
}

void BM_AgentBlockFetch(benchmark::State& state) {
  if (!Prepared()) {
    state.SkipWithError("cannot make the database");
    return;
  }
  agent_bench::Agent agent;
  std::string err;
  WireClient* c = agent.port ? wire_client_create("127.0.0.1", uns16(agent.port), false, 120, &err) : nullptr;
  if (!c) {
    state.SkipWithError(("agent not reachable: " + err).c_str());
    return;
  }
  for (auto _ : state) {
    long n = FetchThroughAgent(c, BenchDir() + "/bench.db", uns16(state.range(0)));
    if (n != Rows()) state.SkipWithError("wrong row count");
  }
  state.counters["rows"] = double(Rows());
  state.counters["agent_peak_MB"] = agent.PeakMB();
  wire_client_destroy(c);
}
BENCHMARK(BM_AgentBlockFetch)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
