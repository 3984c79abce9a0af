// The engine's filter over the scriptable fake backend: installation, the
// information answers, positions, the capability string, saved connect
// requests, the per-cursor state and the calls it passes through.
#include <sys/stat.h>

#include "cursors/snapshot.h"
#include "cursors/statement.h"
#include "cursors/engine_fixture.h"
#include "fixtures/engine/fake_backend.h"
#include "model/drv_param_codes.h"
#include "util/fault.h"

namespace engine_test {
namespace {

class FilterTest : public ::testing::Test {
 protected:
  FakeBackend fake;
  EngineOver engine{fake.drv};

  // Ends what a test left open while the engine is still in front.
  void TearDown() override { fake.EndAll(); }

  handle_t Connect() {
    ::Connect req{};
    req.dbPath = const_cast<char*>("dsn");
    req.userName = const_cast<char*>("u");
    handle_t h = 0;
    EXPECT_EQ(engine.ops().connect(fake.hServer, &req, &h), ER_SUCCESS);
    return h;
  }
  handle_t Cursor(handle_t hConn) {
    handle_t h = 0;
    EXPECT_EQ(engine.ops().cursor(hConn, &h), ER_SUCCESS);
    return h;
  }
  static int LiveConnections() {
    int n = 0;
    for (uns16 i = 0; i < conHandles.numAllocated && conHandles.handleArray; i++)
      n += conHandles.handleArray[i].version != 0;
    return n;
  }
  std::vector<handle_t> SavedRequests() {
    std::vector<handle_t> out;
    for (auto* n = static_cast<CONNINFO*>(ODBC_ServerRec(fake.hServer)->pConnInfo); n; n = n->pNext)
      out.push_back(n->hConn);
    return out;
  }
  // Rows of (INTEGER row number, VARCHAR "r<n>") for the fake's results.
  void IntTextRows(sgn32 n) {
    fake.rows = n;
    fake.fetched = 0;
    fake.shape = {{CTYPE_SGN32, 4}, {CTYPE_VCHR, Dataset_SizeCol(CTYPE_VCHR, 20)}};
    fake.fillRow = [](sgn32 row, Dataset* ds, sgn32 at) {
      memcpy(Coldata_Cell(&ds->col[0], uint64_t(at)), &row, 4);
      ds->col[0].indicators[at] = 0;
      snprintf(Coldata_Cell(&ds->col[1], uint64_t(at)), 20, "r%d", row);
      ds->col[1].indicators[at] = 0;
    };
  }
};

TEST_F(FilterTest, InstallsOnceAndReplacesOnlyItsSlots) {
  drv_ops* first = engine.active.ops;
  EXPECT_NE(first, &fake.ops);
  EXPECT_EQ(SCs_InnerDRV()->ops, &fake.ops);
  EXPECT_EQ(first->fetch, SCs_Fetch);
  EXPECT_EQ(first->connect, SCs_Connect);
  // The statement operations are the engine's; slots it leaves keep the backend's entries.
  EXPECT_EQ(first->prepare, SCs_Prepare);
  EXPECT_EQ(first->ddTables, SCs_DDTables);
  EXPECT_EQ(first->server, fake.ops.server);
  EXPECT_EQ(first->commit, fake.ops.commit);
  // A second installation only points its DRV at the engine's table.
  drv_ops other{};
  DRV again{0, &other};
  EXPECT_EQ(SCs_InitDRV(&again), 0);
  EXPECT_EQ(again.ops, first);
  EXPECT_EQ(SCs_InnerDRV()->ops, &fake.ops);
}

TEST_F(FilterTest, GetInfoAnswersTable) {
  handle_t c = Connect();
  fake.texts[DRVP_CONN_INFO_TEXT + 11] = "abcdef";
  fake.ints[DRVP_CONN_INFO_INT + 28] = 4;
  fake.ints[DRVP_CONN_INFO_INT + 85] = 1;
  struct Case {
    UWORD type;
    SWORD size;
    errcode_t rc;
    SWORD len;
    std::string text;  // for string answers: the buffer's text
    sgn32 value;       // for integer answers
  } cases[] = {
      {11, 64, ER_SUCCESS, 6, "abcdef", 0},
      {11, 7, ER_SUCCESS, 6, "abcdef", 0},
      {11, 6, ER_DATA_TRUNCATED, 6, "abcde", 0},  // the terminator always fits
      {11, 1, ER_DATA_TRUNCATED, 6, "", 0},
      {28, 4, ER_SUCCESS, 4, "", 4},
      {28, 2, ER_INVALID_ARGUMENT, 0, "", 0},
      {85, 2, ER_SUCCESS, 2, "", 1},  // NULL collation, a 16-bit answer
      {92, 4, ER_INVALID_OPTION, 0, "", 0},
      {26, 4, ER_DRV_NO_SUPPORT, 0, "", 0},  // the backend's failure comes back
  };
  for (const Case& k : cases) {
    SCOPED_TRACE("type " + std::to_string(k.type) + " size " + std::to_string(k.size));
    char buf[65];
    memset(buf, 'X', sizeof buf);
    SWORD len = 0;
    errcode_t rc = SC_GetInfo(SCs_InnerDRV(), c, k.type, buf, k.size, &len);
    EXPECT_EQ(rc, k.rc);
    if (rc != ER_SUCCESS && rc != ER_DATA_TRUNCATED) continue;
    EXPECT_EQ(len, k.len);
    if (k.type == 11) {
      EXPECT_EQ(std::string(buf), k.text);
      EXPECT_EQ(buf[k.size], 'X') << "nothing written past the buffer";
    } else {
      sgn32 v = 0;
      memcpy(&v, buf, size_t(k.len));
      EXPECT_EQ(v, k.value);
    }
  }
}

TEST(RowPosition, SetTable) {
  struct Case {
    sgn32 rsltSetSize, irow;
    errcode_t rc;
    positn_t position, rsPosition;
  } cases[] = {
      {4, 5, ER_INVALID_ROW_VALUE, 7, 7},
      {-1, 5, ER_SUCCESS, 5, 7},
      {4, 4, ER_SUCCESS, 4, 7},
      {4, -2, ER_SUCCESS, -2, 7},
      {4, 0, ER_SUCCESS, 0, 0},
      {4, -3, ER_SUCCESS, -3, -3},
      {4, -4, ER_INVALID_ROW_VALUE, 7, 7},
      {4, -1, ER_INVALID_ROW_VALUE, 7, 7},
  };
  for (const Case& k : cases) {
    TSCCL s{};
    s.RsltSetSize = k.rsltSetSize;
    s.Position = s.RSPosition = 7;
    EXPECT_EQ(SC_RowPositionSet(&s, k.irow), k.rc) << k.irow;
    EXPECT_EQ(s.Position, k.position) << k.irow;
    EXPECT_EQ(s.RSPosition, k.rsPosition) << k.irow;
  }
  TSCCL s{};
  s.RsltSetSize = 9;
  s.Position = s.RSPosition = 3;
  SC_Reset(&s);
  EXPECT_EQ(s.RsltSetSize, -1);
  EXPECT_EQ(s.Position, 0);
  EXPECT_EQ(s.RSPosition, 0);
}

TEST_F(FilterTest, CapabilityStringFromWordOrQuestions) {
  handle_t c = Connect();
  struct Case {
    std::map<uns32, sgn32> ints;
    std::string want;
  } cases[] = {
      {{{DRVP_CONN_CAPABILITIES, 6143}, {DRVP_CONN_INFO_INT + 23, 2}}, "001.005:111111200100"},
      {{{DRVP_CONN_CAPABILITIES, 5887}, {DRVP_CONN_INFO_INT + 23, 1}}, "001.005:111111100100"},
      // Commit behaviour unanswered: 0; bits 13 and 14 and the two switches.
      {{{DRVP_CONN_CAPABILITIES, (1 << 13) | (1 << 14)}, {0x22010014, 1}, {0x22010015, 7}},
       "001.005:000001011011"},
      // No word: the five switches are asked one by one.
      {{{0x22010006, 1}, {0x2201000e, 0}, {0x22010004, 1}, {0x22010008, 0}, {0x22010005, 3}},
       "001.005:101011000000"},
  };
  for (const Case& k : cases) {
    fake.ints = k.ints;
    char buf[64] = {0};
    uns16 len = 0;
    fake.Take();
    ASSERT_EQ(engine.ops().getDrvParameter(c, DRVP_CONN_CAPABILITY_STRING, buf, sizeof buf, &len),
              ER_SUCCESS);
    EXPECT_EQ(std::string(buf), k.want);
    // The engine first asks the backend to set its switch to 3.
    EXPECT_EQ(fake.calls.at(0), "setDrvParameter " + HandleText(c) + " 2201000c 3");
  }
  // Other connection codes go to the backend; dead handles answer 21.
  fake.ints = {{DRVP_CONN_UNICODE, 1}};
  sgn32 v = 0;
  EXPECT_EQ(engine.ops().getDrvParameter(c, DRVP_CONN_UNICODE, &v, 4, nullptr), ER_SUCCESS);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(engine.ops().getDrvParameter(0xBBBB0042, DRVP_CONN_CAPABILITY_STRING, &v, 4, nullptr),
            ER_INVALID_ARGUMENT);
  EXPECT_EQ(engine.ops().getDrvParameter(0xCCCC0042, DRVP_STMT_ROW_COUNT, &v, 4, nullptr),
            ER_INVALID_ARGUMENT);
}

TEST_F(FilterTest, SavedRequestsFollowTheirConnections) {
  // Ending the only, the first, a middle or the last connection removes its request.
  struct Case {
    int n, end;
  } cases[] = {{1, 0}, {3, 0}, {3, 1}, {3, 2}};
  for (const Case& k : cases) {
    std::vector<handle_t> conns;
    for (int i = 0; i < k.n; i++) conns.push_back(Connect());
    EXPECT_EQ(SavedRequests(), conns);
    CONNINFO* info = SCs_ConnInfoFind(ODBC_ServerRec(fake.hServer), conns[0]);
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->pConnect->dbPath, "dsn");
    EXPECT_STREQ(info->pConnect->userName, "u");
    EXPECT_NE(ODBC_ConnectRec(conns[0])->keyCache, nullptr);
    ASSERT_EQ(engine.ops().endConnect(conns[size_t(k.end)]), ER_SUCCESS);
    handle_t ended = conns[size_t(k.end)];
    conns.erase(conns.begin() + k.end);
    EXPECT_EQ(SavedRequests(), conns);
    // A new connection in the same slot finds only its own request.
    handle_t again = Connect();
    EXPECT_EQ(again, ended);
    int mine = 0;
    for (handle_t h : SavedRequests()) mine += h == again;
    EXPECT_EQ(mine, 1);
    for (handle_t h : SavedRequests()) engine.ops().endConnect(h);
    EXPECT_TRUE(SavedRequests().empty());
  }
  EXPECT_EQ(engine.ops().endConnect(0xBBBB0042), ER_INVALID_ARGUMENT);
}

TEST_F(FilterTest, FailedConnectLeavesNoConnection) {
  // The backend refuses: its code comes back and nothing is saved.
  fake.fail["connect"] = {ER_CONN_REJECTED_DS};
  ::Connect req{};
  handle_t h = 7;
  EXPECT_EQ(engine.ops().connect(fake.hServer, &req, &h), ER_CONN_REJECTED_DS);
  EXPECT_TRUE(SavedRequests().empty());
  // The engine's own allocations fail: the backend connection is ended too.
  for (long n : {0L, 1L, 2L}) {
    fake.Take();
    vyr_fault_inject(n);
    errcode_t rc = engine.ops().connect(fake.hServer, &req, &h);
    vyr_fault_inject(-1);
    EXPECT_EQ(rc, ER_NO_MEMORY) << n;
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(fake.Count("endConnect"), 1u) << fake.Take();
    EXPECT_TRUE(SavedRequests().empty());
    EXPECT_EQ(LiveConnections(), 0);
  }
}

TEST_F(FilterTest, NewCursorAsksTheBackendInOrder) {
  handle_t c = Connect();
  fake.ints = {{DRVP_CONN_PARAM_OP, 1},      {DRVP_CONN_MAX_PARAMS, 99},    {DRVP_CONN_INFO_INT + 28, 2},
               {DRVP_CONN_INFO_INT + 93, 3}, {DRVP_CONN_INFO_INT + 99, 16}, {DRVP_CONN_INFO_INT + 85, 1}};
  fake.texts = {{DRVP_CONN_INFO_TEXT + 29, "\""},
                {DRVP_CONN_INFO_TEXT + 47, "alice"},
                {DRVP_CONN_INFO_TEXT + 17, "PostgreSQL"}};
  fake.Take();
  handle_t k = Cursor(c);
  std::string C = HandleText(c);
  EXPECT_EQ(fake.Take(), "cursor " + C + "; getDrvParameter " + C + " 22010004; getDrvParameter " + C +
                             " 22010002; getDrvParameter " + C + " 22010007; getDrvParameter " + C +
                             " 2201000b; getDrvParameter " + C + " 22010009; getDrvParameter " + C +
                             " 22010013; getDrvParameter " + C + " 2104001d; getDrvParameter " + C +
                             " 2204001c; getDrvParameter " + C + " 2204005d; getDrvParameter " + C +
                             " 2104002f; getDrvParameter " + C + " 21040011; getDrvParameter " + C +
                             " 22040063; getDrvParameter " + C + " 22040055");
  const TSCCL& s = ODBC_CursorRec(k)->st_sccl;
  EXPECT_EQ(s.RSSize, 1);
  EXPECT_EQ(s.RsltSetSize, -1);
  EXPECT_EQ(s.ConcType, 1);
  EXPECT_EQ(s.bRetrieveData, 1);
  EXPECT_EQ(s.KSPosition, -6);
  EXPECT_EQ(s.cRowsProcessed, uns32(-1));
  EXPECT_EQ(s.bHasParamOp, 1);
  EXPECT_EQ(s.bNeedBind, 0);
  EXPECT_EQ(s.cMaxParams, 99);
  EXPECT_EQ(s.idQuoteChar, '"');
  EXPECT_EQ(s.idIdentCase, 2);
  EXPECT_EQ(s.idQIdentCase, 3);
  EXPECT_STREQ(s.pszUserName, "alice");
  EXPECT_STREQ(s.pszDbmsName, "PostgreSQL");
  EXPECT_EQ(s.maxOrderBy, 16);
  EXPECT_EQ(s.fNullCollation, 1);
  EXPECT_NE(s.pSnapShot, nullptr);
  EXPECT_EQ(s.pParent, ODBC_CursorRec(k));

  // Unanswered questions keep the defaults; a blank quote character is none.
  fake.ints.clear();
  fake.texts = {{DRVP_CONN_INFO_TEXT + 29, " "}};
  const TSCCL& d = ODBC_CursorRec(Cursor(c))->st_sccl;
  EXPECT_EQ(d.idQuoteChar, 0);
  EXPECT_EQ(d.idIdentCase, 1);
  EXPECT_EQ(d.idQIdentCase, 4);
  EXPECT_EQ(d.cMaxParams, 255);
  EXPECT_EQ(d.pszUserName, nullptr);
}

TEST_F(FilterTest, EmulatedStatementsMakeCursorsStatic) {
  handle_t c = Connect();
  ODBC_ConnectRec(c)->bMultipleActiveStmtsEmul = 1;
  fake.Take();
  handle_t h = 0;
  // The fake's cursor copies nothing: the record gets the switch as the backend's would.
  fake.ops.cursor = [](handle_t hc, handle_t* ph) {
    _Connect* conn = ODBC_ConnectRec(hc);
    _Cursor* pc = new _Cursor{};
    pc->pConnect = conn;
    HandleRegister(&crsHandles, ph, pc);
    pc->st_sccl.bMultipleActiveStmtsEmul = conn->bMultipleActiveStmtsEmul;
    return ER_SUCCESS;
  };
  ASSERT_EQ(engine.ops().cursor(c, &h), ER_SUCCESS);
  EXPECT_EQ(fake.calls.back(), "setDrvParameter " + HandleText(h) + " 32030006 3");
}

TEST_F(FilterTest, FailedStateSetUpLeavesNoCursor) {
  handle_t c = Connect();
  fake.Take();
  handle_t h = 5;
  vyr_fault_inject(0);
  errcode_t rc = engine.ops().cursor(c, &h);
  vyr_fault_inject(-1);
  EXPECT_EQ(rc, ER_NO_MEMORY);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(fake.Count("endCursor"), 1u);
}

TEST_F(FilterTest, ForwardOnlyFetchGoesStraightToTheBackend) {
  handle_t k = Cursor(Connect());
  IntTextRows(3);
  fake.Take();
  Dataset ds{};
  ASSERT_EQ(engine.ops().fetch(k, 2, &ds), ER_SUCCESS);
  EXPECT_EQ(ds.nRows, 2);
  EXPECT_EQ(fake.Take(), "fetch " + HandleText(k) + " 2");
  Dataset_Done(&ds);
  fake.fail["fetch"] = {ER_GENERAL_ERROR};
  EXPECT_EQ(engine.ops().fetch(k, 2, &ds), ER_GENERAL_ERROR);
  Dataset_Done(&ds);
}

TEST_F(FilterTest, StaticFetchReadsTheSnapshot) {
  // Locking concurrency keeps the backend cursor open; the others close it.
  for (sgn32 conc : {1, 2, 4}) {
    handle_t k = Cursor(Connect());
    TSCCL& s = ODBC_CursorRec(k)->st_sccl;
    s.CursType = SQL_CURSOR_STATIC;
    s.ConcType = conc;
    IntTextRows(25);
    fake.Take();
    std::vector<sgn32> got;
    for (int i = 0; i < 5; i++) {
      Dataset ds{};
      ASSERT_EQ(engine.ops().fetch(k, 10, &ds), ER_SUCCESS);
      got.push_back(ds.nRows);
      if (i == 2) {
        EXPECT_EQ(CellText(ds, 1, 4), "r24");
      }
      Dataset_Done(&ds);
    }
    EXPECT_EQ(got, (std::vector<sgn32>{10, 10, 5, 0, 0}));
    EXPECT_EQ(s.RsltSetSize, 25);
    EXPECT_TRUE(s.f_state & SCCL_SNAPSHOT_READ);
    // The whole result is read at the first fetch, until an empty batch.
    EXPECT_EQ(fake.Count("fetch"), 2u);
    EXPECT_EQ(fake.Count("close"), conc == SQL_CONCUR_LOCK ? 0u : 1u);
    // Close discards the snapshot; the next fetch reads a fresh result.
    ASSERT_EQ(engine.ops().close(k), ER_SUCCESS);
    EXPECT_FALSE(s.f_state & SCCL_SNAPSHOT_READ);
    EXPECT_TRUE(s.f_state & SCCL_CLOSED);
  }
}

TEST_F(FilterTest, KeptBindAndParameterCopies) {
  handle_t k = Cursor(Connect());
  TSCCL& s = ODBC_CursorRec(k)->st_sccl;
  Bindesc b[2] = {{sqltype_t(SQL_INTEGER), CTYPE_SGN32, 10, 0, 1},
                  {sqltype_t(SQL_VARCHAR), CTYPE_VCHR, 20, 0, 1}};
  ASSERT_EQ(engine.ops().bind(k, 2, b), ER_SUCCESS);
  ASSERT_EQ(s.nParamInfo, 2);
  EXPECT_EQ(s.pParamInfo[1].sqlType, SQL_VARCHAR);
  ASSERT_EQ(engine.ops().bind(k, 0, nullptr), ER_SUCCESS);
  EXPECT_EQ(s.nParamInfo, 0);
  EXPECT_EQ(s.pParamInfo, nullptr);
  // Parameters are copied for scrollable cursors only.
  for (sgn32 type : {0, 1, 2, 3}) {
    s.CursType = type;
    s.f_state = 0;
    Dataset* p = static_cast<Dataset*>(calloc(1, sizeof(Dataset)));
    Dataset_Init(p, 1);
    p->nCols = 1;
    p->col[0].cType = CTYPE_SGN32;
    p->col[0].width = 4;
    Dataset_AllocColumns(p, 1);
    p->nRows = 1;
    ASSERT_EQ(engine.ops().parameters(k, p), ER_SUCCESS);
    EXPECT_EQ(s.parameters != nullptr && (s.f_state & SCCL_HAS_PARAMS), type != 0) << type;
  }
}

TEST_F(FilterTest, RowCountOfScrollableSelects) {
  handle_t k = Cursor(Connect());
  TSCCL& s = ODBC_CursorRec(k)->st_sccl;
  fake.ints[DRVP_STMT_ROW_COUNT] = 77;
  struct Case {
    sgn32 type;
    expr_t req;
    uns32 processed;
    sgn32 rsltSetSize;
    sgn32 want;
  } cases[] = {
      {1, EXPR_SELECT_STATEMENT, uns32(-1), 12, 12},
      {1, EXPR_SELECT_STATEMENT, 5, 12, 5},
      {3, EXPR_SELECT_STATEMENT, uns32(-1), 30, 30},
      {0, EXPR_SELECT_STATEMENT, 5, 12, 77},
      {1, expr_t(0), 5, 12, 77},
  };
  for (const Case& c : cases) {
    s.CursType = c.type;
    s.Rqst.reqType = c.req;
    s.cRowsProcessed = c.processed;
    s.RsltSetSize = c.rsltSetSize;
    sgn32 v = 0;
    uns16 len = 0;
    ASSERT_EQ(engine.ops().getDrvParameter(k, DRVP_STMT_ROW_COUNT, &v, 4, &len), ER_SUCCESS);
    EXPECT_EQ(v, c.want);
    EXPECT_EQ(len, 4);
  }
  s.Rqst.reqType = expr_t(0);
}

TEST_F(FilterTest, EndingAConnectionEndsItsCursorsFirst) {
  handle_t c = Connect();
  handle_t k1 = Cursor(c), k2 = Cursor(c);
  // A static cursor with a spilled snapshot, and an auxiliary cursor.
  TSCCL& s = ODBC_CursorRec(k1)->st_sccl;
  s.CursType = SQL_CURSOR_STATIC;
  IntTextRows(6000);
  Dataset ds{};
  ASSERT_EQ(engine.ops().fetch(k1, 10, &ds), ER_SUCCESS);
  Dataset_Done(&ds);
  ASSERT_EQ(s.pSnapShot->SSC.fState, DSC_SPILLED);
  ASSERT_EQ(scs_p_AuxCursorOpen(&ODBC_CursorRec(k2)->st_sccl), ER_SUCCESS);
  handle_t aux = ODBC_CursorRec(k2)->st_sccl.hSCCurs;
  const int before = OpenTempFiles();
  fake.Take();
  ASSERT_EQ(engine.ops().endConnect(c), ER_SUCCESS);
  EXPECT_EQ(OpenTempFiles(), before - 2);
  EXPECT_EQ(ODBC_CursorRec(k1), nullptr);
  EXPECT_EQ(ODBC_CursorRec(k2), nullptr);
  EXPECT_EQ(ODBC_CursorRec(aux), nullptr);
  const std::string calls = fake.Take();
  EXPECT_NE(calls.find("endCursor " + HandleText(aux)), std::string::npos) << calls;
  EXPECT_LT(calls.find("endCursor"), calls.find("endConnect")) << calls;
}

TEST_F(FilterTest, DeadHandles) {
  const handle_t dead = 0xCCCC0042;
  Dataset ds{};
  EXPECT_EQ(engine.ops().endCursor(dead), ER_INVALID_ARGUMENT);
  EXPECT_EQ(engine.ops().bind(dead, 0, nullptr), ER_INVALID_ARGUMENT);
  EXPECT_EQ(engine.ops().parameters(dead, nullptr), ER_INVALID_ARGUMENT);
  EXPECT_EQ(engine.ops().fetch(dead, 1, &ds), ER_INVALID_ARGUMENT);
  EXPECT_EQ(engine.ops().close(dead), ER_INVALID_ARGUMENT);
}

TEST(AuxErrors, MovedInOrderAndPatched) {
  ErrorQ to{}, from{};
  QErrorMsg(&to, DBErrMsgCreate("mine", 0, "S1000"));
  QErrorMsg(&from, DBErrMsgCreate("a", 0, "42S02"));
  QErrorMsg(&from, DBErrMsgCreate("b", 0, "01S01"));
  AppendAuxCursorErrors(&to, &from);
  EXPECT_EQ(from.pFirstMsg, nullptr);
  ASSERT_EQ(CountErrorMsgQ(&to), 3);
  EXPECT_STREQ(to.pFirstMsg->pNextMsg->msgBuf, "a");
  PatchErrorMsgQ(&to);
  EXPECT_EQ(CountErrorMsgQ(&to), 2);
  PatchErrorMsgQ(&to);
  EXPECT_EQ(CountErrorMsgQ(&to), 2) << "only a trailing 01S01 goes";
  FlushErrorMsgQ(&to);
}

}  // namespace
}  // namespace engine_test
