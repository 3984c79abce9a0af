// Allocation failures in edits: this program replaces strdup so that a
// chosen call fails, and checks that nothing is lost or reported as done.
#include "odbcconfig/config.h"
#include "odbcconfig/installer.h"
#include "fixtures/odbc_env/odbc_env.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// 0: no failure; n > 0: the n-th strdup from now fails.
std::atomic<int> fail_countdown{0};

}  // namespace

extern "C" char* strdup(const char* s) {
  if (fail_countdown > 0 && --fail_countdown == 0) return nullptr;
  size_t n = std::strlen(s) + 1;
  char* copy = static_cast<char*>(std::malloc(n));
  if (copy) std::memcpy(copy, s, n);
  return copy;
}

namespace {

using odbcconfig_test::read_text;
using odbcconfig_test::write_text;

class OdbcAllocFailure : public odbcconfig_test::OdbcEnv {
 protected:
  void TearDown() override {
    fail_countdown = 0;
    _zolandm_cfg_free(config_);
    OdbcEnv::TearDown();
  }
  zolandm_config* config_ = nullptr;
};

TEST_F(OdbcAllocFailure, FailedCopyKeepsTheOldValue) {
  write_text(user_ini_, "[A]\nk=old\n");
  ASSERT_EQ(_zolandm_cfg_open(&config_, user_ini_.c_str(), 0), 0);
  fail_countdown = 1;
  EXPECT_EQ(_zolandm_cfg_set(config_, "A", "k", "new"), -1);
  ASSERT_EQ(_zolandm_cfg_find(config_, "A", "k"), 0);
  EXPECT_STREQ(config_->value, "old");
}

TEST_F(OdbcAllocFailure, FailedInsertLeavesTheList) {
  write_text(user_ini_, "[A]\nk=v\n[B]\n");
  ASSERT_EQ(_zolandm_cfg_open(&config_, user_ini_.c_str(), 0), 0);
  for (int n : {1, 2}) {
    fail_countdown = n;  // the key's copy, then the value's
    EXPECT_EQ(_zolandm_cfg_set(config_, "A", "new", "x"), -1);
    EXPECT_EQ(config_->numEntries, 3u);
    fail_countdown = n;
    EXPECT_EQ(_zolandm_cfg_set(config_, "C", "new", "x"), -1);
    EXPECT_EQ(config_->numEntries, 3u);
  }
  fail_countdown = 2;
  EXPECT_EQ(_zolandm_cfg_append_entry(config_, "S", "i", "v", "c", 1), -1);
  EXPECT_EQ(config_->numEntries, 3u);
}

TEST_F(OdbcAllocFailure, WriteIsNotReportedAsDone) {
  write_text(user_ini_, "[A]\nk=old\n");
  ASSERT_TRUE(SQLSetConfigMode(ODBC_USER_DSN));  // one attempt, no retry in the system scope
  fail_countdown = 2;                            // the file name's copy, then the new value's
  EXPECT_FALSE(SQLWritePrivateProfileString("A", "k", "new", user_ini_.c_str()));
  EXPECT_EQ(_zolandm_inst_err_index, 0);
  EXPECT_EQ(_zolandm_inst_err_codes[0], ODBC_ERROR_OUT_OF_MEM);
  EXPECT_EQ(read_text(user_ini_), "[A]\nk=old\n");
}

}  // namespace
