// The servers both client benchmarks run against: ours with 4000-byte record
// buffers (the agent's default) and with 64 KiB ones, and the rpcgen server.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <utility>
#include <vector>

#include "fixtures/support/spawned_server.h"

using test_support::SpawnedServer;

using ServerBenchmark = void (*)(benchmark::State&, SpawnedServer*);

// Starts the servers, registers "<client>/<benchmark>/<server>" for every pair
// and runs what the command line selects; the servers stop on return.
inline int RunAgainstServers(const std::string& client,
                             const std::vector<std::pair<std::string, ServerBenchmark>>& benchmarks, int argc,
                             char** argv) {
  SpawnedServer ours({OUR_SERVER_PATH});
  SpawnedServer ours64k({OUR_SERVER_PATH, "65536"});
  SpawnedServer rpcgen({RPCGEN_SERVER_PATH});
  const std::pair<const char*, SpawnedServer*> servers[] = {
      {"OurServer", &ours}, {"OurServer64K", &ours64k}, {"RpcgenServer", &rpcgen}};
  for (const auto& [bench, fn] : benchmarks)
    for (const auto& [server, s] : servers)
      benchmark::RegisterBenchmark((client + "/" + bench + "/" + server).c_str(), fn, s)->UseRealTime();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
