// The agent of the benchmarks that go through it: sqlgate started through the
// launcher on a port the kernel chooses, its peak memory, and a connection
// opened over the wire. Programs that include it define SQLGATE_BINARY and
// LAUNCH_BINARY.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "fixtures/support/spawned_server.h"
#include "model/drv_param_codes.h"
#include "wire/client.h"

namespace agent_bench {

struct Agent {
  // Options are the agent's own, after its program name.
  explicit Agent(std::vector<std::string> options = {}) : server(Argv(std::move(options))) {}
  static std::vector<std::string> Argv(std::vector<std::string> options) {
    options.insert(options.begin(), {LAUNCH_BINARY, "--", SQLGATE_BINARY});
    return options;
  }
  test_support::SpawnedServer server;
  const pid_t launcher = server.pid();
  const int port = server.port();
  // The agent itself: the launcher's child.
  int Child() const {
    std::ifstream kids("/proc/" + std::to_string(launcher) + "/task/" + std::to_string(launcher) +
                       "/children");
    int child = 0;
    kids >> child;
    return child;
  }
  // Peak resident memory of the agent, in MB.
  double PeakMB() const {
    std::ifstream st("/proc/" + std::to_string(Child()) + "/status");
    std::string line;
    while (std::getline(st, line))
      if (line.rfind("VmHWM:", 0) == 0) return atof(line.c_str() + 6) / 1024.0;
    return -1;
  }
  // CPU time the agent has used, user and system, in ms.
  double CpuMs() const {
    std::ifstream st("/proc/" + std::to_string(Child()) + "/stat");
    std::string line;
    std::getline(st, line);
    // The fields after the command's closing parenthesis; utime and stime are the 12th and 13th.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 13 && rest >> field; i++)
      if (i >= 12) ticks += atof(field.c_str());
    return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
  }
};

// A server session and a connection by driver connection string; false when
// either fails.
inline bool ConnectThroughAgent(WireClient* c, const std::string& connStr, handle_t* hServer,
                                handle_t* hConn) {
  ::Server s{};
  handleres hs{};
  if (dbsvc_server(c, &s, &hs) != RPC_SUCCESS || hs.error) return false;
  *hServer = hs.handle;
  // Cursors need the agent named first.
  call_getdrvparameter gp{*hServer, DRVP_SRV_AGENT_NAME};
  getdrvparameterres gr{};
  dbsvc_getdrvparameter(c, &gp, &gr);
  dbsvc_getdrvparameter_free(&gr);
  ::Connect rec{};
  rec.dbOptions = const_cast<char*>(connStr.c_str());
  call_connect ca{*hServer, &rec};
  connectres cr{};
  const bool ok = dbsvc_connect(c, &ca, &cr) == RPC_SUCCESS && !cr.error;
  *hConn = cr.handle;
  dbsvc_connect_free(&cr);
  return ok;
}

// Fetches a cursor's executed result to its end, block rows per call: the rows
// seen, -1 on a failure.
inline long FetchToEnd(WireClient* c, handle_t h, uns16 block) {
  long seen = 0;
  for (;;) {
    call_fetch fa{h, block};
    datasetres fr{};
    if (dbsvc_fetch(c, &fa, &fr) != RPC_SUCCESS || fr.error) {
      dbsvc_fetch_free(&fr);
      return -1;
    }
    int n = fr.desc.nRows;
    dbsvc_fetch_free(&fr);
    if (n <= 0) return seen;
    seen += n;
  }
}

inline void DisconnectThroughAgent(WireClient* c, handle_t hServer, handle_t hConn) {
  errcode_t e = ER_SUCCESS;
  dbsvc_endconnect(c, &hConn, &e);
  dbsvc_endserver(c, &hServer, &e);
}

}  // namespace agent_bench
