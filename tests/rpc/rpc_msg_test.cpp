// Call and reply headers, the credential check and the reply-to-outcome table.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "rpc/clnt.h"
#include "rpc/svc.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Unit(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>(v >> s));
}

Bytes Encode(int (*fn)(XDR*, rpc_msg*), rpc_msg* m) {
  std::vector<char> buf(2048);
  XDR x;
  VYRRPC_xdrmem_create(&x, buf.data(), buf.size(), XDR_ENCODE);
  EXPECT_TRUE(fn(&x, m));
  return Bytes(buf.begin(), buf.begin() + VYRRPC_xdr_getpos(&x));
}

// A call header decoded as the server does it: the credential and verifier
// bodies go to buffers of 400 bytes.
struct DecodedCall {
  rpc_msg msg{};
  char cred[400], verf[400];
  bool ok = false;
  // withInline false: the stream offers no inline access, so every field is read
  // unit by unit.
  explicit DecodedCall(const Bytes& b, bool withInline = true) {
    std::vector<char> in(b.begin(), b.end());
    XDR x;
    VYRRPC_xdrmem_create(&x, in.data(), in.size(), XDR_DECODE);
    static xdr_ops plain;
    if (!withInline) {
      plain = *x.x_ops;
      plain.x_inline = [](XDR*, unsigned int) -> char* { return nullptr; };
      x.x_ops = &plain;
    }
    msg.rm_call.cb_cred.oa_base = cred;
    msg.rm_call.cb_verf.oa_base = verf;
    ok = VYRRPC_xdr_callmsg(&x, &msg);
  }
  DecodedCall(const DecodedCall&) = delete;
  DecodedCall& operator=(const DecodedCall&) = delete;
};

TEST(RpcMsg, CallHeaderGoldenBytes) {
  char cred[5] = {'a', 'b', 'c', 'd', 'e'};
  rpc_msg m{};
  m.rm_xid = 0x11223344;
  m.rm_direction = CALL;
  m.rm_call.cb_rpcvers = 2;
  m.rm_call.cb_prog = 300272;
  m.rm_call.cb_vers = 2;
  m.rm_call.cb_proc = 7;
  m.rm_call.cb_cred = {1, cred, 5};
  m.rm_call.cb_verf = VYRRPC__null_auth;
  Bytes want;
  for (uint32_t v : {0x11223344u, 0u, 2u, 300272u, 2u, 7u, 1u, 5u}) Unit(want, v);
  want.insert(want.end(), {'a', 'b', 'c', 'd', 'e', 0, 0, 0});
  for (uint32_t v : {0u, 0u}) Unit(want, v);
  EXPECT_EQ(Encode(VYRRPC_xdr_callmsg, &m), want);

  // The same bytes decode back, through the inline path and unit by unit.
  for (bool withInline : {true, false}) {
    DecodedCall d(want, withInline);
    ASSERT_TRUE(d.ok) << withInline;
    EXPECT_EQ(d.msg.rm_xid, 0x11223344u);
    EXPECT_EQ(d.msg.rm_call.cb_proc, 7u);
    EXPECT_EQ(d.msg.rm_call.cb_cred.oa_length, 5u);
    EXPECT_EQ(memcmp(d.cred, "abcde", 5), 0);
  }

  // The client's prefix: xid, direction, RPC version, program, version.
  std::vector<char> buf(64);
  XDR x;
  VYRRPC_xdrmem_create(&x, buf.data(), buf.size(), XDR_ENCODE);
  rpc_msg h{};
  h.rm_xid = 9;
  h.rm_call.cb_prog = 5;
  h.rm_call.cb_vers = 6;
  ASSERT_TRUE(VYRRPC_xdr_callhdr(&x, &h));
  EXPECT_EQ(VYRRPC_xdr_getpos(&x), 20u);
  EXPECT_EQ(h.rm_call.cb_rpcvers, 2u);
}

