// Text conversions between wide, locale-multibyte and UTF-8 strings.
#include "odbcconfig/conversions.h"

#include <sql.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using CharPtr = std::unique_ptr<char, FreeDeleter>;
using WidePtr = std::unique_ptr<SQLWCHAR, FreeDeleter>;

// Wide-string tests run in the C.UTF-8 locale.
class OdbcConversions : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::setlocale(LC_CTYPE, nullptr);
    saved_ = old ? old : "C";
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  }
  void TearDown() override { std::setlocale(LC_CTYPE, saved_.c_str()); }
  std::string saved_;
};

TEST_F(OdbcConversions, WideToMultibyteDup) {
  struct Case {
    std::wstring in;
    int64_t length;
    std::string want;
  } cases[] = {
      {L"abc", SQL_NTS, "abc"},
      {L"abc", 2, "ab"},
      {L"abc", 0, ""},
      {L"", SQL_NTS, ""},
      {L"\u00e9", SQL_NTS, "\xC3\xA9"},
      {L"x\u20acy", SQL_NTS,
       "x\xE2\x82\xAC"
       "y"},
      // Values that are no characters become '?' (the C library would end the
      // text at a surrogate and write 5- and 6-byte forms above U+10FFFF).
      {std::wstring(L"a") + wchar_t(0xD800) + L"b", SQL_NTS, "a?b"},
      {std::wstring(L"a") + wchar_t(0x00420041) + L"b", SQL_NTS, "a?b"},
  };
  for (const Case& c : cases) {
    CharPtr out(_zolandm_wcs_to_mbs_dup(c.in.c_str(), c.length));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::string(out.get()), c.want);
  }
  EXPECT_EQ(_zolandm_wcs_to_mbs_dup(nullptr, SQL_NTS), nullptr);
}

// Text for a driver: a value that is no character has no multibyte form.
TEST_F(OdbcConversions, OneWideCharacterForTheDriver) {
  struct Case {
    uint32_t value;
    size_t want;
  } cases[] = {{'a', 1},
               {0xE9, 2},
               {0x10FFFF, 4},
               {0xD800, size_t(-1)},
               {0x110000, size_t(-1)},
               {0x7FFFFFFF, size_t(-1)}};
  for (const Case& c : cases) {
    char out[MB_LEN_MAX];
    mbstate_t st{};
    EXPECT_EQ(_zolandm_wide_char_to_mb(out, static_cast<SQLWCHAR>(c.value), &st), c.want)
        << std::hex << c.value;
  }
}

TEST_F(OdbcConversions, MultibyteToWideDup) {
  struct Case {
    std::string in;
    int64_t length;
    std::wstring want;
  } cases[] = {
      {"abc", SQL_NTS, L"abc"},
      {"abc", 1, L"a"},
      {"abc", 0, L""},
      {"\xC3\xA9t\xC3\xA9", SQL_NTS, L"\u00e9t\u00e9"},
      {"\xC3\xA9", 1, L""},  // a cut sequence ends the text
      {"a\xFF"
       "b",
       SQL_NTS, L"a"},  // invalid sequence ends the text
  };
  for (const Case& c : cases) {
    WidePtr out(_zolandm_mbs_to_wcs_dup(c.in.c_str(), c.length));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::wstring(out.get()), c.want) << c.in;
  }
  EXPECT_EQ(_zolandm_mbs_to_wcs_dup(nullptr, SQL_NTS), nullptr);
}

