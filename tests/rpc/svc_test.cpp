// The server registry, transport creation and TLS contexts, in process.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "rpc/svc.h"
#include "fixtures/rpc_server/server_harness.h"
#include "fixtures/rpc_server/test_protocol.h"
#include "fixtures/support/log_capture.h"
#include "fixtures/support/raw_conn.h"
#include "util/fault.h"
#include "util/log.h"

using namespace rpctest;

namespace {

int served = 0;
void DispatchA(svc_req*, SVCXPRT* x) {
  served++;
  VYRRPC_svc_sendreply(x, XP(VYRRPC_xdr_void), nullptr);
}
void DispatchB(svc_req*, SVCXPRT*) {}
// Answers from a connection's own thread; touches nothing shared.
void DispatchOwnThread(svc_req*, SVCXPRT* x) { VYRRPC_svc_sendreply(x, XP(VYRRPC_xdr_void), nullptr); }

using test_support::LogCapture;

TEST(Svc, TransportKindsAndRegistration) {
  SVCXPRT* tcp = VYRRPC_svctcp_create(-1, 0, 0);
  ASSERT_NE(tcp, nullptr);
  EXPECT_EQ(tcp->xp_kind, XPRT_LISTENER);
  EXPECT_GT(tcp->xp_port, 0);
  SVCXPRT* udp = VYRRPC_svcudp_create(-1);
  ASSERT_NE(udp, nullptr);
  EXPECT_EQ(udp->xp_kind, XPRT_DATAGRAM);
  EXPECT_GT(udp->xp_port, 0);
  EXPECT_GT(VYRRPC__svc_getmaxfds(), std::max(tcp->xp_sock, udp->xp_sock));
  // One program on two transports, without any port mapper.
  EXPECT_TRUE(VYRRPC_svc_register(tcp, 300272, 2, DispatchA, 0));
  EXPECT_TRUE(VYRRPC_svc_register(udp, 300272, 2, DispatchA, 0));
  EXPECT_FALSE(VYRRPC_svc_register(udp, 300272, 2, DispatchB, 0));
  // The datagram transport carries no TLS and leaves the answer untouched.
  int capable = 7;
  EXPECT_FALSE(VYRRPC_svc_control(udp, VYRRPC_SVCCTL_TLS_CAPABLE, reinterpret_cast<char*>(&capable)));
  EXPECT_EQ(capable, 7);
  EXPECT_TRUE(VYRRPC_svc_control(tcp, VYRRPC_SVCCTL_TLS_CAPABLE, reinterpret_cast<char*>(&capable)));
  EXPECT_EQ(capable, 1);
  EXPECT_TRUE(VYRRPC_svcudp_enablecache(udp, 4));
  EXPECT_FALSE(VYRRPC_svcudp_enablecache(udp, 4));
  int maxfds = VYRRPC__svc_getmaxfds();
  udp->xp_ops->xp_destroy(udp);
  tcp->xp_ops->xp_destroy(tcp);
  EXPECT_LT(VYRRPC__svc_getmaxfds(), maxfds);
}

// A transport that cannot be made reports failure and leaves nothing behind.
TEST(Svc, CreationFailures) {
  int closed = dup(0);
  close(closed);
  int before = VYRRPC__svc_getmaxfds();
  EXPECT_EQ(VYRRPC_svctcp_create(closed, 0, 0), nullptr);
  EXPECT_EQ(VYRRPC_svcudp_create(closed), nullptr);
  EXPECT_EQ(VYRRPC_makefd_xprt(closed, 0, 0), nullptr);
  EXPECT_EQ(VYRRPC__svc_getmaxfds(), before);
  XDR x{};
  EXPECT_TRUE(VYRRPC_xdrrec_create(&x, 0, 0, nullptr, nullptr, nullptr));
  VYRRPC_xdr_destroy(&x);
  EXPECT_EQ(x.x_ops, nullptr);
}

// A connection on a descriptor above 1024, served by one pass of the loop.
TEST(Svc, DescriptorsAbove1024) {
  rlimit rl;
  getrlimit(RLIMIT_NOFILE, &rl);
  if (rl.rlim_max < 2048) GTEST_SKIP() << "descriptor limit too low";
  rlimit raised = rl;
  raised.rlim_cur = 2048;
  setrlimit(RLIMIT_NOFILE, &raised);
  int sv[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
  ASSERT_EQ(dup2(sv[0], 1500), 1500);
  close(sv[0]);
  SVCXPRT* conn = VYRRPC_makefd_xprt(1500, 0, 0);
  ASSERT_NE(conn, nullptr);
  EXPECT_EQ(conn->xp_kind, XPRT_CONNECTION);
  EXPECT_EQ(conn->xp_port, 0);
  ASSERT_TRUE(VYRRPC_svc_register(conn, 300272, 2, DispatchA, 0));
  VYRRPC_xprt_register(conn);
  EXPECT_EQ(VYRRPC__svc_getmaxfds(), 1501);
  Bytes call = Record(CallMsg(9, 300272, 2, 0));
  ASSERT_EQ(write(sv[1], call.data(), call.size()), static_cast<ssize_t>(call.size()));
  served = 0;
  EXPECT_EQ(VYRRPC_svc_poll_once(nullptr), 1);
  EXPECT_EQ(served, 1);
  unsigned char reply[28];
  ASSERT_EQ(read(sv[1], reply, sizeof reply), 28);
  EXPECT_EQ(reply[7], 9);
  // The peer goes: the connection dies at the end of its cycle and is unregistered.
  close(sv[1]);
  EXPECT_EQ(VYRRPC_svc_poll_once(nullptr), 1);
  EXPECT_LT(VYRRPC__svc_getmaxfds(), 1501);
  setrlimit(RLIMIT_NOFILE, &rl);
}

// A connection whose thread cannot start is closed (its peer is not left
// waiting) and the log says so once; connections are served again as soon as
// threads start.
TEST(Svc, ConnectionWhoseThreadCannotStart) {
  SVCXPRT* tcp = VYRRPC_svctcp_create(-1, 0, 0);
  ASSERT_NE(tcp, nullptr);
  ASSERT_TRUE(VYRRPC_svc_control(tcp, VYRRPC_SVCCTL_THREADING, nullptr));
  ASSERT_TRUE(VYRRPC_svc_register(tcp, 300299, 1, DispatchOwnThread, 0));
  LogCapture cap;
  std::vector<std::unique_ptr<test_support::RawConn>> refused;
  vyr_fault_inject(0);  // the start record of every new thread
  for (int i = 0; i < 3; i++) {
    refused.push_back(std::make_unique<test_support::RawConn>(tcp->xp_port));
    ASSERT_GE(refused.back()->fd(), 0);
    EXPECT_EQ(VYRRPC_svc_poll_once(nullptr), 1);
  }
  vyr_fault_inject(-1);
  for (auto& c : refused) EXPECT_TRUE(c->ClosedWithin(2000));
  int said = 0;
  for (const std::string& line : cap.lines())
    if (line.find("cannot start a thread for a connection") != std::string::npos) said++;
  EXPECT_EQ(said, 1);
  test_support::RawConn served(tcp->xp_port);
  ASSERT_GE(served.fd(), 0);
  EXPECT_EQ(VYRRPC_svc_poll_once(nullptr), 1);
  ASSERT_TRUE(served.Send(Record(CallMsg(7, 300299, 1, 0))));
  Bytes reply;
  ASSERT_TRUE(served.ReadRecord(&reply, 5000));
  EXPECT_EQ(GetUnit(reply, 0), 7u);
  tcp->xp_ops->xp_destroy(tcp);
}

TEST(Tls, ContextsFromKeyFiles) {
  const std::string dir = TLS_DIR;
  struct Case {
    const char* name;
    std::string file;
    bool ok;
    std::string log;
  } cases[] = {
      {"certificate, key and DH parameters", dir + "/server.pem", true, ""},
      {"no DH parameters", dir + "/server_nodh.pem", false,
       "SSL error: could not use DH parameters in " + dir + "/server_nodh.pem"},
      {"1024-bit DH parameters", dir + "/server_dh1024.pem", false, "SSL error: could not use DH parameters"},
      {"missing file", dir + "/missing.pem", false, "SSL error (SSL_CTX_use_certificate_chain_file): "},
  };
  for (const auto& c : cases) {
    LogCapture cap;
    void* ctx = VYRRPC_new_ssl_ctx(1, c.file.c_str());
    EXPECT_EQ(ctx != nullptr, c.ok) << c.name;
    if (!c.log.empty()) {
      EXPECT_TRUE(cap.Has(c.log)) << c.name;
    }
    VYRRPC_free_ssl_ctx(ctx);
  }
  void* client = VYRRPC_new_ssl_ctx(0, nullptr);
  EXPECT_NE(client, nullptr);
  VYRRPC_free_ssl_ctx(client);
  VYRRPC_free_ssl_ctx(nullptr);
}

}  // namespace
