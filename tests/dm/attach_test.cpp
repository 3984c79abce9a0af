// Driver loading: the attach and release matrix over the fake drivers, shared driver
// records and reference counts, unloading, and the loader's own error text.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>

#include "dm/dm_internal.h"
#include "fixtures/odbc_env/dm_test_env.h"

namespace {

using namespace dmtest;

class Attach : public DmTest {
 protected:
  zolandm_dbc* conn() const { return static_cast<zolandm_dbc*>(dbc); }
  zolandm_env* envr() const { return static_cast<zolandm_env*>(env); }
};

TEST_F(Attach, MatrixOverTheFakeDrivers) {
  struct Case {
    const char* variant;
    const char* env_rc;  // FAKEDRV_ENV_RC, or null
    SQLRETURN rc;
    std::vector<std::string> states;
    int drv_version;  // after a successful attach
    int unicode;
    const char* connect_call;  // the driver's connect, as its log shows it
  } cases[] = {
      {"odbc3", nullptr, SQL_SUCCESS, {}, 3, 0, "Connect dsn=fake dl=-3 uid=user ul=-3 pwd=secret pl=-3"},
      {"odbc2", nullptr, SQL_SUCCESS, {}, 2, 0, "Connect dsn=fake"},
      {"wide", nullptr, SQL_SUCCESS, {}, 3, 1, "ConnectW dsn=fake dl=-3 uid=user ul=-3 pwd=secret pl=-3"},
      {"aonly", nullptr, SQL_SUCCESS, {}, 3, 0, "Connect dsn=fake"},
      {"block", nullptr, SQL_SUCCESS, {}, 3, 0, "Connect dsn=fake"},
      {"noenv", nullptr, SQL_ERROR, {"IM004"}, 0, 0, nullptr},
      {"envfail", nullptr, SQL_ERROR, {"IM004"}, 0, 0, nullptr},
      {"envfail", "5", SQL_ERROR, {"IM004"}, 0, 0, nullptr},  // neither success nor -1
      {"dbcfail", nullptr, SQL_ERROR, {"IM005"}, 0, 0, nullptr},
      {"noconnect", nullptr, SQL_ERROR, {"IM001"}, 0, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.variant) + (c.env_rc != nullptr ? std::string(" env rc ") + c.env_rc : ""));
    ScopedEnv env_rc("FAKEDRV_ENV_RC", c.env_rc);
    odbc_ini_text.clear();
    fake_dsn("fake", c.variant);
    std::string path = fake_driver(c.variant);
    int refs_before = _zolandm_lib_refs(path.c_str());
    fake_log_clear(c.variant);

    EXPECT_EQ(connect("fake"), c.rc);
    EXPECT_EQ(states(nullptr, dbc, nullptr), c.states);
    if (c.rc == SQL_SUCCESS) {
      ASSERT_NE(conn()->driver, nullptr);
      EXPECT_EQ(conn()->state, 2);
      EXPECT_EQ(conn()->driver->drv_version, c.drv_version);
      EXPECT_EQ(conn()->driver->unicode, c.unicode);
      EXPECT_EQ(conn()->driver->conn_count, 1);
      std::vector<std::string> calls = fake_calls(c.variant, c.connect_call);
      EXPECT_EQ(calls.size(), 1u) << c.connect_call;
      EXPECT_EQ(fake_live(c.variant, 0), 1);
      EXPECT_EQ(fake_live(c.variant, 1), 1);
      EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    } else {
      EXPECT_EQ(conn()->driver, nullptr);
      EXPECT_EQ(conn()->state, 0);
      if (c.env_rc != nullptr) {
        EXPECT_EQ(fake_live(c.variant, 0), 0) << "driver environment left behind";
      }
    }
    // Freeing the connection and the environment gives everything back.
    ASSERT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
    EXPECT_EQ(_zolandm_lib_refs(path.c_str()), refs_before);
    if (fake_live(c.variant, 0) >= 0) {
      EXPECT_EQ(fake_live(c.variant, 0), 0);
      EXPECT_EQ(fake_live(c.variant, 1), 0);
    }
    ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
  }
}

TEST_F(Attach, OdbcVersionFollowsSetEnvAttr) {
  ScopedEnv setenv_rc("FAKEDRV_SETENV_RC", "1");
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(conn()->driver->drv_version, 2);
  EXPECT_EQ(fake_calls("odbc3", "SetEnvAttr attr=200 value=2 len=0").size(), 1u);
}

