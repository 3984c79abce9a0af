// Datasets, descriptors, rowsets and the dataset utilities.
#include <gtest/gtest.h>

#include <cstdlib>
#include <clocale>
#include <cstring>
#include <string>

#include "util/fault.h"
#include "model/dataset.h"
#include "model/dataset_util.h"
#include "wire/wire_xdr.h"
#include "wire_test_util.h"

using namespace wire_test;

TEST(DatasetSizeCol, WidthRule) {
  struct Case {
    ctype_t t;
    precision_t n, w;
  } cases[] = {{CTYPE_VCHR16, 5, 8},      {CTYPE_VCHR32, 5, 12},
               {CTYPE_VCHR32, 4, 8},      {CTYPE_WVCHR, 3, 16},
               {CTYPE_TIMESTAMP, 99, 16}, {CTYPE_CHR, 7, 7},
               {CTYPE_VCHR, 7, 8},        {CTYPE_WCHR, 3, 12},
               {CTYPE_WVCHR32, 2, 12},    {CTYPE_LCHR, 1000, 16},
               {CTYPE_SGN32, 0, 4},       {ctype_t(30), 9, 9},
               {CTYPE_VBIN8, 4, 5},       {CTYPE_WCHR, 0x7FFFFFFF, 0xFFFFFFFF}};
  for (const Case& c : cases) EXPECT_EQ(Dataset_SizeCol(c.t, c.n), c.w) << c.t << " " << c.n;
}

