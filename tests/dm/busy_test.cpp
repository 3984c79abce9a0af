// The busy check: a second call on a connection whose call is still inside the driver is
// refused with S1010, beside the running call's own records, without waiting for it.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <chrono>
#include <thread>

#include "dm/dm_internal.h"
#include "fixtures/odbc_env/dm_test_env.h"

namespace {

using namespace dmtest;

// Opens and closes the fake driver's gate.
void set_gate(int open) {
  void* lib = dlopen(fake_driver("block").c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr);
  reinterpret_cast<void (*)(int)>(dlsym(lib, "fakedrv_gate_set"))(open);
  dlclose(lib);
}

int gate_waiting() {
  void* lib = dlopen(fake_driver("block").c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (lib == nullptr) return 0;
  int n = reinterpret_cast<int (*)()>(dlsym(lib, "fakedrv_gate_waiting"))();
  dlclose(lib);
  return n;
}

class Busy : public DmTest {};

TEST_F(Busy, SecondCallOnABusyConnectionIsRefused) {
  fake_dsn("blocking", "block");
  ASSERT_EQ(connect("blocking"), SQL_SUCCESS);
  set_gate(0);

  SQLRETURN first_rc = -99;
  SQLCHAR out[64] = {0};
  SQLINTEGER out_len = 0;
  std::thread worker(
      [&] { first_rc = SQLNativeSql(dbc, U("select 1"), SQL_NTS, out, sizeof out, &out_len); });
  for (int i = 0; i < 5000 && gate_waiting() == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(gate_waiting(), 1) << "the first call never reached the driver";

  // Calls that take the busy flag are refused at once; the lock is free meanwhile.
  SQLUINTEGER value = 0;
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_AUTOCOMMIT, &value), SQL_ERROR);
  EXPECT_EQ(SQLNativeSql(dbc, U("select 2"), SQL_NTS, nullptr, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(SQLDisconnect(dbc), SQL_ERROR);
  EXPECT_EQ(_zolandm_diag_count(dbc), 3);
  // Another connection is not held up.
  SQLHDBC other = nullptr;
  ASSERT_EQ(SQLAllocConnect(env, &other), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeConnect(other), SQL_SUCCESS);

  set_gate(1);
  worker.join();
  EXPECT_EQ(first_rc, SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(out), "native:select 1");
  // The records of the refused calls stay until the next call on the handle reads them.
  EXPECT_EQ(states(nullptr, dbc, nullptr), (std::vector<std::string>{"S1010", "S1010", "S1010"}));
  EXPECT_EQ(SQLGetConnectOption(dbc, SQL_AUTOCOMMIT, &value), SQL_SUCCESS);
}

TEST_F(Busy, RefusedCallerAndRunningWorkerPushTogether) {
  fake_dsn("fake", "odbc3");
  ASSERT_EQ(connect("fake"), SQL_SUCCESS);
  // Option 4 is refused by the worker itself, which runs without the global lock; a caller
  // refused as busy pushes its S1010 under the lock at the same time.
  auto hammer = [&] {
    SQLUINTEGER value = 0;
    for (int i = 0; i < 2000; ++i) EXPECT_EQ(SQLGetConnectOption(dbc, 4, &value), SQL_ERROR);
  };
  std::thread a(hammer), b(hammer), c(hammer);
  a.join();
  b.join();
  c.join();
  std::vector<std::string> got = states(nullptr, dbc, nullptr);
  ASSERT_FALSE(got.empty());
  EXPECT_LE(got.size(), 64u);
  for (const std::string& state : got) EXPECT_TRUE(state == "IM001" || state == "S1010") << state;
}

}  // namespace