// Headers that do not decode: the transport drops them without a reply.
TEST(RpcMsg, UndecodableCallHeaders) {
  struct Case {
    const char* name;
    uint32_t dir, vers, credlen;
    bool ok;
  } cases[] = {
      {"good", 0, 2, 400, true},
      {"reply direction", 1, 2, 0, false},
      {"rpc version 3", 0, 3, 0, false},
      {"credential of 401 bytes", 0, 2, 401, false},
  };
  for (const auto& c : cases) {
    Bytes b;
    for (uint32_t v : {1u, c.dir, c.vers, 1u, 1u, 0u, 0u, c.credlen}) Unit(b, v);
    b.insert(b.end(), (c.credlen + 3) & ~3u, 'x');
    Unit(b, 0);
    Unit(b, 0);
    EXPECT_EQ(DecodedCall(b).ok, c.ok) << c.name;
  }
  // Truncated.
  Bytes b;
  for (uint32_t v : {1u, 0u, 2u, 1u}) Unit(b, v);
  EXPECT_FALSE(DecodedCall(b).ok);
}

TEST(RpcMsg, ReplyGoldenBytes) {
  int result = 42;
  struct Case {
    const char* name;
    rpc_msg msg;
    Bytes want;
  };
  auto accepted = [](accept_stat st) {
    rpc_msg m{};
    m.rm_xid = 5;
    m.rm_direction = REPLY;
    m.rm_reply.rp_stat = MSG_ACCEPTED;
    m.acpted_rply.ar_verf = VYRRPC__null_auth;
    m.acpted_rply.ar_stat = st;
    return m;
  };
  rpc_msg ok = accepted(SUCCESS);
  ok.acpted_rply.ar_results.where = reinterpret_cast<char*>(&result);
  ok.acpted_rply.ar_results.proc = reinterpret_cast<xdrproc_t>(VYRRPC_xdr_int);
  rpc_msg mism = accepted(PROG_MISMATCH);
  mism.acpted_rply.ar_vers.low = 2;
  mism.acpted_rply.ar_vers.high = 2;
  rpc_msg denied{};
  denied.rm_xid = 5;
  denied.rm_direction = REPLY;
  denied.rm_reply.rp_stat = MSG_DENIED;
  denied.rjcted_rply.rj_stat = AUTH_ERROR;
  denied.rjcted_rply.rj_why = AUTH_BADCRED;
  auto units = [](std::initializer_list<uint32_t> l) {
    Bytes b;
    for (uint32_t v : l) Unit(b, v);
    return b;
  };
  std::vector<Case> cases = {
      {"success", ok, units({5, 1, 0, 0, 0, 0, 42})},
      {"prog unavail", accepted(PROG_UNAVAIL), units({5, 1, 0, 0, 0, 1})},
      {"prog mismatch", mism, units({5, 1, 0, 0, 0, 2, 2, 2})},
      {"garbage args", accepted(GARBAGE_ARGS), units({5, 1, 0, 0, 0, 4})},
      {"auth error", denied, units({5, 1, 1, 1, 1})},
  };
  for (auto& c : cases) EXPECT_EQ(Encode(VYRRPC_xdr_replymsg, &c.msg), c.want) << c.name;
}

TEST(RpcMsg, ReplyToOutcome) {
  struct Case {
    int rp_stat, stat;
    clnt_stat want;
  } cases[] = {
      {MSG_ACCEPTED, SUCCESS, RPC_SUCCESS},
      {MSG_ACCEPTED, PROG_UNAVAIL, RPC_PROGUNAVAIL},
      {MSG_ACCEPTED, PROG_MISMATCH, RPC_PROGVERSMISMATCH},
      {MSG_ACCEPTED, PROC_UNAVAIL, RPC_PROCUNAVAIL},
      {MSG_ACCEPTED, GARBAGE_ARGS, RPC_CANTDECODEARGS},
      {MSG_ACCEPTED, SYSTEM_ERR, RPC_SYSTEMERROR},
      {MSG_ACCEPTED, 9, RPC_FAILED},
      {MSG_DENIED, RPC_MISMATCH, RPC_VERSMISMATCH},
      {MSG_DENIED, AUTH_ERROR, RPC_AUTHERROR},
      {MSG_DENIED, 7, RPC_FAILED},
      {3, 0, RPC_FAILED},
  };
  for (const auto& c : cases) {
    rpc_msg m{};
    m.rm_reply.rp_stat = c.rp_stat;
    if (c.rp_stat == MSG_ACCEPTED) {
      m.acpted_rply.ar_stat = c.stat;
      m.acpted_rply.ar_vers.low = 2;
      m.acpted_rply.ar_vers.high = 4;
    } else {
      m.rjcted_rply.rj_stat = c.stat;
      if (c.stat == AUTH_ERROR)
        m.rjcted_rply.rj_why = AUTH_TOOWEAK;
      else
        m.rjcted_rply.rj_vers = {2, 4};
    }
    rpc_err e{};
    VYRRPC__seterr_reply(&m, &e);
    EXPECT_EQ(e.re_status, c.want) << c.rp_stat << "/" << c.stat;
    if (c.want == RPC_PROGVERSMISMATCH || c.want == RPC_VERSMISMATCH) {
      EXPECT_EQ(e.re_vers.low, 2u);
      EXPECT_EQ(e.re_vers.high, 4u);
    }
    if (c.want == RPC_AUTHERROR) {
      EXPECT_EQ(e.re_why, AUTH_TOOWEAK);
    }
  }
}

