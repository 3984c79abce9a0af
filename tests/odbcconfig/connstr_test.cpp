// Connection strings parsed into a configuration and written back.
#include "odbcconfig/config.h"

#include <sql.h>

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

// "key=value" per key entry after the "ODBC" header, separated by '|'.
std::string keys_of(zolandm_config* c) {
  std::string out;
  if (_zolandm_cfg_rewind(c) < 0) return "<not loaded>";
  if (_zolandm_cfg_next_entry(c) < 0 || (c->flags & ZOLANDM_CFG_KIND_MASK) != ZOLANDM_CFG_KIND_SECTION ||
      std::string(c->section) != "ODBC")
    return "<no ODBC section>";
  while (_zolandm_cfg_next_entry(c) == 0) {
    if (!out.empty()) out += "|";
    out += std::string(c->id) + "=" + c->value;
  }
  return out;
}

struct Config {
  zolandm_config* c = nullptr;
  ~Config() { _zolandm_cfg_free(c); }
};

TEST(OdbcConnectionString, Parse) {
  struct Case {
    const char* text;
    std::string want;
  } cases[] = {
      {"DSN=x;UID=y;PWD={a;b}", "DSN=x|UID=y|PWD={a;b}"},
      {"name", "DSN=name"},
      {"name;b=c;bare", "DSN=name|b=c"},
      {"", ""},
      {";x=1", "DSN=|x=1"},
      {"a=;=b", "a=|=b"},
      {"k={unclosed;x=y", "k={unclosed;x=y"},
      {"DSN=a;DSN=b;", "DSN=a|DSN=b"},
      {"DRIVER={My Driver};Server=h;Opt={x=1;y=2}", "DRIVER={My Driver}|Server=h|Opt={x=1;y=2}"},
      {"k=v=w; sp = x ", "k=v=w| sp = x "},
      {"a{b=c;d}=e", "a{b=c;d}=e"},
  };
  for (const Case& k : cases) {
    Config cfg;
    ASSERT_EQ(_zolandm_cfg_new_from_connstr(&cfg.c, k.text, SQL_NTS, 0), 0) << k.text;
    EXPECT_EQ(keys_of(cfg.c), k.want) << k.text;
    EXPECT_EQ(cfg.c->dirty, 1);
    EXPECT_EQ(cfg.c->fileName, nullptr);
  }
}

TEST(OdbcConnectionString, LookupsSeeTheFirstKey) {
  Config cfg;
  ASSERT_EQ(_zolandm_cfg_new_from_connstr(&cfg.c, "dsn=a;DSN=b", SQL_NTS, 0), 0);
  ASSERT_EQ(_zolandm_cfg_find(cfg.c, "ODBC", "DSN"), 0);
  EXPECT_STREQ(cfg.c->value, "a");
}

TEST(OdbcConnectionString, BackToText) {
  const char text[] = "DSN=x;UID=y;PWD={a;b}";
  ASSERT_EQ(sizeof text - 1, 21u);
  Config cfg;
  ASSERT_EQ(_zolandm_cfg_new_from_connstr(&cfg.c, text, SQL_NTS, 0), 0);
  char buf[64];
  EXPECT_EQ(_zolandm_cfg_section_to_connstr(cfg.c, "odbc", buf, 22), 0);
  EXPECT_STREQ(buf, text);
  EXPECT_EQ(_zolandm_cfg_section_to_connstr(cfg.c, "ODBC", buf, 21), -1);
  EXPECT_STREQ(buf, "DSN=x;UID=y;PWD={a;b");
  EXPECT_EQ(_zolandm_cfg_section_to_connstr(cfg.c, "other", buf, 64), 0);
  EXPECT_STREQ(buf, "");

  // Edits show in the text.
  ASSERT_EQ(_zolandm_cfg_set(cfg.c, "ODBC", "UID", nullptr), 0);
  ASSERT_EQ(_zolandm_cfg_set(cfg.c, "ODBC", "DRIVER", "/lib/d.so"), 0);
  EXPECT_EQ(_zolandm_cfg_section_to_connstr(cfg.c, "ODBC", buf, 64), 0);
  EXPECT_STREQ(buf, "DSN=x;PWD={a;b};DRIVER=/lib/d.so");

  zolandm_config empty{};
  EXPECT_EQ(_zolandm_cfg_section_to_connstr(&empty, "ODBC", buf, 64), -1);
}

TEST(OdbcConnectionString, LengthsAndWideText) {
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  Config narrow;
  ASSERT_EQ(_zolandm_cfg_new_from_connstr(&narrow.c, "DSN=abc;UID=u", 7, 0), 0);
  EXPECT_EQ(keys_of(narrow.c), "DSN=abc");

  Config wide;
  const SQLWCHAR text[] = L"DSN=caf\u00e9;UID=u";
  ASSERT_EQ(_zolandm_cfg_new_from_connstr(&wide.c, text, SQL_NTS, 1), 0);
  EXPECT_EQ(keys_of(wide.c), "DSN=caf\xC3\xA9|UID=u");
  ASSERT_EQ(_zolandm_cfg_reparse_connstr(wide.c, text, 8, 1), 0);
  EXPECT_EQ(keys_of(wide.c), "DSN=caf\xC3\xA9");

  // No text: an empty configuration that is not loaded.
  Config none;
  ASSERT_EQ(_zolandm_cfg_new_from_connstr(&none.c, nullptr, SQL_NTS, 1), 0);
  ASSERT_NE(none.c, nullptr);
  EXPECT_FALSE(none.c->flags & ZOLANDM_CFG_LOADED);
  ASSERT_EQ(_zolandm_cfg_reparse_connstr(none.c, "DSN=z", SQL_NTS, 0), 0);
  EXPECT_EQ(keys_of(none.c), "DSN=z");
  ASSERT_EQ(_zolandm_cfg_parse_connstr(none.c, nullptr), 0);
  EXPECT_FALSE(none.c->flags & ZOLANDM_CFG_LOADED);
  std::setlocale(LC_CTYPE, "C");
}

}  // namespace
