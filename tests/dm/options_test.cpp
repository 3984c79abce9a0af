// Connection options before and after connecting, attributes remembered for the next
// connect, and the end of transactions with its statement table.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "dm/dm_internal.h"
#include "fixtures/odbc_env/dm_test_env.h"

namespace {

using namespace dmtest;

class Options : public DmTest {
 protected:
  zolandm_dbc* conn() const { return static_cast<zolandm_dbc*>(dbc); }
  std::string state_after(SQLRETURN rc) {
    if (rc == SQL_SUCCESS) return "ok";
    std::vector<std::string> s = states(nullptr, dbc, nullptr);
    return s.empty() ? "rc " + std::to_string(rc) : s[0];
  }
  SQLRETURN get_int(SQLUSMALLINT option, SQLUINTEGER* value) {
    return SQLGetConnectOption(dbc, option, value);
  }
};

TEST_F(Options, BeforeConnecting) {
  struct Case {
    SQLUSMALLINT option;
    SQLULEN value;
    const char* set;  // "ok" or the SQLSTATE
    const char* get;  // "ok" (then `read` is expected) or the SQLSTATE
    SQLUINTEGER read;
  } cases[] = {
      {SQL_ACCESS_MODE, 1, "ok", "ok", 1},
      {SQL_AUTOCOMMIT, 0, "ok", "ok", 0},
      {SQL_LOGIN_TIMEOUT, 5, "ok", "ok", 5},
      {SQL_OPT_TRACE, 2, "HY024", "ok", 0},
      {SQL_OPT_TRACE, 0, "ok", "ok", 0},
      {SQL_TRANSLATE_DLL, 0, "08003", "08003", 0},
      {SQL_TRANSLATE_OPTION, 1, "08003", "08003", 0},
      {SQL_TXN_ISOLATION, 8, "ok", "08003", 0},
      {SQL_ODBC_CURSORS, 0, "ok", "08003", 0},
      {SQL_QUIET_MODE, 1, "ok", "08003", 0},
      {SQL_PACKET_SIZE, 4096, "ok", "08003", 0},
      {50, 1, "ok", "08003", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    EXPECT_EQ(state_after(SQLSetConnectOption(dbc, c.option, c.value)), c.set);
    SQLUINTEGER value = 12345;
    EXPECT_EQ(state_after(get_int(c.option, &value)), c.get);
    if (std::strcmp(c.get, "ok") == 0) {
      EXPECT_EQ(value, c.read);
    }
  }
  EXPECT_EQ(conn()->txn_isolation, 8u);
  EXPECT_EQ(conn()->odbc_cursors, 0u);
  EXPECT_EQ(conn()->packet_size, 4096u);

  EXPECT_EQ(state_after(SQLSetConnectOption(dbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>("cat"))),
            "ok");
  EXPECT_STREQ(static_cast<char*>(conn()->qualifier), "cat");
  EXPECT_EQ(state_after(SQLSetConnectOptionW(dbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>(L"wcat"))),
            "ok");
  EXPECT_EQ(conn()->qualifier_width, 'W');
  EXPECT_STREQ(static_cast<wchar_t*>(conn()->qualifier), L"wcat");
}

TEST_F(Options, TraceFileName) {
  EXPECT_EQ(state_after(SQLSetConnectOption(dbc, SQL_OPT_TRACEFILE, reinterpret_cast<SQLULEN>(""))), "HY009");
  EXPECT_EQ(state_after(SQLSetConnectOption(dbc, SQL_OPT_TRACEFILE, 0)), "HY009");
  EXPECT_EQ(state_after(SQLSetConnectOptionW(dbc, SQL_OPT_TRACEFILE, reinterpret_cast<SQLULEN>(L""))),
            "HY009");
  EXPECT_EQ(
      state_after(SQLSetConnectOption(dbc, SQL_OPT_TRACEFILE, reinterpret_cast<SQLULEN>("/tmp/dm-a.log"))),
      "ok");
  char name[300];
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_OPT_TRACEFILE, name), SQL_SUCCESS);
  EXPECT_STREQ(name, "/tmp/dm-a.log");
  EXPECT_EQ(
      state_after(SQLSetConnectOptionW(dbc, SQL_OPT_TRACEFILE, reinterpret_cast<SQLULEN>(L"/tmp/dm-w.log"))),
      "ok");
  SQLWCHAR wname[300];
  EXPECT_EQ(SQLGetConnectOptionW(dbc, SQL_OPT_TRACEFILE, wname), SQL_SUCCESS);
  EXPECT_STREQ(wname, L"/tmp/dm-w.log");
}

