// What connected clients cost the agent, which serves each TCP connection in a
// thread of its own: 1,000 clients (20 in a smoke run) connected at once,
// (a) idle after one call, (b) each with a server session, a SQLite connection
// and a fetched query left open. Reported per client: resident and virtual
// memory, and the connection threads' stacks (mapped, resident, the deepest).
// Every answer is checked; once the clients hang up, the agent must end what
// they opened and give back their threads and descriptors. A second round of
// the same clients shows whether what the first left resident is reused.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_smoke.h"
#include "inprocess_fetch.h"
#include "model/dataset.h"
#include "spawned_agent.h"

namespace {

constexpr long kRows = 100;

std::string Dir() {
  const char* d = getenv("SQLGATE_BENCH_DIR");
  static std::string dir = std::string(d ? d : "/tmp/sqlgate-bench") + "/clients";
  return dir;
}

bool Prepared() {
  static int ok = -1;
  if (ok < 0) ok = system(("mkdir -p " + Dir()).c_str()) == 0 && agent_bench::MakeDatabase(Dir(), kRows);
  return ok == 1;
}

// The agent's figures from /proc.
struct Snapshot {
  long threads = 0;
  long rssKB = 0;
  long vszKB = 0;
  long fds = 0;
  // Connection threads' stacks: how many, mapped and resident in all, the deepest.
  long stacks = 0;
  long stackMappedKB = 0;
  long stackResidentKB = 0;
  long stackPeakKB = 0;
};

long StatusField(const std::string& status, const char* name) {
  size_t at = status.find(std::string("\n") + name + ":");
  return at == std::string::npos ? -1 : atol(status.c_str() + at + strlen(name) + 2);
}

std::string ReadAll(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

struct Mapping {
  unsigned long start, end;
  long rssKB;
};

std::vector<Mapping> Mappings(int pid) {
  std::vector<Mapping> out;
  std::ifstream f("/proc/" + std::to_string(pid) + "/smaps");
  std::string line;
  while (std::getline(f, line)) {
    unsigned long a = 0, b = 0;
    if (sscanf(line.c_str(), "%lx-%lx ", &a, &b) == 2 && line.find(':') > line.find(' ')) {
      out.push_back({a, b, 0});
    } else if (!out.empty() && line.rfind("Rss:", 0) == 0) {
      out.back().rssKB = atol(line.c_str() + 4);
    }
  }
  return out;
}

// A thread's stack is the mapping its stack pointer is in (the next to last
// field of /proc/PID/task/TID/syscall while the thread waits in a call).
void MeasureStacks(int pid, Snapshot* s) {
  std::vector<Mapping> maps = Mappings(pid);
  std::string task = "/proc/" + std::to_string(pid) + "/task";
  DIR* d = opendir(task.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.' || atoi(e->d_name) == pid) continue;  // the main thread's stack is the process's
    std::istringstream in(ReadAll(task + "/" + e->d_name + "/syscall"));
    std::vector<std::string> fields;
    for (std::string w; in >> w;) fields.push_back(w);
    if (fields.size() < 3) continue;  // running, or not readable
    unsigned long sp = strtoul(fields[fields.size() - 2].c_str(), nullptr, 16);
    for (const Mapping& m : maps)
      if (sp >= m.start && sp < m.end) {
        s->stacks++;
        s->stackMappedKB += long((m.end - m.start) / 1024);
        s->stackResidentKB += m.rssKB;
        s->stackPeakKB = std::max(s->stackPeakKB, m.rssKB);
        break;
      }
  }
  closedir(d);
}

Snapshot Measure(int pid, bool stacks) {
  Snapshot s;
  std::string st = ReadAll("/proc/" + std::to_string(pid) + "/status");
  st.insert(0, 1, '\n');
  s.threads = StatusField(st, "Threads");
  s.rssKB = StatusField(st, "VmRSS");
  s.vszKB = StatusField(st, "VmSize");
  if (DIR* d = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') s.fds++;
    closedir(d);
  }
  if (stacks) MeasureStacks(pid, &s);
  return s;
}

// Room for the clients' descriptors here and, inherited, in the agent: a
// socket and a database file for each client there, and one to spare.
bool RaiseDescriptorLimit(long clients) {
  rlimit rl{};
  if (getrlimit(RLIMIT_NOFILE, &rl) != 0) return false;
  rlim_t want = rlim_t(3 * clients + 256);
  if (rl.rlim_cur != RLIM_INFINITY && rl.rlim_cur < want) {
    if (rl.rlim_max != RLIM_INFINITY && rl.rlim_max < want) return false;
    rl.rlim_cur = want;
    if (setrlimit(RLIMIT_NOFILE, &rl) != 0) return false;
  }
  return true;
}

std::string Text(const Coldata& c, int row) {
  const char* cell = Coldata_Cell(&c, uint64_t(row));
  switch (c.cType) {
    case CTYPE_SGN32: {
      sgn32 v;
      memcpy(&v, cell, 4);
      return std::to_string(v);
    }
    case CTYPE_VCHR:
    case CTYPE_CHR:
      return std::string(cell, strnlen(cell, c.width));
    case CTYPE_LCHR: {
      c_lchr l;
      memcpy(&l, cell, sizeof l);
      return l.data ? std::string(l.data, l.length) : "";
    }
    default:
      return "?type " + std::to_string(c.cType);
  }
}

// One client: its connection and, in the session case, what it opened.
struct Client {
  WireClient* c = nullptr;
  handle_t hServer = 0, hConn = 0, hCursor = 0;
  ~Client() { wire_client_destroy(c); }
};

// Opens a session and a connection, runs a query naming row `key` and fetches
// it; the cursor stays open. Empty when the answer was right, else what went wrong.
std::string OpenSession(Client* cl, long key) {
  std::string cs = "DRIVER=SQLite3;Database=" + Dir() + "/bench.db";
  if (!agent_bench::ConnectThroughAgent(cl->c, cs, &cl->hServer, &cl->hConn)) return "connect failed";
  handleres hc{};
  if (dbsvc_cursor(cl->c, &cl->hConn, &hc) != RPC_SUCCESS || hc.error) return "cursor failed";
  cl->hCursor = hc.handle;
  std::string sql = "SELECT i, s FROM big WHERE i = " + std::to_string(key);
  call_prepare pa{cl->hCursor, sql.data()};
  errcode_t e = ER_SUCCESS;
  if (dbsvc_prepare(cl->c, &pa, &e) != RPC_SUCCESS || e) return "prepare failed";
  if (dbsvc_execute(cl->c, &cl->hCursor, &e) != RPC_SUCCESS || e) return "execute failed";
  std::string got;
  for (int guard = 0; guard < 10; guard++) {
    call_fetch fa{cl->hCursor, 10};
    datasetres fr{};
    if (dbsvc_fetch(cl->c, &fa, &fr) != RPC_SUCCESS || fr.error) return "fetch failed";
    for (int r = 0; r < fr.desc.nRows; r++) {
      got += '(';
      for (int col = 0; col < fr.desc.nCols; col++) {
        if (col) got += ',';
        got += Text(fr.desc.col[col], r);
      }
      got += ')';
    }
    const int n = fr.desc.nRows;
    dbsvc_fetch_free(&fr);
    if (n <= 0) break;
  }
  std::string want = "(" + std::to_string(key) + ",text value " + std::to_string(key) + ")";
  return got == want ? "" : "answer " + got + ", not " + want;
}

// Waits up to 30 s for the agent to be back to `base` threads and descriptors.
bool BackTo(int pid, const Snapshot& base) {
  for (int i = 0; i < 300; i++) {
    Snapshot s = Measure(pid, false);
    if (s.threads <= base.threads && s.fds <= base.fds) return true;
    usleep(100000);
  }
  return false;
}

long Count(const std::string& text, const std::string& what) {
  long n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

void ConnectedClients(benchmark::State& state, bool sessions) {
  const long n = bench_smoke::Pick(state.range(0), 20L);
  if (!Prepared()) {
    state.SkipWithError("cannot make the database");
    return;
  }
  if (!RaiseDescriptorLimit(n)) {
    state.SkipWithError("the descriptor limit cannot be raised far enough");
    return;
  }
  const std::string log = Dir() + "/agent.log";
  unlink(log.c_str());
  agent_bench::Agent agent({"+loglevel", "7", "+logfile", log});
  if (!agent.port) {
    state.SkipWithError("the agent did not start");
    return;
  }
  // A first client makes the agent load what every later one shares (the
  // driver, the ini files, the watcher thread), so the figures are per client.
  {
    Client warm;
    std::string err;
    warm.c = wire_client_create("127.0.0.1", uns16(agent.port), false, 120, &err);
    std::string why = warm.c ? OpenSession(&warm, 1) : err;
    if (!why.empty()) {
      state.SkipWithError(("first client: " + why).c_str());
      return;
    }
  }
  // The agent has answered, so the launcher's child is the agent by now.
  const int pid = agent.Child();
  if (pid <= 0) {
    state.SkipWithError("the agent's process is not known");
    return;
  }
  usleep(200000);
  const Snapshot before = Measure(pid, false);
  if (!BackTo(pid, before)) {
    state.SkipWithError("the first client's thread did not end");
    return;
  }
  // Two rounds: the second shows that what the first gave back is reused, not lost.
  std::vector<Snapshot> with, after;
  std::string failure;
  for (auto _ : state) {
    if (!failure.empty()) continue;
    std::vector<std::unique_ptr<Client>> clients;
    // Connected one after another (the listener's backlog is short), each
    // served once so that its thread runs.
    for (long i = 0; i < n && failure.empty(); i++) {
      auto cl = std::make_unique<Client>();
      std::string err;
      cl->c = wire_client_create("127.0.0.1", uns16(agent.port), false, 120, &err);
      if (!cl->c) {
        failure = "client " + std::to_string(i) + ": " + err;
        break;
      }
      handle_t none = 0;
      errinfores r{};
      if (dbsvc_errinfo(cl->c, &none, &r) != RPC_SUCCESS)
        failure = "client " + std::to_string(i) + " not served";
      dbsvc_errinfo_free(&r);
      clients.push_back(std::move(cl));
    }
    // The sessions are opened by several threads at once.
    if (sessions && failure.empty()) {
      std::atomic<long> next{0};
      std::vector<std::string> errors(static_cast<size_t>(n));
      std::vector<std::thread> workers;
      for (int t = 0; t < 8; t++)
        workers.emplace_back([&] {
          for (long i; (i = next++) < n;)
            errors[size_t(i)] = OpenSession(clients[size_t(i)].get(), 1 + i % kRows);
        });
      for (auto& w : workers) w.join();
      for (long i = 0; i < n && failure.empty(); i++)
        if (!errors[size_t(i)].empty()) failure = "client " + std::to_string(i) + ": " + errors[size_t(i)];
    }
    state.PauseTiming();
    usleep(200000);
    with.push_back(Measure(pid, true));
    if (failure.empty() && with.back().threads < before.threads + n)
      failure = "only " + std::to_string(with.back().threads - before.threads) + " connection threads";
    clients.clear();
    // Gone again: threads and descriptors.
    if (!BackTo(pid, before) && failure.empty()) {
      Snapshot now = Measure(pid, false);
      failure = "after the clients left: " + std::to_string(now.threads) + " threads, " +
                std::to_string(now.fds) + " descriptors";
    }
    usleep(500000);
    after.push_back(Measure(pid, false));
    state.ResumeTiming();
  }
  // And what they opened (the first client's too).
  const long rounds = long(with.size());
  if (failure.empty() && sessions) {
    long ended = Count(ReadAll(log), "closed: ended 1 cursors, 1 connections, 1 sessions") - 1;
    if (ended != rounds * n) failure = "ended the sessions of " + std::to_string(ended) + " clients";
  }
  if (!failure.empty()) {
    state.SkipWithError(failure.c_str());
    return;
  }
  const Snapshot& w = with.front();
  const double per = double(n);
  state.counters["clients"] = per;
  state.counters["threads_before"] = double(before.threads);
  state.counters["threads_with"] = double(w.threads);
  state.counters["rss_before_MB"] = double(before.rssKB) / 1024;
  state.counters["rss_with_MB"] = double(w.rssKB) / 1024;
  state.counters["rss_after_MB"] = double(after.front().rssKB) / 1024;
  state.counters["rss_with_again_MB"] = double(with.back().rssKB) / 1024;
  state.counters["rss_after_again_MB"] = double(after.back().rssKB) / 1024;
  state.counters["rss_per_client_KB"] = double(w.rssKB - before.rssKB) / per;
  state.counters["vsz_per_client_KB"] = double(w.vszKB - before.vszKB) / per;
  if (w.stacks > 0) {
    state.counters["stack_mapped_KB"] = double(w.stackMappedKB) / double(w.stacks);
    state.counters["stack_resident_KB"] = double(w.stackResidentKB) / double(w.stacks);
    state.counters["stack_peak_KB"] = double(w.stackPeakKB);
  }
}

void BM_IdleClients(benchmark::State& state) { ConnectedClients(state, false); }
BENCHMARK(BM_IdleClients)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_SessionClients(benchmark::State& state) { ConnectedClients(state, true); }
BENCHMARK(BM_SessionClients)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