// A failed load leaves one record with a real SQLSTATE; the loader's reason
// is in its message.
TEST_F(Attach, LoaderErrorIsReportedWithItsText) {
  std::string missing = ini.path("libnothing.so");
  ini.odbc_ini("[nolib]\nDriver = " + missing + "\n");
  EXPECT_EQ(connect("nolib"), SQL_ERROR);
  std::vector<Diag> got = errors(nullptr, dbc, nullptr);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].state, "IM003");
  EXPECT_EQ(got[0].text.rfind("[Zolan][Driver Manager]Specified driver could not be loaded: ", 0), 0u)
      << got[0].text;
  EXPECT_NE(got[0].text.find("libnothing.so"), std::string::npos) << got[0].text;
  SQLCHAR state[6];
  EXPECT_EQ(SQLError(nullptr, dbc, nullptr, state, nullptr, nullptr, 0, nullptr), SQL_NO_DATA);
  // A later attach of the same path tries again.
  EXPECT_EQ(connect("nolib"), SQL_ERROR);
  EXPECT_EQ(states(nullptr, dbc, nullptr), (std::vector<std::string>{"IM003"}));
}

TEST_F(Attach, DriverNamesInBracesAndOdbcinstSections) {
  ini.odbcinst_ini("[Fake Driver]\nDriver = " + fake_driver("odbc3") +
                   "\nCPTimeout = 12abc\nCPProbe = select 1\n");
  ini.odbc_ini(
      "[ODBC Data Sources]\nbraced = Fake Driver\n\n[braced]\nDriver = {Fake Driver}\n\n"
      "[named]\nDriver = Fake Driver\n\n[nokey]\nDriver = {No Such Driver}\n");
  ASSERT_EQ(connect("braced"), SQL_SUCCESS);
  EXPECT_EQ(conn()->cp_timeout, 12);
  EXPECT_STREQ(conn()->cp_probe, "select 1");
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  ASSERT_EQ(connect("named"), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  // Without a Driver key the name itself, braces included, goes to the loader.
  EXPECT_EQ(connect("nokey"), SQL_ERROR);
  std::vector<Diag> got = errors(nullptr, dbc, nullptr);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].state, "IM003");
  EXPECT_NE(got[0].text.find("{No Such Driver}"), std::string::npos) << got[0].text;
}

TEST_F(Attach, PathDriverTakesPoolKeysThroughTheDataSourceList) {
  ini.odbcinst_ini("[Fake Driver]\nCPTimeout = 30\nCPProbe = probe\n");
  ini.odbc_ini("[ODBC Data Sources]\nfake = Fake Driver\n\n[fake]\nDriver = " + fake_driver("odbc3") + "\n");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(conn()->cp_timeout, 30);
  EXPECT_STREQ(conn()->cp_probe, "probe");
}

