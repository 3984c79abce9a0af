// Connection attributes: the routing matrix (application ODBC 2 or 3, driver ODBC 2 or 3,
// narrow or wide driver, narrow or wide call) on the fake drivers, the string conversions on
// the way, what the manager keeps for itself, and the refusals.

#include <gtest/gtest.h>

#include "dm/odbc3_test_util.h"

namespace {

using namespace odbc3test;

SQLPOINTER V(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

class ConnAttr : public Odbc3Test {};

// The driver function each driver variant is reached through, for a numeric and for a string
// attribute, whatever the application's version and the call's width.
struct Route {
  const char* variant;
  const char* numeric;  // the fake's log line for SQL_ATTR_AUTOCOMMIT 0
  const char* catalog;  // and for SQL_ATTR_CURRENT_CATALOG "cat" with SQL_NTS
};

TEST_F(ConnAttr, RoutingMatrix) {
  const Route routes[] = {
      {"odbc2", "SetConnectOption attr=102 value=0", "SetConnectOption attr=109 value=cat"},
      {"wide2", "SetConnectOptionW attr=102 value=0", "SetConnectOptionW attr=109 value=cat"},
      {"odbc3", "SetConnectAttr attr=102 value=0 len=0", "SetConnectAttr attr=109 value=cat len=-3"},
      {"wide", "SetConnectAttrW attr=102 value=0 len=0", "SetConnectAttrW attr=109 value=cat len=-3"},
  };
  for (int app : {2, 3}) {
    for (const Route& r : routes) {
      for (bool wide_call : {false, true}) {
        SCOPED_TRACE(std::string(r.variant) + " app " + std::to_string(app) + (wide_call ? " W" : " A"));
        open_fake(r.variant, app, false);
        dmtest::fake_log_clear(r.variant);
        auto set = wide_call ? SQLSetConnectAttrW : SQLSetConnectAttr;
        auto get = wide_call ? SQLGetConnectAttrW : SQLGetConnectAttr;
        ASSERT_EQ(set(dbc, SQL_ATTR_AUTOCOMMIT, V(SQL_AUTOCOMMIT_OFF), 0), SQL_SUCCESS)
            << first_state(SQL_HANDLE_DBC, dbc);
        std::wstring wcat = W("cat");
        SQLPOINTER cat = wide_call ? static_cast<SQLPOINTER>(const_cast<wchar_t*>(wcat.c_str()))
                                   : static_cast<SQLPOINTER>(const_cast<char*>("cat"));
        ASSERT_EQ(set(dbc, SQL_ATTR_CURRENT_CATALOG, cat, SQL_NTS), SQL_SUCCESS)
            << first_state(SQL_HANDLE_DBC, dbc);
        auto sets = dmtest::fake_calls(r.variant, "SetConnect");
        ASSERT_EQ(sets.size(), 2u);
        EXPECT_EQ(sets[0], r.numeric);
        EXPECT_EQ(sets[1], r.catalog);
        // Kept by the manager for a pooled connection's options, on every route.
        EXPECT_EQ(static_cast<zolandm_dbc*>(dbc)->autocommit, 0u);

        SQLUINTEGER autocommit = 99;
        EXPECT_EQ(get(dbc, SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr), SQL_SUCCESS);
        EXPECT_EQ(autocommit, 0u);
        // The catalog comes back in the caller's width.
        SQLINTEGER len = -1;
        if (wide_call) {
          SQLWCHAR buf[64] = {0};
          EXPECT_EQ(get(dbc, SQL_ATTR_CURRENT_CATALOG, buf, sizeof buf, &len), SQL_SUCCESS);
          EXPECT_EQ(N(buf), "cat");
        } else {
          SQLCHAR buf[64] = {0};
          EXPECT_EQ(get(dbc, SQL_ATTR_CURRENT_CATALOG, buf, sizeof buf, &len), SQL_SUCCESS);
          EXPECT_STREQ(reinterpret_cast<char*>(buf), "cat");
        }
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        dbc = nullptr;
        env = nullptr;
      }
    }
  }
}

TEST_F(ConnAttr, LengthsOnTheOptionRoute) {
  open_fake("odbc2", 3, false);
  SQLUINTEGER v = 0;
  SQLINTEGER len = -1;
  // A numeric option has no length; a text its own.
  ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &v, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 0);
  ASSERT_EQ(
      SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, V(reinterpret_cast<intptr_t>("catalog")), SQL_NTS),
      SQL_SUCCESS);
  SQLWCHAR wide[16] = {0};
  ASSERT_EQ(SQLGetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, wide, sizeof wide, &len), SQL_SUCCESS);
  EXPECT_EQ(N(wide), "catalog");
  EXPECT_EQ(len, 28);
  // The caller's buffer bounds what is written; the option worker's own limit does not.
  char small[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, small, sizeof small, &len),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(small, "cat");
  EXPECT_EQ(len, 7);
  EXPECT_EQ(diag_states(SQL_HANDLE_DBC, dbc), std::vector<std::string>{"01004"});
}

