// Descriptor entries on the fake drivers: the string fields converted between the caller's
// width and the driver's, every other field passed through, SQLSetDescRec, SQLCopyDesc and
// the checks of its target, descriptors without a driver handle, and the busy flag.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "dm/odbc3_test_util.h"

namespace {

using namespace odbc3test;

class DescEntries : public Odbc3Test {
 protected:
  SQLHDESC implicit(SQLINTEGER attr) {
    SQLHDESC d = nullptr;
    EXPECT_EQ(SQLGetStmtAttr(stmt, attr, &d, 0, nullptr), SQL_SUCCESS);
    return d;
  }
};

TEST_F(DescEntries, NarrowCallerOfAWideDriver) {
  open_fake("wide");
  fake->set_text("descname", "a_long_descriptor_name");
  SQLHDESC ird = implicit(SQL_ATTR_IMP_ROW_DESC);
  char name[10] = "";
  SQLINTEGER len = 0;
  ASSERT_EQ(SQLGetDescField(ird, 1, SQL_DESC_NAME, name, sizeof name, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(fake->last("GetDescFieldW"), "GetDescFieldW rec=1 field=1011 max=40");
  EXPECT_STREQ(name, "a_long_de");
  EXPECT_EQ(len, 22) << "the whole name's characters";
  // Without a buffer the driver's own length comes back as it is.
  ASSERT_EQ(SQLGetDescField(ird, 1, SQL_DESC_NAME, nullptr, 0, &len), SQL_SUCCESS);
  EXPECT_EQ(len, 88);
  EXPECT_EQ(SQLGetDescField(ird, 1, SQL_DESC_NAME, name, -1, &len), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DESC, ird), std::vector<std::string>{"S1090"});

  ASSERT_EQ(SQLSetDescField(ird, 2, SQL_DESC_NAME, const_cast<char*>("abc"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(fake->last("SetDescFieldW"), "SetDescFieldW rec=2 field=1011 value=abc len=-3");
  char rec_name[16] = "";
  SQLSMALLINT rec_len = 0;
  ASSERT_EQ(SQLGetDescRec(ird, 2, reinterpret_cast<SQLCHAR*>(rec_name), sizeof rec_name, &rec_len, nullptr,
                          nullptr, nullptr, nullptr, nullptr, nullptr),
            SQL_SUCCESS);
  EXPECT_STREQ(rec_name, "abc");
  EXPECT_EQ(rec_len, 3);
}

TEST_F(DescEntries, WideCallerOfANarrowDriver) {
  open_fake("odbc3");
  SQLHDESC ard = implicit(SQL_ATTR_APP_ROW_DESC);
  // A byte length of 12 is three wide characters.
  std::wstring value = W("abcdef");
  ASSERT_EQ(SQLSetDescFieldW(ard, 1, SQL_DESC_NAME, const_cast<wchar_t*>(value.c_str()), 12), SQL_SUCCESS);
  EXPECT_EQ(fake->last("SetDescField"), "SetDescField rec=1 field=1011 value=abc len=-3");
  SQLWCHAR name[8] = {0};
  SQLINTEGER len = 0;
  ASSERT_EQ(SQLGetDescFieldW(ard, 1, SQL_DESC_NAME, name, sizeof name, &len), SQL_SUCCESS);
  EXPECT_EQ(fake->last("GetDescField"), "GetDescField rec=1 field=1011 max=8");
  EXPECT_EQ(N(name), "abc");
  EXPECT_EQ(len, 12);
  SQLWCHAR rec_name[8] = {0};
  SQLSMALLINT rec_len = 0;
  SQLSMALLINT type = 0;
  ASSERT_EQ(SQLSetDescRec(ard, 1, SQL_INTEGER, 0, 4, 10, 0, nullptr, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(fake->last("SetDescRec"), "SetDescRec rec=1 type=4 subtype=0 length=4 precision=10 scale=0");
  ASSERT_EQ(SQLGetDescRecW(ard, 1, rec_name, 8, &rec_len, &type, nullptr, nullptr, nullptr, nullptr, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(N(rec_name), "abc");
  EXPECT_EQ(rec_len, 3);
  EXPECT_EQ(type, SQL_INTEGER);
}

TEST_F(DescEntries, OtherFieldsPassInEveryWidth) {
  struct Case {
    const char* variant;
    bool wide_call;
    const char* line;
  } cases[] = {{"odbc3", false, "GetDescField rec=0 field=1001 max=2"},
               {"odbc3", true, "GetDescField rec=0 field=1001 max=2"},
               {"wide", false, "GetDescFieldW rec=0 field=1001 max=2"},
               {"wide", true, "GetDescFieldW rec=0 field=1001 max=2"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    open_fake(c.variant);
    SQLHDESC ird = implicit(SQL_ATTR_IMP_ROW_DESC);
    SQLSMALLINT count = 0;
    auto get = c.wide_call ? SQLGetDescFieldW : SQLGetDescField;
    ASSERT_EQ(get(ird, 0, SQL_DESC_COUNT, &count, 2, nullptr), SQL_SUCCESS);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(fake->last("GetDescField"), c.line);
    TearDown();
    stmt = nullptr;
    dbc = nullptr;
    env = nullptr;
  }
}

TEST_F(DescEntries, CopyDescChecksItsTarget) {
  open_fake("odbc3");
  SQLHDESC ard = implicit(SQL_ATTR_APP_ROW_DESC);
  SQLHDESC mine = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, dbc, &mine), SQL_SUCCESS);
  ASSERT_EQ(SQLSetDescField(ard, 1, SQL_DESC_NAME, const_cast<char*>("copied"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLCopyDesc(ard, mine), SQL_SUCCESS);
  char name[16] = "";
  ASSERT_EQ(SQLGetDescField(mine, 1, SQL_DESC_NAME, name, sizeof name, nullptr), SQL_SUCCESS);
  EXPECT_STREQ(name, "copied");

  // Not a live descriptor.
  EXPECT_EQ(SQLCopyDesc(ard, stmt), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLCopyDesc(ard, nullptr), SQL_INVALID_HANDLE);

  // A descriptor of another driver.
  SQLHDBC other = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &other), SQL_SUCCESS);
  ini.odbc_ini("[fake]\nDriver = " + dmtest::fake_driver("odbc3") +
               "\n[wide]\nDriver = " + dmtest::fake_driver("wide") + "\n");
  ASSERT_TRUE(ok(SQLConnect(other, S("wide"), SQL_NTS, S("u"), SQL_NTS, S("p"), SQL_NTS)));
  SQLHDESC foreign = nullptr;
  ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DESC, other, &foreign), SQL_SUCCESS);
  EXPECT_EQ(SQLCopyDesc(ard, foreign), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DESC, ard), std::vector<std::string>{"IM001"});
  EXPECT_EQ(fake->calls("CopyDesc").size(), 1u);
  SQLDisconnect(other);
  SQLFreeHandle(SQL_HANDLE_DBC, other);
}

TEST_F(DescEntries, ImplicitDescriptorsOfAnOdbc2DriverReachNoDriver) {
  open_fake("odbc2");
  SQLHDESC ard = implicit(SQL_ATTR_APP_ROW_DESC);
  ASSERT_NE(ard, nullptr);
  EXPECT_EQ(static_cast<zolandm_desc*>(ard)->drv_desc, nullptr);
  SQLSMALLINT count = 0;
  EXPECT_EQ(SQLGetDescField(ard, 0, SQL_DESC_COUNT, &count, 2, nullptr), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DESC, ard), std::vector<std::string>{"IM001"});
  EXPECT_EQ(SQLSetDescRec(ard, 1, SQL_INTEGER, 0, 4, 0, 0, nullptr, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DESC, ard), std::vector<std::string>{"IM001"});
  EXPECT_EQ(SQLCopyDesc(ard, implicit(SQL_ATTR_APP_PARAM_DESC)), SQL_ERROR);
  EXPECT_EQ(diag_states(SQL_HANDLE_DESC, ard), std::vector<std::string>{"IM001"});
}

TEST_F(DescEntries, SecondCallOnABusyDescriptorIsRefused) {
  open_fake("odbc3");
  SQLHDESC ird = implicit(SQL_ATTR_IMP_ROW_DESC);
  SQLHDESC ard = implicit(SQL_ATTR_APP_ROW_DESC);
  fake->set("block", 1);
  SQLRETURN first = -99;
  SQLSMALLINT count = 0;
  std::thread worker([&] { first = SQLGetDescField(ird, 0, SQL_DESC_COUNT, &count, 2, nullptr); });
  for (int i = 0; i < 5000 && fake->calls("GetDescField").empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  SQLSMALLINT other = 0;
  EXPECT_EQ(SQLGetDescField(ird, 0, SQL_DESC_COUNT, &other, 2, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLSetDescField(ird, 1, SQL_DESC_TYPE, reinterpret_cast<SQLPOINTER>(4), 0), SQL_ERROR);
  // Another descriptor of the same statement is not held up.
  fake->set("block", 0);
  EXPECT_EQ(SQLSetDescField(ard, 1, SQL_DESC_TYPE, reinterpret_cast<SQLPOINTER>(4), 0), SQL_SUCCESS);
  fake->set("gate", 1);
  worker.join();
  EXPECT_EQ(first, SQL_SUCCESS);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(static_cast<zolandm_desc*>(ird)->busy, 0);
  EXPECT_EQ(_zolandm_diag_count(ird), 2);
}

}  // namespace
