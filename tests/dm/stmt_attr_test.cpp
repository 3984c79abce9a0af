// Statement attributes: what the manager keeps for an ODBC 2 driver, what goes to an ODBC 3
// driver, the row-status array that always matches the rowset, the two bind types, the
// descriptor slots, and the ODBC 2 statement options an ODBC 3 driver refuses but takes as
// attributes.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "dm/odbc3_test_util.h"

namespace {

using namespace odbc3test;

SQLPOINTER V(intptr_t v) { return reinterpret_cast<SQLPOINTER>(v); }

class StmtAttr : public Odbc3Test {};

TEST_F(StmtAttr, HeldByTheManagerForAnOdbc2Driver) {
  open_fake("odbc2");
  // Numbers are written whole, not as 32 bits into a 64-bit variable.
  SQLULEN n = ~SQLULEN{0};
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(n, 1u);
  n = ~SQLULEN{0};
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_METADATA_ID, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(n, 0u);

  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, V(10), 0), SQL_SUCCESS);
  EXPECT_EQ(fake->last("SetStmtOption"), "SetStmtOption attr=9 value=10");
  n = ~SQLULEN{0};
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(n, 10u);
  SQLPOINTER p = V(1);
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, &p, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(p, nullptr) << "the manager's own array is not the application's";
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, V(0), 0), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"HY024"});
  EXPECT_EQ(rec()->rowset_size, 10);

  SQLINTEGER bookmark = 17;
  SQLULEN fetched = 0;
  SQLULEN processed = 0;
  struct {
    SQLINTEGER attr;
    SQLPOINTER value;
  } pointers[] = {{SQL_ATTR_FETCH_BOOKMARK_PTR, &bookmark},
                  {SQL_ATTR_ROWS_FETCHED_PTR, &fetched},
                  {SQL_ATTR_PARAMS_PROCESSED_PTR, &processed}};
  fake->reset();
  for (const auto& c : pointers) {
    ASSERT_EQ(SQLSetStmtAttr(stmt, c.attr, c.value, 0), SQL_SUCCESS) << c.attr;
    ASSERT_EQ(SQLGetStmtAttr(stmt, c.attr, &p, 0, nullptr), SQL_SUCCESS) << c.attr;
    EXPECT_EQ(p, c.value) << c.attr;
  }
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, V(5), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(n, 5u);
  EXPECT_TRUE(fake->calls("SetStmt").empty()) << "kept by the manager, not sent";
  // The ODBC 2 options go to the driver's option functions.
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ROWSET_SIZE, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(fake->last("GetStmtOption"), "GetStmtOption attr=9 len=-99999");
}

TEST_F(StmtAttr, RowStatusArrayFollowsEveryRowsetChange) {
  // Each way of changing the rowset size of an ODBC 2 driver, then fetches that have the
  // driver write one status per row: the manager's array must hold them all.
  struct Case {
    const char* name;
    std::function<SQLRETURN(SQLHSTMT)> set;
  } cases[] = {
      {"option", [](SQLHSTMT h) { return SQLSetStmtOption(h, SQL_ROWSET_SIZE, 50); }},
      {"attribute 9", [](SQLHSTMT h) { return SQLSetStmtAttr(h, SQL_ROWSET_SIZE, V(50), 0); }},
      {"attribute 27", [](SQLHSTMT h) { return SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, V(50), 0); }},
      {"scroll options",
       [](SQLHSTMT h) { return SQLSetScrollOptions(h, SQL_CONCUR_READ_ONLY, SQL_SCROLL_STATIC, 50); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    open_fake("odbc2");
    ASSERT_TRUE(ok(c.set(stmt))) << first_state(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ(rec()->rowset_size, 50);
    exec("SELECT a");
    EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    EXPECT_EQ(rec()->row_status_ptr[0], SQL_ROW_SUCCESS);
    EXPECT_EQ(rec()->row_status_ptr[49], SQL_ROW_NOROW);
    ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
    exec("SELECT a");
    EXPECT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    TearDown();
    stmt = nullptr;
    dbc = nullptr;
    env = nullptr;
  }
}

TEST_F(StmtAttr, TheApplicationsOwnStatusArrayStays) {
  open_fake("odbc2");
  SQLUSMALLINT mine[4] = {9, 9, 9, 9};
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, mine, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, V(4), 0), SQL_SUCCESS);
  SQLPOINTER p = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, &p, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(p, mine);
  exec("SELECT a");
  ASSERT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_SUCCESS);
  EXPECT_EQ(mine[0], SQL_ROW_SUCCESS);
  EXPECT_EQ(mine[2], SQL_ROW_SUCCESS);
  EXPECT_EQ(mine[3], SQL_ROW_NOROW);
  // Set back to none: the emulation has nowhere for statuses and says so.
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"HYC00"});
}

