#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>

#include "util/fault.h"
#include "util/unicode.h"
#include "util/unicode_case.h"

namespace {

std::string bytes(const char* p, size_t n) { return std::string(p, n); }

TEST(Unicode, EncodeLengths) {
  struct Case {
    wchar_t c;
    const char* utf8;
  } cases[] = {{L'a', "a"},
               {0xE9, "\xC3\xA9"},
               {0x20AC, "\xE2\x82\xAC"},
               {0x10400, "\xF0\x90\x90\x80"},
               {0x10FFFF, "\xF4\x8F\xBF\xBF"},
               // No characters (a 2-byte wide driver's halves): never a sequence
               // that a client cannot read.
               {0xD800, "?"},
               {0xDFFF, "?"},
               {0x110000, "?"},
               {0x1FFFFF, "?"},
               {0x00420041, "?"},
               {0x200000, "?"},
               {-1, "?"}};
  for (const auto& c : cases) {
    wchar_t w[2] = {c.c, 0};
    char* u = strdup_WtoU8(w);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(std::string(u), c.utf8) << std::hex << static_cast<long>(c.c);
    EXPECT_EQ(calc_len_for_utf8(w, SQL_NTS), strlen(c.utf8));
    free(u);
  }
  ucs2_text s[] = {0xD801, 0xDC00, 0};  // the halves of a pair are no characters on their own
  EXPECT_EQ(ucs2_calc_len_for_utf8(s, SQL_NTS), 2u);
  EXPECT_EQ(calc_len_for_utf8(nullptr, SQL_NTS), 0u);
  EXPECT_EQ(calc_len_for_utf8(L"abc", 0), 0u);
  EXPECT_EQ(calc_len_for_utf8(L"abc", 2), 2u);
}

TEST(Unicode, DecodeStopsAtMalformed) {
  struct Case {
    const char* in;
    std::wstring want;
  } cases[] = {
      {"a\xC3\xA9"
       "b",
       L"a\u00e9b"},
      {"ab\x80"
       "cd",
       L"ab"},                            // lone continuation byte
      {"ab\xF8\x80\x80\x80\x80", L"ab"},  // 0xF8 lead byte
      {"x\xE2\x82", L"x"},                // three-byte sequence cut short by the NUL
      {"\xC0\xAF"
       "z",
       L""},                                               // overlong "/"
      {"q\xE0\x80\xAF", L"q"},                             // overlong three-byte form
      {"r\xF0\x80\x80\xAF", L"r"},                         // overlong four-byte form
      {"\xED\xA0\x80", std::wstring(1, wchar_t(0xD800))},  // surrogates accepted
      {"\xF0\x90\x90\x80", std::wstring(1, wchar_t(0x10400))},
  };
  for (const auto& c : cases) {
    wchar_t* w = strdup_U8toW(c.in);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::wstring(w), c.want) << c.in;
    free(w);
    wchar_t buf[16];
    size_t n = utf8towcs(c.in, buf, 16);
    EXPECT_EQ(std::wstring(buf, n), c.want);
  }
}

TEST(Unicode, Counting) {
  EXPECT_EQ(utf8_len("a\xC3\xA9"
                     "b",
                     SQL_NTS),
            3u);
  EXPECT_EQ(utf8_len("", SQL_NTS), 0u);
  EXPECT_EQ(utf8_len("a\xC3\xA9"
                     "b",
                     2),
            2u);
  ucs2_text u[] = {1, 2, 3, 0};
  EXPECT_EQ(ucs2len(u), 3u);
}

