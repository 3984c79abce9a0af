// SQLConnect, SQLDriverConnect (DSN, DRIVER, FILEDSN, SAVEFILE), SQLBrowseConnect,
// SQLDisconnect and SQLNativeSql against the fake drivers, in both widths.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <cwchar>
#include <functional>
#include <memory>

#include "dm/dm_internal.h"
#include "fixtures/odbc_env/dm_test_env.h"

namespace {

using namespace dmtest;

class Connect : public DmTest {
 protected:
  zolandm_dbc* conn() const { return static_cast<zolandm_dbc*>(dbc); }
  std::string first_state() {
    std::vector<std::string> s = states(nullptr, dbc, nullptr);
    return s.empty() ? "" : s[0];
  }
  SQLRETURN driver_connect(const std::string& in, SQLUSMALLINT completion = SQL_DRIVER_NOPROMPT,
                           SQLCHAR* out = nullptr, SQLSMALLINT out_max = 0, SQLSMALLINT* out_len = nullptr) {
    return SQLDriverConnect(dbc, nullptr, U(in), SQL_NTS, out, out_max, out_len, completion);
  }
};

TEST_F(Connect, ArgumentChecks) {
  fake_dsn("fake", "odbc3");
  std::string name33(33, 'd');
  // A file data source whose keys do not fit one connection string.
  std::string big_file = "[ODBC]\nDRIVER = " + fake_driver("odbc3") + "\n";
  for (char k = 'A'; k <= 'J'; ++k) big_file += std::string("KEY") + k + " = " + std::string(1000, k) + "\n";
  ini.write("big.dsn", big_file);
  struct Case {
    const char* what;
    SQLRETURN rc;
    const char* state;
    std::function<SQLRETURN()> call;
  } cases[] = {
      {"name length 33", SQL_ERROR, "S1090",
       [&] { return SQLConnect(dbc, U(name33), 33, nullptr, 0, nullptr, 0); }},
      {"name length 32, unknown", SQL_ERROR, "IM002",
       [&] { return SQLConnect(dbc, U(name33), 32, nullptr, 0, nullptr, 0); }},
      {"long name with SQL_NTS", SQL_ERROR, "IM002",
       [&] { return SQLConnect(dbc, U(name33), SQL_NTS, nullptr, 0, nullptr, 0); }},
      {"negative user length", SQL_ERROR, "S1090",
       [&] { return SQLConnect(dbc, U("fake"), SQL_NTS, U("u"), -7, nullptr, 0); }},
      {"null name", SQL_ERROR, "IM002",
       [&] { return SQLConnect(dbc, nullptr, SQL_NTS, nullptr, 0, nullptr, 0); }},
      {"empty name", SQL_ERROR, "IM002",
       [&] { return SQLConnect(dbc, U("fake"), 0, nullptr, 0, nullptr, 0); }},
      {"connection string length", SQL_ERROR, "S1090",
       [&] { return SQLDriverConnect(dbc, nullptr, U("DSN=fake"), -9, nullptr, 0, nullptr, 0); }},
      {"no DSN nor DRIVER", SQL_ERROR, "IM007", [&] { return driver_connect("UID=u"); }},
      {"completion mode", SQL_ERROR, "S1110", [&] { return driver_connect("DSN=fake", 7); }},
      {"DSN longer than 32", SQL_ERROR, "IM010", [&] { return driver_connect("DSN=" + name33); }},
      {"null connection string", SQL_ERROR, "HY001",
       [&] {
         return SQLDriverConnect(dbc, nullptr, nullptr, SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
       }},
      {"file data source too big", SQL_ERROR, "IM015",
       [&] { return driver_connect("FILEDSN=" + ini.path("big.dsn")); }},
      {"browse without a driver", SQL_ERROR, "IM002",
       [&] { return SQLBrowseConnect(dbc, U("UID=u"), SQL_NTS, nullptr, 0, nullptr); }},
      {"browse output length", SQL_ERROR, "S1090",
       [&] { return SQLBrowseConnect(dbc, U("DSN=fake"), SQL_NTS, nullptr, -1, nullptr); }},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(), c.rc) << c.what;
    EXPECT_EQ(first_state(), c.state) << c.what;
    EXPECT_EQ(conn()->state, 0) << c.what;
  }
}

TEST_F(Connect, TruncatedDsnDoesNotReachAnotherDataSource) {
  // The first 32 characters name an existing data source; the full name does not.
  std::string name32(32, 'x');
  fake_dsn(name32, "odbc3");
  EXPECT_EQ(driver_connect("DSN=" + name32 + "yz"), SQL_ERROR);
  EXPECT_EQ(first_state(), "IM010");
  EXPECT_EQ(driver_connect("DSN=" + name32), SQL_SUCCESS);
}

TEST_F(Connect, SecondConnectIsRefused) {
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(connect("fake"), SQL_ERROR);
  EXPECT_EQ(first_state(), "08002");
  EXPECT_EQ(driver_connect("DSN=fake"), SQL_ERROR);
  EXPECT_EQ(first_state(), "08002");
  EXPECT_EQ(SQLBrowseConnect(dbc, U("DSN=fake"), SQL_NTS, nullptr, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(first_state(), "08002");
}

TEST_F(Connect, WidthsOfSQLConnect) {
  fake_dsn("fake", "odbc3");
  fake_dsn("wfake", "wide");
  std::wstring dsn = L"fakeXX", uid = L"u", pwd = L"p";
  // Wide call, narrow driver: narrowed copies with SQL_NTS.
  ASSERT_EQ(SQLConnectW(dbc, U(dsn), 4, U(uid), 1, U(pwd), 1), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("odbc3", "Connect dsn=fake dl=-3 uid=u ul=-3 pwd=p pl=-3").size(), 1u);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  // Wide call, wide driver: the caller's strings and lengths.
  std::wstring wdsn = L"wfakeXX";
  ASSERT_EQ(SQLConnectW(dbc, U(wdsn), 5, U(uid), 1, U(pwd), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("wide", "ConnectW dsn=wfake dl=5 uid=u ul=1 pwd=p pl=-3").size(), 1u);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  // Narrow call, wide driver: widened with SQL_NTS.
  ASSERT_EQ(SQLConnect(dbc, U("wfakeXX"), 5, U("u"), 1, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("wide", "ConnectW dsn=wfake dl=-3 uid=u ul=-3 pwd=<null>").size(), 1u);
}

TEST_F(Connect, RefusedConnectLeavesTheDriversRecords) {
  fake_dsn("fake", "odbc3");
  ScopedEnv refuse("FAKEDRV_CONNECT_RC", "-1");
  EXPECT_EQ(connect("fake"), SQL_ERROR);
  EXPECT_EQ(conn()->state, 0);
  std::vector<Diag> got = errors(nullptr, dbc, nullptr);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].state, "08001");
  EXPECT_EQ(got[0].native, 7);
  EXPECT_EQ(got[0].text, "[fake]connect refused");
  EXPECT_EQ(got[1].state, "01000");
}

TEST_F(Connect, DriverConnectWithDsnAndDriver) {
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(driver_connect("DSN=fake;UID=u;PWD=p"), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("odbc3", "DriverConnect in=DSN=fake;UID=u;PWD=p il=-3 omax=8192 completion=0").size(),
            1u);
  EXPECT_EQ(conn()->state, 2);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  // DRIVER alone: no data source needed.
  std::string in = "DRIVER=" + fake_driver("odbc2") + ";Database=x";
  SQLCHAR out[256];
  SQLSMALLINT out_len = 0;
  ASSERT_EQ(driver_connect(in, SQL_DRIVER_NOPROMPT, out, sizeof out, &out_len), SQL_SUCCESS);
  std::string expected = in + ";FAKE=1";
  EXPECT_EQ(reinterpret_cast<char*>(out), expected);
  EXPECT_EQ(out_len, static_cast<SQLSMALLINT>(expected.size()));
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  // A data source whose section names no driver.
  ini.odbc_ini("[nodriver]\nDescription = none\n");
  EXPECT_EQ(driver_connect("DSN=nodriver"), SQL_ERROR);
  EXPECT_EQ(first_state(), "IM002");
}

TEST_F(Connect, DriverOnlyStringReadsTheDefaultSection) {
  ini.odbc_ini("[default]\nThreadManager = 1\n");
  ASSERT_EQ(driver_connect("DRIVER=" + fake_driver("odbc3")), SQL_SUCCESS);
  EXPECT_EQ(conn()->driver->thread_safe, 0);
}

TEST_F(Connect, DriverConnectWideOutputLengthCountsCharacters) {
  fake_dsn("fake", "odbc3");
  fake_dsn("wfake", "wide");
  for (const char* dsn : {"fake", "wfake"}) {
    SCOPED_TRACE(dsn);
    std::wstring in = W(std::string("DSN=") + dsn);
    SQLWCHAR out[128];
    SQLSMALLINT out_len = -1;
    ASSERT_EQ(SQLDriverConnectW(dbc, nullptr, U(in), SQL_NTS, out, 128, &out_len, SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS);
    std::wstring expected = in + L";FAKE=1";
    EXPECT_EQ(std::wstring(out), expected);
    EXPECT_EQ(out_len, static_cast<SQLSMALLINT>(expected.size()));
    ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    // No output-length pointer is accepted.
    ASSERT_EQ(SQLDriverConnectW(dbc, nullptr, U(in), SQL_NTS, out, 128, nullptr, SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS);
    ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  }
  // Narrow call on a wide driver: the output comes back narrowed, bounded by the buffer.
  SQLCHAR small[10];
  SQLSMALLINT len = 0;
  ASSERT_EQ(driver_connect("DSN=wfake", SQL_DRIVER_NOPROMPT, small, sizeof small, &len), SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(small), "DSN=wfake");
}

TEST_F(Connect, FileDataSource) {
  std::string file = ini.path("test.dsn");
  ini.write("test.dsn", "[ODBC]\nDRIVER = " + fake_driver("odbc3") + "\nUID = fileuser\nDATABASE = filedb\n");
  SQLCHAR out[512];
  SQLSMALLINT out_len = 0;
  ASSERT_EQ(
      driver_connect("FILEDSN=" + file + ";UID=mine;PWD=pw", SQL_DRIVER_NOPROMPT, out, sizeof out, &out_len),
      SQL_SUCCESS);
  // The file names a driver: its keys override the connection string's.
  std::vector<std::string> calls =
      fake_calls("odbc3", "DriverConnect in=DRIVER=" + fake_driver("odbc3") + ";");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].find("UID=fileuser"), std::string::npos) << calls[0];
  EXPECT_NE(calls[0].find("DATABASE=filedb"), std::string::npos) << calls[0];
  EXPECT_NE(calls[0].find("PWD=pw"), std::string::npos) << calls[0];
  std::string text = reinterpret_cast<char*>(out);
  EXPECT_EQ(text.substr(text.size() - file.size() - 9), ";FILEDSN=" + file);
  EXPECT_EQ(out_len, static_cast<SQLSMALLINT>(text.size()));
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);

  // A file without a driver only adds keys; a DSN after FILEDSN is dropped.
  ini.write("nodrv.dsn", "[ODBC]\nUID = fileuser\nEXTRA = 1\n");
  fake_dsn("fake", "odbc3");
  EXPECT_EQ(driver_connect("FILEDSN=" + ini.path("nodrv.dsn") + ";DSN=fake;UID=mine"), SQL_ERROR);
  EXPECT_EQ(first_state(), "IM007");
  ASSERT_EQ(
      driver_connect("FILEDSN=" + ini.path("nodrv.dsn") + ";DRIVER=" + fake_driver("odbc3") + ";UID=mine"),
      SQL_SUCCESS);
  calls = fake_calls("odbc3", "DriverConnect");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_NE(calls[0].find("UID=mine"), std::string::npos) << calls[0];
  EXPECT_NE(calls[0].find("EXTRA=1"), std::string::npos) << calls[0];
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);

  // DSN before FILEDSN: the file is ignored (here it does not even exist).
  fake_log_clear("odbc3");
  ASSERT_EQ(driver_connect("DSN=fake;FILEDSN=" + ini.path("missing.dsn")), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  // FILEDSN first and no such file.
  EXPECT_EQ(driver_connect("FILEDSN=" + ini.path("missing.dsn") + ";DSN=fake"), SQL_ERROR);
  EXPECT_EQ(first_state(), "IM015");
}

TEST_F(Connect, SaveFile) {
  fake_dsn("fake", "odbc3");
  std::string file = ini.path("saved.dsn");
  SQLCHAR out[512];
  SQLSMALLINT out_len = 0;
  ASSERT_EQ(driver_connect("DSN=fake;UID=u;PWD=secret;SAVEFILE=" + file, SQL_DRIVER_NOPROMPT, out, sizeof out,
                           &out_len),
            SQL_SUCCESS);
  std::string text = reinterpret_cast<char*>(out);
  EXPECT_EQ(text.substr(text.size() - file.size() - 10), ";SAVEFILE=" + file);
  EXPECT_EQ(conn()->cp_timeout, 0);
  std::string saved = ini.read("saved.dsn");
  EXPECT_NE(saved.find("UID"), std::string::npos) << saved;
  EXPECT_NE(saved.find("FAKE"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("PWD"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("secret"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("DSN ="), std::string::npos) << saved;
  EXPECT_EQ(saved.find("SAVEFILE"), std::string::npos) << saved;
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  // And it connects again through the file.
  ini.write("saved.dsn", saved + "DRIVER = " + fake_driver("odbc3") + "\n");
  EXPECT_EQ(driver_connect("FILEDSN=" + file), SQL_SUCCESS);
}

TEST_F(Connect, FileDataSourcesInWideCalls) {
  std::string file = ini.path("w.dsn");
  ini.write("w.dsn", "[ODBC]\nDRIVER = " + fake_driver("wide") + "\nUID = fileuser\n");
  std::wstring in = W("FILEDSN=" + file);
  SQLWCHAR out[512];
  SQLSMALLINT out_len = 0;
  ASSERT_EQ(SQLDriverConnectW(dbc, nullptr, U(in), SQL_NTS, out, 512, &out_len, SQL_DRIVER_NOPROMPT),
            SQL_SUCCESS);
  EXPECT_EQ(
      fake_calls("wide", "DriverConnectW in=DRIVER=" + fake_driver("wide") + ";UID=fileuser il=-3").size(),
      1u);
  std::wstring text = out;
  EXPECT_EQ(text.substr(text.size() - file.size() - 9), W(";FILEDSN=" + file));
  EXPECT_EQ(out_len, static_cast<SQLSMALLINT>(text.size()));
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);

  fake_dsn("fake", "odbc3");
  std::string saved = ini.path("wsaved.dsn");
  std::wstring save_in = W("DSN=fake;UID=w;PWD=pw;SAVEFILE=" + saved);
  ASSERT_EQ(SQLDriverConnectW(dbc, nullptr, U(save_in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
            SQL_SUCCESS);
  std::string written = ini.read("wsaved.dsn");
  EXPECT_NE(written.find("UID"), std::string::npos) << written;
  EXPECT_EQ(written.find("pw"), std::string::npos) << written;
}

TEST_F(Connect, SaveFileThatCannotBeWrittenIsAWarning) {
  fake_dsn("fake", "odbc3");
  EXPECT_EQ(driver_connect("DSN=fake;SAVEFILE=" + ini.path("no/such/dir/x.dsn")), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(conn()->state, 2);
  EXPECT_EQ(first_state(), "01S08");
}

TEST_F(Connect, PromptWithoutADialogLibraryConnectsAsWithout) {
  fake_dsn("fake", "odbc3");
  EXPECT_EQ(driver_connect("DSN=fake", SQL_DRIVER_PROMPT), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("odbc3", "DriverConnect in=DSN=fake il=-3 omax=8192 completion=2").size(), 1u);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  // Complete with nothing to complete from: no dialog, and the driver has no driver name.
  EXPECT_EQ(driver_connect("UID=u", SQL_DRIVER_COMPLETE), SQL_ERROR);
  EXPECT_EQ(first_state(), "IM002");
}

TEST_F(Connect, Browse) {
  fake_dsn("fake", "odbc3");
  ScopedEnv steps("FAKEDRV_BROWSE_STEPS", "2");
  SQLCHAR out[128];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLBrowseConnect(dbc, U("DSN=fake"), SQL_NTS, out, sizeof out, &len), SQL_NEED_DATA);
  EXPECT_EQ(conn()->state, 1);
  EXPECT_STREQ(reinterpret_cast<char*>(out), "UID:User=?;PWD:Password=?");
  // Later calls of the same browse are not parsed again: a bare value would otherwise fail.
  EXPECT_EQ(SQLBrowseConnect(dbc, U("UID=u"), SQL_NTS, out, sizeof out, &len), SQL_NEED_DATA);
  EXPECT_EQ(SQLBrowseConnect(dbc, U("PWD=p"), SQL_NTS, out, sizeof out, &len), SQL_SUCCESS);
  EXPECT_EQ(conn()->state, 2);
  EXPECT_STREQ(reinterpret_cast<char*>(out), "DSN=browsed");
  EXPECT_EQ(fake_calls("odbc3", "AllocHandle type=2").size(), 1u);
  EXPECT_EQ(fake_calls("odbc3", "BrowseConnect").size(), 3u);
  EXPECT_EQ(SQLBrowseConnect(dbc, U("DSN=fake"), SQL_NTS, out, sizeof out, &len), SQL_ERROR);
  EXPECT_EQ(first_state(), "08002");
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  EXPECT_EQ(conn()->state, 0);
}

TEST_F(Connect, BrowseWideAndRefused) {
  fake_dsn("fake", "odbc3");
  ScopedEnv steps("FAKEDRV_BROWSE_STEPS", "1");
  SQLWCHAR out[128];
  SQLSMALLINT len = 0;
  std::wstring in = L"DSN=fake";
  EXPECT_EQ(SQLBrowseConnectW(dbc, U(in), SQL_NTS, out, 128, &len), SQL_NEED_DATA);
  EXPECT_EQ(std::wstring(out), L"UID:User=?;PWD:Password=?");
  ScopedEnv refuse("FAKEDRV_CONNECT_RC", "-1");
  std::wstring more = L"UID=u";
  EXPECT_EQ(SQLBrowseConnectW(dbc, U(more), SQL_NTS, out, 128, &len), SQL_ERROR);
  EXPECT_EQ(conn()->state, 0);
  EXPECT_NE(conn()->driver, nullptr);
}

TEST_F(Connect, Disconnect) {
  fake_dsn("fake", "odbc3");
  EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
  EXPECT_EQ(first_state(), "08003");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  {
    ScopedEnv fail("FAKEDRV_DISCONNECT_RC", "-1");
    EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
    EXPECT_EQ(conn()->state, 2);
  }
  {
    ScopedEnv info("FAKEDRV_DISCONNECT_RC", "1");
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    EXPECT_EQ(conn()->state, 0);
  }
}

TEST_F(Connect, DisconnectRefusedWhileAStatementNeedsData) {
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  auto* s = static_cast<zolandm_stmt*>(std::calloc(1, sizeof(zolandm_stmt)));
  s->handle_type = ZOLANDM_STMT;
  s->dbc = conn();
  s->state = 8;
  conn()->stmts = s;
  EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
  EXPECT_EQ(first_state(), "S1010");
  s->state = 0;
  s->async_func = ZOLANDM_FN_SQLExecute;
  EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
  s->async_func = 0;
  EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  EXPECT_EQ(conn()->stmts, nullptr);  // released with the connection
}

TEST_F(Connect, NativeSql) {
  fake_dsn("fake", "odbc3");
  fake_dsn("wfake", "wide");
  SQLCHAR out[64];
  SQLINTEGER len = 0;
  EXPECT_EQ(SQLNativeSql(dbc, U("select 1"), SQL_NTS, out, sizeof out, &len), SQL_ERROR);
  EXPECT_EQ(first_state(), "08003");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(SQLNativeSql(dbc, nullptr, SQL_NTS, out, sizeof out, &len), SQL_ERROR);
  EXPECT_EQ(first_state(), "HY009");
  EXPECT_EQ(SQLNativeSql(dbc, U("select 1"), -8, out, sizeof out, &len), SQL_ERROR);
  EXPECT_EQ(first_state(), "S1090");
  EXPECT_EQ(SQLNativeSql(dbc, U("select 1"), SQL_NTS, out, sizeof out, &len), SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(out), "native:select 1");
  SQLWCHAR wout[64];
  std::wstring text = L"select 2";
  EXPECT_EQ(SQLNativeSqlW(dbc, U(text), SQL_NTS, wout, 64, &len), SQL_SUCCESS);
  EXPECT_EQ(std::wstring(wout), L"native:select 2");
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  ASSERT_EQ(connect("wfake"), SQL_SUCCESS);
  EXPECT_EQ(SQLNativeSql(dbc, U("select 3"), SQL_NTS, out, sizeof out, &len), SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(out), "native:select 3");
  EXPECT_EQ(fake_calls("wide", "NativeSqlW in=select 3 il=-3").size(), 1u);
}

// With pooling on, a connect that finds nothing in the pool keeps what the pool will match the
// connection by; without pooling nothing is kept.
TEST_F(Connect, PooledConnectKeepsItsMatchingKeys) {
  fake_dsn("fake", "odbc3");
  const std::wstring wdsn = W("fake"), wuid = W("user"), wpwd = W("secret");
  const std::wstring wconn = W("DSN=fake;UID=w");
  struct Case {
    const char* name;
    int pooling;
    std::function<SQLRETURN(SQLHDBC)> call;
    const char *dsn, *uid, *pwd, *connstr;  // expected copies (null: none)
  } cases[] = {
      {"narrow", 1,
       [](SQLHDBC h) { return SQLConnect(h, U("fake"), SQL_NTS, U("user"), SQL_NTS, U("secret"), SQL_NTS); },
       "fake", "user", "secret", nullptr},
      {"lengths", 1, [](SQLHDBC h) { return SQLConnect(h, U("fakeXX"), 4, U("userX"), 4, nullptr, 0); },
       "fake", "user", nullptr, nullptr},
      {"wide", 1,
       [&](SQLHDBC h) { return SQLConnectW(h, U(wdsn), SQL_NTS, U(wuid), SQL_NTS, U(wpwd), SQL_NTS); },
       "fake", "user", "secret", nullptr},
      {"driver connect", 1,
       [](SQLHDBC h) {
         return SQLDriverConnect(h, nullptr, U("DSN=fake;UID=n"), SQL_NTS, nullptr, 0, nullptr,
                                 SQL_DRIVER_NOPROMPT);
       },
       nullptr, nullptr, nullptr, "DSN=fake;UID=n"},
      {"wide driver connect", 1,
       [&](SQLHDBC h) {
         return SQLDriverConnectW(h, nullptr, U(wconn), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
       },
       nullptr, nullptr, nullptr, "DSN=fake;UID=w"},
      {"no pooling", 0,
       [](SQLHDBC h) { return SQLConnect(h, U("fake"), SQL_NTS, U("user"), SQL_NTS, nullptr, 0); }, nullptr,
       nullptr, nullptr, nullptr},
  };
  auto expect_text = [](const char* got, const char* want) {
    if (want == nullptr) {
      EXPECT_EQ(got, nullptr);
    } else {
      ASSERT_NE(got, nullptr);
      EXPECT_STREQ(got, want);
    }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    static_cast<zolandm_env*>(env)->pooling = c.pooling;
    SQLHDBC h = nullptr;
    ASSERT_EQ(SQLAllocConnect(env, &h), SQL_SUCCESS);
    ASSERT_EQ(c.call(h), SQL_SUCCESS);
    auto* d = static_cast<zolandm_dbc*>(h);
    expect_text(d->conn_dsn, c.dsn);
    expect_text(d->conn_uid, c.uid);
    expect_text(d->conn_pwd, c.pwd);
    expect_text(d->conn_string, c.connstr);
    EXPECT_EQ(SQLDisconnect(h), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeConnect(h), SQL_SUCCESS);
  }
}

TEST_F(Connect, PooledDriverConnectMustNotPrompt) {
  fake_dsn("fake", "odbc3");
  static_cast<zolandm_env*>(env)->pooling = 1;
  for (SQLUSMALLINT mode : {SQL_DRIVER_COMPLETE, SQL_DRIVER_PROMPT, SQL_DRIVER_COMPLETE_REQUIRED}) {
    EXPECT_EQ(driver_connect("DSN=fake", mode), SQL_ERROR) << mode;
    EXPECT_EQ(first_state(), "HY110");
  }
  // A file data source to save keeps the connection out of the pool: prompting is allowed.
  EXPECT_EQ(driver_connect("DSN=fake;SAVEFILE=" + ini.path("kept.dsn"), SQL_DRIVER_COMPLETE), SQL_SUCCESS);
}

// A connection holding a pool record in its retry wait is refused, and the wait starts again.
TEST_F(Connect, PooledRecordInItsRetryWaitIsRefused) {
  fake_dsn("fake", "odbc3");
  ini.odbcinst_ini("[ODBC Connection Pooling]\nRetry Wait = 120\n");
  static_cast<zolandm_env*>(env)->pooling = 1;
  zolandm_dbc record{};
  record.cp_retry_until = 1;
  struct Case {
    const char* name;
    std::function<SQLRETURN()> call;
  } cases[] = {
      {"SQLConnect", [&] { return connect("fake"); }},
      {"SQLDriverConnect", [&] { return driver_connect("DSN=fake"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    conn()->pool_entry = &record;
    conn()->cp_retry_until = 0;
    time_t before = std::time(nullptr);
    EXPECT_EQ(c.call(), SQL_ERROR);
    EXPECT_EQ(first_state(), "08004");
    EXPECT_EQ(conn()->state, 0);
    EXPECT_GE(conn()->cp_retry_until, before + 120);
    EXPECT_LE(conn()->cp_retry_until, std::time(nullptr) + 120);
    EXPECT_EQ(conn()->driver, nullptr) << "no driver was loaded";
  }
  conn()->pool_entry = nullptr;
}

// An output buffer of size 0 is never written nor read, whatever the manager would add to it.
TEST_F(Connect, DriverConnectWithAnOutputBufferOfSizeZero) {
  fake_dsn("fake", "odbc3");
  fake_dsn("wfake", "wide");
  std::string file = ini.path("zero.dsn");
  ini.write("zero.dsn", "[ODBC]\nDRIVER = " + fake_driver("odbc3") + "\nUID = fileuser\n");
  struct Case {
    const char* what;
    bool wide_call;
    std::string in;
  } cases[] = {
      {"file data source, narrow", false, "FILEDSN=" + file},
      {"file data source, wide", true, "FILEDSN=" + file},
      {"narrow call, wide driver", false, "DSN=wfake"},
      {"wide call, narrow driver", true, "DSN=fake"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // One unit on the heap, not terminated: reading it as a string would run past it.
    std::unique_ptr<SQLWCHAR[]> wout(new SQLWCHAR[1]{L'Z'});
    std::unique_ptr<SQLCHAR[]> out(new SQLCHAR[1]{'Z'});
    SQLSMALLINT len = -1;
    std::wstring win = W(c.in);
    SQLRETURN rc =
        c.wide_call
            ? SQLDriverConnectW(dbc, nullptr, U(win), SQL_NTS, wout.get(), 0, &len, SQL_DRIVER_NOPROMPT)
            : SQLDriverConnect(dbc, nullptr, U(c.in), SQL_NTS, out.get(), 0, &len, SQL_DRIVER_NOPROMPT);
    EXPECT_EQ(rc, SQL_SUCCESS);
    EXPECT_EQ(len, 0);
    EXPECT_EQ(out[0], 'Z');
    EXPECT_EQ(wout[0], L'Z');
    ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  }
}

// A narrow call on a wide driver needs an output buffer of the driver's width; without memory
// for it the call fails before the driver is asked.
TEST_F(Connect, NoMemoryForTheDriversOutputBuffer) {
  fake_dsn("wfake", "wide");
  ScopedEnv steps("FAKEDRV_BROWSE_STEPS", "2");
  SQLCHAR out[128];
  SQLSMALLINT len = 0;
  SQLINTEGER ilen = 0;
  struct Case {
    const char* what;
    const char* driver_call;  // as the fake's log names it
    std::function<void()> before;
    std::function<SQLRETURN()> call;
  } cases[] = {
      {"browse", "BrowseConnectW",
       [&] {
         ASSERT_EQ(SQLBrowseConnect(dbc, U("DSN=wfake"), SQL_NTS, out, sizeof out, &len), SQL_NEED_DATA);
       },
       [&] { return SQLBrowseConnect(dbc, U("UID=u"), SQL_NTS, out, sizeof out, &len); }},
      {"native SQL", "NativeSqlW", [&] { ASSERT_EQ(connect("wfake"), SQL_SUCCESS); },
       [&] { return SQLNativeSql(dbc, U("select 1"), SQL_NTS, out, sizeof out, &ilen); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.before();
    fake_log_clear("wide");
    int state = conn()->state;
    _zolandm_fail_alloc_after(1);
    SQLRETURN rc = c.call();
    _zolandm_fail_alloc_after(0);
    EXPECT_EQ(rc, SQL_ERROR);
    EXPECT_EQ(first_state(), "HY001");
    EXPECT_TRUE(fake_calls("wide", c.driver_call).empty());
    EXPECT_EQ(conn()->state, state);
    ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  }
}

}  // namespace
