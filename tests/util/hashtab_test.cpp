#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "util/fault.h"
#include "util/hashtab.h"

namespace {

struct Table {
  explicit Table(int size, int keysize = 0) : t(VYR_htinit(size, keysize)) {}
  ~Table() { VYR_htfree(t); }
  HTTABLE* t;
};

TEST(HashTable, AddFindReplaceDelete) {
  Table tab(100);
  int a = 1, b = 2, c = 3;
  HTENTRY* ea = VYR_htadd(tab.t, "alpha", &a);
  ASSERT_NE(ea, nullptr);
  ASSERT_NE(VYR_htadd(tab.t, "beta", &b), nullptr);
  EXPECT_EQ(tab.t->ht_noe, 2);
  EXPECT_EQ(VYR_htadd(tab.t, "alpha", &c), ea);  // replaces the data, same entry
  EXPECT_EQ(tab.t->ht_noe, 2);
  EXPECT_EQ(VYR_htgetdata(tab.t, "alpha"), &c);
  EXPECT_EQ(VYR_htlookup(tab.t, "gamma"), nullptr);
  EXPECT_EQ(VYR_htgetdata(tab.t, "gamma"), nullptr);
  EXPECT_EQ(VYR_htdelete(tab.t, "gamma"), 0);
  EXPECT_EQ(VYR_htdelete(tab.t, "alpha"), 1);
  EXPECT_EQ(VYR_htdelete(tab.t, "alpha"), 0);
  EXPECT_EQ(tab.t->ht_noe, 1);
  HTENTRY* eb = VYR_htdelete_hte(tab.t, "beta");
  ASSERT_NE(eb, nullptr);
  EXPECT_STREQ(static_cast<char*>(eb->ht_key), "beta");
  free(eb->ht_key);
  free(eb);
  EXPECT_EQ(tab.t->ht_noe, 0);
}

TEST(HashTable, KeysAreCopied) {
  Table tab(10);
  char key[] = "mutable";
  int v = 0;
  VYR_htadd(tab.t, key, &v);
  key[0] = 'M';
  EXPECT_EQ(VYR_htgetdata(tab.t, "mutable"), &v);
  EXPECT_EQ(VYR_htgetdata(tab.t, key), nullptr);
}

TEST(HashTable, SizeZeroHasOneBucket) {
  for (int size : {0, -4}) {
    Table tab(size);
    ASSERT_NE(tab.t, nullptr);
    EXPECT_EQ(tab.t->ht_size, 1);
    int v;
    VYR_htadd(tab.t, "a", &v);
    VYR_htadd(tab.t, "b", &v);
    EXPECT_EQ(tab.t->ht_noc, 1);
  }
}

TEST(HashTable, StringHashBuckets) {
  Table tab(101);
  struct Case {
    const char* key;
    int bucket;
  } cases[] = {{"", 0}, {"a", 97}, {"ab", (97 * 8 + 98) % 101}, {"owwwwwwyx", -1}};
  for (const auto& c : cases) EXPECT_EQ(VYR_hthash(tab.t, c.key), c.bucket) << c.key;
  // A negative hash uses its magnitude: "\xff" hashes to -1.
  EXPECT_EQ(VYR_hthash(tab.t, "\xff"), 1);
}

TEST(HashTable, KeyWithoutBucketIsAbsent) {
  Table tab(7);
  int v;
  EXPECT_EQ(VYR_htadd(tab.t, "owwwwwwyx", &v), nullptr);
  EXPECT_EQ(VYR_htlookup(tab.t, "owwwwwwyx"), nullptr);
  EXPECT_EQ(VYR_htdelete(tab.t, "owwwwwwyx"), 0);
  EXPECT_EQ(tab.t->ht_noe, 0);
}

TEST(HashTable, FixedSizeKeysShareBucketZero) {
  Table tab(101, 16);
  unsigned char k[3][16];
  for (int i = 0; i < 3; ++i) memset(k[i], 'a' + i, 16);
  int v[3];
  for (int i = 0; i < 3; ++i) ASSERT_NE(VYR_htadd(tab.t, k[i], &v[i]), nullptr);
  EXPECT_EQ(tab.t->ht_noe, 3);
  EXPECT_EQ(tab.t->ht_noc, 2);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(VYR_hthash(tab.t, k[i]), 0);
    EXPECT_EQ(VYR_htgetdata(tab.t, k[i]), &v[i]);
  }
  // Keys with NUL bytes inside compare by all 16 bytes.
  unsigned char z1[16] = {0}, z2[16] = {0};
  z2[15] = 1;
  VYR_htadd(tab.t, z1, &v[0]);
  EXPECT_EQ(VYR_htgetdata(tab.t, z2), nullptr);
  EXPECT_EQ(VYR_htdelete(tab.t, k[1]), 1);
  EXPECT_EQ(tab.t->ht_noc, 2);
}

TEST(HashTable, MapVisitsBucketsInOrderNewestFirst) {
  Table tab(1);
  int v[3] = {0, 1, 2};
  VYR_htadd(tab.t, "x", &v[0]);
  VYR_htadd(tab.t, "y", &v[1]);
  VYR_htadd(tab.t, "z", &v[2]);
  std::string seen;
  VYR_htmap(
      tab.t,
      [](ITEM, ITEM key, void* arg) {
        *static_cast<std::string*>(arg) += static_cast<char*>(key);
        return 1;
      },
      &seen);
  EXPECT_EQ(seen, "zyx");
}

TEST(HashTable, CallerMadeEntries) {
  Table tab(5);
  HTENTRY e{};
  int v;
  static const char key[] = "own";
  EXPECT_EQ(VYR_htadd_hte(tab.t, &e, key, &v), &e);
  EXPECT_EQ(e.ht_key, key);
  EXPECT_EQ(VYR_htlookup(tab.t, "own"), &e);
  EXPECT_EQ(VYR_htdelete_hte(tab.t, "own"), &e);
  EXPECT_EQ(tab.t->ht_noe, 0);
}

TEST(HashTable, AllocationFailuresLeaveTableUnchanged) {
  for (long n : {0, 1}) {
    vyr_fault_inject(n);
    HTTABLE* t = VYR_htinit(10, 0);
    vyr_fault_inject(-1);
    EXPECT_EQ(t, nullptr);
  }
  Table tab(10);
  int v;
  for (long n : {0, 1}) {
    vyr_fault_inject(n);
    EXPECT_EQ(VYR_htadd(tab.t, "k", &v), nullptr);
    vyr_fault_inject(-1);
    EXPECT_EQ(tab.t->ht_noe, 0);
    EXPECT_EQ(VYR_htlookup(tab.t, "k"), nullptr);
  }
}

TEST(HashTable, Stat) {
  Table tab(4);
  char buf[200];
  FILE* fp = fmemopen(buf, sizeof buf, "w");
  VYR_htstat(tab.t, fp);
  int v;
  VYR_htadd(tab.t, "a", &v);
  VYR_htadd(tab.t, "e", &v);  // 'a' + 4: same bucket
  VYR_htadd(tab.t, "b", &v);
  VYR_htstat(tab.t, fp);
  fclose(fp);
  EXPECT_STREQ(buf,
               "size=4, entries=0, colls=0, %full=0.000000, %coll=0.000000\n"
               "size=4, entries=3, colls=1, %full=75.000000, %coll=33.000000\n");
}

}  // namespace