TEST_F(Options, LongTraceFileNameIsCutToTheOptionLength) {
  std::string long_name = "/tmp/" + std::string(400, 'n');
  ASSERT_EQ(SQLSetConnectOption(dbc, SQL_OPT_TRACEFILE, reinterpret_cast<SQLULEN>(long_name.c_str())),
            SQL_SUCCESS);
  char name[SQL_MAX_OPTION_STRING_LENGTH + 40];
  std::memset(name, 'Z', sizeof name);
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_OPT_TRACEFILE, name), SQL_SUCCESS);
  EXPECT_EQ(std::strlen(name), static_cast<size_t>(SQL_MAX_OPTION_STRING_LENGTH));
  EXPECT_EQ(name[SQL_MAX_OPTION_STRING_LENGTH + 1], 'Z');
  SQLWCHAR wname[SQL_MAX_OPTION_STRING_LENGTH + 40];
  for (SQLWCHAR& c : wname) c = L'Z';
  EXPECT_EQ(SQLGetConnectOptionW(dbc, SQL_OPT_TRACEFILE, wname), SQL_SUCCESS);
  EXPECT_EQ(std::wcslen(wname), static_cast<size_t>(SQL_MAX_OPTION_STRING_LENGTH));
  EXPECT_EQ(wname[SQL_MAX_OPTION_STRING_LENGTH + 1], L'Z');
}

TEST_F(Options, AttributesAbove999AreRememberedOnce) {
  EXPECT_EQ(SQLSetConnectOption(dbc, 1500, 1), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(dbc, 1500, 2), SQL_SUCCESS);
  ASSERT_NE(conn()->saved_attrs, nullptr);
  EXPECT_EQ(conn()->saved_attrs->next, nullptr);
  EXPECT_EQ(conn()->saved_attrs->value, 2u);
  SQLUINTEGER value;
  EXPECT_EQ(state_after(get_int(1500, &value)), "08003");
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("odbc3", "SetConnectAttr attr=1500 value=2 len=0").size(), 1u);
}

TEST_F(Options, AttributeSetWhileDisconnectedReachesTheNextConnect) {
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  ASSERT_NE(conn()->driver, nullptr);  // still attached
  fake_log_clear("odbc3");
  EXPECT_EQ(SQLSetConnectOption(dbc, 1501, 9), SQL_SUCCESS);
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("odbc3", "SetConnectAttr attr=1501 value=9").size(), 1u);
}

TEST_F(Options, RememberedAttributesReachTheDriverNewestFirstInTheirOwnWidth) {
  // Set in this order; 1500 set again keeps its place in the list.
  struct Set {
    SQLUSMALLINT attr;
    SQLULEN value;
    char width;
  } sets[] = {
      {1500, 1, 'A'},
      {1051, reinterpret_cast<SQLULEN>(L"wide-dtc"), 'W'},
      {1501, 7, 'A'},
      {1500, 2, 'W'},
  };
  for (const Set& s : sets) {
    ASSERT_EQ(s.width == 'W' ? SQLSetConnectOptionW(dbc, s.attr, s.value)
                             : SQLSetConnectOption(dbc, s.attr, s.value),
              SQL_SUCCESS);
  }
  struct Expected {
    const char* variant;
    std::vector<std::string> calls;
  } cases[] = {
      {"odbc3",
       {"SetConnectAttr attr=1501 value=7 len=0", "SetConnectAttr attr=1051 value=wide-dtc len=-3",
        "SetConnectAttr attr=1500 value=2 len=0"}},
      {"wide",
       {"SetConnectAttrW attr=1501 value=7 len=0", "SetConnectAttrW attr=1051 value=wide-dtc len=-3",
        "SetConnectAttrW attr=1500 value=2 len=0"}},
  };
  for (const Expected& c : cases) {
    SCOPED_TRACE(c.variant);
    odbc_ini_text.clear();
    fake_dsn("fake", c.variant);
    fake_log_clear(c.variant);
    ASSERT_EQ(connect("fake"), SQL_SUCCESS);
    EXPECT_EQ(fake_calls(c.variant, "SetConnectAttr"), c.calls);
    ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  }
}

TEST_F(Options, RememberingWithoutMemoryIsAnError) {
  _zolandm_fail_alloc_after(1);
  SQLRETURN rc = SQLSetConnectOption(dbc, 1600, 1);
  _zolandm_fail_alloc_after(0);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(states(nullptr, dbc, nullptr), std::vector<std::string>{"S1001"});
  EXPECT_EQ(conn()->saved_attrs, nullptr);
}

