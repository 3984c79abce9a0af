// Small records, string copy-outs and column attributes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "util/hashtab.h"
#include "model/colattr.h"
#include "model/records.h"

TEST(StrCopyOut, CutsAndReports) {
  uns8 buf[8];
  uns16 n = 0;
  EXPECT_EQ(StrCopyOut("abc", buf, 3, &n), -1);
  EXPECT_STREQ(reinterpret_cast<char*>(buf), "ab");
  EXPECT_EQ(n, 2);
  EXPECT_EQ(StrCopyOut2("abc", buf, 3, &n), -1);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(StrCopyOut("abc", buf, 4, &n), 0);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(StrCopyOut("abc", buf, 0, &n), -1);
  EXPECT_EQ(StrCopyOut(nullptr, buf, 4, &n), -1);
  EXPECT_EQ(StrCopyOut2("abcd", nullptr, 0, &n), 0);
  EXPECT_EQ(n, 4);
}

TEST(Records, DoneFunctionsFreeAndNull) {
  Connect c{};
  c.svHost = strdup("h");
  c.password = strdup("p");
  c.application = strdup("a");
  Connect_Done(&c);
  EXPECT_EQ(c.svHost, nullptr);
  EXPECT_EQ(c.application, nullptr);
  ErrInfo e{};
  e.messageCount = 2;
  e.messages = static_cast<String*>(calloc(2, sizeof(String)));
  e.messages[0] = strdup("x");
  ErrInfo_Done(&e);
  EXPECT_EQ(e.messageCount, 0u);
  EXPECT_EQ(e.messages, nullptr);
  Request r{strdup("select 1"), nullptr, 0, 0, 0, 1, 0};
  Request_Done(&r);
  EXPECT_EQ(r.original, nullptr);
  Server s{strdup("o"), strdup("t")};
  Server_Done(&s);
  EXPECT_EQ(s.serverType, nullptr);
}

TEST(Records, XidCopiesOnlyValidLengths) {
  XID os{};
  os.formatID = 7;
  os.gtrid_length = 3;
  os.bqual_length = 2;
  std::memcpy(os.data, "abcde", 5);
  XID_t v{};
  XID_t_Init(&v, &os);
  EXPECT_EQ(std::string(v.data, 5), "abcde");
  EXPECT_TRUE(XID_t_Valid(&v));
  XID back{};
  XID_Init(&back, &v);
  EXPECT_EQ(back.bqual_length, 2);
  struct {
    long g, b;
    bool ok;
  } cases[] = {{-1, 0, false}, {0, -5, false}, {100, 29, false},
               {64, 64, true}, {0, 0, true},   {200, 0, false}};
  for (auto& c : cases) {
    XID_t x{};
    x.gtrid_length = c.g;
    x.bqual_length = c.b;
    EXPECT_EQ(XID_t_Valid(&x), c.ok) << c.g << "," << c.b;
    XID o{};
    XID_Init(&o, &x);  // never copies past the 128 data bytes
  }
}

namespace {
ColAttrib num(uns16 col, sgn16 id, sgn32 v) {
  ColAttrib a{};
  a.col = col;
  a.attribId = id;
  a.attribVal.attribType = ATTR_SGN32;
  a.attribVal.u.l = v;
  return a;
}
ColAttrib str(uns16 col, sgn16 id, char* s) {
  ColAttrib a{};
  a.col = col;
  a.attribId = id;
  a.attribVal.attribType = ATTR_STRING;
  a.attribVal.u.s = s;
  return a;
}
ColAttrib* working(std::initializer_list<ColAttrib> l) {
  ColAttrib* a = static_cast<ColAttrib*>(calloc(l.size(), sizeof(ColAttrib)));
  int i = 0;
  for (auto& e : l) a[i++] = e;
  return a;
}
}  // namespace

TEST(ColAttrib, PackDropsRepeatsOfTheAllColumnsValue) {
  ColAttrib* w = working({num(0, 5, 7), num(1, 5, 7), num(2, 5, 9), num(1, -3, 1)});
  uns16 n = 0;
  ColAttrib* packed = nullptr;
  ASSERT_EQ(ColAttribPack(4, w, &n, &packed, 1), ER_SUCCESS);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(packed[0].col, 0);
  EXPECT_EQ(packed[1].col, 2);
  EXPECT_EQ(packed[1].attribVal.u.l, 9);
  free(packed);
}

