// The dispatcher over a real TCP connection (and UDP datagrams): a test server with
// its own service table runs under the launcher; the wire client calls it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "fixtures/wire_server/wire_test_server.h"
#include "wire/client.h"
#include "wire/dispatcher.h"
#include "wire_test_util.h"

namespace {

using test_support::WireTestServer;

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(server_.port(), 0);
    std::string err;
    // The server may still be starting: retry the connection a bounded number of times.
    for (int i = 0; i < 50 && !c_; ++i) {
      c_ = wire_client_create("127.0.0.1", server_.port(), false, 10, &err);
      if (!c_) usleep(100000);
    }
    ASSERT_NE(c_, nullptr) << err;
  }
  void TearDown() override {
    wire_client_destroy(c_);
    EXPECT_EQ(server_.stop(), 0) << "the server leaked or crashed";
  }
  WireTestServer server_;
  WireClient* c_ = nullptr;
};

// Sends a prepare whose SQL text is cut short: the length says 8, 4 bytes follow.
int short_prepare(XDR* x, void*) {
  uint32_t h = 0xCCCC0000, len = 8;
  char text[4] = {'s', 'e', 'l', 0};
  return VYRRPC_xdr_u_int(x, &h) && VYRRPC_xdr_u_int(x, &len) && VYRRPC_xdr_opaque(x, text, 4);
}

// An execute2 whose string and dataset decode, then the descriptor array is cut:
// the server must release what it decoded.
int short_execute2(XDR* x, void*) {
  uint32_t u[] = {0xCCCC0000, 7};
  bool ok = VYRRPC_xdr_u_int(x, &u[0]) && VYRRPC_xdr_u_int(x, &u[1]);
  char text[8] = "select ";
  ok = ok && VYRRPC_xdr_opaque(x, text, 6);
  uint32_t ds[] = {1, 1, 1, 15, 16, 0, 3};
  for (uint32_t v : ds) ok = ok && VYRRPC_xdr_u_int(x, &v);
  char abc[4] = {'a', 'b', 'c', 0};
  ok = ok && VYRRPC_xdr_opaque(x, abc, 3);
  uint32_t count = 5;
  return ok && VYRRPC_xdr_u_int(x, &count);
}

}  // namespace

TEST_F(DispatcherTest, UnavailableProcedures) {
  for (unsigned proc : {0u, 54u, 67u, 1000u}) {
    EXPECT_EQ(wire_client_call(c_, proc, reinterpret_cast<xdrproc_t>(VYRRPC_xdr_void), nullptr,
                               reinterpret_cast<xdrproc_t>(VYRRPC_xdr_void), nullptr),
              RPC_PROCUNAVAIL)
        << proc;
  }
  // A procedure the service table does not serve is unavailable too.
  handle_t h = 1;
  coldescres r{};
  EXPECT_EQ(dbsvc_describeparams(c_, &h, &r), RPC_PROCUNAVAIL);
}

TEST_F(DispatcherTest, GarbageArguments) {
  errcode_t e = ER_SUCCESS;
  EXPECT_EQ(wire_client_call(c_, 12, reinterpret_cast<xdrproc_t>(short_prepare), nullptr,
                             reinterpret_cast<xdrproc_t>(VYRXDR_errcode_t), &e),
            RPC_CANTDECODEARGS);
  EXPECT_EQ(wire_client_call(c_, 44, reinterpret_cast<xdrproc_t>(short_execute2), nullptr,
                             reinterpret_cast<xdrproc_t>(VYRXDR_errcode_t), &e),
            RPC_CANTDECODEARGS);
  // The connection stays usable.
  call_prepare p{0xCCCC0000, const_cast<char*>("select 1")};
  ASSERT_EQ(dbsvc_prepare(c_, &p, &e), RPC_SUCCESS);
  EXPECT_EQ(e, ER_SUCCESS);
}

