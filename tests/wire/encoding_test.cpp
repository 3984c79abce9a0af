// Wire encodings: golden bytes of scalars, strings, cells, datasets, rowsets and the
// records with special rules; refusals of lying sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>

#include "wire/record_xdr.h"
#include "wire_test_util.h"

using namespace wire_test;

namespace {
std::vector<unsigned char> pad(std::vector<unsigned char> v) {
  while (v.size() % 4) v.push_back(0);
  return v;
}
}  // namespace

TEST(Encoding, Scalars) {
  sgn8 c = -1;
  EXPECT_EQ(encode(VYRXDR_sgn8, &c), units({0xFFFFFFFF}));
  sgn16 s = -2;
  EXPECT_EQ(encode(VYRXDR_sgn16, &s), units({0xFFFFFFFE}));
  uns16 u = 0xFFFF;
  EXPECT_EQ(encode(VYRXDR_uns16, &u), units({0xFFFF}));
  flt64 d = 1.0;
  EXPECT_EQ(encode(VYRXDR_flt64, &d), units({0x3FF00000, 0}));
  errcode_t e = ER_DRV_NOT_CAPABLE;
  EXPECT_EQ(encode(VYRXDR_errcode_t, &e), units({43}));
  errcode_t back = ER_SUCCESS;
  ASSERT_TRUE(decode(VYRXDR_errcode_t, units({21}), &back));
  EXPECT_EQ(back, ER_INVALID_ARGUMENT);
}

TEST(Encoding, String) {
  String abc = const_cast<char*>("abc"), empty = const_cast<char*>(""), null = nullptr;
  EXPECT_EQ(encode(VYRXDR_String, &abc), cat({units({4}), bytes(std::string("abc\0", 4))}));
  EXPECT_EQ(encode(VYRXDR_String, &empty), units({1}));
  EXPECT_EQ(encode(VYRXDR_String, &null), units({0}));
  String got = nullptr;
  ASSERT_TRUE(decode(VYRXDR_String, cat({units({4}), bytes(std::string("abc\0", 4))}), &got));
  EXPECT_STREQ(got, "abc");
  free_with(VYRXDR_String, &got);
  EXPECT_EQ(got, nullptr);
  ASSERT_TRUE(decode(VYRXDR_String, units({1}), &got));
  EXPECT_STREQ(got, "");
  free_with(VYRXDR_String, &got);
  EXPECT_FALSE(decode(VYRXDR_String, units({0xFFFFFFFF}), &got));  // negative
  EXPECT_EQ(got, nullptr);
  // A length far beyond the record budget is refused before anything is allocated.
  EXPECT_FALSE(decode(VYRXDR_String, units({0x7FFFFFFF}), &got));
  EXPECT_EQ(got, nullptr);
}

TEST(Encoding, WideText) {
  wchar_t w[3] = {L'a', 0xE9, 0};
  EXPECT_EQ(encode([](XDR* x, wchar_t* p) { return VYRXDR_c_wchr(x, p, 3); }, w),
            cat({units({4}), {0x61, 0xC3, 0xA9, 0x00}}));
  std::vector<wchar_t> euro(300, 0x20AC);
  auto enc = encode([](XDR* x, wchar_t* p) { return VYRXDR_c_wchr(x, p, 300); }, euro.data());
  ASSERT_EQ(enc.size(), 904u);
  EXPECT_EQ(std::vector<unsigned char>(enc.begin(), enc.begin() + 4), units({900}));
  std::vector<wchar_t> back(300);
  ASSERT_TRUE(decode([](XDR* x, wchar_t* p) { return VYRXDR_c_wchr(x, p, 300); }, enc, back.data()));
  EXPECT_EQ(back, euro);
  // More or fewer characters than the cell expects fail.
  wchar_t two[2];
  EXPECT_FALSE(decode([](XDR* x, wchar_t* p) { return VYRXDR_c_wchr(x, p, 2); },
                      pad(cat({units({3}), bytes("abc")})), two));
  wchar_t four[4];
  EXPECT_FALSE(decode([](XDR* x, wchar_t* p) { return VYRXDR_c_wchr(x, p, 4); },
                      pad(cat({units({3}), bytes("abc")})), four));
  EXPECT_FALSE(decode([](XDR* x, wchar_t* p) { return VYRXDR_c_wchr(x, p, 0); },
                      pad(cat({units({1}), bytes("a")})), four));
}

