// Standard conformance: libtirpc's client calls our server, and our client
// calls a libtirpc server with the dispatcher rpcgen generated.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "rpc/clnt.h"
#include "fixtures/rpc_server/server_harness.h"
#include "fixtures/rpc_server/test_protocol.h"

using namespace rpctest;

namespace {

int RunTirpcClient(const std::string& proto, int port) {
  std::string cmd = std::string(TIRPC_CLIENT_PATH) + " " + proto + " " + std::to_string(port);
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char line[64] = "";
  fgets(line, sizeof line, p);
  int st = pclose(p);
  return WIFEXITED(st) && WEXITSTATUS(st) == 0 && std::string(line) == "ok\n" ? 0 : 1;
}

TEST(Interop, TirpcClientCallsOurServer) {
  Server s;
  ASSERT_GT(s.port(), 0);
  EXPECT_EQ(RunTirpcClient("tcp", s.port()), 0);
  EXPECT_EQ(RunTirpcClient("udp", s.port()), 0);
}

TEST(Interop, OurClientCallsRpcgenServer) {
  Server s({}, "", RPCGEN_SERVER_PATH);
  ASSERT_GT(s.port(), 0);
  for (bool tcp : {true, false}) {
    sockaddr_in a = s.addr();
    int sock = -1;
    CLIENT* c = tcp ? VYRRPC_clnttcp_create(&a, TESTPROG, TESTVERS, &sock, 0, 0)
                    : VYRRPC_clntudp_create(&a, TESTPROG, TESTVERS, timeval{1, 0}, &sock);
    ASSERT_NE(c, nullptr) << tcp;
    const timeval t{5, 0};
    EXPECT_EQ(VYRRPC_clnt_call(c, TP_NULL, XP(VYRRPC_xdr_void), nullptr, XP(VYRRPC_xdr_void), nullptr, t),
              RPC_SUCCESS);
    int in = -77, out = 0;
    EXPECT_EQ(VYRRPC_clnt_call(c, TP_ECHO_INT, XP(VYRRPC_xdr_int), reinterpret_cast<char*>(&in),
                               XP(VYRRPC_xdr_int), reinterpret_cast<char*>(&out), t),
              RPC_SUCCESS);
    EXPECT_EQ(out, -77);
    std::string data(1001, 'z');
    Blob b{data.data(), static_cast<unsigned int>(data.size())}, rb{nullptr, 0};
    ASSERT_EQ(VYRRPC_clnt_call(c, TP_ECHO_BYTES, XP(xdr_blob), reinterpret_cast<char*>(&b), XP(xdr_blob),
                               reinterpret_cast<char*>(&rb), t),
              RPC_SUCCESS);
    EXPECT_EQ(std::string(rb.data, rb.len), data);
    VYRRPC_clnt_freeres(c, XP(xdr_blob), reinterpret_cast<char*>(&rb));
    if (tcp) {
      unsigned int n = 100000;
      ASSERT_EQ(VYRRPC_clnt_call(c, TP_BIG, XP(VYRRPC_xdr_u_int), reinterpret_cast<char*>(&n), XP(xdr_blob),
                                 reinterpret_cast<char*>(&rb), t),
                RPC_SUCCESS);
      ASSERT_EQ(rb.len, n);
      EXPECT_EQ(static_cast<unsigned char>(rb.data[99999]), static_cast<unsigned char>(99999 * 31));
      VYRRPC_clnt_freeres(c, XP(xdr_blob), reinterpret_cast<char*>(&rb));
    }
    VYRRPC_clnt_destroy(c);
  }
}

}  // namespace
