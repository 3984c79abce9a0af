#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "fixtures/support/support.h"
#include "util/alloc.h"
#include "util/fault.h"

namespace {

TEST(Alloc, ZeroCountOrSizeGivesUsableByte) {
  const size_t cases[][2] = {{0, 0}, {0, 8}, {8, 0}};
  for (const auto& c : cases) {
    unsigned char* p = static_cast<unsigned char*>(s_alloc(c[0], c[1]));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0);
    p[0] = 0xAB;
    free(p);
  }
}

TEST(Alloc, ZeroedAndCopies) {
  int* v = static_cast<int*>(s_alloc(100, sizeof(int)));
  for (int i = 0; i < 100; ++i) EXPECT_EQ(v[i], 0);
  v = static_cast<int*>(s_realloc(v, 200 * sizeof(int)));
  v[199] = 1;
  free(v);
  char* s = s_strdup("hello");
  EXPECT_STREQ(s, "hello");
  free(s);
  char* e = s_strdup(nullptr);
  EXPECT_STREQ(e, "");
  free(e);
  void* r = s_realloc(nullptr, 0);  // never the null that realloc(p, 0) may give
  EXPECT_NE(r, nullptr);
  free(r);
}

TEST(AllocDeathTest, OutOfMemoryTerminatesWithOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        vyr_fault_inject(0);
        s_alloc(10, 1);
      },
      testing::ExitedWithCode(1), "s_alloc: out of memory\nserver shutting down\n");
  EXPECT_EXIT({ s_alloc(SIZE_MAX / 2, 3); }, testing::ExitedWithCode(1), "s_alloc: out of memory");
  EXPECT_EXIT(
      {
        vyr_fault_inject(0);
        s_strdup("x");
      },
      testing::ExitedWithCode(1), "s_alloc: out of memory");
  EXPECT_EXIT(
      {
        void* p = s_alloc(1, 1);
        vyr_fault_inject(0);
        s_realloc(p, 100);
      },
      testing::ExitedWithCode(1), "s_realloc: out of memory");
}

}  // namespace