namespace {
// A stream that records the size of every byte write or read it is asked for.
struct PieceStream {
  std::vector<unsigned char> data;
  size_t at = 0;
  std::vector<unsigned> pieces;
  static PieceStream* of(XDR* x) { return reinterpret_cast<PieceStream*>(x->x_public); }
  static int putlong(XDR* x, const int* v) {
    auto u = units({uint32_t(*v)});
    of(x)->data.insert(of(x)->data.end(), u.begin(), u.end());
    return TRUE;
  }
  static int putbytes(XDR* x, const char* p, unsigned n) {
    of(x)->pieces.push_back(n);
    of(x)->data.insert(of(x)->data.end(), p, p + n);
    return TRUE;
  }
  static int getlong(XDR* x, int* v) {
    PieceStream* s = of(x);
    if (s->at + 4 > s->data.size()) return FALSE;
    const unsigned char* p = &s->data[s->at];
    *v = int(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]);
    s->at += 4;
    return TRUE;
  }
  static int getbytes(XDR* x, char* p, unsigned n) {
    PieceStream* s = of(x);
    if (s->at + n > s->data.size()) return FALSE;
    s->pieces.push_back(n);
    std::memcpy(p, &s->data[s->at], n);
    s->at += n;
    return TRUE;
  }
  static unsigned getpos(XDR* x) { return unsigned(of(x)->data.size()); }
  static int setpos(XDR*, unsigned) { return FALSE; }
  static char* inl(XDR*, unsigned) { return nullptr; }
  static void destroy(XDR*) {}
  XDR stream(xdr_op op) {
    static const xdr_ops ops = {getlong, putlong, getbytes, putbytes, getpos, setpos, inl, destroy};
    XDR x{};
    x.x_op = op;
    x.x_ops = &ops;
    x.x_public = reinterpret_cast<char*>(this);
    return x;
  }
};
}  // namespace

TEST(Encoding, WideTextGoesThroughASmallBuffer) {
  // 300 euro signs are 900 UTF-8 bytes: 170 whole characters (510 bytes) fill the
  // 512-byte buffer, the other 130 (390 bytes) follow; 900 is a multiple of 4.
  std::vector<wchar_t> euro(300, 0x20AC);
  PieceStream s;
  XDR out = s.stream(XDR_ENCODE);
  ASSERT_TRUE(VYRXDR_c_wchr(&out, euro.data(), 300));
  EXPECT_EQ(s.pieces, (std::vector<unsigned>{510, 390}));
  ASSERT_EQ(s.data.size(), 904u);
  // Reading back never asks for more than the buffer holds.
  s.pieces.clear();
  XDR in = s.stream(XDR_DECODE);
  std::vector<wchar_t> back(300);
  ASSERT_TRUE(VYRXDR_c_wchr(&in, back.data(), 300));
  EXPECT_EQ(back, euro);
  for (unsigned n : s.pieces) EXPECT_LE(n, 512u);
  EXPECT_EQ(s.at, 904u);
}

TEST(Encoding, VchrColumnTravelsAsLongText) {
  Dataset ds = make_dataset({{CTYPE_VCHR, 11}}, 1);
  set_text(&ds, 0, 0, "hello");
  ds.nRows = 1;
  auto enc = encode(VYRXDR_Dataset, &ds);
  EXPECT_EQ(enc, cat({units({1, 1, 15, 11, 0, 5}), bytes("hello"), {0, 0, 0}}));
  Dataset got{};
  ASSERT_TRUE(decode(VYRXDR_Dataset, enc, &got));
  EXPECT_EQ(got.col[0].cType, CTYPE_LCHR);
  EXPECT_EQ(got.col[0].width, 16u);
  EXPECT_EQ(long_len(&got, 0, 0), 5u);
  EXPECT_STREQ(static_cast<char*>(long_ptr(&got, 0, 0)), "hello");
  free_with(VYRXDR_Dataset, &got);
  Dataset_Done(&ds);
}

