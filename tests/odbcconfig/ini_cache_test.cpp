// Reads share one parsed copy of each file: an unchanged file is read once,
// its status asked at each read (once per lookup sequence within one); a
// change is seen at the next check, a write of this process at once, even a
// same-size rewrite right after a read.
#include "odbcconfig/config.h"
#include "odbcconfig/installer.h"
#include "fixtures/odbc_env/odbc_env.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using odbcconfig_test::write_text;

using Io = test_support::IniIo;
using test_support::ini_io;

class IniCache : public odbcconfig_test::OdbcEnv {
 protected:
  void TearDown() override {
    _zolandm_config_mode = ODBC_BOTH_DSN;
    _zolandm_config_scope = 0;
    OdbcEnv::TearDown();
  }
  std::string get(const char* section, const char* key, const char* def = "") {
    char buf[256];
    SQLSetConfigMode(ODBC_BOTH_DSN);
    int n = SQLGetPrivateProfileString(section, key, def, buf, sizeof buf, "odbc.ini");
    return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
  }
  void age(const std::string& path) { ASSERT_TRUE(test_support::age_file(path)); }
};

TEST_F(IniCache, UnchangedFileIsReadOnceAndCheckedAtEachRead) {
  write_text(user_ini_, "[pg]\nDriver = /a.so\nPort = 5432\n");
  age(user_ini_);
  Io before = ini_io();
  for (int i = 0; i < 10; i++) {
    EXPECT_EQ(get("pg", "Driver"), "/a.so");
    EXPECT_EQ(get("pg", "Port"), "5432");
  }
  Io after = ini_io();
  EXPECT_EQ(after.reads - before.reads, 1u);
  EXPECT_EQ(after.stats - before.stats, 20u);
}

TEST_F(IniCache, LookupSequenceChecksEachFileOnce) {
  write_text(user_ini_, "[pg]\nDriver = /a.so\n");
  write_text(sys_ini_, "[pg]\nPort = 5432\n");
  age(user_ini_);
  age(sys_ini_);
  Io before = ini_io();
  {
    odbcconfig::LookupSequence outer;
    odbcconfig::LookupSequence inner;  // sequences nest
    for (int i = 0; i < 10; i++) {
      EXPECT_EQ(get("pg", "Driver"), "/a.so");
      EXPECT_EQ(get("pg", "Port"), "5432");  // the user file lacks it: the system file
    }
  }
  Io after = ini_io();
  EXPECT_EQ(after.reads - before.reads, 2u);
  EXPECT_EQ(after.stats - before.stats, 2u);
  // After the sequence every read checks again.
  EXPECT_EQ(get("pg", "Driver"), "/a.so");
  EXPECT_EQ(ini_io().stats - after.stats, 1u);
}

TEST_F(IniCache, ChangesAreSeen) {
  struct Case {
    const char* what;
    bool recent;  // rewritten right after the read, within the file clock's resolution
  } cases[] = {
      {"same-size rewrite that keeps the modification time", true},
      {"same-size rewrite of a file left long ago", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write_text(user_ini_, "[pg]\nDriver = /a.so\n");
    if (!c.recent) age(user_ini_);
    struct stat st;
    ASSERT_EQ(stat(user_ini_.c_str(), &st), 0);
    EXPECT_EQ(get("pg", "Driver"), "/a.so");
    write_text(user_ini_, "[pg]\nDriver = /b.so\n");  // same size, same inode
    if (c.recent) {
      // A coarse file clock gives the rewrite the time of the first text:
      // nothing in the file's status tells them apart.
      timespec times[2] = {st.st_atim, st.st_mtim};
      ASSERT_EQ(utimensat(AT_FDCWD, user_ini_.c_str(), times, 0), 0);
    }
    EXPECT_EQ(get("pg", "Driver"), "/b.so");
  }
}

TEST_F(IniCache, OwnWritesAreSeenWithinASequence) {
  write_text(user_ini_, "[pg]\nDriver = /a.so\n");
  age(user_ini_);
  odbcconfig::LookupSequence seq;
  EXPECT_EQ(get("pg", "Driver"), "/a.so");
  SQLSetConfigMode(ODBC_BOTH_DSN);
  ASSERT_TRUE(SQLWritePrivateProfileString("pg", "Driver", "/longer/b.so", "odbc.ini"));
  EXPECT_EQ(get("pg", "Driver"), "/longer/b.so");
}

TEST_F(IniCache, RemovedFileGivesTheDefault) {
  write_text(user_ini_, "[pg]\nDriver = /a.so\n");
  EXPECT_EQ(get("pg", "Driver", "x"), "/a.so");
  ASSERT_EQ(std::remove(user_ini_.c_str()), 0);
  EXPECT_EQ(get("pg", "Driver", "x"), "x");
}

}  // namespace