TEST(Coldata, InitAndDone) {
  Coldata c{CTYPE_SGN32, 4, nullptr, nullptr};
  EXPECT_EQ(Coldata_Init(&c, 0), ER_SUCCESS);
  EXPECT_EQ(c.values, nullptr);
  EXPECT_EQ(c.indicators, nullptr);
  ASSERT_EQ(Coldata_Init(&c, 3), ER_SUCCESS);
  for (int i = 0; i < 13; ++i) EXPECT_EQ(static_cast<char*>(c.values)[i], 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(c.indicators[i], -1);
  Coldata_Done(&c, 3);
  EXPECT_EQ(c.values, nullptr);
  EXPECT_EQ(Coldata_Init(&c, -1), ER_GENERAL_ERROR);
  vyr_fault_inject(0);
  EXPECT_EQ(Coldata_Init(&c, 3), ER_NO_MEMORY);
  vyr_fault_inject(-1);
  EXPECT_EQ(c.values, nullptr);
}

TEST(Descriptors, AllocAtLeastOne) {
  Coldesc* d = AllocColdesc(0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d[0].qualifierName, nullptr);
  FreeColdesc(d, 0);
  Bindesc* b = AllocBindesc(0);
  ASSERT_NE(b, nullptr);
  std::free(b);
  Coldesc* two = AllocColdesc(2);
  for (int i = 0; i < 2; ++i) {
    two[i].qualifierName = strdup("q");
    two[i].ownerName = strdup("o");
    two[i].tableName = strdup("t");
    two[i].columnName = strdup("c");
  }
  FreeColdesc(two, 2);  // LeakSanitizer checks each string is freed exactly once
  FreeColdesc(nullptr, 3);
}

TEST(Dataset, AllocDatasetFromDescriptors) {
  Coldesc d[2]{};
  d[0].fetchType = CTYPE_VCHR;
  d[0].fetchLength = 10;
  d[1].fetchType = CTYPE_SGN32;
  Dataset ds{};
  ASSERT_EQ(AllocDataset(d, 2, 4, &ds), ER_SUCCESS);
  EXPECT_EQ(ds.nCols, 2);
  EXPECT_EQ(ds.allocRows, 4);
  EXPECT_EQ(ds.nRows, 0);
  EXPECT_EQ(ds.col[0].width, 11u);
  EXPECT_EQ(ds.col[1].width, 4u);
  Dataset_Done(&ds);
  Dataset_Done(&ds);  // done twice is harmless
  ASSERT_EQ(AllocDataset(nullptr, 0, 7, &ds), ER_SUCCESS);
  EXPECT_EQ(ds.col, nullptr);
  EXPECT_EQ(ds.allocRows, 7);
  vyr_fault_inject(1);
  EXPECT_EQ(AllocDataset(d, 2, 4, &ds), ER_NO_MEMORY);
  vyr_fault_inject(-1);
  Dataset_Done(&ds);
}

TEST(RowSet, CreateAllocDestroy) {
  PRSET rs = reinterpret_cast<PRSET>(0x1);
  EXPECT_EQ(RS_Create(&rs, 0), ER_GENERAL_ERROR);
  EXPECT_EQ(rs, reinterpret_cast<PRSET>(0x1));
  EXPECT_EQ(RS_Create(nullptr, 3), ER_GENERAL_ERROR);
  rs = nullptr;
  ASSERT_EQ(RS_Create(&rs, 2), ER_SUCCESS);
  EXPECT_EQ(rs->rgfRowStatus[0], 3);
  EXPECT_EQ(rs->rgfRowStatus[1], 3);
  EXPECT_EQ(rs->pDataset->nCols, 0);
  EXPECT_EQ(RS_Alloc(rs, 5), ER_SUCCESS);
  EXPECT_EQ(rs->RSSize, 5);
  EXPECT_EQ(RS_Alloc(rs, -1), ER_GENERAL_ERROR);
  RS_Destroy(&rs);
  EXPECT_EQ(rs, nullptr);
  RS_Destroy(&rs);
}

// ---- utilities

TEST(DatasetUtil, EmptyRowInsert) {
  Dataset ds = make_dataset({{CTYPE_SGN32, 4}}, 3);
  set_int(&ds, 0, 0, 10);
  set_int(&ds, 0, 1, 20);
  ds.nRows = 2;
  ASSERT_EQ(Dataset_EmptyRowInsert(&ds, 2), ER_SUCCESS);  // append
  EXPECT_EQ(ds.nRows, 3);
  EXPECT_EQ(ds.col[0].indicators[2], -1);
  EXPECT_EQ(Dataset_EmptyRowInsert(&ds, 0), ER_GENERAL_ERROR);  // full
  Dataset_Done(&ds);

  ds = make_dataset({{CTYPE_SGN32, 4}}, 3);
  set_int(&ds, 0, 0, 10);
  set_int(&ds, 0, 1, 20);
  ds.nRows = 2;
  EXPECT_EQ(Dataset_EmptyRowInsert(&ds, 5), ER_GENERAL_ERROR);  // past nRows
  ASSERT_EQ(Dataset_EmptyRowInsert(&ds, 0), ER_SUCCESS);
  EXPECT_EQ(ds.col[0].indicators[0], -1);
  EXPECT_EQ(get_int(&ds, 0, 1), 10);
  EXPECT_EQ(get_int(&ds, 0, 2), 20);
  Dataset_Done(&ds);
  Dataset empty{};
  EXPECT_EQ(Dataset_EmptyRowInsert(&empty, 0), ER_GENERAL_ERROR);
  EXPECT_EQ(Dataset_EmptyRowInsert(nullptr, 0), ER_GENERAL_ERROR);
}

TEST(DatasetUtil, CopyRowAppendsAndOwnsLongData) {
  Dataset src = make_dataset({{CTYPE_LCHR, 16}, {CTYPE_SGN32, 4}}, 1);
  set_long(&src, 0, 0, "hello");
  set_int(&src, 1, 0, 7);
  src.nRows = 1;
  Dataset dst = make_dataset({{CTYPE_LCHR, 16}, {CTYPE_SGN32, 4}}, 4);
  dst.nRows = 2;
  ASSERT_EQ(Dataset_CopyRow(&dst, &src, 3, 0, 0), ER_SUCCESS);
  EXPECT_EQ(dst.nRows, 3);
  EXPECT_EQ(get_long(&dst, 0, 2), "hello");
  EXPECT_NE(long_ptr(&dst, 0, 2), long_ptr(&src, 0, 0));  // a copy owns its own buffer
  EXPECT_EQ(get_int(&dst, 1, 2), 7);
  // Moving: the source keeps the length, loses the pointer.
  ASSERT_EQ(Dataset_CopyRow(&dst, &src, 0, 0, 1), ER_SUCCESS);
  EXPECT_EQ(long_ptr(&src, 0, 0), nullptr);
  EXPECT_EQ(long_len(&src, 0, 0), 5u);
  EXPECT_EQ(get_long(&dst, 0, 0), "hello");
  EXPECT_EQ(Dataset_CopyRow(&dst, &src, 0, 1, 0), ER_GENERAL_ERROR);  // source row out of range
  Dataset_Done(&src);
  Dataset_Done(&dst);  // each buffer freed once (LeakSanitizer / AddressSanitizer)
}

TEST(DatasetUtil, CopyRowOfNullLongCellSharesNothing) {
  Dataset src = make_dataset({{CTYPE_LBIN, 16}}, 1);
  set_long(&src, 0, 0, "abc");
  src.col[0].indicators[0] = -1;  // NULL, but the buffer is still there
  src.nRows = 1;
  Dataset dst = make_dataset({{CTYPE_LBIN, 16}}, 1);
  ASSERT_EQ(Dataset_CopyRow(&dst, &src, 0, 0, 0), ER_SUCCESS);
  EXPECT_NE(long_ptr(&dst, 0, 0), long_ptr(&src, 0, 0));
  Dataset_Done(&src);
  Dataset_Done(&dst);
}

TEST(DatasetUtil, GrowMovesLongDataAndChecksShape) {
  Dataset a = make_dataset({{CTYPE_LCHR, 16}}, 2);
  set_long(&a, 0, 0, "a0");
  a.nRows = 1;
  Dataset b = make_dataset({{CTYPE_LCHR, 16}}, 2);
  set_long(&b, 0, 0, "b0");
  set_long(&b, 0, 1, "b1");
  b.nRows = 2;
  ASSERT_EQ(Dataset_Grow(&a, &b), ER_SUCCESS);
  EXPECT_EQ(a.nRows, 3);
  EXPECT_EQ(a.allocRows, 3);
  EXPECT_EQ(get_long(&a, 0, 0), "a0");
  EXPECT_EQ(get_long(&a, 0, 2), "b1");
  EXPECT_EQ(long_ptr(&b, 0, 1), nullptr);
  Dataset c = make_dataset({{CTYPE_SGN32, 4}}, 1);
  c.nRows = 1;
  EXPECT_EQ(Dataset_Grow(&a, &c), ER_GENERAL_ERROR);
  EXPECT_EQ(a.nRows, 3);
  vyr_fault_inject(0);
  EXPECT_EQ(Dataset_Grow(&a, &b), ER_NO_MEMORY);
  vyr_fault_inject(-1);
  EXPECT_EQ(a.nRows, 3);
  EXPECT_EQ(get_long(&a, 0, 1), "b0");
  Dataset_Done(&a);
  Dataset_Done(&b);
  Dataset_Done(&c);
}

TEST(DatasetUtil, InvertCopyAndClone) {
  Dataset* ds = new_dataset({{CTYPE_VCHR, 4}}, 3);
  set_text(ds, 0, 0, "A");
  set_text(ds, 0, 1, "B");
  set_text(ds, 0, 2, "C");
  ds->nRows = 3;
  ASSERT_EQ(Dataset_Invert(&ds), ER_SUCCESS);
  EXPECT_EQ(get_text(ds, 0, 0), "C");
  EXPECT_EQ(get_text(ds, 0, 2), "A");
  Dataset* copy = nullptr;
  ASSERT_EQ(Dataset_Copy(&copy, ds), ER_SUCCESS);
  EXPECT_EQ(copy->nRows, 3);
  EXPECT_EQ(get_text(copy, 0, 1), "B");
  free_dataset(copy);
  ds->nRows = 0;
  ASSERT_EQ(Dataset_Copy(&copy, ds), ER_SUCCESS);
  EXPECT_EQ(copy->nCols, 0);
  free_dataset(copy);
  ASSERT_EQ(Dataset_Invert(&ds), ER_SUCCESS);  // empty in, empty out, same columns
  EXPECT_EQ(ds->nRows, 0);
  EXPECT_EQ(ds->nCols, 1);
  Dataset* clone = nullptr;
  ASSERT_EQ(Dataset_Clone(&clone, ds, 8), ER_SUCCESS);
  EXPECT_EQ(clone->allocRows, 8);
  EXPECT_EQ(clone->col[0].cType, CTYPE_VCHR);
  EXPECT_EQ(Dataset_Clone(nullptr, ds, 8), ER_GENERAL_ERROR);
  free_dataset(clone);
  free_dataset(ds);
}

TEST(DatasetUtil, CopyDeepCopiesLongCells) {
  Dataset* ds = new_dataset({{CTYPE_WLCHR, 16}}, 1);
  set_wlong(ds, 0, 0, L"wide");
  ds->nRows = 1;
  Dataset* copy = nullptr;
  ASSERT_EQ(Dataset_Copy(&copy, ds), ER_SUCCESS);
  EXPECT_NE(long_ptr(copy, 0, 0), long_ptr(ds, 0, 0));
  int match = 0;
  ASSERT_EQ(Dataset_CompareRows(ds, 0, copy, 0, &match), ER_SUCCESS);
  EXPECT_EQ(match, 1);
  free_dataset(copy);
  free_dataset(ds);
}

TEST(DatasetUtil, CompareRows) {
  Dataset a = make_dataset({{CTYPE_SGN32, 4}, {CTYPE_LCHR, 16}}, 2);
  set_int(&a, 0, 0, 1);
  set_long(&a, 1, 0, "x");
  set_int(&a, 0, 1, 1);
  set_long(&a, 1, 1, "y");
  a.nRows = 2;
  int m = -1;
  ASSERT_EQ(Dataset_CompareRows(&a, 0, &a, 1, &m), ER_SUCCESS);
  EXPECT_EQ(m, 0);
  ASSERT_EQ(Dataset_CompareRows(&a, 0, &a, 0, &m), ER_SUCCESS);
  EXPECT_EQ(m, 1);
  EXPECT_EQ(Dataset_CompareRows(&a, 2, &a, 0, &m), ER_GENERAL_ERROR);
  Dataset b = make_dataset({{CTYPE_SGN32, 4}}, 1);
  b.nRows = 1;
  EXPECT_EQ(Dataset_CompareRows(&a, 0, &b, 0, &m), ER_GENERAL_ERROR);
  Dataset_Done(&a);
  Dataset_Done(&b);
}

TEST(DatasetUtil, Columns) {
  Dataset ds = make_dataset({{CTYPE_SGN32, 4}, {CTYPE_LCHR, 16}}, 2);
  set_int(&ds, 0, 0, 5);
  set_long(&ds, 1, 0, "z");
  ds.nRows = 1;
  ASSERT_EQ(Dataset_ColAdd(&ds, 2, CTYPE_FLT64, 8), ER_SUCCESS);  // append at nCols
  EXPECT_EQ(ds.nCols, 3);
  EXPECT_EQ(ds.col[2].indicators[1], -1);  // every allocated row, NULL
  EXPECT_EQ(Dataset_ColAdd(&ds, 9, CTYPE_FLT64, 8), ER_GENERAL_ERROR);
  ctype_t t;
  precision_t w;
  ASSERT_EQ(Dataset_ColInfo(&ds, 2, &t, &w), ER_SUCCESS);
  EXPECT_EQ(t, CTYPE_FLT64);
  EXPECT_EQ(Dataset_ColInfo(&ds, 3, &t, &w), ER_GENERAL_ERROR);
  ASSERT_EQ(Dataset_ColDrop(&ds, 1), ER_SUCCESS);
  EXPECT_EQ(ds.nCols, 2);
  EXPECT_EQ(ds.col[1].cType, CTYPE_FLT64);
  EXPECT_EQ(Dataset_ColDrop(&ds, 2), ER_GENERAL_ERROR);
  Dataset other = make_dataset({{CTYPE_SGN32, 4}}, 1);
  set_int(&other, 0, 0, 99);
  other.nRows = 1;
  ASSERT_EQ(Dataset_ColCopy(&ds, &other, 0, 0), ER_SUCCESS);
  EXPECT_EQ(get_int(&ds, 0, 0), 99);
  EXPECT_EQ(Dataset_ColCopy(&ds, &other, 1, 0), ER_GENERAL_ERROR);  // shapes differ
  EXPECT_EQ(Dataset_ColCopy(&ds, &ds, 0, 0), ER_GENERAL_ERROR);
  Dataset_Done(&ds);
  Dataset_Done(&other);
}

TEST(DatasetUtil, ColCopyIntoEmptyDestinationKeepsEveryColumnAllocated) {
  Dataset dst = make_dataset({{CTYPE_SGN32, 4}, {CTYPE_LCHR, 16}}, 1);
  Dataset src = make_dataset({{CTYPE_SGN32, 4}}, 3);
  for (int r = 0; r < 3; ++r) set_int(&src, 0, r, r);
  src.nRows = 3;
  ASSERT_EQ(Dataset_ColCopy(&dst, &src, 0, 0), ER_SUCCESS);
  EXPECT_EQ(dst.nRows, 3);
  EXPECT_EQ(dst.allocRows, 3);
  EXPECT_EQ(dst.col[1].indicators[2], -1);
  Dataset_Done(&dst);
  Dataset_Done(&src);
}

TEST(DatasetUtil, PrependMovesColumns) {
  Dataset a = make_dataset({{CTYPE_SGN32, 4}}, 4);
  a.nRows = 2;
  Dataset b = make_dataset({{CTYPE_LCHR, 16}}, 2);
  set_long(&b, 0, 1, "key");
  b.nRows = 2;
  ASSERT_EQ(Dataset_Prepend(&a, &b), ER_SUCCESS);
  EXPECT_EQ(a.nCols, 2);
  EXPECT_EQ(a.col[0].cType, CTYPE_LCHR);
  EXPECT_EQ(get_long(&a, 0, 1), "key");
  EXPECT_EQ(a.col[0].indicators[3], -1);  // moved column has all of a's rows
  Dataset c = make_dataset({{CTYPE_SGN32, 4}}, 1);
  c.nRows = 1;
  EXPECT_EQ(Dataset_Prepend(&a, &c), ER_GENERAL_ERROR);
  Dataset_Done(&a);
  Dataset_Done(&b);
  Dataset_Done(&c);
}

TEST(DatasetUtil, CellGetChunk) {
  Dataset ds = make_dataset({{CTYPE_VCHR8, 9}, {CTYPE_VCHR, 4}, {CTYPE_SGN16, 2}}, 2);
  char* cell = Coldata_Cell(&ds.col[0], 0);
  cell[0] = 5;
  std::memcpy(cell + 1, "hello", 5);
  ds.col[0].indicators[0] = 0;
  std::memcpy(Coldata_Cell(&ds.col[1], 0), "abcd", 4);  // no NUL inside the cell
  ds.col[1].indicators[0] = 0;
  ds.nRows = 2;
  char buf[16];
  uns32 n = 3;
  ASSERT_EQ(Dataset_CellGetChunk(&ds, 0, 0, buf, &n), ER_SUCCESS);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(std::string(buf, 3), "hel");
  n = 16;
  ASSERT_EQ(Dataset_CellGetChunk(&ds, 0, 1, buf, &n), ER_SUCCESS);
  EXPECT_EQ(n, 4u);  // bounded by the cell's width
  n = 16;
  ASSERT_EQ(Dataset_CellGetChunk(&ds, 1, 2, buf, &n), ER_SUCCESS);
  EXPECT_EQ(n, 0u);  // NULL
  EXPECT_EQ(Dataset_CellGetChunk(&ds, 2, 0, buf, &n), ER_GENERAL_ERROR);
  Dataset_Done(&ds);
}

TEST(DatasetUtil, TruncateAndRealloc) {
  Dataset ds = make_dataset({{CTYPE_CHR, 10}, {CTYPE_VCHR32, 12}, {CTYPE_LCHR, 16}}, 1);
  std::memcpy(Coldata_Cell(&ds.col[0], 0), "0123456789", 10);
  ds.col[0].indicators[0] = 0;
  uns32 len = 8;
  std::memcpy(Coldata_Cell(&ds.col[1], 0), &len, 4);
  std::memcpy(Coldata_Cell(&ds.col[1], 0) + 4, "abcdefgh", 8);
  ds.col[1].indicators[0] = 0;
  set_long(&ds, 2, 0, "longtext");
  ds.nRows = 1;
  ASSERT_EQ(Dataset_Truncate(&ds, 10), ER_SUCCESS);
  EXPECT_EQ(ds.col[0].cType, CTYPE_CHR);  // short enough: unchanged
  ASSERT_EQ(Dataset_Truncate(&ds, 4), ER_SUCCESS);
  EXPECT_EQ(ds.col[0].cType, CTYPE_VCHR32);
  uns32 got;
  std::memcpy(&got, Coldata_Cell(&ds.col[0], 0), 4);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(std::string(Coldata_Cell(&ds.col[0], 0) + 4, 4), "0123");
  std::memcpy(&got, Coldata_Cell(&ds.col[1], 0), 4);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(long_len(&ds, 2, 0), 4u);
  // Widening a long column gives every short row a bigger buffer with its (cut) data.
  void* before = long_ptr(&ds, 2, 0);
  ASSERT_EQ(Dataset_ColRealloc(&ds, 2, 64, 0), ER_SUCCESS);
  EXPECT_NE(long_ptr(&ds, 2, 0), before);
  EXPECT_EQ(std::string(static_cast<char*>(long_ptr(&ds, 2, 0)), 5), std::string("long\0", 5));
  Dataset_Done(&ds);
}

TEST(DatasetUtil, ConvertWideToNarrow) {
  Dataset ds = make_dataset({{CTYPE_WVCHR, 16}, {CTYPE_WLCHR, 16}}, 1);
  const wchar_t abc[] = L"abc";
  std::memcpy(Coldata_Cell(&ds.col[0], 0), abc, 12);
  ds.col[0].indicators[0] = 0;
  set_wlong(&ds, 1, 0, L"xyz");
  ds.nRows = 1;
  ASSERT_EQ(Dataset_ConvertW2A(&ds), ER_SUCCESS);
  EXPECT_EQ(ds.col[0].cType, CTYPE_VCHR);
  EXPECT_STREQ(Coldata_Cell(&ds.col[0], 0), "abc");
  EXPECT_EQ(ds.col[1].cType, CTYPE_LCHR);
  EXPECT_EQ(std::string(static_cast<char*>(long_ptr(&ds, 1, 0)), 3), "xyz");
  Dataset_Done(&ds);
}

// Multibyte text keeps every character when narrowed: the narrow copy is sized
// for UTF-8, not one byte a character, and lengths count the narrow bytes.
TEST(DatasetUtil, ConvertWideToNarrowKeepsMultibyteText) {
  const char* old = std::setlocale(LC_CTYPE, nullptr);
  std::string saved = old ? old : "C";
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  const std::wstring wide = L"\u00e9t\u00e9 \u20ac \U0001F600";  // 2-, 3- and 4-byte characters
  const std::string narrow = "\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80";
  const uns32 chars = uns32(wide.size());
  struct Case {
    ctype_t type;
    precision_t width;
    ctype_t narrowType;
  } cases[] = {{CTYPE_WCHR, precision_t(chars * 4), CTYPE_VCHR},
               {CTYPE_WVCHR, precision_t((chars + 1) * 4), CTYPE_VCHR},
               {CTYPE_WVCHR32, precision_t(4 + chars * 4), CTYPE_VCHR32},
               {CTYPE_WLCHR, 16, CTYPE_LCHR}};
  for (const Case& k : cases) {
    SCOPED_TRACE(int(k.type));
    Dataset ds = make_dataset({{k.type, k.width}}, 1);
    char* cell = Coldata_Cell(&ds.col[0], 0);
    if (k.type == CTYPE_WLCHR) {
      set_wlong(&ds, 0, 0, wide);
    } else if (k.type == CTYPE_WVCHR32) {
      std::memcpy(cell, &chars, 4);
      std::memcpy(cell + 4, wide.data(), chars * 4);
    } else {
      std::memcpy(cell, wide.data(), chars * 4);
    }
    ds.col[0].indicators[0] = 0;
    ds.nRows = 1;
    ASSERT_EQ(Dataset_ConvertW2A(&ds), ER_SUCCESS);
    EXPECT_EQ(ds.col[0].cType, k.narrowType);
    if (k.type == CTYPE_WLCHR) {
      EXPECT_EQ(get_long(&ds, 0, 0), narrow);
    } else if (k.type == CTYPE_WVCHR32) {
      uns32 len;
      std::memcpy(&len, cell, 4);
      EXPECT_EQ(std::string(cell + 4, len), narrow);
    } else {
      EXPECT_STREQ(cell, narrow.c_str());
    }
    Dataset_Done(&ds);
  }
  std::setlocale(LC_CTYPE, saved.c_str());
}

// A value that is no character (a 2-byte wide driver's halves) becomes '?', never
// a 4- to 6-byte form that no client can read.
TEST(DatasetUtil, ConvertWideToNarrowReplacesNonCharacters) {
  const char* old = std::setlocale(LC_CTYPE, nullptr);
  std::string saved = old ? old : "C";
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  Dataset ds = make_dataset({{CTYPE_WVCHR, 16}}, 1);
  const wchar_t text[] = {L'a', wchar_t(0x110000), L'b', 0};
  std::memcpy(Coldata_Cell(&ds.col[0], 0), text, sizeof text);
  ds.col[0].indicators[0] = 0;
  ds.nRows = 1;
  ASSERT_EQ(Dataset_ConvertW2A(&ds), ER_SUCCESS);
  EXPECT_STREQ(Coldata_Cell(&ds.col[0], 0), "a?b");
  Dataset_Done(&ds);
  std::setlocale(LC_CTYPE, saved.c_str());
}

// A long column decoded in place keeps its data in the column's own block: the
// utilities that free, replace or hand over long cells must never free that data
// on its own nor leave another column pointing into the block (AddressSanitizer
// checks both when the datasets are freed).
Dataset decoded_texts(std::initializer_list<const char*> texts) {
  Dataset ds = make_dataset({{CTYPE_SGN32, 4}, {CTYPE_LCHR, 16}}, sgn32(texts.size()));
  int r = 0;
  for (const char* t : texts) {
    set_int(&ds, 0, r, r);
    if (t) set_long(&ds, 1, r, t);
    ++r;
  }
  ds.nRows = r;
  auto bytes = encode(VYRXDR_Dataset, &ds);
  Dataset_Done(&ds);
  Dataset out{};
  EXPECT_TRUE(decode(VYRXDR_Dataset, bytes, &out));
  for (r = 0; r < out.nRows; ++r) {
    if (out.col[1].indicators[r] == 0) {
      EXPECT_TRUE(Coldata_InBlock(&out.col[1], long_ptr(&out, 1, r)));
    }
  }
  return out;
}

std::vector<std::string> texts_of(Dataset* ds) {
  std::vector<std::string> v;
  for (sgn32 r = 0; r < ds->nRows; ++r)
    v.push_back(ds->col[1].indicators[r] == 0 ? get_long(ds, 1, r) : "<null>");
  return v;
}

TEST(DatasetBlock, UtilitiesOnDecodedLongColumns) {
  using V = std::vector<std::string>;
  {  // Copy: the copy's cells have buffers of their own.
    Dataset src = decoded_texts({"alpha", nullptr, ""});
    Dataset* copy = nullptr;
    ASSERT_EQ(Dataset_Copy(&copy, &src), ER_SUCCESS);
    EXPECT_EQ(texts_of(copy), (V{"alpha", "<null>", ""}));
    EXPECT_FALSE(Coldata_InBlock(&copy->col[1], long_ptr(copy, 1, 0)));
    Dataset_Done(&src);
    EXPECT_EQ(get_long(copy, 1, 0), "alpha");
    free_dataset(copy);
  }
  {  // Handing a row over copies data out of the source's block.
    Dataset src = decoded_texts({"one", "two"});
    Dataset dst = make_dataset({{CTYPE_SGN32, 4}, {CTYPE_LCHR, 16}}, 2);
    ASSERT_EQ(Dataset_CopyRow(&dst, &src, 0, 1, 1), ER_SUCCESS);
    EXPECT_EQ(long_ptr(&src, 1, 1), nullptr);
    Dataset_Done(&src);
    EXPECT_EQ(texts_of(&dst), (V{"two"}));
    // And overwriting a decoded row frees nothing in the block.
    Dataset again = decoded_texts({"x", "y"});
    ASSERT_EQ(Dataset_CopyRow(&again, &dst, 0, 0, 0), ER_SUCCESS);
    EXPECT_EQ(texts_of(&again), (V{"two", "y"}));
    Dataset_Done(&again);
    Dataset_Done(&dst);
  }
  {  // Grow moves rows of decoded columns into new blocks.
    Dataset a = decoded_texts({"a1", "a2"});
    Dataset b = decoded_texts({"b1", nullptr, "b3"});
    ASSERT_EQ(Dataset_Grow(&a, &b), ER_SUCCESS);
    EXPECT_EQ(texts_of(&a), (V{"a1", "a2", "b1", "<null>", "b3"}));
    Dataset_Done(&b);
    EXPECT_EQ(texts_of(&a), (V{"a1", "a2", "b1", "<null>", "b3"}));
    Dataset_Done(&a);
  }
  {  // Prepend into a dataset of another allocation moves the cells out.
    Dataset src = decoded_texts({"p", "q"});
    Dataset dst = make_dataset({{CTYPE_SGN32, 4}}, 5);
    set_int(&dst, 0, 0, 7);
    set_int(&dst, 0, 1, 8);
    dst.nRows = 2;
    ASSERT_EQ(Dataset_Prepend(&dst, &src), ER_SUCCESS);
    Dataset_Done(&src);
    ASSERT_EQ(dst.nCols, 3);
    EXPECT_EQ(texts_of(&dst), (V{"p", "q"}));
    Dataset_Done(&dst);
  }
  {  // Reallocating a decoded long column for longer values.
    Dataset ds = decoded_texts({"short", nullptr});
    ASSERT_EQ(Dataset_ColRealloc(&ds, 1, 100, 0), ER_SUCCESS);
    EXPECT_EQ(texts_of(&ds), (V{"short", "<null>"}));
    EXPECT_FALSE(Coldata_InBlock(&ds.col[1], long_ptr(&ds, 1, 0)));
    Dataset_Done(&ds);
  }
  {  // Detaching is all or nothing.
    Dataset ds = decoded_texts({"k1", "k2", "k3"});
    vyr_fault_inject(2);
    EXPECT_EQ(Coldata_DetachLongData(&ds.col[1], ds.nRows), ER_NO_MEMORY);
    vyr_fault_inject(-1);
    for (sgn32 r = 0; r < 3; ++r) EXPECT_TRUE(Coldata_InBlock(&ds.col[1], long_ptr(&ds, 1, r)));
    ASSERT_EQ(Coldata_DetachLongData(&ds.col[1], ds.nRows), ER_SUCCESS);
    for (sgn32 r = 0; r < 3; ++r) EXPECT_FALSE(Coldata_InBlock(&ds.col[1], long_ptr(&ds, 1, r)));
    EXPECT_EQ(texts_of(&ds), (V{"k1", "k2", "k3"}));
    Dataset_Done(&ds);
  }
  {  // A copy detached after the length was cut is terminated at the new length.
    Dataset ds = decoded_texts({"abcdef"});
    ASSERT_EQ(Dataset_Truncate(&ds, 3), ER_SUCCESS);
    ASSERT_EQ(Coldata_DetachLongData(&ds.col[1], ds.nRows), ER_SUCCESS);
    EXPECT_STREQ(static_cast<const char*>(long_ptr(&ds, 1, 0)), "abc");
    Dataset_Done(&ds);
  }
}