TEST(Encoding, VchrScanIsBoundedByTheCell) {
  // A cell of width 4 filled without a NUL sends at most width - 1 characters.
  Dataset ds = make_dataset({{CTYPE_VCHR, 4}, {CTYPE_WVCHR, 8}}, 1);
  std::memcpy(Coldata_Cell(&ds.col[0], 0), "abcd", 4);
  ds.col[0].indicators[0] = 0;
  wchar_t xy[2] = {L'x', L'y'};
  std::memcpy(Coldata_Cell(&ds.col[1], 0), xy, 8);
  ds.col[1].indicators[0] = 0;
  ds.nRows = 1;
  auto enc = encode(VYRXDR_Dataset, &ds);
  EXPECT_EQ(
      enc,
      cat({units({2, 1, 15, 4, 0, 3}), bytes("abc"), {0}, units({26, 2, 0, 1, 1}), bytes("x"), {0, 0, 0}}));
  Dataset_Done(&ds);
  // A peer that sends type 17 may not fill the cell's last byte.
  Dataset got{};
  EXPECT_FALSE(decode(VYRXDR_Dataset, cat({units({1, 1, 17, 4, 0, 4}), bytes("abcd")}), &got));
  free_with(VYRXDR_Dataset, &got);
  EXPECT_TRUE(decode(VYRXDR_Dataset, cat({units({1, 1, 17, 4, 0, 3}), bytes("abc"), {0}}), &got));
  EXPECT_EQ(get_text(&got, 0, 0), "abc");
  free_with(VYRXDR_Dataset, &got);
}

TEST(Encoding, DatasetWithNullsAndEveryFixedType) {
  Dataset ds =
      make_dataset({{CTYPE_SGN32, 4}, {CTYPE_FLT64, 8}, {CTYPE_DATE, 6}, {CTYPE_CHR, 3}, {CTYPE_UNS8, 1}}, 2);
  set_int(&ds, 0, 0, -5);
  double d = 2.5;
  std::memcpy(Coldata_Cell(&ds.col[1], 1), &d, 8);
  ds.col[1].indicators[1] = 0;
  c_date date{2024, 2, 29};
  std::memcpy(Coldata_Cell(&ds.col[2], 0), &date, 6);
  ds.col[2].indicators[0] = 0;
  std::memcpy(Coldata_Cell(&ds.col[3], 1), "xyz", 3);
  ds.col[3].indicators[1] = 0;
  *Coldata_Cell(&ds.col[4], 0) = char(200);
  ds.col[4].indicators[0] = 0;
  ds.nRows = 2;
  auto enc = encode(VYRXDR_Dataset, &ds);
  EXPECT_EQ(enc, cat({units({5,  2,                                                      //
                             5,  4, 0,          0xFFFFFFFB, 0xFFFFFFFF,                  // integer, then NULL
                             10, 8, 0xFFFFFFFF, 0,          0x40040000, 0,               // NULL, then 2.5
                             11, 6, 0,          2024,       2,          29, 0xFFFFFFFF,  // date, NULL
                             1,  3, 0xFFFFFFFF, 0}),
                      bytes("xyz"),
                      {0},
                      units({6, 1, 0, 200, 0xFFFFFFFF})}));
  Dataset got{};
  ASSERT_TRUE(decode(VYRXDR_Dataset, enc, &got));
  EXPECT_EQ(encode(VYRXDR_Dataset, &got), enc);
  free_with(VYRXDR_Dataset, &got);
  Dataset_Done(&ds);
}

