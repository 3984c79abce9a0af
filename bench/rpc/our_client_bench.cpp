// Round trips per second of a small call and MB/s of a 1 MiB reply over
// loopback TCP, with our client against our server (record buffers of 4000
// bytes, the agent's default, and of 64 KiB) and against the rpcgen server.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>

#include <cstdlib>
#include <memory>

#include "bench_servers.h"
#include "rpc/clnt.h"
#include "fixtures/rpc_server/test_protocol.h"

namespace {

CLIENT* Connect(int port, unsigned int bufsize) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<unsigned short>(port));
  int sock = -1;
  return VYRRPC_clnttcp_create(&a, TESTPROG, TESTVERS, &sock, bufsize, bufsize);
}

void SmallCall(benchmark::State& state, SpawnedServer* server) {
  CLIENT* c = Connect(server->port(), 0);
  if (!c) {
    state.SkipWithError("no server");
    return;
  }
  int in = 1, out = 0;
  for (auto _ : state) {
    if (VYRRPC_clnt_call(c, TP_ECHO_INT, XP(VYRRPC_xdr_int), reinterpret_cast<char*>(&in), XP(VYRRPC_xdr_int),
                         reinterpret_cast<char*>(&out), timeval{10, 0}) != RPC_SUCCESS) {
      state.SkipWithError("call failed");
      break;
    }
    in++;
  }
  state.counters["calls/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  VYRRPC_clnt_destroy(c);
}

void Reply1MiB(benchmark::State& state, SpawnedServer* server) {
  CLIENT* c = Connect(server->port(), 65536);
  if (!c) {
    state.SkipWithError("no server");
    return;
  }
  unsigned int n = 1u << 20;
  std::unique_ptr<char[]> buf(new char[n]);
  for (auto _ : state) {
    Blob b{buf.get(), 0};
    if (VYRRPC_clnt_call(c, TP_BIG, XP(VYRRPC_xdr_u_int), reinterpret_cast<char*>(&n), XP(xdr_blob),
                         reinterpret_cast<char*>(&b), timeval{10, 0}) != RPC_SUCCESS ||
        b.len != n) {
      state.SkipWithError("call failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
  VYRRPC_clnt_destroy(c);
}

}  // namespace

int main(int argc, char** argv) {
  return RunAgainstServers("OurClient", {{"SmallCall", SmallCall}, {"Reply1MiB", Reply1MiB}}, argc, argv);
}
