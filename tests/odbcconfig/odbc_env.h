// A private set of ODBC initialisation files for one test: HOME, ODBCINI,
// ODBCINSTINI, SYSODBCINI, SYSODBCINSTINI and FILEDSNPATH all point into a
// fresh temporary directory, so no test reads or writes the machine's own
// files. The environment is put back and the directory removed afterwards.
#ifndef SQLGATE_TESTS_ODBCCONFIG_ODBC_ENV_H
#define SQLGATE_TESTS_ODBCCONFIG_ODBC_ENV_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "fixtures/support/odbc_config.h"

namespace odbcconfig_test {

inline void write_text(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::string read_text(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class OdbcEnv : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char *v : test_support::kOdbcConfigVars) {
      const char *old = std::getenv(v);
      saved_[v] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    char pattern[] = "/tmp/odbcconfig_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    for (const char *sub : {"home", "user", "sys", "dsn"})
      std::filesystem::create_directory(dir_ + "/" + sub);
    user_ini_ = dir_ + "/user/odbc.ini";
    user_inst_ = dir_ + "/user/odbcinst.ini";
    sys_ini_ = dir_ + "/sys/odbc.ini";
    sys_inst_ = dir_ + "/sys/odbcinst.ini";
    for (const std::string *f : {&user_ini_, &user_inst_, &sys_ini_, &sys_inst_}) write_text(*f, "");
    test_support::set_odbc_config({dir_ + "/home", user_ini_, user_inst_, sys_ini_, sys_inst_, dir_ + "/dsn"});
  }

  void TearDown() override {
    for (const auto &[name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }

  std::string path(const std::string &name) const { return dir_ + "/" + name; }

  std::string dir_, user_ini_, user_inst_, sys_ini_, sys_inst_;
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace odbcconfig_test

#endif  // SQLGATE_TESTS_ODBCCONFIG_ODBC_ENV_H