TEST_F(OdbcConversions, WideToMultibyteBuffer) {
  char buf[16];
  SQLSMALLINT len = -1;
  EXPECT_EQ(_zolandm_wcs_to_mbs_buf(L"abcde", buf, 6, &len), 0);
  EXPECT_EQ(std::string(buf), "abcde");
  EXPECT_EQ(len, 5);

  len = -1;
  EXPECT_EQ(_zolandm_wcs_to_mbs_buf(L"abcde", buf, 5, &len), -1);
  EXPECT_EQ(std::string(buf), "abcd");
  EXPECT_EQ(len, 5);

  EXPECT_EQ(_zolandm_wcs_to_mbs_buf(L"\u00e9", buf, 16, &len), 0);
  EXPECT_EQ(len, 2);
  EXPECT_EQ(std::string(buf), "\xC3\xA9");

  // A cut result keeps whole characters only.
  EXPECT_EQ(_zolandm_wcs_to_mbs_buf(L"a\u00e9", buf, 3, &len), -1);
  EXPECT_EQ(std::string(buf), "a");
  EXPECT_EQ(len, 3);

  buf[0] = 'z';
  EXPECT_EQ(_zolandm_wcs_to_mbs_buf(L"abc", buf, 0, &len), -1);
  EXPECT_EQ(buf[0], 'z');
  EXPECT_EQ(_zolandm_wcs_to_mbs_buf(L"abc", nullptr, 0, &len), 0);
  EXPECT_EQ(len, 3);
  EXPECT_EQ(_zolandm_wcs_to_mbs_buf(nullptr, buf, 16, &len), -1);
}

TEST_F(OdbcConversions, MultibyteToWideBuffer) {
  SQLWCHAR buf[8];
  SQLSMALLINT len = -1;
  buf[0] = L'z';
  EXPECT_EQ(_zolandm_mbs_to_wcs_buf("abc", buf, 0, &len), -1);
  EXPECT_EQ(len, 3);
  EXPECT_EQ(buf[0], L'z');

  len = -1;
  EXPECT_EQ(_zolandm_mbs_to_wcs_buf("abc", nullptr, 0, &len), 0);
  EXPECT_EQ(len, 3);

  EXPECT_EQ(_zolandm_mbs_to_wcs_buf("\xC3\xA9t\xC3\xA9", buf, 8, &len), 0);
  EXPECT_EQ(std::wstring(buf), L"\u00e9t\u00e9");
  EXPECT_EQ(len, 3);

  EXPECT_EQ(_zolandm_mbs_to_wcs_buf("abcdef", buf, 4, &len), -1);
  EXPECT_EQ(std::wstring(buf), L"abc");
  EXPECT_EQ(len, 6);

  EXPECT_EQ(_zolandm_mbs_to_wcs_buf(nullptr, buf, 8, &len), -1);
}

TEST_F(OdbcConversions, CopyFunctions) {
  SQLWCHAR wide[8];
  EXPECT_EQ(_zolandm_mbs_to_wcs_copy(wide, "h\xC3\xA9"), wide);
  EXPECT_EQ(std::wstring(wide), L"h\u00e9");
  char narrow[16];
  EXPECT_EQ(_zolandm_wcs_to_mbs_copy(narrow, L"h\u00e9"), narrow);
  EXPECT_EQ(std::string(narrow), "h\xC3\xA9");
  EXPECT_EQ(_zolandm_mbs_to_wcs_copy(nullptr, "x"), nullptr);
  EXPECT_EQ(_zolandm_wcs_to_mbs_copy(narrow, nullptr), narrow);
}

TEST(OdbcUtf8, EncodeTable) {
  struct Case {
    uint32_t value;
    std::string want;
  } cases[] = {
      {0x41, "A"},
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xD800, "?"},  // surrogates and values above 0x10FFFF are no characters
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x10FFFF, "\xF4\x8F\xBF\xBF"},
      {0x110000, "?"},
      {0x1FFFFF, "?"},
      {0x200000, "?"},
      {0xFFFFFFFF, "?"},
  };
  for (const Case& c : cases) {
    SQLWCHAR in[2] = {static_cast<SQLWCHAR>(c.value), 0};
    CharPtr out(_zolandm_ucs4_to_utf8_dup(in, SQL_NTS));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::string(out.get()), c.want) << std::hex << c.value;
  }
}