TEST_F(ConnAttr, ConvertedTextOfAWideDriverIsCutToTheCallersBuffer) {
  open_fake("wide", 3, false);
  ASSERT_EQ(
      SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, V(reinterpret_cast<intptr_t>("catalog")), SQL_NTS),
      SQL_SUCCESS);
  char small[4] = {'x', 'x', 'x', 'x'};
  SQLINTEGER len = -1;
  // The driver cut the text to the buffer it was given and says so; the length is the whole.
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, small, sizeof small, &len),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(small, "cat");
  EXPECT_EQ(len, 7);
  // A stated length far beyond any attribute text makes no buffer of that size.
  char big[64] = {0};
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, big, 0x7FFFFFF0, &len), SQL_SUCCESS);
  EXPECT_STREQ(big, "catalog");
  EXPECT_EQ(dmtest::fake_calls("wide", "GetConnectAttrW attr=109").back(),
            "GetConnectAttrW attr=109 max=1048576");
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, big, -1, &len), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DBC, dbc), std::vector<std::string>{"S1090"});
}

TEST_F(ConnAttr, BeforeConnectingTheManagerKeepsThem) {
  ini.odbc_ini("[fake]\nDriver = " + dmtest::fake_driver("odbc3") + "\n");
  open_env(3);
  ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, V(9), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, V(0), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectAttr(dbc, 1500, V(42), 0), SQL_SUCCESS);
  SQLUINTEGER v = 0;
  ASSERT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, &v, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(v, 9u);
  // The driver's own attribute function is not there yet, so AUTO_IPD has no route.
  EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTO_IPD, V(1), 0), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DBC, dbc), std::vector<std::string>{"HY092"});
  // Beyond the option numbers the option workers know.
  EXPECT_EQ(SQLSetConnectAttr(dbc, 0x12345, V(1), 0), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DBC, dbc), std::vector<std::string>{"HY092"});
  dmtest::fake_log_clear("odbc3");
  ASSERT_TRUE(ok(SQLConnect(dbc, S("fake"), SQL_NTS, S("u"), SQL_NTS, S("p"), SQL_NTS)));
  auto sets = dmtest::fake_calls("odbc3", "SetConnectAttr");
  EXPECT_NE(std::find(sets.begin(), sets.end(), "SetConnectAttr attr=103 value=9 len=0"), sets.end());
  EXPECT_NE(std::find(sets.begin(), sets.end(), "SetConnectAttr attr=1500 value=42 len=0"), sets.end());
  EXPECT_NE(std::find(sets.begin(), sets.end(), "SetConnectAttr attr=102 value=0 len=0"), sets.end());
}

TEST_F(ConnAttr, RefusedDuringABrowseConnect) {
  ini.odbc_ini("[fake]\nDriver = " + dmtest::fake_driver("odbc3") + "\n");
  open_env(3);
  SQLCHAR out[128];
  SQLSMALLINT len = 0;
  ASSERT_EQ(SQLBrowseConnect(dbc, S("DSN=fake"), SQL_NTS, out, sizeof out, &len), SQL_NEED_DATA);
  SQLUINTEGER v = 0;
  EXPECT_EQ(SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, V(0), 0), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DBC, dbc), std::vector<std::string>{"HY010"});
  EXPECT_EQ(SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &v, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DBC, dbc), std::vector<std::string>{"HY010"});
}

}  // namespace
