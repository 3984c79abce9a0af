// Text cells read as UTF-8: every text cell type, NULL and non-text cells, and
// the limits in characters and bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "model/dataset_util.h"

namespace {

// One cell of the given type and width holding the given bytes.
struct OneCell {
  std::vector<char> values;
  indicator_t indicator = 0;
  Coldata col{};

  OneCell(ctype_t t, precision_t width, const void* bytes, size_t n, indicator_t ind = 0)
      : values(width + 8, '\0'), indicator(ind) {
    memcpy(values.data(), bytes, n);
    col.cType = t;
    col.width = width;
    col.indicators = &indicator;
    col.values = values.data();
  }
};

template <typename T>
std::vector<char> Prefixed(T length, const void* text, size_t n) {
  std::vector<char> v(sizeof length + n);
  memcpy(v.data(), &length, sizeof length);
  memcpy(v.data() + sizeof length, text, n);
  return v;
}

// A long cell: its length (bytes, or characters for wide text) and data pointer.
std::vector<char> LongCell(uns32 length, const void* data) {
  std::vector<char> v(16, '\0');
  memcpy(v.data(), &length, 4);
  memcpy(v.data() + 8, &data, sizeof data);
  return v;
}

TEST(CellText, EveryTextTypeAndItsBounds) {
  static const wchar_t kWide[] = L"x\u00e9y";  // "xéy"
  static const char kLong[] = "long text";
  const std::vector<char> vchr8 = Prefixed<uns8>(3, "abcdef", 6);
  const std::vector<char> vchr16 = Prefixed<uns16>(2, "xyz", 3);
  const std::vector<char> vchr32Past = Prefixed<uns32>(100, "abcdefgh", 8);
  const std::vector<char> wvchr32 = Prefixed<uns32>(2, kWide, sizeof kWide);
  const std::vector<char> lchr = LongCell(9, kLong);
  const std::vector<char> wlchr = LongCell(3, kWide);
  const std::vector<char> lchrEmpty = LongCell(5, nullptr);
  struct Case {
    const char* name;
    ctype_t type;
    precision_t width;
    const void* bytes;
    size_t n;
    std::string want;
  } cases[] = {
      {"varying narrow ends at its NUL", CTYPE_VCHR, 8, "abc\0zz", 6, "abc"},
      {"fixed narrow, padded", CTYPE_CHR, 4, "ab\0\0", 4, "ab"},
      {"fixed narrow, full", CTYPE_CHR, 4, "abcd", 4, "abcd"},
      {"8-bit length", CTYPE_VCHR8, 10, vchr8.data(), vchr8.size(), "abc"},
      {"16-bit length", CTYPE_VCHR16, 10, vchr16.data(), vchr16.size(), "xy"},
      {"a length past the cell stops at the cell", CTYPE_VCHR32, 8, vchr32Past.data(), 8, "abcd"},
      {"varying wide", CTYPE_WVCHR, 16, kWide, sizeof kWide, "x\xc3\xa9y"},
      {"fixed wide", CTYPE_WCHR, 8, kWide, 8, "x\xc3\xa9"},
      {"wide with a 32-bit length", CTYPE_WVCHR32, 20, wvchr32.data(), wvchr32.size(), "x\xc3\xa9"},
      {"long narrow", CTYPE_LCHR, 16, lchr.data(), 16, "long text"},
      {"long wide", CTYPE_WLCHR, 16, wlchr.data(), 16, "x\xc3\xa9y"},
      {"long without data", CTYPE_LCHR, 16, lchrEmpty.data(), 16, ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    OneCell c(k.type, k.width, k.bytes, k.n);
    std::string got = "old";
    ASSERT_TRUE(Dataset_CellText(&c.col, 0, false, 100, 100, &got));
    EXPECT_EQ(got, k.want);
  }
}

TEST(CellText, NullNonTextAndLimits) {
  std::string got = "old";
  OneCell null(CTYPE_VCHR, 8, "abc", 3, IND_NULL);
  EXPECT_TRUE(Dataset_CellText(&null.col, 0, false, 100, 100, &got));
  EXPECT_EQ(got, "");
  const sgn32 v = 7;
  OneCell number(CTYPE_SGN32, 4, &v, 4);
  got = "old";
  EXPECT_FALSE(Dataset_CellText(&number.col, 0, false, 100, 100, &got));
  EXPECT_EQ(got, "");

  OneCell narrow(CTYPE_VCHR, 8, "abcdef", 6);
  EXPECT_TRUE(Dataset_CellText(&narrow.col, 0, false, 3, 100, &got));
  EXPECT_EQ(got, "abc");
  EXPECT_TRUE(Dataset_CellText(&narrow.col, 0, false, 100, 4, &got));
  EXPECT_EQ(got, "abcd");
  EXPECT_TRUE(Dataset_CellText(&narrow.col, 0, true, 100, 4, &got));
  EXPECT_EQ(got, "abcd");

  // Converted text keeps whole characters: three 2-byte characters in 5 bytes are two.
  static const wchar_t kWide[] = L"\u00e9\u00e9\u00e9";
  OneCell wide(CTYPE_WVCHR, 16, kWide, sizeof kWide);
  EXPECT_TRUE(Dataset_CellText(&wide.col, 0, false, 100, 5, &got));
  EXPECT_EQ(got, "\xc3\xa9\xc3\xa9");
  EXPECT_TRUE(Dataset_CellText(&wide.col, 0, false, 1, 100, &got));
  EXPECT_EQ(got, "\xc3\xa9");
}

TEST(CellText, SpanCountsWithoutConverting) {
  const char* text = nullptr;
  const wchar_t* wtext = nullptr;
  size_t len = 99;
  ASSERT_TRUE(Dataset_CellTextSpan("ab\0\0", CTYPE_CHR, 4, &text, &wtext, &len));
  EXPECT_EQ(len, 4u);
  EXPECT_EQ(wtext, nullptr);
  static const wchar_t kWide[] = L"xy";
  ASSERT_TRUE(
      Dataset_CellTextSpan(reinterpret_cast<const char*>(kWide), CTYPE_WCHR, 4000, &text, &wtext, &len));
  EXPECT_EQ(len, 1000u);
  EXPECT_EQ(text, nullptr);
  EXPECT_FALSE(Dataset_CellTextSpan("abcd", CTYPE_VBIN8, 4, &text, &wtext, &len));
}

}  // namespace