TEST_F(DispatcherTest, SessionConnectQueryFetch) {
  Server srv{};
  handleres h{};
  ASSERT_EQ(dbsvc_server(c_, &srv, &h), RPC_SUCCESS);
  EXPECT_EQ(h.handle, 0xAAAA0000u);
  call_getdrvparameter gp{h.handle, 0x11010000};
  getdrvparameterres gr{};
  ASSERT_EQ(dbsvc_getdrvparameter(c_, &gp, &gr), RPC_SUCCESS);
  EXPECT_STREQ(gr.value.paramval_u.s, "odbc");
  dbsvc_getdrvparameter_free(&gr);

  Connect bad{};
  bad.dbPath = const_cast<char*>("nope");
  call_connect cc{h.handle, &bad};
  connectres cr{};
  ASSERT_EQ(dbsvc_connect(c_, &cc, &cr), RPC_SUCCESS);
  EXPECT_EQ(cr.error, ER_CONN_REJECTED_DS);
  EXPECT_NE(std::string(cr.fail).find('\n'), std::string::npos);
  dbsvc_connect_free(&cr);
  Connect good{};
  good.dbPath = const_cast<char*>("good");
  cc.arg = &good;
  ASSERT_EQ(dbsvc_connect(c_, &cc, &cr), RPC_SUCCESS);
  EXPECT_EQ(cr.error, ER_SUCCESS);
  EXPECT_EQ(cr.fail, nullptr);

  handleres cur{};
  ASSERT_EQ(dbsvc_cursor(c_, &cr.handle, &cur), RPC_SUCCESS);
  call_prepare p{cur.handle, const_cast<char*>("select id, name from t")};
  errcode_t e;
  ASSERT_EQ(dbsvc_prepare(c_, &p, &e), RPC_SUCCESS);
  EXPECT_EQ(e, ER_SUCCESS);
  coldescres cd{};
  ASSERT_EQ(dbsvc_describecolumns(c_, &cur.handle, &cd), RPC_SUCCESS);
  ASSERT_EQ(cd.desc.desc_len, 2u);
  EXPECT_STREQ(cd.desc.desc_val[1].label, "name");
  dbsvc_describecolumns_free(&cd);
  call_fetch f{cur.handle, 100};
  datasetres ds{};
  ASSERT_EQ(dbsvc_fetch(c_, &f, &ds), RPC_SUCCESS);
  ASSERT_EQ(ds.desc.nRows, 2);
  EXPECT_EQ(ds.desc.col[1].cType, CTYPE_LCHR);
  EXPECT_STREQ(static_cast<char*>(wire_test::long_ptr(&ds.desc, 1, 0)), "row0");
  EXPECT_EQ(ds.desc.col[1].indicators[1], -1);
  dbsvc_fetch_free(&ds);

  call_getdata gd{cur.handle, 1, 0, 100};
  getdatares gdr{};
  ASSERT_EQ(dbsvc_getdata(c_, &gd, &gdr), RPC_SUCCESS);
  EXPECT_EQ(gdr.RcvBuff.RcvBuff_len, 8u);
  EXPECT_EQ(gdr.cbRemaining, -4);
  dbsvc_getdata_free(&gdr);

  call_extendedfetch xf{cur.handle, 1};
  xfetchres xr{};
  ASSERT_EQ(dbsvc_extendedfetch(c_, &xf, &xr), RPC_SUCCESS);
  ASSERT_NE(xr.pRowSet, nullptr);
  EXPECT_EQ(xr.pRowSet->RSSize, 3);
  dbsvc_extendedfetch_free(&xr);

  Dataset params = wire_test::make_dataset({{CTYPE_SGN32, 4}}, 1);
  wire_test::set_int(&params, 0, 0, 5);
  params.nRows = 1;
  call_parameters cp{cur.handle, &params};
  ASSERT_EQ(dbsvc_parameters(c_, &cp, &e), RPC_SUCCESS);
  EXPECT_EQ(e, ER_SUCCESS);
  Dataset_Done(&params);

  errinfores ei{};
  ASSERT_EQ(dbsvc_errinfo(c_, &cur.handle, &ei), RPC_SUCCESS);
  EXPECT_EQ(ei.info.messageCount, 2u);
  EXPECT_EQ(ei.info.nativeError, 42);
  dbsvc_errinfo_free(&ei);
  ASSERT_EQ(dbsvc_endcursor(c_, &cur.handle, &e), RPC_SUCCESS);
  ASSERT_EQ(dbsvc_endconnect(c_, &cr.handle, &e), RPC_SUCCESS);
  ASSERT_EQ(dbsvc_endserver(c_, &h.handle, &e), RPC_SUCCESS);
}

TEST_F(DispatcherTest, ProceduresWithoutOperationsAnswerCleanly) {
  call_savepoint sp{0xBBBB0000, SVPNT_SET, const_cast<char*>("s1")};
  errcode_t e;
  ASSERT_EQ(dbsvc_savepointj(c_, &sp, &e), RPC_SUCCESS);
  EXPECT_EQ(e, ER_DRV_NOT_CAPABLE);
  XID_t id{};
  id.gtrid_length = 1;
  call_xacommit xc{0xBBBB0000, &id, 0, 0};
  sgn32 rc = 0;
  ASSERT_EQ(dbsvc_xacommit(c_, &xc, &rc), RPC_SUCCESS);
  EXPECT_EQ(rc, -3);
  call_xarecover xr{0xBBBB0000, 5, 0, 0};
  xarcvrres rr{};
  ASSERT_EQ(dbsvc_xarecover(c_, &xr, &rr), RPC_SUCCESS);
  EXPECT_EQ(rr.xarc, -3);
  EXPECT_EQ(rr.xIds.xIds_len, 0u);
  dbsvc_xarecover_free(&rr);
}