// One non-NULL cell of each type whose layout has no test of its own above: the
// column's wire type and width, the indicator and the cell, as the peer sees them.
TEST(Encoding, EveryCellTypeGolden) {
  auto le = [](std::initializer_list<unsigned> bs) {
    return std::vector<unsigned char>(bs.begin(), bs.end());
  };
  struct Case {
    const char* what;
    ctype_t type;
    precision_t width;
    std::vector<unsigned char> cell;  // in-memory cell bytes (little-endian)
    std::string longData;             // for 15 and 16
    std::vector<unsigned char> wire;  // after the counts nCols 1, nRows 1
  } cases[] = {
      {"void", CTYPE_VOID, 1, {}, "", units({0, 1, 0})},
      {"bit", CTYPE_BIT1, 1, le({1}), "", units({2, 1, 0, 1})},
      {"sgn8", CTYPE_SGN8, 1, le({0xFE}), "", units({3, 1, 0, 0xFFFFFFFE})},
      {"sgn16", CTYPE_SGN16, 2, le({0xFD, 0xFF}), "", units({4, 2, 0, 0xFFFFFFFD})},
      {"uns16", CTYPE_UNS16, 2, le({0xFF, 0xFF}), "", units({7, 2, 0, 0xFFFF})},
      {"uns32", CTYPE_UNS32, 4, le({0xEF, 0xBE, 0xAD, 0xDE}), "", units({8, 4, 0, 0xDEADBEEF})},
      {"flt32 1.5", CTYPE_FLT32, 4, le({0, 0, 0xC0, 0x3F}), "", units({9, 4, 0, 0x3FC00000})},
      {"time 13:45:59", CTYPE_TIME, 6, le({13, 0, 45, 0, 59, 0}), "", units({12, 6, 0, 13, 45, 59})},
      {"timestamp", CTYPE_TIMESTAMP, 16,
       le({0xCF, 0x07, 12, 0, 31, 0, 23, 0, 59, 0, 58, 0, 0x15, 0xCD, 0x5B, 0x07}), "",
       units({13, 16, 0, 1999, 12, 31, 23, 59, 58, 123456789})},
      {"bin with a zero byte", CTYPE_BIN, 5, le({'a', 'b', 0, 'c', 'd'}), "",
       cat({units({14, 5, 0}), le({'a', 'b', 0, 'c', 'd', 0, 0, 0})})},
      {"long text", CTYPE_LCHR, 16, {}, "xyz", cat({units({15, 16, 0, 3}), bytes("xyz"), {0}})},
      {"long binary",
       CTYPE_LBIN,
       16,
       {},
       std::string("\x01\x02", 2),
       cat({units({16, 16, 0, 2}), le({1, 2, 0, 0})})},
      {"empty long binary", CTYPE_LBIN, 16, {}, "", units({16, 16, 0, 0})},
      {"vchr8", CTYPE_VCHR8, 5, le({2, 'h', 'i'}), "", cat({units({15, 5, 0, 2}), bytes("hi"), {0, 0}})},
      {"vchr16", CTYPE_VCHR16, 6, le({2, 0, 'h', 'i'}), "", cat({units({15, 6, 0, 2}), bytes("hi"), {0, 0}})},
      {"vchr32", CTYPE_VCHR32, 8, le({2, 0, 0, 0, 'h', 'i'}), "",
       cat({units({15, 8, 0, 2}), bytes("hi"), {0, 0}})},
      {"vbin8", CTYPE_VBIN8, 5, le({3, 9, 8, 7}), "", cat({units({16, 5, 0, 3}), le({9, 8, 7, 0})})},
      {"vbin16", CTYPE_VBIN16, 6, le({3, 0, 9, 8, 7}), "", cat({units({16, 6, 0, 3}), le({9, 8, 7, 0})})},
      {"vbin32", CTYPE_VBIN32, 8, le({3, 0, 0, 0, 9, 8, 7}), "",
       cat({units({16, 8, 0, 3}), le({9, 8, 7, 0})})},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    Dataset ds = make_dataset({{c.type, c.width}}, 1);
    if (!c.cell.empty()) std::memcpy(Coldata_Cell(&ds.col[0], 0), c.cell.data(), c.cell.size());
    ds.col[0].indicators[0] = 0;
    if (c.type == CTYPE_LCHR || c.type == CTYPE_LBIN) {
      if (c.longData.empty())
        set_long_raw(&ds, 0, 0, 0, nullptr);
      else
        set_long(&ds, 0, 0, c.longData);
    }
    ds.nRows = 1;
    auto want = cat({units({1, 1}), c.wire});
    EXPECT_EQ(encode(VYRXDR_Dataset, &ds), want);
    Dataset_Done(&ds);
    // The peer decodes the wire type; long types take their 16-byte in-memory cell.
    Dataset got{};
    ASSERT_TRUE(decode(VYRXDR_Dataset, want, &got));
    bool isLong = got.col[0].cType == CTYPE_LCHR || got.col[0].cType == CTYPE_LBIN;
    EXPECT_EQ(got.col[0].width, isLong ? 16u : c.width);
    auto again = encode(VYRXDR_Dataset, &got);
    if (isLong) std::copy_n(units({16}).begin(), 4, want.begin() + 12);
    EXPECT_EQ(again, want);
    free_with(VYRXDR_Dataset, &got);
  }
}

