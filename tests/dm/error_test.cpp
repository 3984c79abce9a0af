// SQLError: the manager's records newest first, then the driver's (through its SQLError or
// its SQLGetDiagRec), truncation, and both widths.

#include <gtest/gtest.h>

#include <cstring>

#include "dm/dm_internal.h"
#include "fixtures/odbc_env/dm_test_env.h"

namespace {

using namespace dmtest;

class Errors : public DmTest {
 protected:
  zolandm_dbc* conn() const { return static_cast<zolandm_dbc*>(dbc); }
  void refused_connect(const std::string& dsn) {
    ScopedEnv refuse("FAKEDRV_CONNECT_RC", "-1");
    ASSERT_EQ(connect(dsn), SQL_ERROR);
  }
};

TEST_F(Errors, ArgumentValueRecordReadsAsHY009) {
  _zolandm_diag_add(dbc, ZOLANDM_E_S1009);
  SQLCHAR state[6];
  SQLINTEGER native = -5;
  SQLCHAR text[128];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLError(nullptr, dbc, nullptr, state, &native, text, sizeof text, &len), SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(state), "HY009");
  EXPECT_EQ(native, 0);
  EXPECT_STREQ(reinterpret_cast<char*>(text), "[Zolan][Driver Manager]Invalid argument value");
  EXPECT_EQ(len, 45);
}

