// The TCP, UDP and TLS behaviour of the server transports and the service
// loop, seen from the wire: every server here runs through the launcher.
#include <gtest/gtest.h>

#include <openssl/ssl.h>

#include <algorithm>
#include <thread>

#include "rpc/clnt.h"
#include "rpc/svc.h"
#include "fixtures/rpc_server/server_harness.h"
#include "fixtures/rpc_server/test_protocol.h"

using namespace rpctest;

namespace {

const timeval kTimeout = {5, 0};
const std::string kKey = std::string(TLS_DIR) + "/server.pem";

CLIENT* TcpAt(sockaddr_in a, unsigned int prog = TESTPROG, unsigned int vers = TESTVERS) {
  int sock = -1;
  return VYRRPC_clnttcp_create(&a, prog, vers, &sock, 0, 0);
}

// A UDP handle that resends every `wait`.
CLIENT* UdpAt(sockaddr_in a, timeval wait = {1, 0}, unsigned int prog = TESTPROG,
              unsigned int vers = TESTVERS) {
  int sock = -1;
  return VYRRPC_clntudp_create(&a, prog, vers, wait, &sock);
}

CLIENT* Tcp(const Server& s, unsigned int prog = TESTPROG, unsigned int vers = TESTVERS) {
  return TcpAt(s.addr(), prog, vers);
}

CLIENT* Udp(const Server& s, unsigned int prog = TESTPROG, unsigned int vers = TESTVERS) {
  return UdpAt(s.addr(), {1, 0}, prog, vers);
}

clnt_stat EchoInt(CLIENT* c, int in, int* out, timeval timeout = kTimeout) {
  return VYRRPC_clnt_call(c, TP_ECHO_INT, XP(VYRRPC_xdr_int), reinterpret_cast<char*>(&in),
                          XP(VYRRPC_xdr_int), reinterpret_cast<char*>(out), timeout);
}

// The server still answers a fresh client.
bool Serving(const Server& s) {
  CLIENT* c = Tcp(s);
  if (!c) return false;
  int out = 0;
  bool ok = EchoInt(c, 77, &out) == RPC_SUCCESS && out == 77;
  VYRRPC_clnt_destroy(c);
  return ok;
}

Bytes IntArg(int v) {
  Bytes b;
  Unit(b, static_cast<uint32_t>(v));
  return b;
}

// Reply fields of a raw reply record.
struct Reply {
  uint32_t xid, rstat, stat, a, b;
};
Reply Parse(const Bytes& r) {
  Reply p{};
  p.xid = GetUnit(r, 0);
  p.rstat = GetUnit(r, 8);
  if (p.rstat == MSG_ACCEPTED) {
    p.stat = GetUnit(r, 20);
    if (r.size() >= 28) p.a = GetUnit(r, 24);
    if (r.size() >= 32) p.b = GetUnit(r, 28);
  } else {
    p.stat = GetUnit(r, 12);
    p.a = GetUnit(r, 16);
  }
  return p;
}

TEST(TcpServer, CallOutcomes) {
  Server s;
  ASSERT_GT(s.port(), 0);
  struct Case {
    const char* name;
    unsigned int prog, vers, proc;
    clnt_stat want;
  } cases[] = {
      {"echo", TESTPROG, TESTVERS, TP_ECHO_INT, RPC_SUCCESS},
      {"unknown program", TESTPROG + 1, TESTVERS, TP_ECHO_INT, RPC_PROGUNAVAIL},
      {"wrong version", TESTPROG, 3, TP_ECHO_INT, RPC_PROGVERSMISMATCH},
      {"unknown procedure", TESTPROG, TESTVERS, 99, RPC_PROCUNAVAIL},
  };
  for (const auto& c : cases) {
    CLIENT* cl = Tcp(s, c.prog, c.vers);
    ASSERT_NE(cl, nullptr);
    int in = 5, out = 0;
    EXPECT_EQ(VYRRPC_clnt_call(cl, c.proc, XP(VYRRPC_xdr_int), reinterpret_cast<char*>(&in),
                               XP(VYRRPC_xdr_int), reinterpret_cast<char*>(&out), kTimeout),
              c.want)
        << c.name;
    rpc_err e;
    VYRRPC_clnt_geterr(cl, &e);
    if (c.want == RPC_PROGVERSMISMATCH) {
      EXPECT_EQ(e.re_vers.low, 2u);
      EXPECT_EQ(e.re_vers.high, 2u);
    }
    if (c.want == RPC_SUCCESS) {
      EXPECT_EQ(out, 5);
    }
    VYRRPC_clnt_destroy(cl);
  }
  // Arguments that do not decode: garbage arguments.
  Conn raw(s.port());
  ASSERT_TRUE(raw.Send(Record(CallMsg(1, TESTPROG, TESTVERS, TP_ECHO_INT))));
  Bytes r;
  ASSERT_TRUE(raw.ReadRecord(&r));
  EXPECT_EQ(Parse(r).stat, static_cast<uint32_t>(GARBAGE_ARGS));
}

TEST(TcpServer, CredentialsAndBadHeaders) {
  Server s;
  auto unix_cred = [](uint32_t namelen, uint32_t ngids) {
    Bytes b;
    Unit(b, 1);
    Unit(b, namelen);
    b.insert(b.end(), (std::min<uint32_t>(namelen, 300) + 3) & ~3u, 'h');
    Unit(b, 0);
    Unit(b, 0);
    Unit(b, ngids);
    for (uint32_t i = 0; i < std::min<uint32_t>(ngids, 20); i++) Unit(b, i);
    return b;
  };
  struct Case {
    const char* name;
    Bytes msg;
    bool answered;
    uint32_t rstat, stat;  // denied: stat is the auth_stat
  };
  std::vector<Case> cases = {
      {"none, 400-byte body", CallMsg(10, TESTPROG, TESTVERS, 0, {}, 0, Bytes(400, 1)), true, MSG_ACCEPTED,
       SUCCESS},
      {"none, 401-byte body", CallMsg(11, TESTPROG, TESTVERS, 0, {}, 0, Bytes(401, 1)), false, 0, 0},
      {"unix ok", CallMsg(12, TESTPROG, TESTVERS, 0, {}, 1, unix_cred(255, 16)), true, MSG_ACCEPTED, SUCCESS},
      {"unix 17 groups", CallMsg(13, TESTPROG, TESTVERS, 0, {}, 1, unix_cred(4, 17)), true, MSG_DENIED,
       AUTH_BADCRED},
      {"unix 256-byte name", CallMsg(14, TESTPROG, TESTVERS, 0, {}, 1, unix_cred(256, 0)), true, MSG_DENIED,
       AUTH_BADCRED},
      {"unix lying name length",
       CallMsg(15, TESTPROG, TESTVERS, 0, {}, 1,
               [] {
                 Bytes b;
                 for (uint32_t v : {1u, 200u, 0u, 0u}) Unit(b, v);
                 return b;
               }()),
       true, MSG_DENIED, AUTH_BADCRED},
      {"short", CallMsg(16, TESTPROG, TESTVERS, 0, {}, 2, Bytes(8, 0)), true, MSG_DENIED, AUTH_REJECTEDCRED},
      {"flavour 3", CallMsg(17, TESTPROG, TESTVERS, 0, {}, 3), true, MSG_DENIED, AUTH_REJECTEDCRED},
      {"flavour -1", CallMsg(18, TESTPROG, TESTVERS, 0, {}, -1), true, MSG_DENIED, AUTH_REJECTEDCRED},
      {"rpc version 3", CallMsg(19, TESTPROG, TESTVERS, 0, {}, 0, {}, 3), false, 0, 0},
      {"a reply instead of a call",
       [] {
         Bytes b = CallMsg(20, TESTPROG, TESTVERS, 0);
         b[7] = 1;
         return b;
       }(),
       false, 0, 0},
  };
  // All on one connection: a call without an answer is followed by a probe,
  // whose answer must be the next one read.
  Conn raw(s.port());
  uint32_t probe = 1000;
  for (const auto& c : cases) {
    ASSERT_TRUE(raw.Send(Record(c.msg))) << c.name;
    if (!c.answered) {
      ASSERT_TRUE(raw.Send(Record(CallMsg(++probe, TESTPROG, TESTVERS, 0))));
    }
    Bytes r;
    ASSERT_TRUE(raw.ReadRecord(&r)) << c.name;
    Reply p = Parse(r);
    if (!c.answered) {
      EXPECT_EQ(p.xid, probe) << c.name;
      continue;
    }
    EXPECT_EQ(p.xid, GetUnit(c.msg, 0)) << c.name;
    EXPECT_EQ(p.rstat, c.rstat) << c.name;
    EXPECT_EQ(p.rstat == MSG_DENIED ? p.a : p.stat, c.stat) << c.name;
    if (p.rstat == MSG_DENIED) {
      EXPECT_EQ(p.stat, static_cast<uint32_t>(AUTH_ERROR)) << c.name;
    }
    if (p.rstat == MSG_ACCEPTED) {
      EXPECT_EQ(GetUnit(r, 12), 0u) << "verifier flavour";
      EXPECT_EQ(GetUnit(r, 16), 0u) << "verifier length";
    }
  }
}

TEST(TcpServer, PipelinedCallsAndTinyFragments) {
  Server s;
  Conn raw(s.port());
  Bytes two = Record(CallMsg(1, TESTPROG, TESTVERS, TP_ECHO_INT, IntArg(11)));
  Bytes second = Record(CallMsg(2, TESTPROG, TESTVERS, TP_ECHO_INT, IntArg(22)));
  two.insert(two.end(), second.begin(), second.end());
  ASSERT_TRUE(raw.Send(two));
  for (uint32_t xid : {1u, 2u}) {
    Bytes r;
    ASSERT_TRUE(raw.ReadRecord(&r));
    EXPECT_EQ(Parse(r).xid, xid);
    EXPECT_EQ(Parse(r).a, xid * 11);
  }
  // The same call cut into fragments of one byte, each written on its own.
  Bytes msg = CallMsg(3, TESTPROG, TESTVERS, TP_ECHO_INT, IntArg(33));
  for (size_t i = 0; i < msg.size(); i++) {
    Bytes frag;
    Unit(frag, (i + 1 == msg.size() ? 0x80000000u : 0) | 1u);
    frag.push_back(msg[i]);
    ASSERT_TRUE(raw.Send(frag));
  }
  Bytes r;
  ASSERT_TRUE(raw.ReadRecord(&r));
  EXPECT_EQ(Parse(r).xid, 3u);
  EXPECT_EQ(Parse(r).a, 33u);
}

TEST(TcpServer, HalfARecordThenSilence) {
  Server s({"--wait-ms", "3000"});
  Conn silent(s.port());
  Bytes rec = Record(CallMsg(1, TESTPROG, TESTVERS, TP_ECHO_INT, IntArg(1)));
  auto sent = Clock::now();
  ASSERT_TRUE(silent.Send(Bytes(rec.begin(), rec.begin() + rec.size() / 2)));
  usleep(100000);
  auto start = Clock::now();
  EXPECT_TRUE(Serving(s));  // not held up by the silent client
  EXPECT_LT(MsSince(start), 1500);
  EXPECT_TRUE(silent.ClosedWithin(6000));
  EXPECT_GE(MsSince(sent), 2700);
}

// A client that sends the rest of a record a byte at a time does not make its
// deadline start again with every byte.
TEST(TcpServer, DrippingRecordKeepsItsFirstDeadline) {
  Server s({"--wait-ms", "3000"});
  Conn drip(s.port());
  Bytes rec = Record(CallMsg(1, TESTPROG, TESTVERS, TP_ECHO_INT, IntArg(1)));
  auto sent = Clock::now();
  bool closed = false;
  for (size_t i = 0; i + 1 < rec.size() && !closed; i++) {
    drip.Send(Bytes(rec.begin() + i, rec.begin() + i + 1));
    auto start = Clock::now();
    EXPECT_TRUE(Serving(s));
    EXPECT_LT(MsSince(start), 1500);
    closed = drip.ClosedWithin(150);
  }
  EXPECT_TRUE(closed || drip.ClosedWithin(4000));
  long ms = MsSince(sent);
  EXPECT_GE(ms, 2700);
  EXPECT_LT(ms, 6000);
}

TEST(TcpServer, PeerResetDuringALargeReply) {
  Server s;
  for (int i = 0; i < 3; i++) {
    Conn c(s.port());
    Bytes arg;
    Unit(arg, 16u << 20);
    ASSERT_TRUE(c.Send(Record(CallMsg(1, TESTPROG, TESTVERS, TP_BIG, arg))));
    unsigned char some[1000];
    ASSERT_TRUE(c.ReadN(some, sizeof some, 5000));
    linger l{1, 0};
    setsockopt(c.fd(), SOL_SOCKET, SO_LINGER, &l, sizeof l);  // close with a reset
  }
  EXPECT_TRUE(Serving(s));
  EXPECT_TRUE(s.alive());
}

TEST(TcpServer, ClientThatNeverReads) {
  Server s({"--wait-ms", "12000"});
  Conn stuck(s.port());
  Bytes arg;
  Unit(arg, 32u << 20);
  ASSERT_TRUE(stuck.Send(Record(CallMsg(1, TESTPROG, TESTVERS, TP_BIG, arg))));
  usleep(200000);
  // Served once the reply is made (which keeps the one thread busy for a
  // while), long before the unread reply's deadline.
  auto start = Clock::now();
  EXPECT_TRUE(Serving(s));
  EXPECT_LT(MsSince(start), 9000);
  // The reply was queued before that call was served: its deadline has
  // passed 12 s later, however little of it was read.
  usleep(12500000);
  EXPECT_TRUE(stuck.ClosedWithin(5000));
}

TEST(TcpServer, ScrambledRepliesAndCalls) {
  Server s({"--crypt"});
  Conn raw(s.port());
  ASSERT_TRUE(raw.Send(Record(CallMsg(7, TESTPROG, TESTVERS, TP_ECHO_INT, IntArg(1234)))));
  Bytes r;
  bool scrambled = false;
  ASSERT_TRUE(raw.ReadRecord(&r, 5000, &scrambled));
  EXPECT_TRUE(scrambled);
  EXPECT_EQ(Parse(r).a, 1234u);
  // Our client reads scrambled replies, and sends scrambled calls when asked.
  for (int crypt : {0, 1}) {
    VYRRPC__xdr_crypt = crypt;
    CLIENT* c = Tcp(s);
    VYRRPC__xdr_crypt = 0;
    ASSERT_NE(c, nullptr);
    Bytes big(20000, 'q');
    Blob in{reinterpret_cast<char*>(big.data()), static_cast<unsigned int>(big.size())}, out{nullptr, 0};
    ASSERT_EQ(VYRRPC_clnt_call(c, TP_ECHO_BYTES, XP(xdr_blob), reinterpret_cast<char*>(&in), XP(xdr_blob),
                               reinterpret_cast<char*>(&out), kTimeout),
              RPC_SUCCESS)
        << crypt;
    EXPECT_EQ(Bytes(out.data, out.data + out.len), big);
    VYRRPC_clnt_freeres(c, XP(xdr_blob), reinterpret_cast<char*>(&out));
    VYRRPC_clnt_destroy(c);
  }
}

TEST(TcpServer, MalformedScrambledFragmentDropsOnlyThatConnection) {
  Server s;
  Conn bad(s.port());
  Bytes b;
  Unit(b, 0xC0000002u);
  Unit(b, 0x01020304u);
  Unit(b, 0x05060708u);
  ASSERT_TRUE(bad.Send(b));
  EXPECT_TRUE(bad.ClosedWithin(3000));
  EXPECT_TRUE(Serving(s));
}

TEST(TcpServer, LyingLengthThenGone) {
  Server s;
  {
    Conn c(s.port());
    Bytes msg = CallMsg(1, TESTPROG, TESTVERS, TP_ECHO_BYTES);
    Unit(msg, 0x7FFFFFF0u);
    msg.resize(msg.size() + 100000, 'x');
    Bytes frag;
    Unit(frag, 0x7FFFFFF0u);  // a fragment far longer than what follows
    frag.insert(frag.end(), msg.begin(), msg.end());
    ASSERT_TRUE(c.Send(frag));
    usleep(200000);
  }
  EXPECT_TRUE(Serving(s));
}

// A record that claims more than a connection may send is refused at its
// mark, before its bytes are buffered; others are served meanwhile.
TEST(TcpServer, OversizeRecordClaimDropsTheConnection) {
  Server s;
  Conn big(s.port());
  Bytes b;
  Unit(b, 0x80000000u | (1u << 30));  // one fragment of 1 GiB
  Append(b, CallMsg(1, TESTPROG, TESTVERS, TP_ECHO_BYTES));
  ASSERT_TRUE(big.Send(b));
  EXPECT_TRUE(big.ClosedWithin(3000));
  EXPECT_TRUE(Serving(s));
  // Fragments that each fit but add up past the limit.
  Server small({"--max-record", "100000"});
  Conn split(small.port());
  Bytes f;
  for (int i = 0; i < 3; i++) {
    Unit(f, 40000u);
    f.resize(f.size() + 40000, 'z');
  }
  ASSERT_TRUE(split.Send(f));
  EXPECT_TRUE(split.ClosedWithin(3000));
  EXPECT_TRUE(Serving(small));
}

TEST(TcpServer, UnencodableRepliesAreNeverSentTruncated) {
  Server s;
  CLIENT* c = Tcp(s);
  ASSERT_NE(c, nullptr);
  // Fits the buffer: replaced by a system error, the connection goes on.
  EXPECT_EQ(
      VYRRPC_clnt_call(c, TP_BAD_SMALL, XP(VYRRPC_xdr_void), nullptr, XP(VYRRPC_xdr_void), nullptr, kTimeout),
      RPC_SYSTEMERROR);
  int out = 0;
  EXPECT_EQ(EchoInt(c, 3, &out), RPC_SUCCESS);
  // Part of it already went out: the connection is dropped instead.
  EXPECT_EQ(
      VYRRPC_clnt_call(c, TP_BAD_LARGE, XP(VYRRPC_xdr_void), nullptr, XP(VYRRPC_xdr_void), nullptr, kTimeout),
      RPC_CANTRECV);
  VYRRPC_clnt_destroy(c);
  EXPECT_TRUE(Serving(s));
}

TEST(TcpServer, DescriptorsAbove1024AreServed) {
  Server s({"--high-fds"});
  ASSERT_GT(s.port(), 0);
  EXPECT_TRUE(Serving(s));
  CLIENT* u = Udp(s);
  ASSERT_NE(u, nullptr);
  int out = 0;
  EXPECT_EQ(EchoInt(u, 9, &out), RPC_SUCCESS);
  EXPECT_EQ(out, 9);
  VYRRPC_clnt_destroy(u);
}

TEST(TcpServer, ThreadPerConnection) {
  Server s({"--threaded", "--wait-ms", "3000"});
  Conn silent(s.port());
  Bytes rec = Record(CallMsg(1, TESTPROG, TESTVERS, TP_ECHO_INT, IntArg(1)));
  ASSERT_TRUE(silent.Send(Bytes(rec.begin(), rec.begin() + 6)));
  usleep(100000);
  auto start = Clock::now();
  EXPECT_TRUE(Serving(s));  // not held up by the silent connection
  EXPECT_LT(MsSince(start), 1500);
}

// --- TLS ---

SSL_CTX* ClientCtx() { return static_cast<SSL_CTX*>(VYRRPC_new_ssl_ctx(0, nullptr)); }

TEST(TlsServer, SwitchThenCallsOverTls) {
  Server s({"--tls-key", kKey});
  CLIENT* c = Tcp(s);
  ASSERT_NE(c, nullptr);
  int ok = 0;
  ASSERT_EQ(VYRRPC_clnt_call(c, TP_START_TLS, XP(VYRRPC_xdr_void), nullptr, XP(VYRRPC_xdr_bool),
                             reinterpret_cast<char*>(&ok), kTimeout),
            RPC_SUCCESS);
  ASSERT_TRUE(ok);
  SSL_CTX* ctx = ClientCtx();
  ASSERT_TRUE(VYRRPC_clnt_control(c, CLSET_START_TLS, reinterpret_cast<char*>(ctx)));
  SSL* ssl = nullptr;
  VYRRPC_clnt_control(c, CLGET_SSL, reinterpret_cast<char*>(&ssl));
  ASSERT_NE(ssl, nullptr);
  int out = 0;
  EXPECT_EQ(EchoInt(c, 42, &out), RPC_SUCCESS);
  EXPECT_EQ(out, 42);
  unsigned int n = 1u << 20;
  Blob big{nullptr, 0};
  ASSERT_EQ(VYRRPC_clnt_call(c, TP_BIG, XP(VYRRPC_xdr_u_int), reinterpret_cast<char*>(&n), XP(xdr_blob),
                             reinterpret_cast<char*>(&big), kTimeout),
            RPC_SUCCESS);
  ASSERT_EQ(big.len, n);
  EXPECT_EQ(static_cast<unsigned char>(big.data[1000]), static_cast<unsigned char>(1000 * 31));
  VYRRPC_clnt_freeres(c, XP(xdr_blob), reinterpret_cast<char*>(&big));
  // A second switch on the same connection is refused.
  ok = 1;
  ASSERT_EQ(VYRRPC_clnt_call(c, TP_START_TLS, XP(VYRRPC_xdr_void), nullptr, XP(VYRRPC_xdr_bool),
                             reinterpret_cast<char*>(&ok), kTimeout),
            RPC_SUCCESS);
  EXPECT_FALSE(ok);
  // And the client refuses to start TLS twice.
  EXPECT_FALSE(VYRRPC_clnt_control(c, CLSET_START_TLS, reinterpret_cast<char*>(ctx)));
  VYRRPC_clnt_destroy(c);
  VYRRPC_free_ssl_ctx(ctx);
}

// The reply that grants TLS comes in clear; then pipelined calls inside TLS
// are all served although TLS already took them off the socket.
TEST(TlsServer, ClearReplyThenPipelinedCallsInsideTls) {
  Server s({"--tls-key", kKey});
  Conn raw(s.port());
  ASSERT_TRUE(raw.Send(Record(CallMsg(1, TESTPROG, TESTVERS, TP_START_TLS))));
  Bytes r;
  ASSERT_TRUE(raw.ReadRecord(&r));
  ASSERT_EQ(Parse(r).a, 1u);
  SSL_CTX* ctx = ClientCtx();
  SSL* ssl = SSL_new(ctx);
  SSL_set_fd(ssl, raw.fd());
  ASSERT_EQ(SSL_connect(ssl), 1);
  // Eight calls in one TLS record, more than the server's input buffer holds.
  Bytes calls;
  for (uint32_t xid = 2; xid < 10; xid++) {
    Bytes arg;
    Unit(arg, 1500);
    arg.insert(arg.end(), 1500, static_cast<unsigned char>(xid));
    Bytes one = Record(CallMsg(xid, TESTPROG, TESTVERS, TP_ECHO_BYTES, arg));
    calls.insert(calls.end(), one.begin(), one.end());
  }
  ASSERT_EQ(SSL_write(ssl, calls.data(), static_cast<int>(calls.size())), static_cast<int>(calls.size()));
  Bytes got;
  auto start = Clock::now();
  const size_t each = 4 + 24 + 4 + 1500;
  while (got.size() < 8 * each && MsSince(start) < 5000) {
    unsigned char buf[4096];
    pollfd p{raw.fd(), POLLIN, 0};
    if (SSL_pending(ssl) == 0 && poll(&p, 1, 200) != 1) continue;
    int n = SSL_read(ssl, buf, sizeof buf);
    if (n <= 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  ASSERT_EQ(got.size(), 8 * each);
  for (uint32_t i = 0; i < 8; i++) {
    EXPECT_EQ(GetUnit(got, i * each + 4), i + 2);
    EXPECT_EQ(got[i * each + each - 1], i + 2);
  }
  SSL_free(ssl);
  SSL_CTX_free(ctx);
}

TEST(TlsServer, HandshakeFailureAndStall) {
  Server s({"--tls-key", kKey, "--wait-ms", "3000"});
  {
    Conn bad(s.port());
    ASSERT_TRUE(bad.Send(Record(CallMsg(1, TESTPROG, TESTVERS, TP_START_TLS))));
    Bytes r;
    ASSERT_TRUE(bad.ReadRecord(&r));
    ASSERT_TRUE(bad.Send(Bytes(64, 'G')));  // not a TLS handshake
    EXPECT_TRUE(bad.ClosedWithin(6000));
  }
  EXPECT_TRUE(Serving(s));
  Conn stall(s.port());
  ASSERT_TRUE(stall.Send(Record(CallMsg(1, TESTPROG, TESTVERS, TP_START_TLS))));
  Bytes r;
  ASSERT_TRUE(stall.ReadRecord(&r));
  auto start = Clock::now();
  EXPECT_TRUE(Serving(s));  // not held up by the stalled handshake
  EXPECT_LT(MsSince(start), 1500);
  EXPECT_TRUE(stall.ClosedWithin(6000));
}

// A listener with a context: TLS from the first byte; a client that never
// starts its handshake holds nobody up and is dropped at its deadline.
TEST(TlsServer, TlsAtAccept) {
  Server s({"--tls-key", kKey, "--tls-accept", "--wait-ms", "3000"});
  Conn stall(s.port());
  usleep(100000);
  SSL_CTX* ctx = ClientCtx();
  ASSERT_NE(ctx, nullptr);
  sockaddr_in a = s.addr();
  int sock = -1;
  auto start = Clock::now();
  CLIENT* c = VYRRPC_clntssl_create(ctx, &a, TESTPROG, TESTVERS, &sock, 0, 0);
  ASSERT_NE(c, nullptr);
  int out = 0;
  EXPECT_EQ(EchoInt(c, 5, &out), RPC_SUCCESS);
  EXPECT_EQ(out, 5);
  EXPECT_LT(MsSince(start), 1500);
  VYRRPC_clnt_destroy(c);
  SSL_CTX_free(ctx);
  EXPECT_TRUE(stall.ClosedWithin(6000));
}

TEST(TlsServer, NoKeyFileNoSwitch) {
  Server s({"--tls-key", std::string(TLS_DIR) + "/server_nodh.pem"});
  CLIENT* c = Tcp(s);
  ASSERT_NE(c, nullptr);
  int ok = 1;
  ASSERT_EQ(VYRRPC_clnt_call(c, TP_START_TLS, XP(VYRRPC_xdr_void), nullptr, XP(VYRRPC_xdr_bool),
                             reinterpret_cast<char*>(&ok), kTimeout),
            RPC_SUCCESS);
  EXPECT_FALSE(ok);
  int out = 0;
  EXPECT_EQ(EchoInt(c, 1, &out), RPC_SUCCESS);  // still plain
  VYRRPC_clnt_destroy(c);
}

// --- UDP ---

TEST(UdpServer, CallsAndDroppedDatagrams) {
  Server s;
  CLIENT* c = Udp(s);
  ASSERT_NE(c, nullptr);
  int out = 0;
  EXPECT_EQ(EchoInt(c, 17, &out), RPC_SUCCESS);
  EXPECT_EQ(out, 17);
  int capable = 1;
  EXPECT_EQ(VYRRPC_clnt_call(c, TP_TLS_CAPABLE, XP(VYRRPC_xdr_void), nullptr, XP(VYRRPC_xdr_int),
                             reinterpret_cast<char*>(&capable), kTimeout),
            RPC_SUCCESS);
  EXPECT_EQ(capable, 0);
  int ok = 1;
  EXPECT_EQ(VYRRPC_clnt_call(c, TP_START_TLS, XP(VYRRPC_xdr_void), nullptr, XP(VYRRPC_xdr_bool),
                             reinterpret_cast<char*>(&ok), kTimeout),
            RPC_SUCCESS);
  EXPECT_FALSE(ok);
  // A reply too large for the datagram buffer is answered with a system error.
  unsigned int n = 9000;
  Blob big{nullptr, 0};
  EXPECT_EQ(VYRRPC_clnt_call(c, TP_BIG, XP(VYRRPC_xdr_u_int), reinterpret_cast<char*>(&n), XP(xdr_blob),
                             reinterpret_cast<char*>(&big), kTimeout),
            RPC_SYSTEMERROR);
  VYRRPC_clnt_destroy(c);
  CLIENT* other = Udp(s, TESTPROG, 3);
  EXPECT_EQ(EchoInt(other, 1, &out), RPC_PROGVERSMISMATCH);
  VYRRPC_clnt_destroy(other);

  Dgram d(s.port());
  Bytes good = CallMsg(5, TESTPROG, TESTVERS, TP_ECHO_INT, IntArg(5));
  struct Case {
    const char* name;
    Bytes datagram;
  } ignored[] = {
      {"15 bytes", Bytes(good.begin(), good.begin() + 15)},
      {"16 bytes, not a call", Bytes(16, 0xEE)},
      {"rpc version 3", CallMsg(6, TESTPROG, TESTVERS, 0, {}, 0, {}, 3)},
  };
  for (auto& c2 : ignored) {
    d.Send(c2.datagram);
    Bytes r;
    EXPECT_FALSE(d.Recv(&r, 300)) << c2.name;
  }
  // A call cut short decodes nothing left over from an earlier datagram.
  d.Send(good);
  Bytes r;
  ASSERT_TRUE(d.Recv(&r, 2000));
  EXPECT_EQ(Parse(r).a, 5u);
  d.Send(Bytes(good.begin(), good.end() - 4));
  ASSERT_TRUE(d.Recv(&r, 2000));
  EXPECT_EQ(Parse(r).stat, static_cast<uint32_t>(GARBAGE_ARGS));
}

TEST(UdpServer, ReplyCache) {
  Server s({"--cache", "2"});
  Dgram d(s.port());
  auto count = [&](uint32_t xid) {
    d.Send(CallMsg(xid, TESTPROG, TESTVERS, TP_COUNT));
    Bytes r;
    EXPECT_TRUE(d.Recv(&r, 2000));
    return r.size() >= 28 ? Parse(r).a : 0u;
  };
  EXPECT_EQ(count(100), 1u);
  EXPECT_EQ(count(100), 1u);  // retransmission: the stored reply, not run again
  EXPECT_EQ(count(101), 2u);
  EXPECT_EQ(count(102), 3u);  // evicts the reply to 100
  EXPECT_EQ(count(101), 2u);
  EXPECT_EQ(count(100), 4u);
}

// --- clients ---

TEST(Client, TimeoutsBelowOneSecondAreHonoured) {
  sockaddr_in a;
  int l = LoopbackSocket(SOCK_STREAM, &a);
  ASSERT_GE(l, 0);
  CLIENT* c = TcpAt(a);
  ASSERT_NE(c, nullptr);
  int out;
  auto start = Clock::now();
  int in = 1;
  EXPECT_EQ(EchoInt(c, in, &out, timeval{0, 300000}), RPC_TIMEDOUT);
  long ms = MsSince(start);
  EXPECT_GE(ms, 250);
  EXPECT_LT(ms, 2000);  // not the whole seconds a coarser clock would wait
  VYRRPC_clnt_destroy(c);

  // UDP: resent every interval until the total time is spent.
  sockaddr_in ua;
  int u = LoopbackSocket(SOCK_DGRAM, &ua);
  ASSERT_GE(u, 0);
  CLIENT* uc = UdpAt(ua, timeval{0, 100000});
  ASSERT_NE(uc, nullptr);
  start = Clock::now();
  EXPECT_EQ(EchoInt(uc, in, &out, timeval{0, 450000}), RPC_TIMEDOUT);
  ms = MsSince(start);
  EXPECT_GE(ms, 400);
  EXPECT_LT(ms, 2000);
  int sent = 0;
  char buf[2000];
  while (recv(u, buf, sizeof buf, MSG_DONTWAIT) > 0) sent++;
  EXPECT_GE(sent, 2);  // resent every 100 ms
  EXPECT_LE(sent, 6);
  VYRRPC_clnt_destroy(uc);
  close(u);
  close(l);
}

// Each TCP call's xid starts one lower in its first byte, each UDP call's one
// higher (host-order arithmetic on the first word or half-word).
TEST(Client, XidsStepByOne) {
  sockaddr_in a;
  int l = LoopbackSocket(SOCK_STREAM, &a);
  ASSERT_GE(l, 0);
  CLIENT* c = TcpAt(a);
  ASSERT_NE(c, nullptr);
  int peer = accept(l, nullptr, nullptr);
  int in = 1, out;
  for (int i = 0; i < 2; i++) EchoInt(c, in, &out, timeval{0, 50000});
  unsigned char buf[2 * (4 + 44)];
  ssize_t n = recv(peer, buf, sizeof buf, MSG_WAITALL);
  ASSERT_EQ(n, static_cast<ssize_t>(sizeof buf));
  uint16_t first = buf[4] | (buf[5] << 8), second = buf[52] | (buf[53] << 8);
  EXPECT_EQ(static_cast<uint16_t>(first - 1), second);
  VYRRPC_clnt_destroy(c);
  close(peer);
  close(l);

  sockaddr_in ua;
  int u = LoopbackSocket(SOCK_DGRAM, &ua);
  ASSERT_GE(u, 0);
  CLIENT* uc = UdpAt(ua);
  ASSERT_NE(uc, nullptr);
  unsigned char d1[200], d2[200];
  for (unsigned char* d : {d1, d2}) {
    EchoInt(uc, in, &out, timeval{0, 50000});
    ASSERT_GT(recv(u, d, 200, 0), 4);
  }
  EXPECT_EQ(static_cast<uint16_t>((d1[0] | (d1[1] << 8)) + 1), static_cast<uint16_t>(d2[0] | (d2[1] << 8)));
  VYRRPC_clnt_destroy(uc);
  close(u);
}

TEST(Client, FailedTlsHandshakeGivesNoHandleAndPrintsNothing) {
  sockaddr_in a;
  int l = LoopbackSocket(SOCK_STREAM, &a);
  ASSERT_GE(l, 0);
  std::thread closer([l] {
    int c = accept(l, nullptr, nullptr);
    char junk[16] = "not tls at all!";
    send(c, junk, sizeof junk, MSG_NOSIGNAL);
    close(c);
  });
  SSL_CTX* ctx = ClientCtx();
  testing::internal::CaptureStdout();
  int sock = -1;
  CLIENT* c = VYRRPC_clntssl_create(ctx, &a, TESTPROG, TESTVERS, &sock, 0, 0);
  std::string printed = testing::internal::GetCapturedStdout();
  closer.join();
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(VYRRPC__rpc_createerr.cf_stat, RPC_AUTHERROR);
  EXPECT_EQ(printed, "");
  VYRRPC_free_ssl_ctx(ctx);
  close(l);
}

TEST(Client, ConnectWithoutPortFails) {
  EXPECT_EQ(TcpAt(Loopback()), nullptr);
  EXPECT_EQ(VYRRPC__rpc_createerr.cf_stat, RPC_SYSTEMERROR);
}

}  // namespace
