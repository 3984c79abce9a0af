// Helpers of the statement tests: a fixture with one environment, one connection and one
// statement on a fake driver variant or on the real SQLite driver, and access to the fake
// driver's statement log and controls.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <memory>
#include <string>
#include <vector>

#include "dm/stmt_internal.h"
#include "fixtures/odbc_env/dm_test_env.h"
#include "fixtures/support/odbc_config.h"
#include "sql.h"
#include "sqlext.h"
#include "sqlucode.h"

namespace stmttest {

inline SQLCHAR* S(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }
inline SQLCHAR* S(const std::string& s) { return S(s.c_str()); }
inline SQLWCHAR* S(const std::wstring& s) { return const_cast<SQLWCHAR*>(s.c_str()); }

using test_support::kSqliteDriver;

// The fake driver's statement log and controls, reached in the loaded library.
class FakeStmt {
 public:
  explicit FakeStmt(const std::string& variant) : path_(dmtest::fake_driver(variant)) {}
  void* sym(const char* name) const {
    void* lib = dlopen(path_.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (lib == nullptr) return nullptr;
    void* f = dlsym(lib, name);
    dlclose(lib);
    return f;
  }
  std::vector<std::string> log() const {
    std::vector<std::string> out;
    auto count = reinterpret_cast<int (*)()>(sym("fakestmt_log_count"));
    auto line = reinterpret_cast<int (*)(int, char*, int)>(sym("fakestmt_log_line"));
    if (count == nullptr || line == nullptr) return out;
    char buf[1024];
    for (int i = 0; i < count(); ++i) {
      if (line(i, buf, sizeof buf) == 0) out.emplace_back(buf);
    }
    return out;
  }
  // Lines starting with prefix.
  std::vector<std::string> calls(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& l : log()) {
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    }
    return out;
  }
  std::string last(const std::string& prefix) const {
    auto c = calls(prefix);
    return c.empty() ? std::string() : c.back();
  }
  void reset() const {
    if (auto f = reinterpret_cast<void (*)()>(sym("fakestmt_reset"))) f();
  }
  void set(const char* key, long value) const {
    if (auto f = reinterpret_cast<void (*)(const char*, long)>(sym("fakestmt_set"))) f(key, value);
  }
  void set_text(const char* key, const char* value) const {
    if (auto f = reinterpret_cast<void (*)(const char*, const char*)>(sym("fakestmt_set_text")))
      f(key, value);
  }

 private:
  std::string path_;
};

// One environment (ODBC 2 unless asked), a connection and a statement.
class StmtTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (stmt != nullptr) SQLFreeStmt(stmt, SQL_DROP);
    if (dbc != nullptr) {
      SQLDisconnect(dbc);
      SQLFreeConnect(dbc);
    }
    if (env != nullptr) SQLFreeEnv(env);
  }

  void open_env(int version) {
    ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
    // The application's declared version, as SQL_ATTR_ODBC_VERSION would set it.
    static_cast<zolandm_env*>(env)->odbc_version = version;
    ASSERT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
  }

  // Connects to a fake variant through a data source and allocates the statement.
  void open_fake(const std::string& variant, int version = 2) {
    fake = std::make_unique<FakeStmt>(variant);
    ini.odbc_ini("[fake]\nDriver = " + dmtest::fake_driver(variant) + "\n");
    open_env(version);
    SQLRETURN rc = SQLConnect(dbc, S("fake"), SQL_NTS, S("u"), SQL_NTS, S("p"), SQL_NTS);
    ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
    fake->reset();
    ASSERT_EQ(SQLAllocStmt(dbc, &stmt), SQL_SUCCESS);
  }

  // Connects to SQLite (a database file in the test's folder) and allocates the statement.
  void open_sqlite(int version = 2, const std::string& extra = "") {
    open_env(version);
    std::string in = std::string("DRIVER=") + kSqliteDriver + ";Database=" + ini.path("t.db") + extra;
    SQLRETURN rc = SQLDriverConnect(dbc, nullptr, S(in), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    ASSERT_TRUE(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) << rc;
    ASSERT_EQ(SQLAllocStmt(dbc, &stmt), SQL_SUCCESS);
  }

  zolandm_stmt* rec() const { return static_cast<zolandm_stmt*>(stmt); }
  std::vector<std::string> st() const { return dmtest::states(nullptr, nullptr, stmt); }
  std::string first_state() const {
    auto s = st();
    return s.empty() ? std::string() : s.front();
  }
  void exec(const char* sql) {
    ASSERT_EQ(SQLExecDirect(stmt, S(sql), SQL_NTS), SQL_SUCCESS) << sql << " " << first_state();
  }

  dmtest::TempOdbcEnv ini;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  std::unique_ptr<FakeStmt> fake;
};

// Switches the process to a UTF-8 locale for the life of the object.
class Utf8Locale {
 public:
  Utf8Locale() : old_(std::setlocale(LC_ALL, nullptr)) { std::setlocale(LC_ALL, "C.UTF-8"); }
  ~Utf8Locale() { std::setlocale(LC_ALL, old_.c_str()); }

 private:
  std::string old_;
};

}  // namespace stmttest