TEST(Encoding, WideColumns) {
  Dataset ds = make_dataset({{CTYPE_WCHR, 12}, {CTYPE_WLCHR, 16}, {CTYPE_WVCHR32, 12}}, 1);
  wchar_t w[3] = {L'a', 0xE9, 0};
  std::memcpy(Coldata_Cell(&ds.col[0], 0), w, 12);
  ds.col[0].indicators[0] = 0;
  set_wlong(&ds, 1, 0, L"\x20AC");
  uns32 two = 2;
  wchar_t pq[2] = {L'p', L'q'};
  std::memcpy(Coldata_Cell(&ds.col[2], 0), &two, 4);
  std::memcpy(Coldata_Cell(&ds.col[2], 0) + 4, pq, 8);
  ds.col[2].indicators[0] = 0;
  ds.nRows = 1;
  auto enc = encode(VYRXDR_Dataset, &ds);
  EXPECT_EQ(enc, cat({units({3, 1, 24, 3, 0, 4}),
                      {0x61, 0xC3, 0xA9, 0x00},
                      units({26, 16, 0, 1, 3}),
                      {0xE2, 0x82, 0xAC, 0},
                      units({26, 2, 0, 2, 2}),
                      bytes("pq"),
                      {0, 0}}));
  Dataset got{};
  ASSERT_TRUE(decode(VYRXDR_Dataset, enc, &got));
  EXPECT_EQ(got.col[0].width, 12u);
  EXPECT_EQ(got.col[2].cType, CTYPE_WLCHR);
  EXPECT_EQ(static_cast<wchar_t*>(long_ptr(&got, 1, 0))[0], wchar_t(0x20AC));
  EXPECT_EQ(static_cast<wchar_t*>(long_ptr(&got, 2, 0))[1], L'q');
  free_with(VYRXDR_Dataset, &got);
  Dataset_Done(&ds);
}

TEST(Encoding, EmptyDatasets) {
  Dataset ds = make_dataset({{CTYPE_SGN32, 4}}, 4);
  EXPECT_EQ(encode(VYRXDR_Dataset, &ds), units({1, 0}));
  Dataset_Done(&ds);
  for (auto in : {units({5, 0}), units({0, 9})}) {
    Dataset got{};
    ASSERT_TRUE(decode(VYRXDR_Dataset, in, &got));
    EXPECT_EQ(got.nCols, 0);
    EXPECT_EQ(got.nRows, 0);
    EXPECT_EQ(got.col, nullptr);
    free_with(VYRXDR_Dataset, &got);
  }
}

TEST(Encoding, RowsPastTheAllocationAreNotSent) {
  Dataset ds = make_dataset({{CTYPE_SGN32, 4}}, 2);
  set_int(&ds, 0, 0, 1);
  set_int(&ds, 0, 1, 2);
  ds.nRows = 3;  // one more than every column holds
  bool ok = true;
  encode(VYRXDR_Dataset, &ds, &ok);
  EXPECT_FALSE(ok);
  ds.nRows = 2;
  encode(VYRXDR_Dataset, &ds, &ok);
  EXPECT_TRUE(ok);
  Dataset_Done(&ds);
}

TEST(Encoding, LyingDatasetSizesAreRefused) {
  struct Case {
    const char* what;
    std::vector<unsigned char> in;
  } cases[] = {
      {"negative rows", units({1, 0xFFFFFFFF})},
      {"rows times width past the budget", units({1, 0x7FFFFFFF, 14, 0x7FFFFFFF})},
      {"many wide columns", units({0xFFFF, 0x1000000, 1, 0x1000})},
      {"type above 27", units({1, 1, 28, 4, 0, 0})},
      {"fixed type narrower than its cell", units({1, 1, 10, 4, 0, 0, 0})},
      {"wide width overflows", units({1, 1, 24, 0x40000000, 0})},
      {"prefix does not fit its cell", units({1, 1, 18, 3, 0, 5, 0, 0})},
      {"long text past the budget", units({1, 1, 15, 16, 0, 0x7FFFFFFF})},
      {"wide count without room for the NUL", units({1, 1, 25, 8, 0, 2, 2, 0x61620000})},
      {"truncated", units({1, 3, 5, 4, 0})},
  };
  for (auto& c : cases) {
    Dataset got{};
    EXPECT_FALSE(decode(VYRXDR_Dataset, c.in, &got)) << c.what;
    free_with(VYRXDR_Dataset, &got);  // the free pass releases whatever was decoded
    EXPECT_EQ(got.col, nullptr);
  }
}