TEST_F(Options, AfterConnectingOnAnOdbc3Driver) {
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  fake_log_clear("odbc3");
  struct Case {
    SQLUSMALLINT option;
    SQLULEN value;
    const char* set;
    const char* driver_call;  // expected log line, or null
  } cases[] = {
      {SQL_ACCESS_MODE, 1, "ok", "SetConnectAttr attr=101 value=1 len=0"},
      {SQL_AUTOCOMMIT, 0, "ok", "SetConnectAttr attr=102 value=0 len=0"},
      {SQL_TXN_ISOLATION, 8, "ok", "SetConnectAttr attr=108 value=8 len=0"},
      {SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>("mycat"), "ok",
       "SetConnectAttr attr=109 value=mycat len=-3"},
      {SQL_ODBC_CURSORS, 0, "08002", nullptr},
      {SQL_OPT_TRACE, 2, "HY024", nullptr},
      {4, 0, "IM001", nullptr},
      {1209, 0, "IM001", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    EXPECT_EQ(state_after(SQLSetConnectOption(dbc, c.option, c.value)), c.set);
    if (c.driver_call != nullptr) {
      EXPECT_EQ(fake_calls("odbc3", c.driver_call).size(), 1u);
    }
  }
  EXPECT_EQ(conn()->access_mode, 1u);
  EXPECT_EQ(conn()->autocommit, 0u);
  // A wide string reaches the narrow driver narrowed, with SQL_NTS.
  EXPECT_EQ(state_after(SQLSetConnectOptionW(dbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>(L"wcat"))),
            "ok");
  EXPECT_EQ(fake_calls("odbc3", "SetConnectAttr attr=109 value=wcat len=-3").size(), 1u);

  SQLUINTEGER value = 0;
  EXPECT_EQ(get_int(SQL_TXN_ISOLATION, &value), SQL_SUCCESS);
  EXPECT_EQ(value, 8u);
  EXPECT_EQ(fake_calls("odbc3", "GetConnectAttr attr=108 max=0").size(), 1u);
  char cat[257];
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_CURRENT_QUALIFIER, cat), SQL_SUCCESS);
  EXPECT_STREQ(cat, "wcat");
  SQLWCHAR wcat[257];
  EXPECT_EQ(SQLGetConnectOptionW(dbc, SQL_CURRENT_QUALIFIER, wcat), SQL_SUCCESS);
  EXPECT_STREQ(wcat, L"wcat");
  EXPECT_EQ(state_after(get_int(4, &value)), "IM001");
}

TEST_F(Options, OdbcTwoDriverGetsTheOptionFunctions) {
  fake_dsn("fake", "odbc2");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, 0), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("odbc2", "SetConnectOption attr=102 value=0").size(), 1u);
  EXPECT_EQ(SQLSetConnectOption(dbc, 4, 1), SQL_SUCCESS);  // the ODBC 2 path knows no ODBC 3-only list
  SQLUINTEGER value = 1;
  EXPECT_EQ(get_int(SQL_AUTOCOMMIT, &value), SQL_SUCCESS);
  EXPECT_EQ(value, 0u);
}

TEST_F(Options, WideDriverGetsConvertedStrings) {
  fake_dsn("wfake", "wide");
  ASSERT_EQ(connect("wfake"), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(dbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>("ncat")), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("wide", "SetConnectAttrW attr=109 value=ncat len=-3").size(), 1u);
  char cat[SQL_MAX_OPTION_STRING_LENGTH + 1];
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_CURRENT_QUALIFIER, cat), SQL_SUCCESS);
  EXPECT_STREQ(cat, "ncat");
  SQLWCHAR wcat[SQL_MAX_OPTION_STRING_LENGTH + 1];
  EXPECT_EQ(SQLGetConnectOptionW(dbc, SQL_CURRENT_QUALIFIER, wcat), SQL_SUCCESS);
  EXPECT_STREQ(wcat, L"ncat");
  EXPECT_EQ(fake_calls("wide", "GetConnectAttrW attr=109 max=256").size(), 2u);
}

TEST_F(Options, NoMemoryForTheConversionBufferIsReportedBeforeTheDriverIsAsked) {
  fake_dsn("wfake", "wide");
  ASSERT_EQ(connect("wfake"), SQL_SUCCESS);
  fake_log_clear("wide");
  char cat[SQL_MAX_OPTION_STRING_LENGTH + 1] = "untouched";
  _zolandm_fail_alloc_after(1);
  SQLRETURN rc = SQLGetConnectOption(dbc, SQL_CURRENT_QUALIFIER, cat);
  _zolandm_fail_alloc_after(0);
  EXPECT_EQ(rc, SQL_ERROR);
  EXPECT_EQ(states(nullptr, dbc, nullptr), std::vector<std::string>{"HY001"});
  EXPECT_TRUE(fake_calls("wide", "GetConnectAttrW").empty());
  EXPECT_STREQ(cat, "untouched");
}

