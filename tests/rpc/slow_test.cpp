// The real record wait: a silent half record costs its connection 35 seconds
// after its last byte, and no sooner.
#include <gtest/gtest.h>

#include "fixtures/rpc_server/server_harness.h"
#include "fixtures/rpc_server/test_protocol.h"

using namespace rpctest;

TEST(SlowServer, HalfARecordIsDroppedAfter35Seconds) {
  Server s;
  ASSERT_GT(s.port(), 0);
  Conn silent(s.port());
  Bytes rec = Record(CallMsg(1, TESTPROG, TESTVERS, TP_ECHO_INT, {0, 0, 0, 1}));
  ASSERT_TRUE(silent.Send(Bytes(rec.begin(), rec.begin() + 10)));
  auto start = Clock::now();
  EXPECT_FALSE(silent.ClosedWithin(33000));
  EXPECT_TRUE(silent.ClosedWithin(6000));
  long ms = MsSince(start);
  EXPECT_GE(ms, 34000);
  EXPECT_LT(ms, 39000);
}