TEST(Encoding, OneBudgetForTheWholeRecord) {
  // Two text columns of 300 bytes per row over 2 rows: each column alone fits a
  // 1000-byte budget, both together do not.
  Dataset ds = make_dataset({{CTYPE_CHR, 300}, {CTYPE_CHR, 300}}, 2);
  for (int c = 0; c < 2; ++c)
    for (int r = 0; r < 2; ++r) {
      std::memset(Coldata_Cell(&ds.col[c], r), 'x', 300);
      ds.col[c].indicators[r] = 0;
    }
  ds.nRows = 2;
  auto enc = encode(VYRXDR_Dataset, &ds);
  Dataset_Done(&ds);
  wire_set_decode_limit(1000);
  Dataset got{};
  EXPECT_FALSE(decode(VYRXDR_Dataset, enc, &got));
  free_with(VYRXDR_Dataset, &got);
  wire_set_decode_limit(2000);
  EXPECT_TRUE(decode(VYRXDR_Dataset, enc, &got));
  free_with(VYRXDR_Dataset, &got);
  wire_set_decode_limit(VYR_MAX_DECODE_BYTES);
  EXPECT_EQ(VYR_MAX_DECODE_BYTES, 256u * 1024 * 1024);
}

TEST(Encoding, ArraysCountTowardsTheRecordBudget) {
  // 100 bind descriptors need 100 * sizeof(Bindesc) bytes in memory.
  std::vector<Bindesc> descs(100);
  call_bind b{0xCCCC0000, {unsigned(descs.size()), descs.data()}};
  auto enc = encode(VYRXDR_call_bind, &b);
  ASSERT_FALSE(enc.empty());
  struct Case {
    uint64_t limit;
    bool decodes;
  } cases[] = {{sizeof(Bindesc) * 100 - 1, false}, {sizeof(Bindesc) * 100, true}};
  for (const Case& c : cases) {
    wire_set_decode_limit(c.limit);
    call_bind got{};
    EXPECT_EQ(decode(VYRXDR_call_bind, enc, &got), c.decodes) << c.limit;
    free_with(VYRXDR_call_bind, &got);
  }
  wire_set_decode_limit(VYR_MAX_DECODE_BYTES);
}

TEST(Encoding, RowSet) {
  RowSet rs{};
  EXPECT_EQ(encode(VYRXDR_RowSet, &rs), units({0}));
  PRSET p = nullptr;
  ASSERT_EQ(RS_Create(&p, 2), ER_SUCCESS);
  p->rgfRowStatus[0] = 0;
  auto enc = encode(VYRXDR_RowSet, p);
  EXPECT_EQ(enc, units({2, 0, 0, 0, 3}));
  RowSet got{};
  ASSERT_TRUE(decode(VYRXDR_RowSet, enc, &got));
  EXPECT_EQ(got.RSSize, 2);
  EXPECT_EQ(got.rgfRowStatus[1], 3);
  free_with(VYRXDR_RowSet, &got);
  EXPECT_FALSE(decode(VYRXDR_RowSet, units({0xFFFFFFFF}), &got));
  EXPECT_FALSE(decode(VYRXDR_RowSet, units({0x7FFFFFFF, 0, 0}), &got));
  free_with(VYRXDR_RowSet, &got);
  RS_Destroy(&p);
}

TEST(Encoding, ErrInfoAtMostTenMessages) {
  ErrInfo e{};
  e.nativeError = 7;
  EXPECT_EQ(encode(VYRXDR_ErrInfo, &e), units({7, 0}));
  String msgs[11];
  for (auto& m : msgs) m = const_cast<char*>("m");
  e.messages = msgs;
  e.messageCount = 11;
  bool ok = true;
  encode(VYRXDR_ErrInfo, &e, &ok);
  EXPECT_FALSE(ok);
  e.messageCount = 10;
  encode(VYRXDR_ErrInfo, &e, &ok);
  EXPECT_TRUE(ok);
  ErrInfo got{};
  EXPECT_FALSE(decode(VYRXDR_ErrInfo, units({0, 11}), &got));
  free_with(VYRXDR_ErrInfo, &got);
}