// The credential table: each length is checked before the bytes it counts.
TEST(Auth, CredentialTable) {
  auto unix_body = [](uint32_t namelen, size_t name_bytes, uint32_t ngids, size_t gid_units) {
    Bytes b;
    Unit(b, 12345);
    Unit(b, namelen);
    b.insert(b.end(), (name_bytes + 3) & ~size_t(3), 'h');
    Unit(b, 1000);
    Unit(b, 100);
    Unit(b, ngids);
    for (size_t i = 0; i < gid_units; i++) Unit(b, static_cast<uint32_t>(i));
    return b;
  };
  struct Case {
    const char* name;
    int flavor;
    Bytes body;
    auth_stat want;
  };
  std::vector<Case> cases = {
      {"none, 400 bytes", 0, Bytes(400, 1), AUTH_OK},
      {"unix, 255-byte name, 16 groups", 1, unix_body(255, 255, 16, 16), AUTH_OK},
      {"unix, 256-byte name", 1, unix_body(256, 256, 0, 0), AUTH_BADCRED},
      {"unix, 17 groups", 1, unix_body(4, 4, 17, 17), AUTH_BADCRED},
      {"unix, name length 2^31", 1, unix_body(0x80000000u, 4, 0, 0), AUTH_BADCRED},
      {"unix, name longer than the body", 1, unix_body(200, 8, 0, 0), AUTH_BADCRED},
      {"unix, groups past the body", 1, unix_body(4, 4, 3, 1), AUTH_BADCRED},
      {"unix, empty body", 1, Bytes(), AUTH_BADCRED},
      {"short", 2, Bytes(8, 0), AUTH_REJECTEDCRED},
      {"flavour 3", 3, Bytes(), AUTH_REJECTEDCRED},
      {"flavour -1", -1, Bytes(), AUTH_REJECTEDCRED},
  };
  for (auto& c : cases) {
    // The body sits at the end of a heap block, so any over-read is caught.
    std::vector<char> body(c.body.begin(), c.body.end());
    SVCXPRT xprt{};
    char verf[400];
    xprt.xp_verf = {7, verf, 9};
    alignas(8) char area_buf[400];
    svc_req r{};
    r.rq_xprt = &xprt;
    r.rq_clntcred = area_buf;
    rpc_msg m{};
    m.rm_call.cb_cred = {c.flavor, body.empty() ? nullptr : body.data(),
                         static_cast<unsigned int>(body.size())};
    EXPECT_EQ(VYRRPC__authenticate(&r, &m), c.want) << c.name;
    EXPECT_EQ(xprt.xp_verf.oa_flavor, 0) << c.name;
    EXPECT_EQ(xprt.xp_verf.oa_length, 0u) << c.name;
    if (c.want == AUTH_OK && c.flavor == 1) {
      const area* a = reinterpret_cast<const area*>(area_buf);
      EXPECT_EQ(strlen(a->area_aup.aup_machname), 255u);
      EXPECT_EQ(a->area_aup.aup_uid, 1000u);
      EXPECT_EQ(a->area_aup.aup_len, 16u);
      EXPECT_EQ(a->area_aup.aup_gids[15], 15u);
    }
  }
}