TEST_F(Errors, TruncationOfTheMessage) {
  struct Case {
    SQLSMALLINT size;
    SQLRETURN rc;
    const char* text;
  } cases[] = {
      {47, SQL_SUCCESS, "[Zolan][Driver Manager]Function sequence error"},
      {46, SQL_SUCCESS_WITH_INFO, "[Zolan][Driver Manager]Function sequence erro"},
      {1, SQL_SUCCESS_WITH_INFO, ""},
  };
  for (const Case& c : cases) {
    _zolandm_diag_add(dbc, ZOLANDM_E_S1010);
    SQLCHAR state[6];
    SQLCHAR text[64];
    std::memset(text, 'Z', sizeof text);
    SQLSMALLINT len = 0;
    EXPECT_EQ(SQLError(nullptr, dbc, nullptr, state, nullptr, text, c.size, &len), c.rc) << c.size;
    EXPECT_STREQ(reinterpret_cast<char*>(text), c.text);
    EXPECT_EQ(len, 46);
    EXPECT_EQ(_zolandm_diag_count(dbc), 0) << "the record is removed all the same";
  }
  // Wide: the buffer counts characters.
  _zolandm_diag_add(dbc, ZOLANDM_E_S1010);
  SQLWCHAR wstate[6];
  SQLWCHAR wtext[64];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLErrorW(nullptr, dbc, nullptr, wstate, nullptr, wtext, 46, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(std::wstring(wstate), L"S1010");
  EXPECT_EQ(std::wstring(wtext), L"[Zolan][Driver Manager]Function sequence erro");
  EXPECT_EQ(len, 46);
}

TEST_F(Errors, BufferArguments) {
  SQLCHAR state[6];
  SQLCHAR text[64];
  SQLSMALLINT len = 7;
  // No message buffer: the record still goes, the length is 0.
  _zolandm_diag_add(dbc, ZOLANDM_E_S1010);
  EXPECT_EQ(SQLError(nullptr, dbc, nullptr, state, nullptr, nullptr, 64, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 0);
  EXPECT_STREQ(reinterpret_cast<char*>(state), "S1010");
  EXPECT_EQ(_zolandm_diag_count(dbc), 0);
  // A negative size is refused with a buffer, accepted without one.
  _zolandm_diag_add(dbc, ZOLANDM_E_S1010);
  EXPECT_EQ(SQLError(nullptr, dbc, nullptr, state, nullptr, text, -1, &len), SQL_ERROR);
  EXPECT_EQ(_zolandm_diag_count(dbc), 1);
  EXPECT_EQ(SQLError(nullptr, dbc, nullptr, state, nullptr, nullptr, -1, &len), SQL_SUCCESS);
  EXPECT_EQ(_zolandm_diag_count(dbc), 0);
}

TEST_F(Errors, HandleChoice) {
  SQLCHAR state[6];
  // An environment without records answers at once.
  EXPECT_EQ(SQLError(env, nullptr, nullptr, state, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
  // A connection without records and without a driver too.
  EXPECT_EQ(SQLError(env, dbc, nullptr, state, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
  // A statement handle that is not one is passed over for the connection.
  _zolandm_diag_add(dbc, ZOLANDM_E_08003);
  _zolandm_diag_add(env, ZOLANDM_E_S1001);
  zolandm_hdr bogus{0, nullptr, 0, nullptr};
  EXPECT_EQ(states(env, dbc, &bogus), std::vector<std::string>{"08003"});
  EXPECT_EQ(states(env, nullptr, nullptr), std::vector<std::string>{"S1001"});
}

TEST_F(Errors, ManagerRecordsNewestFirstThenTheDriversThroughSQLError) {
  fake_dsn("fake", "odbc2");
  refused_connect("fake");
  _zolandm_diag_add(dbc, ZOLANDM_E_S1000);
  _zolandm_diag_add(dbc, ZOLANDM_E_01000);
  std::vector<Diag> got = errors(nullptr, dbc, nullptr);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].state, "01000");
  EXPECT_EQ(got[1].state, "S1000");
  EXPECT_EQ(got[2].state, "08001");
  EXPECT_EQ(got[2].native, 7);
  EXPECT_EQ(got[2].text, "[fake]connect refused");
  EXPECT_EQ(got[3].state, "01000");
  EXPECT_EQ(got[3].native, 8);
  EXPECT_EQ(fake_calls("odbc2", "Error").size(), 3u);  // two records and the end
}

TEST_F(Errors, OdbcThreeDriverWithoutSQLErrorIsReadByRecordNumber) {
  fake_dsn("fake", "odbc3");
  refused_connect("fake");
  std::vector<Diag> got = errors(nullptr, dbc, nullptr);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].text, "[fake]connect refused");
  EXPECT_EQ(got[1].text, "[fake]second record");
  EXPECT_EQ(fake_calls("odbc3", "GetDiagRec type=2 rec="),
            (std::vector<std::string>{"GetDiagRec type=2 rec=1", "GetDiagRec type=2 rec=2",
                                      "GetDiagRec type=2 rec=3"}));
  // The next ordinary call starts afresh.
  SQLUINTEGER value;
  SQLGetConnectOption(dbc, SQL_AUTOCOMMIT, &value);
  EXPECT_EQ(conn()->diag_read_count, 0);
}

TEST_F(Errors, OdbcTwoApplicationPrefersTheDriversSQLError) {
  fake_dsn("fake", "aonly");  // ODBC 3 driver that also has SQLErrorA
  refused_connect("fake");
  EXPECT_EQ(states(nullptr, dbc, nullptr), (std::vector<std::string>{"08001", "01000"}));
  EXPECT_EQ(fake_calls("aonly", "Error").size(), 3u);
  EXPECT_TRUE(fake_calls("aonly", "GetDiagRec").empty());
}

TEST_F(Errors, OdbcThreeApplicationAsksSQLGetDiagRec) {
  fake_dsn("fake", "aonly");
  static_cast<zolandm_env*>(env)->odbc_version = 3;
  refused_connect("fake");
  EXPECT_EQ(states(nullptr, dbc, nullptr), (std::vector<std::string>{"08001", "01000"}));
  EXPECT_TRUE(fake_calls("aonly", "Error").empty());
  EXPECT_EQ(fake_calls("aonly", "GetDiagRec").size(), 3u);
}

TEST_F(Errors, WidthsAcrossTheDriver) {
  fake_dsn("fake", "odbc3");
  refused_connect("fake");
  std::vector<Diag> wide = errors(nullptr, dbc, nullptr, true);
  ASSERT_EQ(wide.size(), 2u);
  EXPECT_EQ(wide[0].state, "08001");
  EXPECT_EQ(wide[0].text, "[fake]connect refused");

  fake_dsn("wfake", "wide");
  refused_connect("wfake");
  std::vector<Diag> narrow = errors(nullptr, dbc, nullptr, false);
  ASSERT_EQ(narrow.size(), 2u);
  EXPECT_EQ(narrow[0].state, "08001");
  EXPECT_EQ(narrow[0].text, "[fake]connect refused");
  // One more than the two records: the width check before the connect reads
  // the driver's diagnostic of its unconnected SQLGetInfoW.
  EXPECT_EQ(fake_calls("wide", "GetDiagRecW").size(), 3u + 1u);

  // Cut to the caller's buffer on the way across.
  refused_connect("wfake");
  SQLCHAR state[6];
  SQLCHAR text[8];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLError(nullptr, dbc, nullptr, state, nullptr, text, sizeof text, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(reinterpret_cast<char*>(text), "[fake]c");
  EXPECT_EQ(len, 21);
}

TEST_F(Errors, NoMemoryForTheConversionBufferLeavesTheDriversRecordsUnread) {
  struct Case {
    const char* variant;
    bool wide_call;
    const char* diag_call;  // the driver's reader, as its log names it
  } cases[] = {
      {"wide", false, "GetDiagRecW"},
      {"odbc3", true, "GetDiagRec"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variant);
    odbc_ini_text.clear();
    fake_dsn("fake", c.variant);
    static_cast<zolandm_env*>(env)->odbc_version = 3;
    refused_connect("fake");
    fake_log_clear(c.variant);
    SQLWCHAR wtext[64];
    SQLCHAR text[64];
    void* buffer = c.wide_call ? static_cast<void*>(wtext) : static_cast<void*>(text);
    _zolandm_fail_alloc_after(1);
    SQLRETURN rc =
        c.wide_call
            ? SQLErrorW(nullptr, dbc, nullptr, nullptr, nullptr, static_cast<SQLWCHAR*>(buffer), 64, nullptr)
            : SQLError(nullptr, dbc, nullptr, nullptr, nullptr, static_cast<SQLCHAR*>(buffer), 64, nullptr);
    _zolandm_fail_alloc_after(0);
    EXPECT_EQ(rc, SQL_ERROR);
    EXPECT_EQ(conn()->diag_read_count, 0);
    EXPECT_TRUE(fake_calls(c.variant, c.diag_call).empty());
    // The next read starts at the driver's first record.
    std::vector<Diag> read = errors(nullptr, dbc, nullptr, c.wide_call);
    ASSERT_FALSE(read.empty());
    EXPECT_EQ(read[0].state, "08001");
  }
}

TEST_F(Errors, NoMemoryWhileCopyingKeepsTheRecordsCopied) {
  fake_dsn("fake", "odbc3");
  static_cast<zolandm_env*>(env)->odbc_version = 3;
  refused_connect("fake");
  // The copy, the read buffer and the first record's message, not the second's.
  _zolandm_fail_alloc_after(4);
  SQLCHAR state[6];
  SQLCHAR text[64];
  EXPECT_EQ(SQLError(nullptr, dbc, nullptr, state, nullptr, text, sizeof text, nullptr), SQL_SUCCESS);
  _zolandm_fail_alloc_after(0);
  EXPECT_STREQ(reinterpret_cast<char*>(text), "[fake]connect refused");
  EXPECT_EQ(SQLError(nullptr, dbc, nullptr, state, nullptr, text, sizeof text, nullptr), SQL_ERROR);
  SQLINTEGER n = 0;
  ASSERT_EQ(SQLGetDiagField(SQL_HANDLE_DBC, dbc, 0, SQL_DIAG_NUMBER, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, state, nullptr, text, sizeof text, nullptr), SQL_SUCCESS);
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 2, state, nullptr, text, sizeof text, nullptr), SQL_ERROR);
  // The driver was read once.
  EXPECT_EQ(fake_calls("odbc3", "GetDiagRec type=2").size(), 2u);
}

}  // namespace