TEST(Encoding, Xid) {
  XID_t x{};
  x.formatID = -1;
  x.gtrid_length = 2;
  x.bqual_length = 1;
  std::memcpy(x.data, "abc", 3);
  auto enc = encode(xdr_XID_t, &x);
  ASSERT_EQ(enc.size(), 131u * 4);
  EXPECT_EQ(std::vector<unsigned char>(enc.begin(), enc.begin() + 16), units({0xFFFFFFFF, 2, 1, 'a'}));
  XID_t got{};
  ASSERT_TRUE(decode(xdr_XID_t, enc, &got));
  EXPECT_EQ(got.formatID, 0xFFFFFFFFl);  // only the low 32 bits are written
  // Lengths that are negative or add up past 128 do not decode.
  for (auto [g, b] : {std::pair<uint32_t, uint32_t>{0xFFFFFFFF, 0}, {100, 29}, {0, 129}}) {
    auto bad = enc;
    auto u = units({g, b});
    std::copy(u.begin(), u.end(), bad.begin() + 4);
    XID_t y{};
    EXPECT_FALSE(decode(xdr_XID_t, bad, &y)) << g << "," << b;
  }
}

TEST(Encoding, Coldesc) {
  Coldesc d{};
  std::strcpy(d.label, "NAME");
  d.tableName = const_cast<char*>("t");
  d.sqlType = SQLTYPE_VARCHAR;
  d.fetchType = CTYPE_VCHR;
  d.fetchLength = 21;
  auto enc = encode(VYRXDR_Coldesc, &d);
  EXPECT_EQ(enc, cat({units({4}),
                      bytes("NAME"),
                      units({0, 0, 2}),
                      {'t', 0, 0, 0},
                      units({0, 0, 12, 0, 0, 0, 0, 17, 21})}));
  Coldesc got{};
  ASSERT_TRUE(decode(VYRXDR_Coldesc, enc, &got));
  EXPECT_STREQ(got.label, "NAME");
  EXPECT_STREQ(got.tableName, "t");
  free_with(VYRXDR_Coldesc, &got);
  Coldesc bad{};
  EXPECT_FALSE(decode(VYRXDR_Coldesc, cat({units({41}), std::vector<unsigned char>(44, 'x')}), &bad));
}

TEST(Encoding, UnionsRefuseUnknownArms) {
  paramval p{};
  EXPECT_FALSE(decode(VYRXDR_paramval, units({5, 0}), &p));
  ColAttrib a{};
  EXPECT_FALSE(decode(VYRXDR_ColAttrib, units({1, 2, 9, 0}), &a));
  OpTable t{};
  EXPECT_FALSE(decode(VYRXDR_OpTable, units({2, 0}), &t));
  OpTable one{1, 0, nullptr};
  EXPECT_EQ(encode(VYRXDR_OpTable, &one), units({1, 0}));  // type 1 with no rows always encodes
}

// ---- request and reply records with rules of their own

TEST(Records, PrepareAndParameters) {
  call_prepare p{0xCCCC0001, const_cast<char*>("select 1")};
  EXPECT_EQ(encode(VYRXDR_call_prepare, &p), cat({units({0xCCCC0001, 8}), bytes("select 1")}));
  call_prepare got{};
  // A plain string whose length is 0xFFFFFFFF does not decode.
  EXPECT_FALSE(decode(VYRXDR_call_prepare, units({1, 0xFFFFFFFF}), &got));
  free_with(VYRXDR_call_prepare, &got);
  EXPECT_FALSE(decode(VYRXDR_call_prepare, cat({units({1, 8}), bytes("sel")}), &got));  // cut short
  free_with(VYRXDR_call_prepare, &got);
  call_parameters cp{0xCCCC0000, nullptr};
  EXPECT_EQ(encode(VYRXDR_call_parameters, &cp), units({0xCCCC0000, 0}));
  call_parameters cpg{};
  ASSERT_TRUE(decode(VYRXDR_call_parameters, units({0xCCCC0000, 0}), &cpg));
  EXPECT_EQ(cpg.parameters, nullptr);
}

