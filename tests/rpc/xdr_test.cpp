// Golden bytes of the XDR filters and the memory stream's limits.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "rpc/xdr.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Encodes with fn into a 256-byte memory stream and returns the bytes written.
Bytes Encode(const std::function<int(XDR*)>& fn, bool expect_ok = true) {
  std::vector<char> buf(256);
  XDR x;
  VYRRPC_xdrmem_create(&x, buf.data(), buf.size(), XDR_ENCODE);
  EXPECT_EQ(fn(&x), expect_ok ? TRUE : FALSE);
  unsigned int n = VYRRPC_xdr_getpos(&x);
  return Bytes(buf.begin(), buf.begin() + n);
}

struct Decoder {
  std::vector<char> data;
  XDR x;
  explicit Decoder(const Bytes& b) : data(b.begin(), b.end()) {
    VYRRPC_xdrmem_create(&x, data.data(), data.size(), XDR_DECODE);
  }
  unsigned int pos() { return VYRRPC_xdr_getpos(&x); }
};

TEST(Xdr, ScalarGoldenBytes) {
  struct Case {
    const char* name;
    std::function<int(XDR*)> fn;
    Bytes want;
  };
  int i_m1 = -1, i_big = 0x01020304, b7 = 7;
  unsigned int u = 0xFFFFFFFEu;
  short s = -2;
  unsigned short us = 0xFFFF;
  char c = -1;
  unsigned char uc = 0xFF;
  float f = 1.0f;
  double d = 1.0;
  enum_t e = 5;
  std::vector<Case> cases = {
      {"int -1", [&](XDR* x) { return VYRRPC_xdr_int(x, &i_m1); }, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"int", [&](XDR* x) { return VYRRPC_xdr_int(x, &i_big); }, {1, 2, 3, 4}},
      {"long", [&](XDR* x) { return VYRRPC_xdr_long(x, &i_big); }, {1, 2, 3, 4}},
      {"u_int", [&](XDR* x) { return VYRRPC_xdr_u_int(x, &u); }, {0xFF, 0xFF, 0xFF, 0xFE}},
      {"u_long", [&](XDR* x) { return VYRRPC_xdr_u_long(x, &u); }, {0xFF, 0xFF, 0xFF, 0xFE}},
      {"enum", [&](XDR* x) { return VYRRPC_xdr_enum(x, &e); }, {0, 0, 0, 5}},
      {"short -2", [&](XDR* x) { return VYRRPC_xdr_short(x, &s); }, {0xFF, 0xFF, 0xFF, 0xFE}},
      {"u_short", [&](XDR* x) { return VYRRPC_xdr_u_short(x, &us); }, {0, 0, 0xFF, 0xFF}},
      {"char -1", [&](XDR* x) { return VYRRPC_xdr_char(x, &c); }, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"u_char", [&](XDR* x) { return VYRRPC_xdr_u_char(x, &uc); }, {0, 0, 0, 0xFF}},
      {"bool 7", [&](XDR* x) { return VYRRPC_xdr_bool(x, &b7); }, {0, 0, 0, 1}},
      {"float 1.0", [&](XDR* x) { return xdr_float(x, &f); }, {0x3F, 0x80, 0, 0}},
      {"double 1.0", [&](XDR* x) { return xdr_double(x, &d); }, {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
      {"void", [&](XDR* x) { return VYRRPC_xdr_void(x, nullptr); }, {}},
  };
  for (auto& tc : cases) EXPECT_EQ(Encode(tc.fn), tc.want) << tc.name;
}

TEST(Xdr, ScalarDecodeNarrows) {
  Decoder d({0x00, 0x01, 0x23, 0x45, 0, 0, 0, 7, 0x12, 0x34, 0x56, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 0});
  short s;
  int b;
  unsigned char uc;
  double dbl;
  ASSERT_TRUE(VYRRPC_xdr_short(&d.x, &s));
  EXPECT_EQ(s, 0x2345);  // low 16 bits, no range check
  ASSERT_TRUE(VYRRPC_xdr_bool(&d.x, &b));
  EXPECT_EQ(b, 1);
  ASSERT_TRUE(VYRRPC_xdr_u_char(&d.x, &uc));
  EXPECT_EQ(uc, 0xFF);
  ASSERT_TRUE(xdr_double(&d.x, &dbl));
  EXPECT_EQ(dbl, -2.0);
  EXPECT_FALSE(VYRRPC_xdr_bool(&d.x, &b));  // stream exhausted
}

TEST(Xdr, UnknownDirectionFails) {
  XDR x{};
  x.x_op = static_cast<xdr_op>(3);
  int i = 0;
  char* p = nullptr;
  unsigned int n = 0;
  EXPECT_FALSE(VYRRPC_xdr_int(&x, &i));
  EXPECT_FALSE(VYRRPC_xdr_opaque(&x, reinterpret_cast<char*>(&i), 3));
  EXPECT_FALSE(VYRRPC_xdr_bytes(&x, &p, &n, 10));
  EXPECT_FALSE(VYRRPC_xdr_string(&x, &p, 10));
}

TEST(Xdr, OpaqueBytesAndStrings) {
  char abc[] = "abc";
  EXPECT_EQ(Encode([&](XDR* x) { return VYRRPC_xdr_opaque(x, abc, 3); }), (Bytes{'a', 'b', 'c', 0}));
  char* p = abc;
  unsigned int n = 3;
  EXPECT_EQ(Encode([&](XDR* x) { return VYRRPC_xdr_bytes(x, &p, &n, 10); }),
            (Bytes{0, 0, 0, 3, 'a', 'b', 'c', 0}));
  EXPECT_EQ(Encode([&](XDR* x) { return VYRRPC_xdr_string(x, &p, 10); }),
            (Bytes{0, 0, 0, 3, 'a', 'b', 'c', 0}));
  char empty[] = "";
  char* e = empty;
  EXPECT_EQ(Encode([&](XDR* x) { return VYRRPC_xdr_wrapstring(x, &e); }), (Bytes{0, 0, 0, 0}));
  // A string longer than its maximum fails after its length unit is written.
  EXPECT_EQ(Encode([&](XDR* x) { return VYRRPC_xdr_string(x, &p, 2); }, false), (Bytes{0, 0, 0, 3}));
  // A null string cannot be encoded.
  char* null_str = nullptr;
  Encode([&](XDR* x) { return VYRRPC_xdr_string(x, &null_str, 10); }, false);
}

TEST(Xdr, DecodeOpaqueConsumesPadding) {
  Decoder d({'x', 'y', 'z', 0, 0, 0, 0, 9});
  char out[3];
  ASSERT_TRUE(VYRRPC_xdr_opaque(&d.x, out, 3));
  EXPECT_EQ(d.pos(), 4u);
  EXPECT_EQ(std::string(out, 3), "xyz");
}

TEST(Xdr, DecodeStrings) {
  struct Case {
    const char* name;
    Bytes wire;
    unsigned int maxsize;
    bool ok;
    const char* want;
  };
  std::vector<Case> cases = {
      {"empty string allocates", {0, 0, 0, 0}, 10, true, ""},
      {"three chars", {0, 0, 0, 3, 'a', 'b', 'c', 0}, 10, true, "abc"},
      {"over maximum", {0, 0, 0, 3, 'a', 'b', 'c', 0}, 2, false, nullptr},
      {"all-ones length", {0xFF, 0xFF, 0xFF, 0xFF}, UINT_MAX, false, nullptr},
      {"truncated", {0, 0, 0, 8, 'a', 'b'}, 100, false, nullptr},
  };
  for (auto& tc : cases) {
    Decoder d(tc.wire);
    char* s = nullptr;
    EXPECT_EQ(VYRRPC_xdr_string(&d.x, &s, tc.maxsize), tc.ok ? TRUE : FALSE) << tc.name;
    if (tc.want) {
      ASSERT_NE(s, nullptr) << tc.name;
      EXPECT_STREQ(s, tc.want) << tc.name;
    }
    VYRRPC_xdr_free(reinterpret_cast<xdrproc_t>(VYRRPC_xdr_wrapstring), reinterpret_cast<char*>(&s));
    EXPECT_EQ(s, nullptr);
  }
  Decoder d({0xFF, 0xFF, 0xFF, 0xFF});
  char* s = nullptr;
  EXPECT_FALSE(VYRRPC_xdr_wrapstring(&d.x, &s));
  EXPECT_EQ(s, nullptr);
}

TEST(Xdr, DecodeBytes) {
  {
    Decoder d({0, 0, 0, 0});
    char* p = nullptr;
    unsigned int n = 99;
    ASSERT_TRUE(VYRRPC_xdr_bytes(&d.x, &p, &n, 10));
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(p, nullptr);
  }
  {
    Decoder d({0, 0, 0, 5, 1, 2, 3, 4, 5, 0, 0, 0});
    char* p = nullptr;
    unsigned int n = 0;
    ASSERT_TRUE(VYRRPC_xdr_bytes(&d.x, &p, &n, 10));
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(memcmp(p, "\1\2\3\4\5", 5), 0);
    EXPECT_EQ(d.pos(), 12u);
    XDR f{};
    f.x_op = XDR_FREE;
    EXPECT_TRUE(VYRRPC_xdr_bytes(&f, &p, &n, 10));
    EXPECT_EQ(p, nullptr);
  }
  {
    Decoder d({0, 0, 0, 11});
    char* p = nullptr;
    unsigned int n = 0;
    EXPECT_FALSE(VYRRPC_xdr_bytes(&d.x, &p, &n, 10));
    EXPECT_EQ(p, nullptr);
  }
}

// A peer that announces a huge length but sends little costs little memory:
// the buffer grows only with the data that arrived, and nothing is kept.
TEST(Xdr, LyingLengthCostsNothing) {
  Bytes wire = {0x7F, 0xFF, 0xFF, 0xF0};
  wire.resize(4 + 1000, 'q');
  Decoder d(wire);
  char* p = nullptr;
  unsigned int n = 0;
  EXPECT_FALSE(VYRRPC_xdr_bytes(&d.x, &p, &n, UINT_MAX));
  EXPECT_EQ(p, nullptr);
  Decoder d2(wire);
  char* s = nullptr;
  EXPECT_FALSE(VYRRPC_xdr_wrapstring(&d2.x, &s));
  EXPECT_EQ(s, nullptr);
  // An array of 2^30 ints announced, 250 sent.
  wire[0] = 0x3F;
  Decoder d3(wire);
  char* arr = nullptr;
  unsigned int cnt = 0;
  EXPECT_FALSE(VYRRPC_xdr_array(&d3.x, &arr, &cnt, UINT_MAX, 4, reinterpret_cast<xdrproc_t>(VYRRPC_xdr_int)));
  EXPECT_LE(static_cast<uint64_t>(cnt) * 4, 2u * VYRRPC_XDR_GROW_STEP);
  VYRRPC_xdr_free(reinterpret_cast<xdrproc_t>(+[](XDR* x, char** a) {
                    unsigned int c = 0;
                    return VYRRPC_xdr_array(x, a, &c, UINT_MAX, 4,
                                            reinterpret_cast<xdrproc_t>(VYRRPC_xdr_int));
                  }),
                  reinterpret_cast<char*>(&arr));
  EXPECT_EQ(arr, nullptr);
}

// A long byte block arrives whole through the growing buffer.
TEST(Xdr, LongBytesGrowAsTheyArrive) {
  const unsigned int len = 3 * VYRRPC_XDR_GROW_STEP + 5;
  Bytes wire = {static_cast<unsigned char>(len >> 24), static_cast<unsigned char>(len >> 16),
                static_cast<unsigned char>(len >> 8), static_cast<unsigned char>(len)};
  for (unsigned int i = 0; i < len; i++) wire.push_back(static_cast<unsigned char>(i * 7));
  wire.resize(wire.size() + 3, 0);
  Decoder d(wire);
  char* p = nullptr;
  unsigned int n = 0;
  ASSERT_TRUE(VYRRPC_xdr_bytes(&d.x, &p, &n, UINT_MAX));
  ASSERT_EQ(n, len);
  for (unsigned int i = 0; i < len; i += 997) ASSERT_EQ(static_cast<unsigned char>(p[i]), (i * 7) & 0xFF);
  EXPECT_EQ(d.pos(), wire.size());
  free(p);
}

int ArrayOfInts(XDR* x, char** a, unsigned int* n) {
  return VYRRPC_xdr_array(x, a, n, 4, sizeof(int), reinterpret_cast<xdrproc_t>(VYRRPC_xdr_int));
}

TEST(Xdr, Arrays) {
  int vals[3] = {1, -1, 2};
  char* a = reinterpret_cast<char*>(vals);
  unsigned int n = 3;
  EXPECT_EQ(Encode([&](XDR* x) { return ArrayOfInts(x, &a, &n); }),
            (Bytes{0, 0, 0, 3, 0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2}));
  {
    Decoder d({0, 0, 0, 2, 0, 0, 0, 9, 0, 0, 0, 8});
    char* out = nullptr;
    unsigned int cnt = 0;
    ASSERT_TRUE(ArrayOfInts(&d.x, &out, &cnt));
    ASSERT_EQ(cnt, 2u);
    EXPECT_EQ(reinterpret_cast<int*>(out)[1], 8);
    VYRRPC_xdr_free(reinterpret_cast<xdrproc_t>(+[](XDR* x, char** o) {
                      unsigned int c = 2;
                      return ArrayOfInts(x, o, &c);
                    }),
                    reinterpret_cast<char*>(&out));
    EXPECT_EQ(out, nullptr);
  }
  {
    // A count over the maximum fails before anything is allocated.
    Decoder d({0, 0, 0, 5});
    char* out = nullptr;
    unsigned int cnt = 0;
    EXPECT_FALSE(ArrayOfInts(&d.x, &out, &cnt));
    EXPECT_EQ(out, nullptr);
  }
  {
    // A count whose byte size overflows 32 bits fails.
    Decoder d({0x40, 0, 0, 1});
    char* out = nullptr;
    unsigned int cnt = 0;
    EXPECT_FALSE(
        VYRRPC_xdr_array(&d.x, &out, &cnt, UINT_MAX, 8, reinterpret_cast<xdrproc_t>(VYRRPC_xdr_int)));
    EXPECT_EQ(out, nullptr);
  }
}

struct Node {
  int value;
  Node* next;
};

int XdrNode(XDR* x, Node* n) {
  return VYRRPC_xdr_int(x, &n->value) &&
         VYRRPC_xdr_pointer(x, reinterpret_cast<char**>(&n->next), sizeof(Node),
                            reinterpret_cast<xdrproc_t>(XdrNode));
}

int XdrList(XDR* x, Node** head) {
  return VYRRPC_xdr_pointer(x, reinterpret_cast<char**>(head), sizeof(Node),
                            reinterpret_cast<xdrproc_t>(XdrNode));
}

TEST(Xdr, PointerChains) {
  Node b{2, nullptr}, a{1, &b};
  Node* head = &a;
  Bytes wire = Encode([&](XDR* x) { return XdrList(x, &head); });
  EXPECT_EQ(wire, (Bytes{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0}));
  Decoder d(wire);
  Node* out = nullptr;
  ASSERT_TRUE(XdrList(&d.x, &out));
  ASSERT_NE(out, nullptr);
  ASSERT_NE(out->next, nullptr);
  EXPECT_EQ(out->next->value, 2);
  EXPECT_EQ(out->next->next, nullptr);
  VYRRPC_xdr_free(reinterpret_cast<xdrproc_t>(XdrList), reinterpret_cast<char*>(&out));
  EXPECT_EQ(out, nullptr);

  // A chain nested deeper than the limit is refused instead of exhausting the stack.
  Bytes deep;
  for (int i = 0; i < VYRRPC_XDR_MAX_DEPTH + 10; i++) deep.insert(deep.end(), {0, 0, 0, 1, 0, 0, 0, 7});
  deep.insert(deep.end(), {0, 0, 0, 0});
  Decoder dd(deep);
  Node* dn = nullptr;
  EXPECT_FALSE(XdrList(&dd.x, &dn));
  VYRRPC_xdr_free(reinterpret_cast<xdrproc_t>(XdrList), reinterpret_cast<char*>(&dn));
  EXPECT_EQ(dn, nullptr);
}

TEST(Xdr, UnionAndVector) {
  static const xdr_discrim arms[] = {{1, reinterpret_cast<xdrproc_t>(VYRRPC_xdr_int)},
                                     {2, reinterpret_cast<xdrproc_t>(VYRRPC_xdr_bool)},
                                     {0, nullptr}};
  enum_t disc = 1;
  int v = 42;
  EXPECT_EQ(
      Encode([&](XDR* x) { return VYRRPC_xdr_union(x, &disc, reinterpret_cast<char*>(&v), arms, nullptr); }),
      (Bytes{0, 0, 0, 1, 0, 0, 0, 42}));
  disc = 3;
  EXPECT_EQ(
      Encode([&](XDR* x) { return VYRRPC_xdr_union(x, &disc, reinterpret_cast<char*>(&v), arms, nullptr); },
             false),
      (Bytes{0, 0, 0, 3}));
  EXPECT_EQ(Encode([&](XDR* x) {
              return VYRRPC_xdr_union(x, &disc, reinterpret_cast<char*>(&v), arms,
                                      reinterpret_cast<xdrproc_t>(VYRRPC_xdr_u_int));
            }),
            (Bytes{0, 0, 0, 3, 0, 0, 0, 42}));
  short sv[2] = {1, -1};
  EXPECT_EQ(Encode([&](XDR* x) {
              return VYRRPC_xdr_vector(x, reinterpret_cast<char*>(sv), 2, sizeof(short),
                                       reinterpret_cast<xdrproc_t>(VYRRPC_xdr_short));
            }),
            (Bytes{0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(Xdr, FreeOfNullPointersReleasesNothing) {
  struct Rec {
    char* s;
    char* b;
    unsigned int blen;
  } r{nullptr, nullptr, 0};
  VYRRPC_xdr_free(reinterpret_cast<xdrproc_t>(+[](XDR* x, Rec* p) -> int {
                    return VYRRPC_xdr_wrapstring(x, &p->s) && VYRRPC_xdr_bytes(x, &p->b, &p->blen, 100);
                  }),
                  reinterpret_cast<char*>(&r));
  EXPECT_EQ(r.s, nullptr);
  EXPECT_EQ(r.b, nullptr);
}

TEST(XdrMem, Limits) {
  char buf[7] = {};
  XDR x;
  VYRRPC_xdrmem_create(&x, buf, 7, XDR_ENCODE);
  int one = 1;
  ASSERT_TRUE(VYRRPC_xdr_putlong(&x, &one));
  EXPECT_FALSE(VYRRPC_xdr_putlong(&x, &one));  // 3 bytes left
  EXPECT_EQ(VYRRPC_xdr_getpos(&x), 4u);
  EXPECT_EQ(x.x_handy, 3u);
  EXPECT_FALSE(VYRRPC_xdr_setpos(&x, 8));  // past the end
  EXPECT_EQ(VYRRPC_xdr_getpos(&x), 4u);
  EXPECT_TRUE(VYRRPC_xdr_setpos(&x, 7));
  EXPECT_EQ(x.x_handy, 0u);
  EXPECT_TRUE(VYRRPC_xdr_setpos(&x, 1));
  EXPECT_EQ(x.x_handy, 6u);
  EXPECT_EQ(VYRRPC_xdr_inline(&x, 7), nullptr);
  EXPECT_EQ(VYRRPC_xdr_inline(&x, 6), buf + 1);
  EXPECT_EQ(x.x_handy, 0u);
}

TEST(XdrMem, UnalignedPositionsWork) {
  char buf[16] = {};
  XDR x;
  VYRRPC_xdrmem_create(&x, buf + 1, 12, XDR_ENCODE);
  int v = 0x11223344;
  ASSERT_TRUE(VYRRPC_xdr_int(&x, &v));
  EXPECT_EQ(static_cast<unsigned char>(buf[1]), 0x11);
  XDR y;
  VYRRPC_xdrmem_create(&y, buf + 1, 12, XDR_DECODE);
  int w = 0;
  ASSERT_TRUE(VYRRPC_xdr_int(&y, &w));
  EXPECT_EQ(w, v);
}

}  // namespace