TEST(Unicode, CopyOutWideToUtf8) {
  // "abcdefgh\u00e9" needs 10 bytes.
  const wchar_t* text = L"abcdefgh\u00e9";
  struct Case {
    size_t size;
    int rc;
    unsigned short result;
    const char* out;
  } cases[] = {{11, 0, 10, "abcdefgh\xC3\xA9"},
               {10, -1, 8, "abcdefgh"},
               {9, -1, 8, "abcdefgh"},
               {8, -1, 7, "abcdefg"},
               {1, -1, 0, ""}};
  for (const auto& c : cases) {
    char buf[32];
    memset(buf, 'X', sizeof buf);
    unsigned short result = 999;
    EXPECT_EQ(StrCopyOut_WtoU8(text, buf, c.size, &result), c.rc) << c.size;
    EXPECT_EQ(result, c.result) << c.size;
    EXPECT_STREQ(buf, c.out);
  }
  char untouched = 'X';
  unsigned short r = 7;
  EXPECT_EQ(StrCopyOut_WtoU8(text, &untouched, 0, &r), -1);
  EXPECT_EQ(untouched, 'X');
  EXPECT_EQ(r, 7);
  EXPECT_EQ(StrCopyOut_WtoU8(nullptr, &untouched, 5, &r), -1);
  EXPECT_EQ(StrCopyOut_WtoU8(text, nullptr, 5, &r), -1);

  ucs2_text u[] = {'h', 0xE9, 0};
  char buf[8];
  EXPECT_EQ(StrCopyOut_UCS2toU8(u, buf, sizeof buf, &r), 0);
  EXPECT_EQ(r, 3);
  EXPECT_STREQ(buf, "h\xC3\xA9");
}

TEST(Unicode, CopyOutUtf8ToWide) {
  wchar_t buf[8];
  unsigned short r = 0;
  EXPECT_EQ(StrCopyOut_U8toW("ab\xC3\xA9", buf, 4, &r), 0);
  EXPECT_EQ(r, 3);
  EXPECT_EQ(std::wstring(buf), L"ab\u00e9");
  EXPECT_EQ(StrCopyOut_U8toW("ab\xC3\xA9", buf, 3, &r), -1);
  EXPECT_EQ(r, 2);
  EXPECT_EQ(std::wstring(buf), L"ab");
  EXPECT_EQ(StrCopyOut_U8toW("ab\x80z", buf, 8, &r), 0);  // malformed ends the text, still fits
  EXPECT_EQ(r, 2);
  EXPECT_EQ(StrCopyOut_U8toW("ab", buf, 0, &r), -1);

  r = 0;
  EXPECT_EQ(StrCopyOut2_U8toW("h\xC3\xA9llo", nullptr, 0, &r), 0);  // length query
  EXPECT_EQ(r, 5);
  EXPECT_EQ(StrCopyOut2_U8toW("h\xC3\xA9llo", buf, 3, &r), -1);
  EXPECT_EQ(r, 5);
  EXPECT_EQ(std::wstring(buf), L"h\u00e9");
  EXPECT_EQ(StrCopyOut2_U8toW("h\xC3\xA9llo", buf, 6, &r), 0);
  EXPECT_EQ(std::wstring(buf), L"h\u00e9llo");
}

TEST(Unicode, WideCopyOut) {
  struct Case {
    unsigned short size;
    int rc;
    unsigned short result;
    const wchar_t* out;
  } cases[] = {{4, 0, 3, L"abc"}, {3, -1, 2, L"ab"}, {1, -1, 0, L""}};
  for (const auto& c : cases) {
    wchar_t buf[8];
    unsigned short r = 99;
    EXPECT_EQ(wStrCopyOut(L"abc", buf, c.size, &r), c.rc);
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(std::wstring(buf), c.out);
    r = 99;
    EXPECT_EQ(wStrCopyOut2(L"abc", buf, c.size, &r), c.rc);
    EXPECT_EQ(r, c.result);
  }
  unsigned short r = 0;
  EXPECT_EQ(wStrCopyOut2(L"abcd", nullptr, 0, &r), 0);
  EXPECT_EQ(r, 4);
  wchar_t one = L'Z';
  EXPECT_EQ(wStrCopyOut(L"abc", &one, 0, &r), -1);
  EXPECT_EQ(one, L'Z');
}

