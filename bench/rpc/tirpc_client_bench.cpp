// The same measurements with libtirpc's client, against our server and the
// rpcgen server. Linked with libtirpc only, never with our libraries.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>

#include <memory>

#include "bench_servers.h"
#include "interop.h"

namespace {

const timeval kTimeout = {10, 0};

CLIENT* Connect(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<unsigned short>(port));
  int sock = RPC_ANYSOCK;
  return clnttcp_create(&a, INTEROP_PROG, INTEROP_VERS, &sock, 0, 0);
}

void SmallCall(benchmark::State& state, SpawnedServer* server) {
  CLIENT* c = Connect(server->port());
  if (!c) {
    state.SkipWithError("no server");
    return;
  }
  int in = 1, out = 0;
  for (auto _ : state) {
    if (clnt_call(c, ECHO_INT, reinterpret_cast<xdrproc_t>(xdr_int), reinterpret_cast<char*>(&in),
                  reinterpret_cast<xdrproc_t>(xdr_int), reinterpret_cast<char*>(&out),
                  kTimeout) != RPC_SUCCESS) {
      state.SkipWithError("call failed");
      break;
    }
    in++;
  }
  state.counters["calls/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  clnt_destroy(c);
}

void Reply1MiB(benchmark::State& state, SpawnedServer* server) {
  CLIENT* c = Connect(server->port());
  if (!c) {
    state.SkipWithError("no server");
    return;
  }
  u_int n = 1u << 20;
  std::unique_ptr<char[]> buf(new char[n]);
  for (auto _ : state) {
    blob b{0, buf.get()};
    if (clnt_call(c, BIG, reinterpret_cast<xdrproc_t>(xdr_u_int), reinterpret_cast<char*>(&n),
                  reinterpret_cast<xdrproc_t>(xdr_blob), reinterpret_cast<char*>(&b),
                  kTimeout) != RPC_SUCCESS ||
        b.blob_len != n) {
      state.SkipWithError("call failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * n);
  clnt_destroy(c);
}

}  // namespace

int main(int argc, char** argv) {
  return RunAgainstServers("TirpcClient", {{"SmallCall", SmallCall}, {"Reply1MiB", Reply1MiB}}, argc, argv);
}
