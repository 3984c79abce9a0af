// Prompting driver connects through the fake dialog library, which only this test program
// can find (its folder is on the program's run path).

#include <gtest/gtest.h>

#include <dlfcn.h>

#include "dm/dm_internal.h"
#include "fixtures/odbc_env/dm_test_env.h"

namespace {

using namespace dmtest;

int dialog_calls() {
  void* lib = dlopen(ZOLANDM_DIALOG_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  if (lib == nullptr) return 0;
  int n = reinterpret_cast<int (*)()>(dlsym(lib, "fakedlg_calls"))();
  dlclose(lib);
  return n;
}

std::string dialog_last() {
  void* lib = dlopen(ZOLANDM_DIALOG_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  if (lib == nullptr) return "";
  std::string s = reinterpret_cast<const char* (*)()>(dlsym(lib, "fakedlg_last"))();
  dlclose(lib);
  return s;
}

class Prompt : public DmTest {
 protected:
  zolandm_dbc* conn() const { return static_cast<zolandm_dbc*>(dbc); }
  std::string first_state() {
    std::vector<std::string> s = states(nullptr, dbc, nullptr);
    return s.empty() ? "" : s[0];
  }
  SQLRETURN prompt(const std::string& in, SQLUSMALLINT completion) {
    return SQLDriverConnect(dbc, nullptr, U(in), SQL_NTS, nullptr, 0, nullptr, completion);
  }
};

TEST_F(Prompt, CompletedStringIsConnectedWithoutFurtherPrompting) {
  fake_dsn("fake", "odbc3");
  ScopedEnv text("FAKEDLG_CONNSTR", "DSN=fake;UID=picked");
  int before = dialog_calls();
  ASSERT_EQ(prompt("UID=u", SQL_DRIVER_COMPLETE), SQL_SUCCESS);
  EXPECT_EQ(dialog_calls(), before + 1);
  EXPECT_EQ(dialog_last(), "UID=u");
  EXPECT_EQ(fake_calls("odbc3", "DriverConnect in=DSN=fake;UID=picked il=-3 omax=8192 completion=0").size(),
            1u);
  EXPECT_EQ(conn()->state, 2);
}

TEST_F(Prompt, WideDialog) {
  fake_dsn("fake", "odbc3");
  ScopedEnv text("FAKEDLG_CONNSTR", "DSN=fake;UID=wide");
  std::wstring in = L"UID=u";
  ASSERT_EQ(SQLDriverConnectW(dbc, nullptr, U(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_PROMPT),
            SQL_SUCCESS);
  EXPECT_EQ(fake_calls("odbc3", "DriverConnect in=DSN=fake;UID=wide").size(), 1u);
}

TEST_F(Prompt, PromptModeAlwaysAsks) {
  fake_dsn("fake", "odbc3");
  int before = dialog_calls();
  ASSERT_EQ(prompt("DSN=fake", SQL_DRIVER_PROMPT), SQL_SUCCESS);
  EXPECT_EQ(dialog_calls(), before + 1);
  ASSERT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
  // Complete with a data source named: no prompt.
  ASSERT_EQ(prompt("DSN=fake", SQL_DRIVER_COMPLETE_REQUIRED), SQL_SUCCESS);
  EXPECT_EQ(dialog_calls(), before + 1);
}

TEST_F(Prompt, DialogAnswers) {
  fake_dsn("fake", "odbc3");
  struct Case {
    const char* result;
    const char* error;
    SQLRETURN rc;
    const char* state;  // empty: no record
  } cases[] = {
      {"100", "0", SQL_NO_DATA, ""},   // cancelled
      {"1", "0", SQL_ERROR, "IM008"},  // anything else fails, never a success
      {"-1", "0", SQL_ERROR, "IM008"},  {"-1", "15", SQL_ERROR, "08003"},  // the dialog's own code
      {"7", "999", SQL_ERROR, "IM008"},                                    // a code the table lacks
      {"0", "13", SQL_ERROR, "08001"},                                     // success with an error code left
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.result) + "/" + c.error);
    ScopedEnv result("FAKEDLG_RESULT", c.result);
    ScopedEnv error("FAKEDLG_ERROR", c.error);
    fake_log_clear("odbc3");
    EXPECT_EQ(prompt("DSN=fake", SQL_DRIVER_PROMPT), c.rc);
    EXPECT_EQ(first_state(), c.state);
    EXPECT_EQ(conn()->state, 0);
    EXPECT_TRUE(fake_calls("odbc3", "DriverConnect").empty());
  }
}

TEST_F(Prompt, DialogStringNamingATooLongDataSourceIsRefused) {
  ScopedEnv text("FAKEDLG_CONNSTR", "DSN=abcdefghijklmnopqrstuvwxyz0123456789");
  EXPECT_EQ(prompt("", SQL_DRIVER_COMPLETE), SQL_ERROR);
  EXPECT_EQ(first_state(), "IM010");
}

}  // namespace
