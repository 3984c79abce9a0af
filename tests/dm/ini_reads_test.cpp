// What a connect asks of the file system for the ini files: each file is read
// at most once while it does not change, its status asked once per connect,
// and a file that changes between connects is read again.

#include <gtest/gtest.h>

#include <string>

#include "fixtures/odbc_env/dm_test_env.h"
#include "fixtures/support/odbc_config.h"

namespace {

using namespace dmtest;

const char* const kFiles[] = {"odbc.ini", "odbcinst.ini", "sys-odbc.ini", "sys-odbcinst.ini"};

using Io = test_support::IniIo;
using test_support::ini_io;

class IniReads : public DmTest {
 protected:
  // The files as an administrator left them an hour ago.
  void age_files() {
    for (const char* f : kFiles) ASSERT_TRUE(test_support::age_file(ini.path(f))) << f;
  }
  // Connects to `dsn` and disconnects; what that cost.
  Io connect_once(const char* dsn) {
    Io before = ini_io();
    EXPECT_EQ(connect(dsn), SQL_SUCCESS);
    EXPECT_EQ(SQLDisconnect(dbc), SQL_SUCCESS);
    Io after = ini_io();
    return {after.stats - before.stats, after.reads - before.reads};
  }
};

TEST_F(IniReads, UnchangedFilesAreReadOnceAndCheckedOncePerConnect) {
  // The data source names its driver through odbcinst.ini; the system files
  // answer the keys the user's files lack.
  ini.odbcinst_ini("[Fake]\nDriver = " + fake_driver("odbc3") + "\nCPTimeout = 0\n");
  ini.write("sys-odbcinst.ini", "[Other]\nDriver = /nowhere.so\n");
  ini.odbc_ini("[ODBC Data Sources]\nfake = Fake\n\n[fake]\nDriver = Fake\n");
  ini.write("sys-odbc.ini", "[fake]\nThreadManager = 1\n");
  age_files();

  Io first = connect_once("fake");
  EXPECT_LE(first.reads, 4u) << "each of the four files at most once";
  for (int i = 0; i < 5; i++) {
    Io again = connect_once("fake");
    EXPECT_EQ(again.reads, 0u) << "connect " << i + 2;
    EXPECT_LE(again.stats, 4u) << "connect " << i + 2;
  }
}

TEST_F(IniReads, AFileChangedBetweenConnectsIsReadAgain) {
  fake_dsn("fake", "odbc3");
  age_files();
  ASSERT_EQ(connect_once("fake").reads <= 4u, true);
  EXPECT_EQ(connect_once("fake").reads, 0u);

  // Same size, same inode, new text: the data source now names another driver.
  odbc_ini_text.clear();
  fake_dsn("fake", "odbc2");
  EXPECT_EQ(connect(("fake")), SQL_SUCCESS);
  EXPECT_FALSE(fake_log("odbc2").empty()) << "the connect used the new text";
}

}  // namespace
