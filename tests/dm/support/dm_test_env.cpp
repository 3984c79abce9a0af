#include "dm/support/dm_test_env.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "fixtures/support/odbc_config.h"

namespace dmtest {

namespace {

// Opens an already loaded library without loading it; null when it is not loaded.
void* loaded_handle(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD); }

}  // namespace

TempOdbcEnv::TempOdbcEnv() {
  char templ[] = "/tmp/sqlgate-dm-XXXXXX";
  if (mkdtemp(templ) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = templ;
  test_support::set_odbc_config(
      {dir_, path("odbc.ini"), path("odbcinst.ini"), path("sys-odbc.ini"), path("sys-odbcinst.ini"), dir_});
  for (const char* name : {"odbc.ini", "odbcinst.ini", "sys-odbc.ini", "sys-odbcinst.ini"}) write(name, "");
}

TempOdbcEnv::~TempOdbcEnv() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
  for (const char* var : test_support::kOdbcConfigVars) unsetenv(var);
}

void TempOdbcEnv::write(const std::string& name, const std::string& text) const {
  std::ofstream out(path(name), std::ios::trunc);
  out << text;
}

std::string TempOdbcEnv::read(const std::string& name) const {
  std::ifstream in(path(name));
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string fake_driver(const std::string& variant) { return std::string(FAKEDRV_DIR) + "/libfakedrv_" + variant + ".so"; }

std::vector<std::string> fake_log(const std::string& variant) {
  std::vector<std::string> lines;
  void* lib = loaded_handle(fake_driver(variant));
  if (lib == nullptr) return lines;
  auto count = reinterpret_cast<int (*)()>(dlsym(lib, "fakedrv_log_count"));
  auto line = reinterpret_cast<int (*)(int, char*, int)>(dlsym(lib, "fakedrv_log_line"));
  char buf[4096];
  for (int i = 0, n = count(); i < n; ++i) {
    if (line(i, buf, sizeof buf) == 0) lines.emplace_back(buf);
  }
  dlclose(lib);
  return lines;
}

void fake_log_clear(const std::string& variant) {
  void* lib = loaded_handle(fake_driver(variant));
  if (lib == nullptr) return;
  reinterpret_cast<void (*)()>(dlsym(lib, "fakedrv_log_clear"))();
  dlclose(lib);
}

std::vector<std::string> fake_calls(const std::string& variant, const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& line : fake_log(variant)) {
    if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
  }
  return out;
}

int fake_live(const std::string& variant, int what) {
  void* lib = loaded_handle(fake_driver(variant));
  if (lib == nullptr) return -1;
  int n = reinterpret_cast<int (*)(int)>(dlsym(lib, "fakedrv_live"))(what);
  dlclose(lib);
  return n;
}

bool library_loaded(const std::string& path) {
  void* lib = loaded_handle(path);
  if (lib == nullptr) return false;
  dlclose(lib);
  return true;
}

std::vector<Diag> errors(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, bool wide) {
  std::vector<Diag> out;
  for (int guard = 0; guard < 200; ++guard) {
    Diag d{};
    if (wide) {
      SQLWCHAR state[6] = {0};
      SQLWCHAR text[512] = {0};
      d.rc = SQLErrorW(env, dbc, stmt, state, &d.native, text, 512, &d.length);
      d.state = N(state);
      d.text = N(text);
    } else {
      SQLCHAR state[6] = {0};
      SQLCHAR text[512] = {0};
      d.rc = SQLError(env, dbc, stmt, state, &d.native, text, sizeof text, &d.length);
      d.state = reinterpret_cast<char*>(state);
      d.text = reinterpret_cast<char*>(text);
    }
    if (d.rc != SQL_SUCCESS) break;
    out.push_back(d);
  }
  return out;
}

std::vector<std::string> states(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, bool wide) {
  std::vector<std::string> out;
  for (const Diag& d : errors(env, dbc, stmt, wide)) out.push_back(d.state);
  return out;
}

std::string pg_server_keys() {
  auto env_or = [](const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return std::string(v != nullptr ? v : fallback);
  };
  return "Servername=127.0.0.1;Port=" + env_or("SQLGATE_PG_PORT", "5432") + ";Database=" +
         env_or("SQLGATE_PG_DB", "postgres") + ";Username=" + env_or("SQLGATE_PG_USER", "postgres") + ";Password=";
}

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string N(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const char* old = std::getenv(name);
  had_ = old != nullptr;
  if (had_) old_ = old;
  if (value != nullptr) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    setenv(name_.c_str(), old_.c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

void DmTest::SetUp() {
  ASSERT_EQ(SQLAllocEnv(&env), SQL_SUCCESS);
  ASSERT_EQ(SQLAllocConnect(env, &dbc), SQL_SUCCESS);
}

void DmTest::TearDown() {
  if (dbc != nullptr) {
    SQLDisconnect(dbc);
    EXPECT_EQ(SQLFreeConnect(dbc), SQL_SUCCESS);
  }
  if (env != nullptr) {
    EXPECT_EQ(SQLFreeEnv(env), SQL_SUCCESS);
  }
}

void DmTest::fake_dsn(const std::string& name, const std::string& variant, const std::string& extra) {
  fake_log_clear(variant);
  odbc_ini_text += "[" + name + "]\nDriver = " + fake_driver(variant) + "\n" + extra + "\n";
  ini.odbc_ini(odbc_ini_text);
}

SQLRETURN DmTest::connect(const std::string& dsn, const char* uid, const char* pwd) {
  return SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(const_cast<char*>(dsn.c_str())), SQL_NTS,
                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(uid)), SQL_NTS,
                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(pwd)), SQL_NTS);
}

}  // namespace dmtest
