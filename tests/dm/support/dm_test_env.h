// Helpers for the driver manager tests: a temporary folder holding the ini files (with the
// six location variables pointed at it), paths of the fake drivers, the fake drivers' call
// logs, and reading diagnostics with SQLError until it stops answering SQL_SUCCESS.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sql.h"
#include "sqlext.h"
#include "sqlucode.h"

namespace dmtest {

// A temporary folder for one test; HOME, ODBCINI, ODBCINSTINI, SYSODBCINI, SYSODBCINSTINI and
// FILEDSNPATH point into it while the object lives.
class TempOdbcEnv {
 public:
  TempOdbcEnv();
  ~TempOdbcEnv();
  TempOdbcEnv(const TempOdbcEnv&) = delete;
  TempOdbcEnv& operator=(const TempOdbcEnv&) = delete;

  const std::string& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void write(const std::string& name, const std::string& text) const;
  std::string read(const std::string& name) const;
  void odbc_ini(const std::string& text) const { write("odbc.ini", text); }
  void odbcinst_ini(const std::string& text) const { write("odbcinst.ini", text); }

 private:
  std::string dir_;
};

// Absolute path of a fake driver library, e.g. fake_driver("odbc3").
std::string fake_driver(const std::string& variant);

// The call log of a loaded fake driver (empty when it is not loaded).
std::vector<std::string> fake_log(const std::string& variant);
void fake_log_clear(const std::string& variant);
// Lines of the log that start with prefix.
std::vector<std::string> fake_calls(const std::string& variant, const std::string& prefix);
// Live environments (0) or connections (1) of a loaded fake driver; -1 when not loaded.
int fake_live(const std::string& variant, int what);
// True when the library is loaded in the process.
bool library_loaded(const std::string& path);

struct Diag {
  SQLRETURN rc;
  std::string state;
  SQLINTEGER native;
  std::string text;
  SQLSMALLINT length;
};

// SQLError (narrow, or SQLErrorW when wide) until it stops answering SQL_SUCCESS; the answer
// that ended the loop is not included.
std::vector<Diag> errors(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, bool wide = false);
// The SQLSTATEs of errors(), in order.
std::vector<std::string> states(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, bool wide = false);

// The server keys of a connection string to the tests' PostgreSQL server (SQLGATE_PG_PORT,
// SQLGATE_PG_DB, SQLGATE_PG_USER): "Servername=127.0.0.1;Port=...;Database=...;Username=...;Password=".
std::string pg_server_keys();

// A narrow string argument as the ODBC API spells it.
inline SQLCHAR* U(const char* s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s)); }
inline SQLCHAR* U(const std::string& s) { return U(s.c_str()); }
inline SQLWCHAR* U(const std::wstring& s) { return const_cast<SQLWCHAR*>(s.c_str()); }

// Wide text from ASCII, and back.
std::wstring W(const std::string& s);
std::string N(const std::wstring& s);

// Sets or clears (value null) an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_;
};

// A test with its own ini folder, one environment and one connection, freed afterwards.
class DmTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Adds data source `name` using the fake driver `variant` to odbc.ini (replacing the
  // file's earlier text when `reset`); `extra` lines go into its section.
  void fake_dsn(const std::string& name, const std::string& variant, const std::string& extra = "");
  SQLRETURN connect(const std::string& dsn, const char* uid = "user", const char* pwd = "secret");

  TempOdbcEnv ini;
  std::string odbc_ini_text;
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
};

}  // namespace dmtest