TEST_F(StmtAttr, RowAndParameterBindTypesAreApart) {
  open_fake("odbc3");
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, V(24), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, V(64), 0), SQL_SUCCESS);
  EXPECT_EQ(rec()->bind_type, 24);
  EXPECT_EQ(rec()->param_bind_type, 64);
  // A refused parameter bind type leaves the stride the driver still uses.
  fake->set("rc:SetStmtAttr", SQL_ERROR);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, V(128), 0), SQL_ERROR);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, V(9), 0), SQL_ERROR);
  EXPECT_EQ(rec()->param_bind_type, 64);
  EXPECT_EQ(rec()->paramset_size, 0);
  EXPECT_EQ(rec()->bind_type, 24);
}

TEST_F(StmtAttr, Odbc3DriverGetsEveryAttribute) {
  open_fake("odbc3");
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, V(5), 0), SQL_SUCCESS);
  EXPECT_EQ(fake->last("SetStmtAttr"), "SetStmtAttr attr=0 value=5 len=0");
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_METADATA_ID, V(1), 0), SQL_SUCCESS);
  EXPECT_EQ(fake->last("SetStmtAttr"), "SetStmtAttr attr=10014 value=1 len=0");
  // A driver's own attribute reaches its attribute function.
  ASSERT_EQ(SQLSetStmtAttr(stmt, 1234, V(7), SQL_IS_UINTEGER), SQL_SUCCESS);
  EXPECT_EQ(fake->last("SetStmtAttr"), "SetStmtAttr attr=1234 value=7 len=-5");
  // A changed row array size is read back from the driver.
  fake->set("rowset_cap", 8);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, V(100), 0), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(rec()->rowset_size, 8);
  SQLULEN n = 0;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &n, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(n, 8u);
}

TEST_F(StmtAttr, NeedDataRefusesSettingsOnlyBeforeTheFirstValue) {
  open_fake("odbc3");
  SQLLEN dae = SQL_DATA_AT_EXEC;
  SQLINTEGER v = 0;
  ASSERT_EQ(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, &dae),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(stmt, S("INSERT ?"), SQL_NTS), SQL_NEED_DATA);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, V(1), 0), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"HY010"});
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQLParamData(stmt, &token), SQL_NEED_DATA);
  EXPECT_EQ(rec()->state, 8);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, V(1), 0), SQL_SUCCESS);
  ASSERT_EQ(SQLCancel(stmt), SQL_SUCCESS);
}

TEST_F(StmtAttr, DescriptorSlots) {
  open_fake("odbc3");
  SQLINTEGER len = 0;
  EXPECT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, nullptr, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, SQL_IS_POINTER);
  SQLHDESC ard = nullptr;
  SQLHDESC apd = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, &apd, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(static_cast<zolandm_desc*>(ard)->owner_stmt, rec());

  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, apd, 0), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"HY017"});
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, stmt, 0), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"HY024"});

  // A descriptor of another connection is not this statement's to use.
  SQLHDBC other = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &other), SQL_SUCCESS);
  ASSERT_TRUE(ok(SQLConnect(other, S("fake"), SQL_NTS, S("u"), SQL_NTS, S("p"), SQL_NTS)));
  SQLHDESC foreign = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, other, &foreign), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, foreign, 0), SQL_ERROR);
  EXPECT_EQ(stmt_states(), std::vector<std::string>{"HY017"});

  SQLHDESC mine = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &mine), SQL_SUCCESS);
  fake->set("rc:SetStmtAttr", SQL_ERROR);
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, mine, 0), SQL_ERROR);
  EXPECT_EQ(rec()->app_desc[1], nullptr);
  fake->set("rc:SetStmtAttr", SQL_SUCCESS);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, mine, 0), SQL_SUCCESS);
  SQLHDESC now = nullptr;
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, &now, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(now, mine);
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(fake->last("SetStmtAttr"), "SetStmtAttr attr=10011 value=0 len=0");
  ASSERT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, &now, 0, nullptr), SQL_SUCCESS);
  EXPECT_EQ(now, apd);
  SQLDisconnect(other);
  SQLFreeHandle(SQL_HANDLE_DBC, other);
}

