#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fixtures/support/support.h"
#include "util/globals.h"

namespace {

class GlobalsTest : public testing::Test {
 protected:
  void TearDown() override { gv_done(); }
  void load(const std::string& text) {
    ASSERT_TRUE(test_support::write_file(dir_.file("vyr.cfg"), text));
    EXPECT_EQ(gv_init(dir_.file("vyr.cfg").c_str()), 0);
  }
  static int number(unsigned short id) {
    int32_t v = -12345;
    EXPECT_EQ(gv_get_value(id, &v, GV_RET_INT, 4), 0);
    return v;
  }
  test_support::TempDir dir_;
};

TEST_F(GlobalsTest, DefaultsWithoutFile) {
  EXPECT_EQ(gv_init(dir_.file("none").c_str()), 0);
  EXPECT_EQ(gv_init(nullptr), 0);
  EXPECT_EQ(vsa_init(), 0);
  EXPECT_EQ(VYRRPC__xdr_crypt, 0);
  EXPECT_EQ(tcp_port_low, 0);
  EXPECT_EQ(tcp_port_high, 60000);
  EXPECT_EQ(number(GV_SEND_SIZE), 0);
  EXPECT_EQ(number(GV_RECEIVE_SIZE), 0);
  EXPECT_EQ(vsa_done(), 0);
}

TEST_F(GlobalsTest, NumbersAndYesNo) {
  struct Case {
    const char* file;
    unsigned short id;
    int want;
  } cases[] = {
      {"[Communications]\nSendSize = 99\n", GV_SEND_SIZE, 99},
      {"[Communications]\nSendSize = 101\n", GV_SEND_SIZE, 101},
      {"[Communications]\nSendSize = 0x2000\n", GV_SEND_SIZE, 8192},
      {"[Communications]\nSendSize = 0x\n", GV_SEND_SIZE, 0},
      {"[Communications]\nSendSize = 0xZZ\n", GV_SEND_SIZE, 0},
      {"[Communications]\nSendSize = junk\n", GV_SEND_SIZE, 0},
      {"[communications]\nsendsize = 512\n", GV_SEND_SIZE, 512},
      {"[Communications]\nDataEncryption = yes\n", GV_DATA_ENCRYPTION, 1},
      {"[Communications]\nDataEncryption = Y\n", GV_DATA_ENCRYPTION, 1},
      {"[Communications]\nDataEncryption = 1\n", GV_DATA_ENCRYPTION, 1},
      {"[Communications]\nDataEncryption = No\n", GV_DATA_ENCRYPTION, 0},
      {"[Communications]\nDataEncryption = true\n", GV_DATA_ENCRYPTION, 0},
      {"[Communications]\nDataEncryption =\n", GV_DATA_ENCRYPTION, 0},  // empty: default No
      {"[ODBC]\nDataEncryption = yes\n", GV_DATA_ENCRYPTION, 0},        // other section
      {"[Protocol TCP]\nPortLow = 0x10\n", GV_PORT_LOW, 16},
      {"", 0x7777, 0},  // no such setting
  };
  for (const auto& c : cases) {
    load(c.file);
    EXPECT_EQ(number(c.id), c.want) << c.file;
  }
  load("[Communications]\nDataEncryption = yes\n[Protocol TCP]\nPortHigh = 7000\n");
  vsa_init();
  EXPECT_EQ(VYRRPC__xdr_crypt, 1);
  EXPECT_EQ(tcp_port_high, 7000);
  load("");
  vsa_init();
  EXPECT_EQ(VYRRPC__xdr_crypt, 0);
}

TEST_F(GlobalsTest, ResultTypes) {
  load("[Protocol TCP]\nIPAddress = 10.0.0.1\n");
  char buf[8];
  EXPECT_EQ(gv_get_value(GV_BROKER_PORT, buf, GV_RET_BUFFER, 8), 0);
  EXPECT_STREQ(buf, "60001");
  EXPECT_EQ(gv_get_value(GV_BROKER_PORT, buf, GV_RET_BUFFER, 4), 0);
  EXPECT_STREQ(buf, "600");
  EXPECT_EQ(gv_get_value(GV_UDP_DEVICE, buf, GV_RET_BUFFER, 8), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(gv_get_value(GV_BROKER_PORT, buf, GV_RET_BUFFER, 0), -1);

  char* copy = reinterpret_cast<char*>(1);
  EXPECT_EQ(gv_get_value(GV_UDP_DEVICE, &copy, GV_RET_COPY, 0), 0);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(gv_get_value(GV_IP_ADDRESS, &copy, GV_RET_COPY, 0), 0);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "10.0.0.1");
  free(copy);
  EXPECT_EQ(gv_get_value(GV_SHOW_ERRORS, &copy, GV_RET_COPY, 0), 0);
  EXPECT_STREQ(copy, "0");
  free(copy);

  int64_t wide = 77;
  EXPECT_EQ(gv_get_value(GV_BROKER_PORT, &wide, GV_RET_INT, 8), -1);
  EXPECT_EQ(wide, 77);
  int16_t small = 0;
  EXPECT_EQ(gv_get_value(GV_LISTEN, &small, GV_RET_INT, 2), 0);
  EXPECT_EQ(small, 5000);
  int8_t tiny = 0;
  EXPECT_EQ(gv_get_value(GV_RETRY_TIMEOUT, &tiny, GV_RET_INT, 1), 0);
  EXPECT_EQ(tiny, 5);
  EXPECT_EQ(gv_get_value(GV_LISTEN, nullptr, GV_RET_INT, 4), -1);
  EXPECT_EQ(gv_get_value(GV_LISTEN, &small, 3, 2), -1);
}

}  // namespace