TEST(Unicode, RawConverters) {
  char out[16];
  EXPECT_EQ(wcstoutf8(L"a\u20ac", out, 3), 1u);  // the euro sign does not fit
  EXPECT_EQ(wcstoutf8(L"a\u20ac", out, 4), 4u);
  EXPECT_EQ(bytes(out, 4), "a\xE2\x82\xAC");
  EXPECT_EQ(wcstoutf8(nullptr, out, 4), 0u);
  EXPECT_EQ(wcstoutf8(L"a", out, 0), 0u);

  unsigned short conv = 0;
  const wchar_t zeros[] = {L'a', 0, L'b'};
  EXPECT_EQ(wcsntoutf8(zeros, out, 3, 16, &conv), 3u);
  EXPECT_EQ(conv, 3);
  EXPECT_EQ(bytes(out, 3), std::string("a\0b", 3));
  EXPECT_EQ(wcsntoutf8(L"\u00e9\u00e9", out, 2, 3, &conv), 2u);
  EXPECT_EQ(conv, 1);

  ucs2_text u[] = {0x20AC, 'x', 0};
  EXPECT_EQ(ucs2toutf8(u, out, 16), 4u);

  wchar_t w[8];
  EXPECT_EQ(utf8ntowcs("a\xE2\x82\xAC", w, 2, 8, &conv), 1u);
  EXPECT_EQ(conv, 1);
  EXPECT_EQ(utf8ntowcs(std::string("a\0b", 3).c_str(), w, 3, 8, &conv), 3u);
  EXPECT_EQ(w[1], 0);
  EXPECT_EQ(utf8ntowcs("abcdef", w, 6, 2, &conv), 2u);
  EXPECT_EQ(conv, 2);
  EXPECT_EQ(utf8towcs("abc", w, 2), 2u);

  ucs2_text u2[4];
  EXPECT_EQ(utf8toucs2("\xF0\x90\x90\x80", u2, 4), 1u);
  EXPECT_EQ(u2[0], 0x0400);  // cut to 16 bits
}

TEST(Unicode, AllocatingCopies) {
  char* a = SQL_WtoU8(L"ab\u00e9cd", 3);
  EXPECT_STREQ(a, "ab\xC3\xA9");
  free(a);
  const wchar_t withzero[] = {L'x', 0, L'y', 0};
  a = SQL_WtoU8(withzero, 3);
  EXPECT_EQ(bytes(a, 4), std::string("x\0y\0", 4));
  free(a);

  wchar_t* w = SQL_U8toW(
      "a\xE2\x82\xAC"
      "b",
      3);  // cuts the euro sign in half
  EXPECT_EQ(std::wstring(w), L"a");
  free(w);
  w = SQL_U8toW(
      "a\xE2\x82\xAC"
      "b",
      SQL_NTS);
  EXPECT_EQ(std::wstring(w), L"a\u20acb");
  free(w);

  ucs2_text* u = strdup_U8toUCS2("\xC3\xA9t\xC3\xA9");
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(ucs2len(u), 3u);
  char* back = strdup_UCS2toU8(u);
  EXPECT_STREQ(back, "\xC3\xA9t\xC3\xA9");
  free(u);
  free(back);

  EXPECT_EQ(strdup_WtoU8(nullptr), nullptr);
  EXPECT_EQ(strdup_U8toW(nullptr), nullptr);
  vyr_fault_inject(0);
  EXPECT_EQ(strdup_U8toW("abc"), nullptr);
  vyr_fault_inject(-1);
}

TEST(Unicode, CopiesIntoBuffers) {
  wchar_t w[8];
  for (auto& c : w) c = L'#';
  strncpy_U8toW(w, "h\xC3\xA9llo", 4);
  EXPECT_EQ(std::wstring(w), L"h\u00e9l");
  strncpy_U8toW(w, "hi", 8);
  EXPECT_EQ(std::wstring(w), L"hi");
  w[0] = L'#';
  strncpy_U8toW(w, "hi", 0);
  EXPECT_EQ(w[0], L'#');
  strcpy_U8toW(w, "\xE2\x82\xAC!");
  EXPECT_EQ(std::wstring(w), L"\u20ac!");
}

class LocaleTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = setlocale(LC_CTYPE, nullptr);
    if (setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  }
  void TearDown() override { setlocale(LC_CTYPE, saved_.c_str()); }
  std::string saved_;
};

TEST_F(LocaleTest, WideToLocaleDoesNotStopAtNonAscii) {
  char* a = strdup_W2A(L"caf\u00e9 \u20ac1");
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a,
               "caf\xC3\xA9 \xE2\x82\xAC"
               "1");
  free(a);
  a = SQL_W2A(L"\u00e9\u00e9\u00e9", 2);
  EXPECT_STREQ(a, "\xC3\xA9\xC3\xA9");
  free(a);
  char buf[16];
  memset(buf, 'X', sizeof buf);
  strncpy_W2A(buf, L"\u00e9t\u00e9", 16);
  EXPECT_STREQ(buf, "\xC3\xA9t\xC3\xA9");
  memset(buf, 'X', sizeof buf);
  strncpy_W2A(buf, L"\u00e9t\u00e9", 4);  // whole characters before the terminator
  EXPECT_STREQ(buf, "\xC3\xA9t");
  memset(buf, 'X', sizeof buf);
  strncpy_W2A(buf, L"abc", 2);  // cut: no terminator, as strncpy
  EXPECT_EQ(bytes(buf, 3), "abX");
}

TEST_F(LocaleTest, LocaleToWide) {
  wchar_t* w = SQL_A2W("\xC3\xA9t\xC3\xA9", SQL_NTS);
  EXPECT_EQ(std::wstring(w), L"\u00e9t\u00e9");
  free(w);
  w = SQL_A2W("abcdef", 3);
  EXPECT_EQ(std::wstring(w), L"abc");
  free(w);
  wchar_t buf[8];
  strcpy_A2W(buf, "\xC3\xA9!");
  EXPECT_EQ(std::wstring(buf), L"\u00e9!");
  for (auto& c : buf) c = L'#';
  strncpy_A2W(buf, "abcdef", 3);
  EXPECT_EQ(std::wstring(buf, 4), L"abc#");
  strncpy_A2W(buf, "ab", 3);
  EXPECT_EQ(std::wstring(buf), L"ab");

  unsigned short r = 0;
  wchar_t out[8];
  EXPECT_EQ(StrCopyOut2_A2W("abc", nullptr, 0, &r), 0);
  EXPECT_EQ(r, 12);
  EXPECT_EQ(StrCopyOut2_A2W("abc", out, sizeof out, &r), 0);
  EXPECT_EQ(std::wstring(out), L"abc");
  EXPECT_EQ(StrCopyOut2_A2W("abcdef", out, 4 * sizeof(wchar_t), &r), -1);
  EXPECT_EQ(std::wstring(out), L"abc");
  out[0] = L'#';
  EXPECT_EQ(StrCopyOut2_A2W("abc", out, 3, &r), -1);
  EXPECT_EQ(out[0], L'#');

  char u8[16];
  strncpy_AtoU8(u8, "\xC3\xA9t\xC3\xA9", 5);
  EXPECT_STREQ(u8, "\xC3\xA9t");
}

