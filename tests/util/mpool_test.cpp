#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fixtures/support/support.h"
#include "util/fault.h"
#include "util/mpool.h"

namespace {

size_t chunk_size(const MPL& p) {
  return static_cast<size_t>(p.mp_chunk->mc_limit - reinterpret_cast<memptr_t>(p.mp_chunk));
}

int chunk_count(const MPL& p) {
  int n = 0;
  for (MPC* c = p.mp_chunk; c != nullptr; c = c->mc_prev) ++n;
  return n;
}

TEST(Pool, FirstChunkSizes) {
  struct Case {
    memsz_t bytes;
    size_t chunk;
  } cases[] = {{0, 4096}, {1, 4096}, {3996, 4096}, {3997, 8192}, {5000, 8192}};
  for (const auto& c : cases) {
    MPL p;
    mpl_init(&p);
    std::string data(c.bytes, 'z');
    mpl_grow(&p, data.data(), c.bytes);
    EXPECT_EQ(chunk_count(p), 1);
    EXPECT_EQ(chunk_size(p), c.chunk) << c.bytes;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p.mp_base) % 16, 0u);
    EXPECT_GE(p.mp_base, reinterpret_cast<memptr_t>(p.mp_chunk) + 16);
    mpl_destroy(&p);
  }
}

TEST(Pool, BuildTextAndFinishedObjectsNeverMove) {
  MPL p;
  mpl_init(&p);
  mpl_grow(&p, "SELECT ", 7);
  mpl_grow(&p, "1", 1);
  mpl_append_byte(&p, 0);
  char* first = reinterpret_cast<char*>(mpl_finish(&p));
  EXPECT_STREQ(first, "SELECT 1");
  // Overflow the chunk with a second object.
  for (int i = 0; i < 10000; ++i) mpl_append_byte(&p, 'a' + i % 26);
  mpl_append_byte(&p, 0);
  char* second = reinterpret_cast<char*>(mpl_finish(&p));
  EXPECT_STREQ(first, "SELECT 1");
  EXPECT_EQ(strlen(second), 10000u);
  EXPECT_EQ(second[25], 'z');
  EXPECT_EQ(chunk_count(p), 2);
  mpl_destroy(&p);
  EXPECT_EQ(p.mp_chunk, nullptr);
}

TEST(Pool, MovedObjectFreesChunkThatHeldOnlyIt) {
  MPL p;
  mpl_init(&p);
  for (int i = 0; i < 9000; ++i) mpl_append_byte(&p, 'q');
  EXPECT_EQ(chunk_count(p), 1);  // earlier chunks held only this object
  EXPECT_EQ(mpl_object_size(&p), 9000u);
  mpl_destroy(&p);
}

TEST(Pool, Finish2ReportsLengthAndAligns) {
  MPL p;
  mpl_init(&p);
  mpl_grow(&p, "hello", 5);
  memsz_t n = 0;
  memptr_t a = mpl_finish2(&p, &n);
  EXPECT_EQ(n, 5u);
  mpl_grow(&p, "x", 1);
  memptr_t b = mpl_finish(&p);
  EXPECT_EQ(b - a, 16);
  mpl_destroy(&p);
}

TEST(Pool, GrowFromTheObjectItself) {
  MPL p;
  mpl_init(&p);
  mpl_grow(&p, "abc", 3);
  // Copy the object onto itself until it must move to a bigger chunk.
  for (int i = 0; i < 12; ++i) mpl_grow(&p, p.mp_base, mpl_object_size(&p));
  EXPECT_EQ(mpl_object_size(&p), 3u << 12);
  std::string s(reinterpret_cast<char*>(p.mp_base), 3u << 12);
  for (size_t i = 0; i < s.size(); i += 3) ASSERT_EQ(s.compare(i, 3, "abc"), 0) << i;
  mpl_destroy(&p);
}

TEST(Pool, AllocGetmemAlign) {
  MPL p;
  mpl_init(&p);
  mpl_grow(&p, "ab", 2);
  memptr_t base = p.mp_base;
  memptr_t r = mpl_alloc(&p, 20);
  EXPECT_EQ(r, base + 2);
  EXPECT_EQ(p.mp_base, base);
  EXPECT_EQ(mpl_object_size(&p), 32u);
  mpl_align(&p);
  EXPECT_EQ(mpl_object_size(&p), 32u);
  mpl_append_byte(&p, 1);
  mpl_align(&p);
  EXPECT_EQ(mpl_object_size(&p), 48u);
  memptr_t g = mpl_getmem(&p, 100);
  EXPECT_EQ(g, base);
  EXPECT_EQ(p.mp_base - base, 160);
  mpl_destroy(&p);
}

TEST(Pool, FreeBackToPosition) {
  MPL p;
  mpl_init(&p);
  mpl_grow(&p, "one", 4);
  memptr_t first = mpl_finish(&p);
  for (int k = 0; k < 5; ++k) {
    std::string big(3000, 'a' + k);
    mpl_grow(&p, big.c_str(), big.size() + 1);
    mpl_finish(&p);
  }
  EXPECT_GT(chunk_count(p), 1);
  mpl_free(&p, first);
  EXPECT_EQ(chunk_count(p), 1);
  EXPECT_EQ(p.mp_base, first);
  mpl_grow(&p, "two", 4);
  EXPECT_STREQ(reinterpret_cast<char*>(mpl_finish(&p)), "two");
  // Null empties the object being built; an unknown position empties the pool.
  mpl_grow(&p, "xyz", 3);
  mpl_free(&p, nullptr);
  EXPECT_EQ(mpl_object_size(&p), 0u);
  char elsewhere;
  mpl_free(&p, reinterpret_cast<memptr_t>(&elsewhere));
  EXPECT_EQ(p.mp_chunk, nullptr);
  EXPECT_EQ(p.mp_next, nullptr);
  mpl_grow(&p, "again", 6);
  EXPECT_STREQ(reinterpret_cast<char*>(mpl_finish(&p)), "again");
  mpl_destroy(&p);
}

TEST(PoolDeathTest, ChunkFailureTerminates) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        MPL p;
        mpl_init(&p);
        vyr_fault_inject(0);
        mpl_append_byte(&p, 'x');
      },
      testing::ExitedWithCode(1), "out of memory\nserver shutting down");
  EXPECT_EXIT(
      {
        MPL p;
        mpl_init(&p);
        mpl_alloc(&p, UINT64_MAX - 10);
      },
      testing::ExitedWithCode(1), "out of memory");
}

}  // namespace