TEST_F(StmtAttr, SecondCallOnABusyStatementIsRefused) {
  open_fake("odbc3");
  ASSERT_EQ(SQLPrepare(stmt, S("SELECT a"), SQL_NTS), SQL_SUCCESS);
  fake->set("block", 1);
  SQLRETURN first = -99;
  std::thread worker([&] { first = SQLExecute(stmt); });
  for (int i = 0; i < 5000 && fake->calls("Execute").empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  SQLULEN n = 0;
  EXPECT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, V(1), 0), SQL_ERROR);
  EXPECT_EQ(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &n, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLFetchScroll(stmt, SQL_FETCH_NEXT, 0), SQL_ERROR);
  EXPECT_EQ(SQLCloseCursor(stmt), SQL_ERROR);
  fake->set("gate", 1);
  worker.join();
  EXPECT_EQ(first, SQL_SUCCESS);
  EXPECT_EQ(_zolandm_diag_count(stmt), 4);
  EXPECT_EQ(stmt_states(), (std::vector<std::string>{"S1010", "S1010", "S1010", "S1010"}));
  EXPECT_EQ(rec()->busy, 0);
}

// ---- ODBC 2 options an ODBC 3 driver takes only as attributes ---------------------------------

class RefusedOption : public Odbc3Test {};

TEST_F(RefusedOption, RetriedAsTheAttributeOfTheSameMeaning) {
  open_fake("odbc3opt", 2);
  ASSERT_EQ(SQLSetStmtOption(stmt, SQL_BIND_TYPE, 16), SQL_SUCCESS);
  EXPECT_EQ(fake->calls("SetStmtOption"), std::vector<std::string>{"SetStmtOption attr=5 value=16 refused"});
  EXPECT_EQ(fake->last("SetStmtAttr"), "SetStmtAttr attr=5 value=16 len=0");
  EXPECT_TRUE(dmtest::states(nullptr, nullptr, stmt).empty()) << "the refusal is not reported";
  EXPECT_EQ(rec()->bind_type, 16);
  SQLULEN v = 0;
  ASSERT_EQ(SQLGetStmtOption(stmt, SQL_BIND_TYPE, &v), SQL_SUCCESS);
  EXPECT_EQ(v, 16u);
  EXPECT_EQ(fake->last("GetStmtAttr"), "GetStmtAttr attr=5 len=0");
}

TEST_F(RefusedOption, OtherRefusalsStand) {
  open_fake("odbc3opt", 2);
  // Not a "not capable" answer: the driver's refusal is the answer.
  fake->set_text("refusal", "HY024");
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_BIND_TYPE, 16), SQL_ERROR);
  EXPECT_TRUE(fake->calls("SetStmtAttr").empty());
  EXPECT_EQ(dmtest::states(nullptr, nullptr, stmt), std::vector<std::string>{"HY024"});
  // An option without an attribute twin is not retried either.
  fake->set_text("refusal", "IM001");
  fake->set("refuse:13", 1);
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_GET_BOOKMARK, 1), SQL_ERROR);
  EXPECT_TRUE(fake->calls("SetStmtAttr").empty());
  // Refused, retried, and refused again: the second refusal is what the application reads.
  fake->set("rc:SetStmtAttr", SQL_ERROR);
  EXPECT_EQ(SQLSetStmtOption(stmt, SQL_BIND_TYPE, 16), SQL_ERROR);
  EXPECT_EQ(fake->calls("SetStmtAttr").size(), 1u);
  EXPECT_EQ(dmtest::states(nullptr, nullptr, stmt), std::vector<std::string>{"HY000"});
  EXPECT_EQ(rec()->bind_type, 0);
}

}  // namespace