TEST(Records, ConnectWithoutPassword) {
  Connect c{};
  c.dbName = const_cast<char*>("db");
  c.readOnly = 5;
  c.application = const_cast<char*>("local only");
  call_connect cc{0xAAAA0000, &c};
  auto enc = encode(VYRXDR_call_connect, &cc);
  EXPECT_EQ(enc,
            cat({units({0xAAAA0000, 1, 0, 0, 0, 0, 3}), {'d', 'b', 0, 0}, units({0, 1, 0, 0, 0, 0, 0})}));
  call_connect got{};
  ASSERT_TRUE(decode(VYRXDR_call_connect, enc, &got));
  ASSERT_NE(got.arg, nullptr);
  EXPECT_EQ(got.arg->password, nullptr);
  EXPECT_EQ(got.arg->application, nullptr);
  EXPECT_EQ(got.arg->readOnly, 1);
  EXPECT_STREQ(got.arg->dbName, "db");
  free_with(VYRXDR_call_connect, &got);
  EXPECT_EQ(got.arg, nullptr);
}

TEST(Records, PutDataWideTravelsAsUtf8) {
  wchar_t w[2] = {0xE9, L'a'};
  call_putdata p{0xCCCC0002, CTYPE_WCHR, 0, {8, reinterpret_cast<char*>(w)}};
  auto enc = encode(VYRXDR_call_putdata, &p);
  EXPECT_EQ(enc, cat({units({0xCCCC0002, 24, 0, 3}), {0xC3, 0xA9, 0x61, 0}}));
  call_putdata got{};
  ASSERT_TRUE(decode(VYRXDR_call_putdata, enc, &got));
  EXPECT_EQ(got.XferBuff.XferBuff_len, 8u);
  EXPECT_EQ(reinterpret_cast<wchar_t*>(got.XferBuff.XferBuff_val)[0], wchar_t(0xE9));
  free_with(VYRXDR_call_putdata, &got);
  call_putdata raw{1, CTYPE_BIN, 0, {3, const_cast<char*>("xyz")}};
  EXPECT_EQ(encode(VYRXDR_call_putdata, &raw), cat({units({1, 14, 0, 3}), bytes("xyz"), {0}}));
}

TEST(Records, GetDataWideCountsCharacters) {
  wchar_t w[2] = {L'a', L'b'};
  getdatares r{ER_SUCCESS, {8, reinterpret_cast<char*>(w)}, CTYPE_WCHR, 40};
  auto enc = encode(VYRXDR_getdatares, &r);
  EXPECT_EQ(enc, cat({units({0, 2}), bytes("ab"), {0, 0}, units({24, 10})}));
  getdatares got{};
  ASSERT_TRUE(decode(VYRXDR_getdatares, enc, &got));
  EXPECT_EQ(got.RcvBuff.RcvBuff_len, 8u);
  EXPECT_EQ(got.cbRemaining, 40);
  free_with(VYRXDR_getdatares, &got);
  // -4 (no total) and -1 (NULL) travel unchanged.
  for (sgn32 rem : {-4, -1}) {
    getdatares n{ER_SUCCESS, {8, reinterpret_cast<char*>(w)}, CTYPE_WCHR, rem};
    auto e = encode(VYRXDR_getdatares, &n);
    EXPECT_EQ(std::vector<unsigned char>(e.end() - 4, e.end()), units({uint32_t(rem)}));
    getdatares g{};
    ASSERT_TRUE(decode(VYRXDR_getdatares, e, &g));
    EXPECT_EQ(g.cbRemaining, rem);
    free_with(VYRXDR_getdatares, &g);
  }
}

TEST(Records, SimpleReplies) {
  errcode_t ok = ER_SUCCESS;
  EXPECT_EQ(encode(VYRXDR_errcode_t, &ok), units({0}));
  handleres h{ER_SUCCESS, 0xCCCC0003};
  EXPECT_EQ(encode(VYRXDR_handleres, &h), units({0, 0xCCCC0003}));
  xfetchres x{ER_SUCCESS, nullptr, 0, 0};
  EXPECT_EQ(encode(VYRXDR_xfetchres, &x), units({0, 0, 0, 0}));
  errinfores e{};
  EXPECT_EQ(encode(VYRXDR_errinfores, &e), units({0, 0, 0}));
  datasetres d{};
  EXPECT_EQ(encode(VYRXDR_datasetres, &d), units({0, 0, 0}));
  cursorname n{ER_GENERAL_ERROR, nullptr};  // a null name goes out as the empty string
  EXPECT_EQ(encode(VYRXDR_cursorname, &n), units({15, 0}));
  paramval pv{};
  pv.type = 5;
  call_setdrvparameter sp{1, 2, pv};
  bool good = true;
  encode(VYRXDR_call_setdrvparameter, &sp, &good);
  EXPECT_FALSE(good);
}

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "C.UTF-8");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