TEST_F(Options, TraceSettingsAreReadFromTheIniFiles) {
  // The first environment reads the "ODBC" section; this fixture's environment is the only one.
  ASSERT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
  ASSERT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
  ini.odbc_ini("[ODBC]\nTraceFile = /tmp/dm-global.log\n\n[fake]\nDriver = " + fake_driver("odbc3") +
               "\n\n[traced]\nDriver = " + fake_driver("odbc3") + "\nTraceFile = /tmp/dm-dsn.log\n");
  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
  char name[SQL_MAX_OPTION_STRING_LENGTH + 1];
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_OPT_TRACEFILE, name), SQL_SUCCESS);
  EXPECT_STREQ(name, "/tmp/dm-global.log");
  // A data source without its own keys sets the default name; one with them, its own.
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_OPT_TRACEFILE, name), SQL_SUCCESS);
  EXPECT_STREQ(name, "/tmp/odbc.log");
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  ASSERT_EQ(connect("traced"), SQL_SUCCESS);
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_OPT_TRACEFILE, name), SQL_SUCCESS);
  EXPECT_STREQ(name, "/tmp/dm-dsn.log");
  SQLUINTEGER on = 7;
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_OPT_TRACE, &on), SQL_SUCCESS);
  EXPECT_EQ(on, 0u);  // tracing stays off
}

TEST_F(Options, OptionsSetBeforeConnectAreReplayed) {
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectOption(dbc, SQL_TXN_ISOLATION, 4), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectOption(dbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>("early")), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectOption(dbc, SQL_ODBC_CURSORS, 0), SQL_SUCCESS);
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  std::vector<std::string> sets = fake_calls("odbc3", "SetConnectAttr");
  EXPECT_EQ(sets, (std::vector<std::string>{"SetConnectAttr attr=102 value=0 len=0",
                                            "SetConnectAttr attr=109 value=early len=-3",
                                            "SetConnectAttr attr=108 value=4 len=0"}));
  EXPECT_EQ(fake_calls("odbc3", "GetInfo info=23 max=2 len=null").size(), 1u);
  EXPECT_EQ(fake_calls("odbc3", "GetInfo info=24 max=2 len=null").size(), 1u);
  EXPECT_EQ(conn()->commit_behavior, 1);
  EXPECT_EQ(conn()->rollback_behavior, 2);
}

TEST_F(Options, WideQualifierSetBeforeConnectReachesANarrowDriverNarrowed) {
  fake_dsn("fake", "odbc2");
  ASSERT_EQ(SQLSetConnectOptionW(dbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>(L"wq")), SQL_SUCCESS);
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("odbc2", "SetConnectOption attr=109 value=wq").size(), 1u);
}

TEST_F(Options, RefusedReplayStillConnects) {
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, 0), SQL_SUCCESS);
  ScopedEnv refuse("FAKEDRV_SETATTR_RC", "-1");
  EXPECT_EQ(connect("fake"), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(conn()->state, 2);
  EXPECT_EQ(states(nullptr, dbc, nullptr), std::vector<std::string>{"IM006"});
}

class Transact : public DmTest {
 protected:
  zolandm_dbc* conn() const { return static_cast<zolandm_dbc*>(dbc); }
  // A statement record as statement allocation would make it (no driver statement).
  zolandm_stmt* add_stmt(int state, int prepared, int cursor_state) {
    auto* s = static_cast<zolandm_stmt*>(std::calloc(1, sizeof(zolandm_stmt)));
    s->handle_type = ZOLANDM_STMT;
    s->dbc = conn();
    s->state = state;
    s->prepared = prepared;
    s->cursor_state = cursor_state;
    s->next = conn()->stmts;
    conn()->stmts = s;
    return s;
  }
};