TEST(UnicodeCase, Tables) {
  EXPECT_EQ(to_up_nelts, 759u);
  EXPECT_EQ(to_lw_nelts, 749u);
  for (unsigned i = 1; i < to_up_nelts; ++i) ASSERT_LT(to_up[i - 1] & 0x3FFFF, to_up[i] & 0x3FFFF);
  for (unsigned i = 1; i < to_lw_nelts; ++i) ASSERT_LT(to_lw[i - 1] & 0x3FFFF, to_lw[i] & 0x3FFFF);
  EXPECT_EQ(to_up[to_up_nelts - 1] & 0x3FFFF, 0x1044Du);
  EXPECT_EQ(to_lw[to_lw_nelts - 1] & 0x3FFFF, 0x10425u);

  struct Case {
    wchar_t c;
    int diff;
  } up[] = {{0x61, -32},   {0xB5, 743},    {0xFF, 121},     {0x131, -232}, {0x17F, -300},
            {0x1C5, -1},   {0x1C6, -2},    {0x345, 84},     {0x3C2, -31},  {0x3F2, -79},
            {0x1E9B, -59}, {0x1F80, 8},    {0x1FBE, -7205}, {0x2170, -16}, {0x24D0, -26},
            {0xFF41, -32}, {0x1044D, -40}, {0xDF, 0},       {0x41, 0}},
    lw[] = {{0x41, 32},
            {0x130, -199},
            {0x1C4, 2},
            {0x1C5, 1},
            {0x220, -130},
            {0x3F4, -60},
            {0x2126, -7517},
            {0x10425, 40},
            {0x212A, 0x6B - 0x212A},
            {0x212B, 0xE5 - 0x212B},
            {0x61, 0}};
  for (const auto& c : up) EXPECT_EQ(_towupper(c.c) - c.c, c.diff) << std::hex << static_cast<long>(c.c);
  for (const auto& c : lw) EXPECT_EQ(_towlower(c.c) - c.c, c.diff) << std::hex << static_cast<long>(c.c);
}

TEST(UnicodeCase, Utf8UpperLower) {
  struct Case {
    const char* in;
    bool up;
    size_t size;
    const char* out;
  } cases[] = {
      {"stra\xC3\x9F"
       "e",
       true, 32,
       "STRA\xC3\x9F"
       "E"},                                                 // sharp s has no simple mapping
      {"\xF0\x90\x90\xA8", true, 32, "\xF0\x90\x90\x80"},    // Deseret small to capital
      {"\xE2\x84\xAA\xE2\x84\xAB", false, 32, "k\xC3\xA5"},  // Kelvin, Angstrom
      {"\xC4\xB1x", true, 32, "IX"},                         // dotless i: 2 bytes to 1
      {"abc", true, 3, "AB"},                                // room for two bytes
      {"\xC3\xA9\xC3\xA9", true, 4, "\xC3\x89"},             // whole characters only
      {"abc", true, 1, ""},
  };
  for (const auto& c : cases) {
    char buf[32];
    strcpy(buf, c.in);
    (c.up ? utf8_upper : utf8_lower)(buf, c.size);
    EXPECT_STREQ(buf, c.out) << c.in;
  }
  char keep[] = "abc";
  vyr_fault_inject(0);
  utf8_upper(keep, sizeof keep);
  vyr_fault_inject(-1);
  EXPECT_STREQ(keep, "abc");
}

}  // namespace

// A value cut to fit a cell keeps whole characters only.
TEST(Unicode, WholePrefix) {
  struct Case {
    const char* in;
    size_t len;
    size_t want;
  } cases[] = {
      {"abc", 3, 3},
      {"", 0, 0},
      {"\xE6\x9D\xB1", 3, 3},  // 東 whole
      {"\xE6\x9D\xB1", 2, 0},  // its first two bytes
      {"\xE6\x9D\xB1", 1, 0},  // its lead byte
      {"a\xC3\xA4", 2, 1},     // ä cut after its lead byte
      {"a\xC3\xA4", 3, 3},
      {"\xF0\x90\x90\x80x", 3, 0},  // a 4-byte character cut
      {"\xF0\x90\x90\x80x", 4, 4},
      {"\x80\x80\x80\x80\x80", 5, 5},  // no lead byte: not UTF-8, left alone
      {"a\xFF", 2, 2},
  };
  for (const auto& c : cases) EXPECT_EQ(utf8_whole_prefix(c.in, c.len), c.want) << c.in << " " << c.len;
  EXPECT_EQ(utf8_whole_prefix(nullptr, 4), 0u);
}
