#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "util/strutil.h"

namespace {

struct Freer {
  void operator()(char* p) const { free(p); }
};
using Owned = std::unique_ptr<char, Freer>;

std::string str_or_null(const char* p) { return p != nullptr ? std::string(p) : "<null>"; }

TEST(StrUtil, CommaSeparatedLists) {
  struct Count {
    const char* list;
    int n;
  } counts[] = {{"tcp=3,udp=4", 2}, {"", 0}, {nullptr, 0}, {"a,", 2}, {"x", 1}, {",,", 3}};
  for (const auto& c : counts) EXPECT_EQ(cslnumentries(c.list), c.n) << str_or_null(c.list);

  struct Entry {
    const char* list;
    int idx;
    const char* want;
  } entries[] = {{"tcp=3, udp=4", 2, "udp=4"},
                 {"tcp=3, udp=4", 1, "tcp=3"},
                 {" tcp=3 \t, udp=4 ", 1, "tcp=3"},
                 {"a,", 2, ""},
                 {"a,", 3, nullptr},
                 {"a,", 0, nullptr},
                 {"", 1, nullptr},
                 {nullptr, 1, nullptr},
                 {"a, ,b", 2, ""}};
  for (const auto& e : entries) {
    Owned got(cslentry(e.list, e.idx));
    EXPECT_EQ(str_or_null(got.get()), str_or_null(e.want)) << str_or_null(e.list) << " " << e.idx;
  }
}

TEST(StrUtil, Trim) {
  EXPECT_STREQ(ltrim(" \t\n abc "), "abc ");
  EXPECT_STREQ(ltrim(""), "");
  struct Case {
    const char* in;
    const char* out;
    char last;  // 0: null result
  } cases[] = {{"abc  \t\n", "abc", 'c'}, {"   ", "", 0}, {"", "", 0}, {"x", "x", 'x'}};
  for (const auto& c : cases) {
    std::string buf = c.in;
    char* last = rtrim(buf.data());
    EXPECT_STREQ(buf.c_str(), c.out);
    if (c.last == 0) {
      EXPECT_EQ(last, nullptr);
    } else {
      ASSERT_NE(last, nullptr);
      EXPECT_EQ(*last, c.last);
    }
  }
  EXPECT_EQ(rtrim(nullptr), nullptr);
}

TEST(StrUtil, SetExt) {
  struct Case {
    const char* path;
    int mode;
    const char* want;
  } cases[] = {
      {"/tmp/data.txt", 1, "/tmp/data.log"},
      {"/tmp/data.txt", 0, "/tmp/data"},
      {"/tmp/data.txt", 2, "/tmp/data.txt"},
      {"/a.b/data", 2, "/a.b/data.log"},
      {"/a.b/data", 0, "/a.b/data"},
      {"/a.b/.profile", 2, "/a.b/.profile.log"},
      {".profile", 0, ".profile"},
      {"x.tar.gz", 1, "x.tar.log"},
      {"data.txt", 7, "data"},
      {"data", 7, "data"},
      {"dir/", 2, "dir/.log"},
  };
  for (const auto& c : cases) EXPECT_STREQ(setext(c.path, "log", c.mode), c.want) << c.path;
  std::string huge(5000, 'a');
  EXPECT_EQ(setext(huge.c_str(), "log", 1), nullptr);
  std::string edge(4092, 'a');  // 4092 + ".log" needs 4097 bytes
  EXPECT_EQ(setext(edge.c_str(), "log", 2), nullptr);
  edge.pop_back();
  EXPECT_NE(setext(edge.c_str(), "log", 2), nullptr);
}

TEST(StrUtil, CopyIn) {
  struct Case {
    const char* in;
    ssize_t size;
    bool uq;
    const char* want;
  } cases[] = {
      {"hello", SQL_NTS, false, "hello"}, {"hello", 3, false, "hel"},        {nullptr, SQL_NTS, false, ""},
      {nullptr, 10, false, ""},           {"\"q\"", SQL_NTS, true, "q"},     {"'q'", SQL_NTS, true, "q"},
      {"'q\"", SQL_NTS, true, "'q\""},    {"\"", SQL_NTS, true, "\""},       {"\"\"", SQL_NTS, true, ""},
      {"'abc'def", 5, true, "abc"},       {"\"q\"", SQL_NTS, false, "\"q\""}};
  for (const auto& c : cases) {
    char* out = reinterpret_cast<char*>(1);
    EXPECT_EQ(c.uq ? StrCopyInUQ(&out, c.in, c.size) : StrCopyIn(&out, c.in, c.size), 0);
    Owned own(out);
    EXPECT_STREQ(out, c.want) << str_or_null(c.in);
  }
}

TEST(StrUtil, QuoteAndUnquote) {
  struct Case {
    const char* in;
    ssize_t size;
    int q;
    const char* quoted;
    const char* unquoted;
  } cases[] = {
      {"ab\"c", SQL_NTS, '"', "\"ab\"c\"", "ab\"c"},
      {"abcdef", 3, '"', "\"abc\"", "abc"},
      {"\"x\"", SQL_NTS, '"', "\"\"x\"\"", "x"},
      {"\"x\"", SQL_NTS, ' ', "\"x\"", "\"x\""},
      {nullptr, SQL_NTS, '\'', "''", ""},
      {nullptr, SQL_NTS, ' ', "", ""},
      {"\"", SQL_NTS, '"', "\"\"\"", "\""},
      {"\"\"", SQL_NTS, '"', "\"\"\"\"", ""},
  };
  for (const auto& c : cases) {
    Owned q(strquote(c.in, c.size, c.q));
    Owned u(strunquote(c.in, c.size, c.q));
    EXPECT_STREQ(q.get(), c.quoted) << str_or_null(c.in);
    EXPECT_STREQ(u.get(), c.unquoted) << str_or_null(c.in);
  }
  std::string long_text = "\"" + std::string(40000, 'v') + "\"";
  Owned u(strunquote(long_text.c_str(), SQL_NTS, '"'));
  EXPECT_EQ(std::string(u.get()), std::string(40000, 'v'));
}

TEST(StrUtil, Expect) {
  struct Case {
    const char* kw;
    const char* src;
    bool cs;
    const char* rest;  // null: no match
  } cases[] = {
      {"SELECT", "  select   col1 FROM t", false, "col1 FROM t"},
      {"SELECT", "selectx", false, nullptr},
      {"SELECT", "select", false, ""},
      {"SELECT", "sel", false, nullptr},
      {"SELECT", "select col", true, nullptr},
      {"SELECT", "SELECT col", true, "col"},
      {"", "   ", false, ""},
      {"", " a", false, nullptr},
      {"SELECT", "SELECT \t\n", false, ""},
  };
  for (const auto& c : cases) {
    char* r = c.cs ? strexpect_cs(c.kw, c.src) : strexpect(c.kw, c.src);
    EXPECT_EQ(str_or_null(r), str_or_null(c.rest)) << c.kw << " / " << c.src;
  }
}

TEST(StrUtil, IndexAndCompare) {
  const char* s = "Hello World";
  EXPECT_EQ(strindex(s, "WORLD"), s + 6);
  EXPECT_EQ(strindex(s, "o w"), s + 4);
  EXPECT_EQ(strindex(s, "worlds"), nullptr);
  EXPECT_EQ(strindex(s, "Hello World!"), nullptr);
  EXPECT_EQ(strindex(s, ""), s + 11);
  const char* e = "";
  EXPECT_EQ(strindex(e, ""), e);

  struct Cmp {
    const char* a;
    const char* b;
    int sign;
  } cmps[] = {{"abc", "ABCD", -1}, {"abc", "ABC", 0}, {"abd", "ABC", 1},
              {"ABCD", "abc", 1},  {"", "", 0},       {"a", "B", -1}};
  for (const auto& c : cmps) {
    int r = stricmp(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " " << c.b;
  }
  EXPECT_EQ(stricmp("abc", "ABCD"), -1);
  EXPECT_EQ(strnicmp("abcX", "ABCy", 3), 0);
  EXPECT_NE(strnicmp("abcX", "ABCy", 4), 0);
  EXPECT_EQ(strnicmp("a", "b", 0), 0);
  EXPECT_EQ(strnicmp("ab", "ABC", 5), -1);

  char buf[] = "MiXeD 1";
  EXPECT_STREQ(strlwr(buf), "mixed 1");
  EXPECT_STREQ(strupr(buf), "MIXED 1");
}

}  // namespace