TEST_F(DispatcherTest, ArgumentsNoOperationMayBeGiven) {
  errcode_t e = ER_SUCCESS;
  // A text parameter sent as an integer, and a missing text.
  call_setdrvparameter sp{0xBBBB0000, 0x21030005, {}};
  sp.value.type = 2;
  sp.value.paramval_u.l = 5;
  ASSERT_EQ(dbsvc_setdrvparameter(c_, &sp, &e), RPC_SUCCESS);
  EXPECT_EQ(e, ER_INVALID_ARGUMENT);
  sp.value.type = 1;
  sp.value.paramval_u.s = nullptr;
  ASSERT_EQ(dbsvc_setdrvparameter(c_, &sp, &e), RPC_SUCCESS);
  EXPECT_EQ(e, ER_INVALID_ARGUMENT);
  call_setdrvparameter ok{0xBBBB0000, 0x22030005, {}};
  ok.value.type = 2;
  ASSERT_EQ(dbsvc_setdrvparameter(c_, &ok, &e), RPC_SUCCESS);
  EXPECT_EQ(e, ER_SUCCESS);
  // Absent records the operation needs.
  call_connect cc{0xAAAA0000, nullptr};
  connectres cr{};
  ASSERT_EQ(dbsvc_connect(c_, &cc, &cr), RPC_SUCCESS);
  EXPECT_EQ(cr.error, ER_INVALID_ARGUMENT);
  call_tables ct{0xCCCC0000, nullptr};
  ASSERT_EQ(dbsvc_tables(c_, &ct, &e), RPC_SUCCESS);
  EXPECT_EQ(e, ER_INVALID_ARGUMENT);
  call_xacommit xc{0xBBBB0000, nullptr, 0, 0};
  sgn32 rc = 0;
  ASSERT_EQ(dbsvc_xacommit(c_, &xc, &rc), RPC_SUCCESS);
  EXPECT_EQ(rc, ER_INVALID_ARGUMENT);
  // Column lists past the dataset sent, and column number 0.
  Dataset one = wire_test::make_dataset({{CTYPE_SGN32, 4}}, 1);
  one.nRows = 1;
  uns16 cols[3] = {1, 2, 3};
  call_setpos pos{0xCCCC0000, 1, 2, 0, &one, {3, cols}};
  setposres pr{};
  ASSERT_EQ(dbsvc_setpos(c_, &pos, &pr), RPC_SUCCESS);
  EXPECT_EQ(pr.error, ER_INVALID_ARGUMENT);
  uns16 zero[1] = {0};
  pos.rgiCol = {1, zero};
  ASSERT_EQ(dbsvc_setpos(c_, &pos, &pr), RPC_SUCCESS);
  EXPECT_EQ(pr.error, ER_INVALID_ARGUMENT);
  pos.rgiCol = {1, cols};
  ASSERT_EQ(dbsvc_setpos(c_, &pos, &pr), RPC_SUCCESS);
  EXPECT_EQ(pr.error, ER_SUCCESS);
  dbsvc_setpos_free(&pr);
  bookmark_t marks[1] = {1};
  call_bulkoperations bo{0xCCCC0000, 4, {1, marks}, 2, &one, {1, cols}, 1};
  bulkopres br{};
  // The service table has no bulk procedure: the check answers before that matters.
  EXPECT_EQ(dbsv_check_args(DBSV_PROC_bulkoperations, &bo), ER_INVALID_ARGUMENT);
  bo.cRows = 1;
  EXPECT_EQ(dbsv_check_args(DBSV_PROC_bulkoperations, &bo), ER_SUCCESS);
  bo.cCols = 2;
  EXPECT_EQ(dbsv_check_args(DBSV_PROC_bulkoperations, &bo), ER_INVALID_ARGUMENT);
  (void)br;
  Dataset_Done(&one);
}

TEST(DispatcherUdp, CallsOverDatagrams) {
  WireTestServer server;
  ASSERT_NE(server.port(), 0);
  WireClient* c = nullptr;
  std::string err;
  for (int i = 0; i < 50 && !c; ++i) {
    c = wire_client_create("127.0.0.1", server.port(), true, 5, &err);
    if (!c) usleep(100000);
  }
  ASSERT_NE(c, nullptr) << err;
  Server srv{};
  handleres h{};
  clnt_stat st = RPC_TIMEDOUT;
  for (int i = 0; i < 20 && st != RPC_SUCCESS; ++i) st = dbsvc_server(c, &srv, &h);
  ASSERT_EQ(st, RPC_SUCCESS);
  EXPECT_EQ(h.handle, 0xAAAA0000u);
  wire_client_destroy(c);
  EXPECT_EQ(server.stop(), 0);
}
