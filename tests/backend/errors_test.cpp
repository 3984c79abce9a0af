// Error table, diagnostic queues, the error-information operation and the type
// mapping shared by the backend.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "backend/backend.h"

namespace {

struct BackendServerSession : ::testing::Test {
  handle_t hServer = 0;
  void SetUp() override { ASSERT_EQ(ODBC_Server(nullptr, &hServer), ER_SUCCESS); }
  void TearDown() override {
    while (numServers > 0) ODBC_EndServer(hServer);
  }
  ErrorQ* queue() { return &ODBC_ServerRec(hServer)->pendingError; }
};

TEST(BackendErrorTable, RowsMatchTheirCodes) {
  for (int i = 0; i < __LAST_ERROR__; i++) EXPECT_EQ(int(errorxlat[i].code), i) << "row " << i;
  EXPECT_EQ(std::string(errorxlat[ER_NEED_UPGRADE_BROKER].desc), "Agent needs a newer broker");
  EXPECT_EQ(std::string(errorxlat[ER_SYNTAXIS].sqlstate, 5), "37000");
}

TEST(BackendErrorTable, StateLookup) {
  struct {
    const char* state;
    errcode_t code;
  } cases[] = {
      {"23000", ER_INTEGRITY_VIOL}, {"42S02", ER_TABLE_NOT_FOUND},
      {"S1000", ER_GENERAL_ERROR},  {"01004", ER_DATA_TRUNCATED},
      {"42000", ER_ACCESS},         {"IM501", ER_SUCCESS},  // row 184 not searched
      {"ZZZZZ", ER_SUCCESS},        {"", ER_SUCCESS},
      {"\0\0\0\0\0", ER_SUCCESS},
  };
  for (auto& c : cases) EXPECT_EQ(ErrorFromSQLState(c.state), c.code) << c.state;
}

TEST_F(BackendServerSession, AgentMessageAndAppendMode) {
  SetVYRErrorMsg(queue(), ER_NEED_UPGRADE_BROKER);
  ASSERT_NE(queue()->pFirstMsg, nullptr);
  EXPECT_STREQ(queue()->pFirstMsg->msgBuf, "Agent needs a newer broker");
  EXPECT_STREQ(queue()->pFirstMsg->szSQLSTATE, "IM927");
  EXPECT_EQ(queue()->pFirstMsg->nativeError, 0);
  // Without bNoFlush the next message replaces the queue; with it, it is appended.
  SetVYRErrorMsg(queue(), ER_GENERAL_ERROR);
  EXPECT_EQ(CountErrorMsgQ(queue()), 1);
  queue()->bNoFlush = 1;
  SetVYRErrorMsg(queue(), ER_NO_MEMORY);
  EXPECT_EQ(CountErrorMsgQ(queue()), 2);
  EXPECT_STREQ(queue()->pFirstMsg->szSQLSTATE, "S1000");
}

TEST_F(BackendServerSession, ErrInfoHandsOutAtMostTenPerCall) {
  queue()->bNoFlush = 1;
  for (int i = 0; i < 13; i++)
    QErrorMsg(queue(), DBErrMsgCreate(("message " + std::to_string(i)).c_str(), 100 + i, "42S02"));
  ErrInfo info{};
  ASSERT_EQ(ODBC_ErrInfo(hServer, &info), ER_SUCCESS);
  ASSERT_EQ(info.messageCount, 10u);
  EXPECT_EQ(info.nativeError, 100);
  EXPECT_STREQ(info.messages[0], "[ODBC Server]message 0[SQLSTATE:42S02]");
  EXPECT_STREQ(info.messages[9], "[ODBC Server]message 9[SQLSTATE:42S02]");
  ErrInfo_Done(&info);
  ASSERT_EQ(ODBC_ErrInfo(hServer, &info), ER_SUCCESS);
  ASSERT_EQ(info.messageCount, 3u);
  EXPECT_EQ(info.nativeError, 110);
  EXPECT_STREQ(info.messages[2], "[ODBC Server]message 12[SQLSTATE:42S02]");
  ErrInfo_Done(&info);
  ASSERT_EQ(ODBC_ErrInfo(hServer, &info), ER_SUCCESS);
  EXPECT_EQ(info.messageCount, 0u);
}

TEST_F(BackendServerSession, EmptyTextTravelsAsNull) {
  QErrorMsg(queue(), DBErrMsgCreate("", 7, "S1000"));
  ErrInfo info{};
  ASSERT_EQ(ODBC_ErrInfo(hServer, &info), ER_SUCCESS);
  ASSERT_EQ(info.messageCount, 1u);
  EXPECT_EQ(info.messages[0], nullptr);
  ErrInfo_Done(&info);
}

TEST_F(BackendServerSession, UnknownHandleIsInvalid) {
  ErrInfo info{};
  EXPECT_EQ(ODBC_ErrInfo(0x12340000, &info), ER_INVALID_ARGUMENT);
  EXPECT_EQ(ODBC_ErrInfo(hServer + 1, &info), ER_INVALID_ARGUMENT);
}

TEST(BackendErrorQueue, LongTextIsCutAtACharacterBoundary) {
  std::string text(2046, 'a');
  text += "\xC3\xA9\xC3\xA9";  // the cut falls inside the first é
  ErrorMsg* m = DBErrMsgCreate(text.c_str(), 0, "S1000");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(strlen(m->msgBuf), 2046u);
  ErrorQ q{};
  QErrorMsg(&q, m);
  FlushErrorMsgQ(&q);
  EXPECT_EQ(q.pFirstMsg, nullptr);
}

TEST(BackendTypeMapping, CellTypesOfSqlTypes) {
  struct {
    int sql;
    precision_t p;
    ctype_t t;
    precision_t fetch, disp;
  } cases[] = {
      {SQL_VARCHAR, 20, CTYPE_VCHR, 21, 20},
      {SQL_CHAR, 5, CTYPE_VCHR, 6, 5},
      {SQL_NUMERIC, 10, CTYPE_VCHR, 12, 12},
      {SQL_BIGINT, 19, CTYPE_VCHR, 21, 21},
      {SQL_INTEGER, 10, CTYPE_SGN32, 4, 11},
      {SQL_SMALLINT, 5, CTYPE_SGN16, 2, 6},
      {SQL_DOUBLE, 15, CTYPE_FLT64, 8, 15},
      {SQL_REAL, 7, CTYPE_FLT32, 4, 13},
      {SQL_TYPE_DATE, 10, CTYPE_DATE, 6, 10},
      {SQL_TIMESTAMP, 19, CTYPE_TIMESTAMP, 16, 19},
      {SQL_WLONGVARCHAR, 100, CTYPE_WVCHR32, 105, 100},
      {SQL_WVARCHAR, 8, CTYPE_WVCHR, 9, 8},
      {SQL_BIT, 1, CTYPE_SGN8, 1, 3},
      {SQL_TINYINT, 3, CTYPE_SGN8, 1, 4},
      {SQL_VARBINARY, 16, CTYPE_VBIN32, 20, 32},
      {SQL_LONGVARCHAR, 60000, CTYPE_VCHR32, 60005, 60000},
      {1234, 9, CTYPE_VCHR, 0, 9},
      {SQL_VARCHAR, 0xFFFFFFFFu, CTYPE_VCHR, 0xFFFFFFFFu, 0xFFFFFFFFu},
      {SQL_GUID, 36, CTYPE_VCHR, 37, 36},
      {SQL_DECIMAL, 8, CTYPE_VCHR, 10, 10},
      {SQL_FLOAT, 15, CTYPE_FLT64, 8, 15},
      {SQL_DATE, 10, CTYPE_DATE, 6, 10},
      {SQL_TIME, 8, CTYPE_TIME, 6, 8},
      {SQL_TYPE_TIME, 8, CTYPE_TIME, 6, 8},
      {SQL_TYPE_TIMESTAMP, 23, CTYPE_TIMESTAMP, 16, 23},
      {SQL_WCHAR, 4, CTYPE_WVCHR, 5, 4},
      {SQL_BINARY, 4, CTYPE_VBIN32, 8, 8},
      {SQL_LONGVARBINARY, 100, CTYPE_VBIN32, 104, 200},
  };
  for (auto& c : cases) {
    precision_t f = 1, d = 1;
    EXPECT_EQ(GetVYRCTypeFromSQLType(c.sql, c.p, &f, &d), c.t) << c.sql;
    EXPECT_EQ(f, c.fetch) << c.sql;
    EXPECT_EQ(d, c.disp) << c.sql;
  }
  EXPECT_EQ(GetVYRCTypeFromSQLType(SQL_INTEGER, 10, nullptr, nullptr), CTYPE_SGN32);
}

TEST(BackendTypeMapping, LongTypes) {
  for (int t : {SQL_LONGVARCHAR, SQL_LONGVARBINARY, SQL_WLONGVARCHAR}) EXPECT_TRUE(DB_IsLongType(t)) << t;
  for (int t : {SQL_VARCHAR, SQL_INTEGER, SQL_VARBINARY, 0}) EXPECT_FALSE(DB_IsLongType(t)) << t;
}

}  // namespace