TEST_F(Attach, TwoConnectionsShareOneDriverRecord) {
  fake_dsn("fake", "odbc2");
  std::string path = fake_driver("odbc2");
  SQLHDBC second = nullptr;
  ASSERT_EQ(SQLAllocConnect(env, &second), SQL_SUCCESS);
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  int refs = _zolandm_lib_refs(path.c_str());
  ASSERT_EQ(SQLConnect(second, U("fake"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(conn()->driver, static_cast<zolandm_dbc*>(second)->driver);
  EXPECT_EQ(conn()->driver->conn_count, 2);
  EXPECT_EQ(_zolandm_lib_refs(path.c_str()), refs);
  EXPECT_EQ(fake_live("odbc2", 0), 1);
  EXPECT_EQ(fake_live("odbc2", 1), 2);
  ASSERT_EQ(SQLDisconnect(second), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeConnect(second), SQL_SUCCESS);
  EXPECT_EQ(conn()->driver->conn_count, 1);
  EXPECT_EQ(fake_live("odbc2", 0), 1);
}

TEST_F(Attach, SameLibraryInTwoEnvironments) {
  fake_dsn("fake", "odbc3");
  std::string path = fake_driver("odbc3");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  int refs = _zolandm_lib_refs(path.c_str());
  SQLHENV env2 = nullptr;
  SQLHDBC dbc2 = nullptr;
  ASSERT_EQ(SQLAllocEnv(&env2), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocConnect(env2, &dbc2), SQL_SUCCESS);
  ASSERT_EQ(SQLConnect(dbc2, U("fake"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  EXPECT_NE(static_cast<zolandm_dbc*>(dbc2)->driver, conn()->driver);
  EXPECT_EQ(_zolandm_lib_refs(path.c_str()), refs + 1);
  EXPECT_EQ(fake_live("odbc3", 0), 2);
  ASSERT_EQ(SQLDisconnect(dbc2), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeConnect(dbc2), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeEnv(env2), SQL_SUCCESS);
  EXPECT_EQ(_zolandm_lib_refs(path.c_str()), refs);
  EXPECT_EQ(fake_live("odbc3", 0), 1);
}

TEST_F(Attach, UnloadSafeLibraryIsClosedWithItsLastUser) {
  fake_dsn("fake", "aonly", "UnloadSafe = on");
  std::string path = fake_driver("aonly");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_TRUE(library_loaded(path));
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
  dbc = nullptr;
  EXPECT_EQ(_zolandm_lib_refs(path.c_str()), 0);
  for (zolandm_lib* node = _zolandm_lib_list; node != nullptr; node = node->next) {
    // The manager closed its handle (whether the loader then unmaps the library is its own
    // business: sanitizers and unique symbols keep it mapped).
    if (path == node->path) {
      EXPECT_EQ(node->lib, nullptr) << "the manager kept its handle";
    }
  }
}

TEST_F(Attach, LibraryWithoutUnloadSafeStaysLoaded) {
  fake_dsn("fake", "block");
  std::string path = fake_driver("block");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
  dbc = nullptr;
  EXPECT_TRUE(library_loaded(path));
}

TEST_F(Attach, ReconnectReusesTheDriverConnection) {
  fake_dsn("fake", "odbc3");
  fake_dsn("other", "odbc2");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  EXPECT_NE(conn()->driver, nullptr);  // disconnect keeps the driver
  fake_log_clear("odbc3");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_TRUE(fake_calls("odbc3", "AllocHandle").empty());
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  // Another library: the old driver connection and record go first.
  ASSERT_EQ(connect("other"), SQL_SUCCESS);
  EXPECT_EQ(fake_live("odbc3", 1), 0);
  EXPECT_EQ(fake_live("odbc3", 0), 0);
  EXPECT_EQ(conn()->driver->drv_version, 2);
}

TEST_F(Attach, RefusedConnectKeepsTheDriver) {
  fake_dsn("fake", "odbc3");
  {
    ScopedEnv refuse("FAKEDRV_CONNECT_RC", "-1");
    EXPECT_EQ(connect("fake"), SQL_ERROR);
  }
  EXPECT_EQ(conn()->state, 0);
  EXPECT_NE(conn()->driver, nullptr);
  fake_log_clear("odbc3");
  EXPECT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_TRUE(fake_calls("odbc3", "AllocHandle").empty());
}

TEST_F(Attach, FailedConnectionAllocationLeavesARecordThatTheEnvironmentFrees) {
  fake_dsn("fake", "dbcfail");
  EXPECT_EQ(connect("fake"), SQL_ERROR);
  ASSERT_NE(envr()->drivers, nullptr);
  EXPECT_EQ(envr()->drivers->conn_count, 0);
  EXPECT_EQ(fake_live("dbcfail", 0), 1);
  std::string path = fake_driver("dbcfail");
  int refs = _zolandm_lib_refs(path.c_str());
  ASSERT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
  dbc = nullptr;
  ASSERT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
  env = nullptr;
  EXPECT_EQ(fake_live("dbcfail", 0), 0);
  EXPECT_EQ(_zolandm_lib_refs(path.c_str()), refs - 1);
}

TEST_F(Attach, LoginTimeoutAndItsRefusal) {
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(SQLSetConnectOption(dbc, SQL_LOGIN_TIMEOUT, 7), SQL_SUCCESS);
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("odbc3", "SetConnectAttr attr=103 value=7 len=0").size(), 1u);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  ScopedEnv refuse("FAKEDRV_SETATTR_RC", "-1");
  EXPECT_EQ(connect("fake"), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(states(nullptr, dbc, nullptr), std::vector<std::string>{"IM006"});
}

TEST_F(Attach, ThreadManagerSerialisesDriverCalls) {
  fake_dsn("serial", "odbc3", "ThreadManager = On");
  ASSERT_EQ(connect("serial"), SQL_SUCCESS);
  EXPECT_EQ(conn()->driver->thread_safe, 0);
  SQLCHAR out[64];
  SQLINTEGER len = 0;
  EXPECT_EQ(SQLNativeSql(dbc, U("select 1"), SQL_NTS, out, sizeof out, &len), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
  fake_dsn("free", "odbc2", "ThreadManager = no");
  ASSERT_EQ(connect("free"), SQL_SUCCESS);
  EXPECT_EQ(conn()->driver->thread_safe, 1);
}

TEST_F(Attach, ReleasingTheDriverReleasesStatementsStillListed) {
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  // Statements left on the connection (as a pooled connection may hold them).
  for (int i = 0; i < 2; ++i) {
    auto* s = static_cast<zolandm_stmt*>(std::calloc(1, sizeof(zolandm_stmt)));
    s->handle_type = ZOLANDM_STMT;
    s->dbc = conn();
    s->tmpbuf[0].data = std::malloc(16);
    s->tmpbuf[0].size = 16;
    s->tmpbuf_in_use = 1;
    s->next = conn()->stmts;
    conn()->stmts = s;
  }
  {
    zolandm_global_guard lock;
    EXPECT_EQ(_zolandm_driver_release(conn(), 3), 0);
  }
  EXPECT_EQ(conn()->stmts, nullptr);  // freed, not just forgotten (the leak checker watches)
  EXPECT_EQ(conn()->driver, nullptr);
  EXPECT_EQ(fake_live("odbc3", 1), 0);
}

TEST_F(Attach, DriverEntryLookups) {
  fake_dsn("fake", "odbc3");
  EXPECT_EQ(_zolandm_driver_entry(conn(), ZOLANDM_FN_SQLConnect), nullptr);  // no driver yet
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(_zolandm_driver_entry(conn(), 0), nullptr);
  EXPECT_EQ(_zolandm_driver_entry(conn(), 154), nullptr);
  EXPECT_NE(_zolandm_driver_entry(conn(), ZOLANDM_FN_SQLConnect), nullptr);
  EXPECT_EQ(_zolandm_driver_entry(conn(), ZOLANDM_FN_SQLConnectW), nullptr);
  EXPECT_EQ(_zolandm_driver_entry(conn(), ZOLANDM_FN_SQLAllocEnv), nullptr);
}

// Debian's Unicode drivers are built for 2-byte wide characters: refused before a
// connection string reaches them, with a message that says why, in both widths,
// and nothing of the driver is kept.
TEST_F(Attach, TwoByteWideDriversAreRefusedReadably) {
  const char* drivers[] = {"/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so",
                           "/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so"};
  int tried = 0;
  for (const char* path : drivers) {
    if (access(path, R_OK) != 0) continue;
    tried++;
    for (bool wide : {false, true}) {
      SCOPED_TRACE(std::string(path) + (wide ? " wide" : " narrow"));
      std::string in =
          std::string("DRIVER=") + path + ";Server=127.0.0.1;Servername=127.0.0.1;Port=1;Database=x";
      SQLRETURN rc;
      if (wide) {
        std::wstring w = W(in);
        rc = SQLDriverConnectW(dbc, nullptr, U(w), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
      } else {
        rc = SQLDriverConnect(dbc, nullptr, U(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
      }
      EXPECT_EQ(rc, SQL_ERROR);
      EXPECT_EQ(conn()->driver, nullptr);
      EXPECT_EQ(conn()->drv_dbc, nullptr);
      EXPECT_EQ(envr()->drivers, nullptr);
      std::vector<Diag> got = errors(nullptr, dbc, nullptr, wide);
      ASSERT_FALSE(got.empty());
      EXPECT_EQ(got[0].state, "S1C00");
      EXPECT_EQ(got[0].text,
                "[Zolan][Driver Manager]Driver's wide characters (SQLWCHAR) are 2 bytes, this driver "
                "manager's 4: use "
                "its ANSI library");
    }
  }
  if (tried == 0) GTEST_SKIP() << "no driver built for 2-byte wide characters installed";
}

}  // namespace
