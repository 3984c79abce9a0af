// Backend logic that needs no data source: request classification, cursor
// option negotiation, sensitivity names and server-scope driver parameters.
#include <gtest/gtest.h>

#include <cstring>

#include "backend/backend.h"

namespace {

TEST(BackendRequestType, Classification) {
  struct {
    const char* sql;
    uns16 type;
  } cases[] = {
      {"  select * from t", 1},
      {"((SELECT 1))", 1},
      {" (SELECT 1)", 3},
      {"SELECT*", 3},
      {"insert into t values (1)", 2},
      {"\tDELETE FROM t", 2},
      {"UPDATE t SET a=1", 2},
      {"CREATE TABLE t (a int)", 3},
      {"SELECTION", 3},
      {"", 3},
  };
  for (auto& c : cases) {
    Request r{};
    ASSERT_EQ(ODBC_Request(&r, c.sql), ER_SUCCESS);
    EXPECT_EQ(r.reqType, c.type) << c.sql;
    EXPECT_STREQ(r.original, c.sql);
    EXPECT_STREQ(r.translated, c.sql);
    Request_Done(&r);
  }
}

TEST(BackendSensitivity, ParseAndPrint) {
  EXPECT_EQ(ParseSensitivity(nullptr), 0);
  EXPECT_EQ(ParseSensitivity("disabled"), 2);
  EXPECT_EQ(ParseSensitivity("High"), 1);
  EXPECT_EQ(ParseSensitivity("x"), 0);
  EXPECT_STREQ(PrintSensitivity(0), "LOW");
  EXPECT_STREQ(PrintSensitivity(1), "HIGH");
  EXPECT_STREQ(PrintSensitivity(2), "DISABLED");
  EXPECT_EQ(PrintSensitivity(3), nullptr);
}

TEST(BackendNegotiation, Lookups) {
  const int* prec;
  const int(*map)[2];
  EXPECT_EQ(Option2InfoType(SQL_CONCURRENCY, &prec, &map), SQL_SCROLL_CONCURRENCY);
  EXPECT_EQ(MapBitMskOptnVal(3, map, 1), 4);
  EXPECT_EQ(MapBitMskOptnVal(8, map, 0), 4);
  EXPECT_EQ(MapBitMskOptnVal(77, map, 1), -999);
  int pos = 0;
  EXPECT_EQ(GetSurrogateOptn(3, prec, &pos), 4);
  EXPECT_EQ(Option2InfoType(99, &prec, &map), 0);
}

// With the agent's fixed answers: scroll concurrency 11, scroll options 31
// (17 when sensitivity is disabled).
TEST(BackendNegotiation, AgainstFixedAnswers) {
  TSCCL s{};
  struct {
    int option, value;
    errcode_t rc;
    int result;
  } cases[] = {
      {SQL_CONCURRENCY, 3, ER_OPT_VAL_CHANGED, 4}, {SQL_CONCURRENCY, 2, ER_SUCCESS, 2},
      {SQL_CONCURRENCY, 1, ER_SUCCESS, 1},         {SQL_CONCURRENCY, -999, ER_DRV_NOT_CAPABLE, -999},
      {SQL_CURSOR_TYPE, 0, ER_SUCCESS, 0},         {SQL_CURSOR_TYPE, 3, ER_SUCCESS, 3},
      {SQL_CURSOR_TYPE, 9, ER_DRV_NOT_CAPABLE, 9}, {42, 5, ER_SUCCESS, 5},
  };
  for (auto& c : cases) {
    sgn32 v = c.value;
    EXPECT_EQ(IsSupported(&s, c.option, &v), c.rc) << c.option << "/" << c.value;
    EXPECT_EQ(v, c.result) << c.option << "/" << c.value;
  }
}

TEST(BackendNegotiation, DisabledSensitivityOffersStaticOnly) {
  int saved = f_useRVC;
  f_useRVC = 2;
  TSCCL s{};
  for (int want : {1, 2}) {
    sgn32 v = want;
    EXPECT_EQ(IsSupported(&s, SQL_CURSOR_TYPE, &v), ER_OPT_VAL_CHANGED);
    EXPECT_EQ(v, 3);
  }
  f_useRVC = saved;
}

struct BackendLogicSession : ::testing::Test {
  handle_t hServer = 0;
  void SetUp() override { ASSERT_EQ(ODBC_Server(nullptr, &hServer), ER_SUCCESS); }
  void TearDown() override {
    while (numServers > 0) ODBC_EndServer(hServer);
  }
};

TEST_F(BackendLogicSession, TwoServerCallsShareOneRecord) {
  handle_t h2 = 0;
  ASSERT_EQ(ODBC_Server(nullptr, &h2), ER_SUCCESS);
  EXPECT_EQ(h2, hServer);
  EXPECT_EQ(ODBC_EndServer(hServer), ER_SUCCESS);
  EXPECT_NE(ODBC_ServerRec(hServer), nullptr);
  EXPECT_EQ(ODBC_EndServer(hServer), ER_SUCCESS);
  EXPECT_EQ(ODBC_ServerRec(hServer), nullptr);
  EXPECT_EQ(ODBC_EndServer(hServer), ER_INVALID_ARGUMENT);
}

TEST_F(BackendLogicSession, ServerScopeParameters) {
  char buf[32] = {0};
  uns16 len = 0;
  EXPECT_EQ(ODBC_GetDrvParameter(hServer, 0x11010000, buf, sizeof buf, &len), ER_SUCCESS);
  EXPECT_STREQ(buf, "odbc");
  EXPECT_EQ(agent_version_set, 1);
  EXPECT_EQ(ODBC_GetDrvParameter(hServer, 0x11010001, buf, sizeof buf, &len), ER_DRV_NO_SUPPORT);
  EXPECT_EQ(ODBC_GetDrvParameter(hServer, 0x41010000, buf, sizeof buf, &len), ER_DRV_NO_SUPPORT);
  EXPECT_EQ(ODBC_GetDrvParameter(0x99990000, 0x11010000, buf, sizeof buf, &len), ER_INVALID_ARGUMENT);
  sgn32 v = 1;
  EXPECT_EQ(ODBC_SetDrvParameter(hServer, 0x12010000, &v), ER_DRV_NOT_CAPABLE);
  EXPECT_EQ(ODBC_SetDrvParameter(0x99990000, 0x12010000, &v), ER_INVALID_ARGUMENT);
  // Connection and cursor scopes check their handles first.
  EXPECT_EQ(ODBC_GetDrvParameter(hServer, 0x22010008, buf, sizeof buf, &len), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_SetDrvParameter(hServer, 0x32030009, &v), ER_INVALID_ARGUMENT);
}

TEST_F(BackendLogicSession, InvalidHandlesAnswer21) {
  handle_t h = 0;
  Dataset ds{};
  EXPECT_EQ(ODBC_Connect(0x12345678, nullptr, &h), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_Cursor(hServer, &h), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_EndConnect(hServer), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_Prepare(hServer, const_cast<char*>("select 1")), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_Execute(hServer), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_Fetch(hServer, 10, &ds), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_Close(hServer), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_Commit(hServer), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_ExecuteN(hServer, 0, 0, nullptr), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_Cancel(hServer), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_MoreResults(hServer), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_DDTypeInfo(hServer, 0), ER_INVALID_ARGUMENT);
  OpTable t{};
  t.type = 1;
  EXPECT_EQ(ODBC_GetOpTable(hServer, &t), ER_INVALID_ARGUMENT);
}

}  // namespace