TEST(ColAttrib, PackGivesEveryStringOneOwner) {
  char* shared = strdup("name");
  // The producer lets the column entry share the all-columns string: it is dropped,
  // and the working array is freed with each distinct string once.
  ColAttrib* w =
      working({str(0, 1, shared), str(1, 1, shared), str(2, 1, strdup("name")), str(3, 2, strdup("t"))});
  uns16 n = 0;
  ColAttrib* packed = nullptr;
  ASSERT_EQ(ColAttribPack(4, w, &n, &packed, 1), ER_SUCCESS);
  ASSERT_EQ(n, 3);  // equal texts at different addresses both survive
  EXPECT_STREQ(packed[0].attribVal.u.s, "name");
  EXPECT_STREQ(packed[1].attribVal.u.s, "name");
  EXPECT_STREQ(packed[2].attribVal.u.s, "t");
  for (int i = 0; i < n; ++i) ColAttribFree(&packed[i]);
  free(packed);
}

TEST(ColAttrib, ScanCountsAndCopyAndEqual) {
  ColAttrib w[] = {num(0, 5, 1), num(1, 5, 1)};
  EXPECT_EQ(ColAttribPack_Scan(2, w, 0, nullptr, 0), 1);
  ColAttrib out[1];
  EXPECT_EQ(ColAttribPack_Scan(2, w, 0, out, 0), 0);
  ColAttrib a = num(0, 1, 3), b = num(1, 1, 3);
  EXPECT_EQ(ColAttribEqual(&a, &b), 1);
  ColAttrib f{};
  f.attribVal.attribType = ATTR_FLT64;
  f.attribVal.u.f = 1.5;
  ColAttrib g = f;
  EXPECT_EQ(ColAttribEqual(&f, &g), 1);
  EXPECT_EQ(ColAttribEqual(&a, &f), 0);
  char* s = strdup("x");
  ColAttrib src = str(0, 1, s), dst{};
  ColAttribCopy(&dst, &src, 2);
  EXPECT_NE(dst.attribVal.u.s, s);
  ColAttribFree(&dst);
  ColAttribFree(&src);
  EXPECT_EQ(src.attribVal.u.s, nullptr);
  uns16 n = 9;
  ColAttrib* p = reinterpret_cast<ColAttrib*>(0x1);
  EXPECT_EQ(ColAttribPack(0, nullptr, &n, &p, 1), ER_SUCCESS);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(p, nullptr);
}

TEST(ColAttrib, LookupInAHashTable) {
  HTTABLE* ht = VYR_htinit(31, sizeof(colAttribKey_t));
  ASSERT_NE(ht, nullptr);
  auto add = [&](ColAttrib a) {
    ColAttrib* e = static_cast<ColAttrib*>(calloc(1, sizeof(ColAttrib)));
    *e = a;
    colAttribKey_t key = colAttribKey_t((uint32_t(uns16(a.attribId)) << 16) | a.col);
    VYR_htadd(ht, &key, e);
  };
  add(num(0, 12, 3));
  add(num(2, 12, 8));
  add(str(0, 14, strdup("label")));
  sgn32 v = 0;
  char* s = nullptr;
  flt64 f = 0;
  EXPECT_EQ(ColAttribLookup(ht, 12, 2, &v, &s, &f), 1);
  EXPECT_EQ(v, 8);
  EXPECT_EQ(ColAttribLookup(ht, 12, 5, &v, &s, &f), 1);  // the all-columns value
  EXPECT_EQ(v, 3);
  EXPECT_EQ(ColAttribLookup(ht, 14, 1, &v, &s, &f), 1);
  EXPECT_STREQ(s, "label");
  EXPECT_EQ(ColAttribLookup(ht, 14, 1, &v, nullptr, &f), 0);  // no place for a string
  EXPECT_EQ(ColAttribLookup(ht, 99, 1, &v, &s, &f), 0);
  EXPECT_EQ(ColAttribLookup(nullptr, 12, 1, &v, &s, &f), 0);
  VYR_htmap(ht, ColAttribHtEntryDestroy, nullptr);
  VYR_htfree(ht);
}