TEST(Auth, UnixParmsFilterRoundTrip) {
  char name[] = "host";
  gid_t gids[2] = {5, 6};
  authunix_parms p{77, name, 1, 2, 2, gids};
  std::vector<char> buf(256);
  XDR x;
  VYRRPC_xdrmem_create(&x, buf.data(), buf.size(), XDR_ENCODE);
  ASSERT_TRUE(VYRRPC_xdr_authunix_parms(&x, &p));
  EXPECT_EQ(VYRRPC_xdr_getpos(&x), 4u + 8 + 4 + 4 + 4 + 8);
  XDR y;
  VYRRPC_xdrmem_create(&y, buf.data(), VYRRPC_xdr_getpos(&x), XDR_DECODE);
  authunix_parms d{};
  ASSERT_TRUE(VYRRPC_xdr_authunix_parms(&y, &d));
  EXPECT_STREQ(d.aup_machname, "host");
  EXPECT_EQ(d.aup_gids[1], 6u);
  VYRRPC_xdr_free(reinterpret_cast<xdrproc_t>(VYRRPC_xdr_authunix_parms), reinterpret_cast<char*>(&d));
  EXPECT_EQ(d.aup_machname, nullptr);
}

TEST(BindResvPort, ReservedRangeAndFamilies) {
  sockaddr_in6 six{};
  six.sin6_family = AF_INET6;
  int s = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(s, 0);
  EXPECT_EQ(VYRRPC_bindresvport(s, reinterpret_cast<sockaddr_in*>(&six)), -1);
  EXPECT_EQ(errno, EPFNOSUPPORT);
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (geteuid() == 0) {
    ASSERT_EQ(VYRRPC_bindresvport(s, &sin), 0);
    EXPECT_GE(ntohs(sin.sin_port), 600);
    EXPECT_LT(ntohs(sin.sin_port), 1024);
  }
  close(s);
  EXPECT_EQ(VYRRPC__rpc_dtablesize(), getdtablesize());
}

TEST(AuthNone, MarshalsSixteenBytes) {
  AUTH* a = VYRRPC_authnone_create();
  EXPECT_EQ(a, VYRRPC_authnone_create());
  std::vector<char> buf(32, 'z');
  XDR x;
  VYRRPC_xdrmem_create(&x, buf.data(), buf.size(), XDR_ENCODE);
  ASSERT_TRUE(a->ah_ops->ah_marshal(a, &x));
  EXPECT_EQ(VYRRPC_xdr_getpos(&x), 16u);
  EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 16), Bytes(16, 0));
  EXPECT_FALSE(a->ah_ops->ah_refresh(a));
}

TEST(PortMapper, Encodings) {
  pmaplist second{{3, 4, 17, 111}, nullptr};
  pmaplist first{{1, 2, 6, 2049}, &second};
  pmaplist* head = &first;
  std::vector<char> buf(256);
  XDR x;
  VYRRPC_xdrmem_create(&x, buf.data(), buf.size(), XDR_ENCODE);
  ASSERT_TRUE(VYRRPC_xdr_pmaplist(&x, &head));
  Bytes want;
  for (uint32_t v : {1u, 1u, 2u, 6u, 2049u, 1u, 3u, 4u, 17u, 111u, 0u}) Unit(want, v);
  EXPECT_EQ(Bytes(buf.begin(), buf.begin() + VYRRPC_xdr_getpos(&x)), want);
  XDR y;
  VYRRPC_xdrmem_create(&y, buf.data(), VYRRPC_xdr_getpos(&x), XDR_DECODE);
  pmaplist* out = nullptr;
  ASSERT_TRUE(VYRRPC_xdr_pmaplist(&y, &out));
  ASSERT_NE(out, nullptr);
  ASSERT_NE(out->pml_next, nullptr);
  EXPECT_EQ(out->pml_next->pml_map.pm_port, 111u);
  VYRRPC_xdr_free(reinterpret_cast<xdrproc_t>(VYRRPC_xdr_pmaplist), reinterpret_cast<char*>(&out));
  EXPECT_EQ(out, nullptr);

  // Call-it arguments carry the real length of the arguments.
  int arg = 9;
  rmtcallargs a{100, 1, 3, 0, reinterpret_cast<char*>(&arg), reinterpret_cast<xdrproc_t>(VYRRPC_xdr_int)};
  VYRRPC_xdrmem_create(&x, buf.data(), buf.size(), XDR_ENCODE);
  ASSERT_TRUE(VYRRPC_xdr_rmtcall_args(&x, &a));
  Bytes want2;
  for (uint32_t v : {100u, 1u, 3u, 4u, 9u}) Unit(want2, v);
  EXPECT_EQ(Bytes(buf.begin(), buf.begin() + VYRRPC_xdr_getpos(&x)), want2);
}

}  // namespace