TEST_F(Transact, CompletionTypeAndConnectionState) {
  fake_dsn("fake", "odbc3");
  EXPECT_EQ(SQLTransact(nullptr, dbc, SQL_COMMIT), SQL_ERROR);
  EXPECT_EQ(states(nullptr, dbc, nullptr), std::vector<std::string>{"08003"});
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  EXPECT_EQ(SQLTransact(nullptr, dbc, 2), SQL_ERROR);
  EXPECT_EQ(states(nullptr, dbc, nullptr), std::vector<std::string>{"S1012"});
  EXPECT_EQ(SQLTransact(env, nullptr, 2), SQL_ERROR);
  EXPECT_EQ(states(env, nullptr, nullptr), std::vector<std::string>{"S1012"});
  // State 2: nothing to end, the driver is not called.
  fake_log_clear("odbc3");
  EXPECT_EQ(SQLTransact(nullptr, dbc, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_TRUE(fake_calls("odbc3", "EndTran").empty());
  conn()->state = 3;
  EXPECT_EQ(SQLTransact(nullptr, dbc, SQL_ROLLBACK), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("odbc3", "EndTran type=1").size(), 1u);
  add_stmt(7, 1, 0);
  EXPECT_EQ(SQLTransact(nullptr, dbc, SQL_COMMIT), SQL_ERROR);
  EXPECT_EQ(states(nullptr, dbc, nullptr), std::vector<std::string>{"S1010"});
  conn()->stmts->state = 1;
  ScopedEnv fail("FAKEDRV_TRANSACT_RC", "-1");
  EXPECT_EQ(SQLTransact(nullptr, dbc, SQL_COMMIT), SQL_ERROR);
  EXPECT_EQ(conn()->last_rc, -1);
}

TEST_F(Transact, OdbcTwoDriverGetsSQLTransact) {
  fake_dsn("fake", "odbc2");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  conn()->state = 3;
  EXPECT_EQ(SQLTransact(nullptr, dbc, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(fake_calls("odbc2", "Transact type=0").size(), 1u);
}

TEST_F(Transact, EnvironmentWide) {
  fake_dsn("fake", "odbc3");
  SQLHDBC idle = nullptr, busy = nullptr;
  ASSERT_EQ(SQLAllocConnect(env, &idle), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocConnect(env, &busy), SQL_SUCCESS);
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  ASSERT_EQ(SQLConnect(busy, U("fake"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  static_cast<zolandm_dbc*>(busy)->state = 3;
  fake_log_clear("odbc3");
  EXPECT_EQ(SQLTransact(env, nullptr, SQL_COMMIT), SQL_ERROR);
  EXPECT_EQ(states(nullptr, idle, nullptr), std::vector<std::string>{"08003"});
  EXPECT_EQ(fake_calls("odbc3", "EndTran type=0").size(), 1u);  // the connected one was committed
  EXPECT_EQ(SQLFreeConnect(idle), SQL_SUCCESS);
  EXPECT_EQ(SQLTransact(env, nullptr, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(SQLDisconnect(busy), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeConnect(busy), SQL_SUCCESS);
}

TEST_F(Transact, StatementsAreRewoundByTheCursorBehaviours) {
  struct Case {
    const char* commit;
    const char* rollback;
    int state, prepared, cursor;              // before
    int new_state, new_prepared, new_cursor;  // after
  } cases[] = {
      {"1", "2", 1, 1, 1, 1, 1, 1},  // prepared only, both keep: unchanged
      {"0", "2", 1, 1, 1, 0, 0, 1},  // either deletes: prepared text gone, cursor state kept
      {"1", "2", 4, 1, 2, 1, 1, 0},  // prepared, a close: back to prepared
      {"2", "2", 4, 1, 2, 4, 1, 2},  // prepared, both preserve: unchanged
      {"0", "1", 5, 1, 3, 0, 0, 0},  // prepared, either deletes
      {"1", "2", 5, 0, 3, 5, 0, 3},  // not prepared, a preserve: unchanged
      {"1", "1", 6, 0, 4, 0, 0, 0},  // not prepared, no preserve
      {"0", "0", 0, 0, 0, 0, 0, 0},  // state 0: unchanged
  };
  fake_dsn("fake", "odbc3");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.commit) + c.rollback + " state " + std::to_string(c.state));
    ScopedEnv commit("FAKEDRV_CB_COMMIT", c.commit);
    ScopedEnv rollback("FAKEDRV_CB_ROLLBACK", c.rollback);
    ASSERT_EQ(connect("fake"), SQL_SUCCESS);
    conn()->state = 3;
    zolandm_stmt* s = add_stmt(c.state, c.prepared, c.cursor);
    EXPECT_EQ(SQLTransact(nullptr, dbc, SQL_COMMIT), SQL_SUCCESS);
    EXPECT_EQ(s->state, c.new_state);
    EXPECT_EQ(s->prepared, c.new_prepared);
    EXPECT_EQ(s->cursor_state, c.new_cursor);
    EXPECT_EQ(conn()->state, 3);
    ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);  // releases the statement
    EXPECT_EQ(conn()->stmts, nullptr);
  }
}

}  // namespace