TEST(OdbcUtf8, EncodeCounts) {
  CharPtr empty(_zolandm_ucs4_to_utf8_dup(L"", SQL_NTS));
  EXPECT_EQ(std::string(empty.get()), "");
  CharPtr two(_zolandm_ucs4_to_utf8_dup(L"abc", 2));
  EXPECT_EQ(std::string(two.get()), "ab");
  CharPtr none(_zolandm_ucs4_to_utf8_dup(L"abc", 0));
  EXPECT_EQ(std::string(none.get()), "");
  CharPtr negative(_zolandm_ucs4_to_utf8_dup(L"abc", -7));
  EXPECT_EQ(std::string(negative.get()), "");
  EXPECT_EQ(_zolandm_ucs4_to_utf8_dup(nullptr, SQL_NTS), nullptr);
}

TEST(OdbcUtf8, DecodeDup) {
  struct Case {
    std::string in;
    SQLSMALLINT length;
    std::wstring want;
  } cases[] = {
      {"abc", SQL_NTS, L"abc"},
      {"\x41\x80\x42", SQL_NTS, L"A"},  // a stray continuation byte ends the text
      {"\xC3\xA9", 1, L""},             // the character does not end within the length
      {"\xC3\xA9", 2, L"\u00e9"},
      {"a\xC3\xA9"
       "b",
       3, L"a\u00e9"},
      {"abc", 0, L""},
      {"abc", -5, L""},
      {"abc", 10, L"abc"},  // stops at the NUL, not at the length
      {"\xF7\xBF\xBF\xBF", SQL_NTS, std::wstring(1, wchar_t(0x1FFFFF))},
      {"\xC0\x81", SQL_NTS, std::wstring(1, wchar_t(0x01))},  // overlong forms are not rejected
      {"a\xF8"
       "b",
       SQL_NTS, L"a"},
      {"a\xE2\x82", SQL_NTS, L"a"},  // cut at the end of the text
  };
  for (const Case& c : cases) {
    WidePtr out(_zolandm_utf8_to_ucs4_dup(c.in.c_str(), c.length));
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::wstring(out.get()), c.want) << c.in << " / " << c.length;
  }
  EXPECT_EQ(_zolandm_utf8_to_ucs4_dup(nullptr, SQL_NTS), nullptr);
}

TEST(OdbcUtf8, DecodeBuffer) {
  SQLWCHAR buf[8];
  SQLSMALLINT count = -1;
  EXPECT_EQ(_zolandm_utf8_to_ucs4_buf("abc", buf, 3, &count), -1);
  EXPECT_EQ(std::wstring(buf), L"ab");
  EXPECT_EQ(count, 3);

  EXPECT_EQ(_zolandm_utf8_to_ucs4_buf("abc", buf, 4, &count), 0);
  EXPECT_EQ(std::wstring(buf), L"abc");

  buf[0] = L'z';
  EXPECT_EQ(_zolandm_utf8_to_ucs4_buf("abc", buf, 0, &count), -1);
  EXPECT_EQ(buf[0], L'z');
  EXPECT_EQ(_zolandm_utf8_to_ucs4_buf("abc", nullptr, 0, &count), 0);
  EXPECT_EQ(count, 3);

  EXPECT_EQ(_zolandm_utf8_to_ucs4_buf("h\xC3\xA9\xE2\x82\xAC", buf, 8, &count), 0);
  EXPECT_EQ(std::wstring(buf), L"h\u00e9\u20ac");
  EXPECT_EQ(count, 3);

  EXPECT_EQ(_zolandm_utf8_to_ucs4_buf("x\x80y", buf, 8, &count), 0);
  EXPECT_EQ(std::wstring(buf), L"x");
  EXPECT_EQ(count, 2);

  EXPECT_EQ(_zolandm_utf8_to_ucs4_buf(nullptr, buf, 8, &count), -1);
}

TEST(OdbcUtf8, RoundTrip) {
  std::wstring text = L"pa\u00dfw\u00f6rd \u20ac \U0001F600";
  CharPtr utf8(_zolandm_ucs4_to_utf8_dup(text.c_str(), SQL_NTS));
  WidePtr back(_zolandm_utf8_to_ucs4_dup(utf8.get(), SQL_NTS));
  EXPECT_EQ(std::wstring(back.get()), text);
}

}  // namespace
