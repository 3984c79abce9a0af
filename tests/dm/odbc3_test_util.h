// Helpers of the ODBC 3 tests: diagnostics read with SQLGetDiagRec until it stops, and a
// fixture that works as an ODBC 3 application does (SQLAllocHandle, SQL_ATTR_ODBC_VERSION, a
// connection to a fake driver variant and a statement).
#pragma once

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "dm/stmt_test_util.h"

namespace odbc3test {

using dmtest::N;
using dmtest::W;
using stmttest::S;

struct DiagRec {
  std::string state;
  SQLINTEGER native;
  std::string text;
};

// SQLGetDiagRec (or SQLGetDiagRecW) with record numbers 1, 2, ... until it stops answering
// success. *last (when given) receives the answer that ended the loop.
inline std::vector<DiagRec> diag_recs(SQLSMALLINT type, SQLHANDLE h, bool wide = false,
                                      SQLRETURN* last = nullptr) {
  std::vector<DiagRec> out;
  for (SQLSMALLINT i = 1; i < 100; ++i) {
    DiagRec d{};
    SQLSMALLINT len = 0;
    SQLRETURN rc;
    if (wide) {
      SQLWCHAR state[6] = {0};
      SQLWCHAR text[512] = {0};
      rc = SQLGetDiagRecW(type, h, i, state, &d.native, text, 512, &len);
      d.state = N(state);
      d.text = N(text);
    } else {
      SQLCHAR state[6] = {0};
      SQLCHAR text[512] = {0};
      rc = SQLGetDiagRec(type, h, i, state, &d.native, text, sizeof text, &len);
      d.state = reinterpret_cast<char*>(state);
      d.text = reinterpret_cast<char*>(text);
    }
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
      if (last != nullptr) *last = rc;
      break;
    }
    out.push_back(d);
  }
  return out;
}

inline std::vector<std::string> diag_states(SQLSMALLINT type, SQLHANDLE h, bool wide = false) {
  std::vector<std::string> out;
  for (const DiagRec& d : diag_recs(type, h, wide)) out.push_back(d.state);
  return out;
}

inline bool ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Narrow text under the test's locale (UTF-8).
inline std::string utf8(const std::wstring& w) {
  std::string out;
  for (wchar_t c : w) {
    char buf[8];
    std::mbstate_t st{};
    size_t n = std::wcrtomb(buf, c, &st);
    if (n != static_cast<size_t>(-1)) out.append(buf, n);
  }
  return out;
}

// An ODBC 3 application: environment, connection and statement made with SQLAllocHandle.
class Odbc3Test : public ::testing::Test {
 protected:
  void TearDown() override {
    if (stmt != nullptr) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    if (dbc != nullptr) {
      SQLDisconnect(dbc);
      EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    }
    if (env != nullptr) {
      EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, env), SQL_SUCCESS);
    }
  }

  void open_env(int version = 3) {
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env), SQL_SUCCESS);
    ASSERT_EQ(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                            reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(version)), 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
  }

  // Connects to a fake variant through a data source; the statement is made unless asked not to.
  void open_fake(const std::string& variant, int version = 3, bool with_stmt = true) {
    fake = std::make_unique<stmttest::FakeStmt>(variant);
    dmtest::fake_log_clear(variant);
    ini.odbc_ini("[fake]\nDriver = " + dmtest::fake_driver(variant) + "\n");
    open_env(version);
    ASSERT_TRUE(ok(SQLConnect(dbc, S("fake"), SQL_NTS, S("u"), SQL_NTS, S("p"), SQL_NTS)));
    fake->reset();
    if (with_stmt) {
      ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    }
  }

  // Frees everything, so that a table-driven test can open the next case.
  void close_all() {
    TearDown();
    stmt = nullptr;
    dbc = nullptr;
    env = nullptr;
  }

  zolandm_stmt* rec() const { return static_cast<zolandm_stmt*>(stmt); }
  std::vector<std::string> stmt_states() const { return diag_states(SQL_HANDLE_STMT, stmt); }
  std::string first_state(SQLSMALLINT type, SQLHANDLE h) const {
    auto s = diag_states(type, h);
    return s.empty() ? std::string() : s.front();
  }
  void exec(const char* sql) {
    ASSERT_TRUE(ok(SQLExecDirect(stmt, S(sql), SQL_NTS))) << sql << " " << first_state(SQL_HANDLE_STMT, stmt);
  }

  dmtest::TempOdbcEnv ini;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  std::unique_ptr<stmttest::FakeStmt> fake;
};

}  // namespace odbc3test
