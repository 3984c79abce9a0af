// Service procedures without a data source: empty slots, XA procedures, the
// table-of-options procedure, absent records and driver-parameter kinds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "backend/backend.h"
#include "wire/services.h"

namespace {

struct AgentServices : ::testing::Test {
  drv_ops saved{};
  handle_t hServer = 0;
  void SetUp() override {
    ASSERT_EQ(DRV_Init(&drv), 0);
    handleres r{};
    Server s{};
    dbsv_server_2_serv(nullptr, &s, &r);
    ASSERT_EQ(r.error, ER_SUCCESS);
    hServer = r.handle;
  }
  void TearDown() override {
    while (numServers > 0) ODBC_EndServer(hServer);
  }
};

TEST_F(AgentServices, SavepointAndXaNeverCallAnEmptySlot) {
  call_savepoint sp{};
  errcode_t e = ER_SUCCESS;
  dbsv_savepointj_2_serv(nullptr, &sp, &e);
  EXPECT_EQ(e, ER_DRV_NOT_CAPABLE);
  sgn32 xa = 0;
  call_xa x{};
  struct {
    const char* name;
    void (*serv)(svc_req*, call_xa*, sgn32*);
  } onXid[] = {{"commit", dbsv_xacommit_2_serv},     {"end", dbsv_xaend_2_serv},
               {"forget", dbsv_xaforget_2_serv},     {"prepare", dbsv_xaprepare_2_serv},
               {"rollback", dbsv_xarollback_2_serv}, {"start", dbsv_xastart_2_serv}};
  for (auto& c : onXid) {
    xa = 0;
    c.serv(nullptr, &x, &xa);
    EXPECT_EQ(xa, -3) << c.name;
  }
  call_xaclose cl{};
  xa = 0;
  dbsv_xaclose_2_serv(nullptr, &cl, &xa);
  EXPECT_EQ(xa, -3);
  call_xaopen o{};
  xa = 0;
  dbsv_xaopen_2_serv(nullptr, &o, &xa);
  EXPECT_EQ(xa, -3);
  xarcvrres rr{};
  call_xarecover rc{};
  dbsv_xarecover_2_serv(nullptr, &rc, &rr);
  EXPECT_EQ(rr.xarc, -3);
  EXPECT_EQ(rr.xIds.xIds_len, 0u);
  EXPECT_EQ(rr.xIds.xIds_val, nullptr);
  xacmpltres cr{};
  call_xacomplete cc{};
  dbsv_xacomplete_2_serv(nullptr, &cc, &cr);
  EXPECT_EQ(cr.xarc, -3);
  EXPECT_EQ(cr.retVal, 0);
  // The scrollable fetch is the cursor engine's: a handle naming no cursor is refused.
  xfetchres xf{};
  call_extendedfetch2 f2{};
  dbsv_extendedfetch2_2_serv(nullptr, &f2, &xf);
  EXPECT_EQ(xf.error, ER_INVALID_ARGUMENT);
  EXPECT_EQ(xf.pRowSet, nullptr);
}

TEST_F(AgentServices, BindXConvertsItsDescriptions) {
  call_bindx b{};
  BindescX d[2] = {{SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 1, nullptr},
                   {SQLTYPE_VARCHAR, CTYPE_VCHR, 20, 0, 1, nullptr}};
  b.handle = 0x12340000;  // no such cursor
  b.desc.desc_len = 2;
  b.desc.desc_val = d;
  errcode_t e = ER_SUCCESS;
  dbsv_bindx_2_serv(nullptr, &b, &e);
  EXPECT_EQ(e, ER_INVALID_ARGUMENT);  // reached the backend's bind, which checked the handle
}

// Without its own operation the extended combined execute converts the named
// descriptions and hands the parameters to the plain one, which checks the
// handle; too many descriptions are refused before any operation runs.
TEST_F(AgentServices, Execute2XFallsBackToThePlainExecute) {
  BindescX d[2] = {{SQLTYPE_INTEGER, CTYPE_SGN32, 10, 0, 1, nullptr},
                   {SQLTYPE_VARCHAR, CTYPE_VCHR, 20, 0, 1, nullptr}};
  struct {
    unsigned descs;
    bool reachesExecute;
  } cases[] = {{0, true}, {2, true}, {0x10000, false}};
  for (auto& c : cases) {
    SCOPED_TRACE(c.descs);
    call_execute2x a{};
    a.handle = 0x12340000;  // no such cursor
    a.parameters = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
    Dataset_Init(a.parameters, 1);
    a.desc.desc_len = c.descs;
    a.desc.desc_val = c.descs ? d : nullptr;
    errcode_t e = ER_SUCCESS;
    dbsv_execute2x_2_serv(nullptr, &a, &e);
    EXPECT_EQ(e, ER_INVALID_ARGUMENT);
    EXPECT_EQ(a.parameters == nullptr, c.reachesExecute);  // the operation took the parameters
    if (a.parameters) {
      Dataset_Done(a.parameters);
      free(a.parameters);
    }
  }
}

TEST_F(AgentServices, OptionTableOfAnotherTypeIsEmptyTypeOne) {
  // A connection handle is needed for the table; an invalid one answers 21 with
  // a table that still encodes.
  call_getoptable a{};
  a.handle = 0x12340000;
  a.type = 2;
  getoptableres r{};
  dbsv_getoptable_2_serv(nullptr, &a, &r);
  EXPECT_EQ(r.error, ER_INVALID_ARGUMENT);
  ASSERT_NE(r.table, nullptr);
  EXPECT_EQ(r.table->type, 1);
  EXPECT_EQ(r.table->numElem, 0u);
  EXPECT_EQ(r.table->values, nullptr);
  free(r.table);
}

TEST_F(AgentServices, AbsentRecordsAnswer21) {
  call_connect c{};
  c.handle = hServer;
  connectres cr{};
  dbsv_connect_2_serv(nullptr, &c, &cr);
  EXPECT_EQ(cr.error, ER_INVALID_ARGUMENT);
  EXPECT_EQ(cr.fail, nullptr);
  call_columns cols{};
  errcode_t e = ER_SUCCESS;
  dbsv_columns_2_serv(nullptr, &cols, &e);
  EXPECT_EQ(e, ER_INVALID_ARGUMENT);
  call_tables t{};
  dbsv_tables_2_serv(nullptr, &t, &e);
  EXPECT_EQ(e, ER_INVALID_ARGUMENT);
}

TEST_F(AgentServices, DriverParameterKinds) {
  call_setdrvparameter s{};
  s.handle = hServer;
  errcode_t e = ER_SUCCESS;
  s.opcode = 0x2103006d;  // text kind
  s.value.type = 1;
  s.value.paramval_u.s = nullptr;
  dbsv_setdrvparameter_2_serv(nullptr, &s, &e);
  EXPECT_EQ(e, ER_INVALID_ARGUMENT);
  s.opcode = 0x20030000;  // kind 0
  s.value.type = 0;
  dbsv_setdrvparameter_2_serv(nullptr, &s, &e);
  EXPECT_EQ(e, ER_DRV_NO_SUPPORT);
  call_getdrvparameter g{};
  g.handle = hServer;
  g.opcode = 0x10010000;  // kind 0
  getdrvparameterres gr{};
  dbsv_getdrvparameter_2_serv(nullptr, &g, &gr);
  EXPECT_EQ(gr.value.type, 0);
  g.opcode = 0x11010000;
  getdrvparameterres gr2{};
  dbsv_getdrvparameter_2_serv(nullptr, &g, &gr2);
  EXPECT_EQ(gr2.error, ER_SUCCESS);
  ASSERT_EQ(gr2.value.type, 1);
  EXPECT_STREQ(gr2.value.paramval_u.s, "odbc");
  free(gr2.value.paramval_u.s);
  // The key-file parameter with no name is refused before anything else.
  s.opcode = 0x11030001;
  s.value.type = 1;
  s.value.paramval_u.s = nullptr;
  dbsv_setdrvparameter_2_serv(nullptr, &s, &e);
  EXPECT_EQ(e, ER_INVALID_ARGUMENT);
  s.opcode = 0x10030002;
  dbsv_setdrvparameter_2_serv(nullptr, &s, &e);
  EXPECT_EQ(e, ER_DRV_NO_SUPPORT);  // no TLS context yet
}

TEST_F(AgentServices, ErrInfoThroughTheTable) {
  ErrorQ* q = &ODBC_ServerRec(hServer)->pendingError;
  q->bNoFlush = 1;
  for (int i = 0; i < 12; i++) QErrorMsg(q, DBErrMsgCreate("m", i, "S1000"));
  handle_t h = hServer;
  errinfores r{};
  dbsv_errinfo_2_serv(nullptr, &h, &r);
  EXPECT_EQ(r.info.messageCount, 10u);
  ErrInfo_Done(&r.info);
  errinfores r2{};
  dbsv_errinfo_2_serv(nullptr, &h, &r2);
  EXPECT_EQ(r2.info.messageCount, 2u);
  ErrInfo_Done(&r2.info);
}

TEST_F(AgentServices, CursorNameAndNativeSqlAlwaysCarryAString) {
  handle_t h = 0x12340000;
  cursorname cn{};
  dbsv_getcursorname_2_serv(nullptr, &h, &cn);
  EXPECT_EQ(cn.error, ER_INVALID_ARGUMENT);
  ASSERT_NE(cn.name, nullptr);
  free(cn.name);
  call_nativesql ns{};
  ns.handle = h;
  ns.sql = const_cast<char*>("select 1");
  nativesqlres nr{};
  dbsv_nativesql_2_serv(nullptr, &ns, &nr);
  ASSERT_NE(nr.translated, nullptr);
  free(nr.translated);
}

}  // namespace
