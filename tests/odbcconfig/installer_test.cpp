// The installer functions: configuration modes and scopes, reads and writes
// of profile strings, file data sources, data source names, the error stack
// and the wide forms.
#include "odbcconfig/installer.h"
#include "fixtures/odbc_env/odbc_env.h"

#include <odbcinst.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <clocale>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

using odbcconfig_test::read_text;
using odbcconfig_test::write_text;

std::vector<int> errors() {
  std::vector<int> out;
  for (int i = 0; i <= _zolandm_inst_err_index; ++i) out.push_back(_zolandm_inst_err_codes[i]);
  return out;
}

class OdbcInstaller : public odbcconfig_test::OdbcEnv {
 protected:
  void SetUp() override {
    OdbcEnv::SetUp();
    ASSERT_TRUE(SQLSetConfigMode(ODBC_BOTH_DSN));
  }
  void TearDown() override {
    _zolandm_config_mode = ODBC_BOTH_DSN;
    _zolandm_config_scope = 0;
    OdbcEnv::TearDown();
  }
  // Reads section/key of odbc.ini; the result text, its length in `length`.
  std::string get(const char* section, const char* key, const char* def = "", int size = 256,
                  const char* file = nullptr, int* length = nullptr) {
    std::vector<char> buf(static_cast<size_t>(size) + 1, '#');
    int n = SQLGetPrivateProfileString(section, key, def, buf.data(), size, file);
    if (length) *length = n;
    EXPECT_EQ(buf[static_cast<size_t>(size)], '#') << "wrote past the buffer";
    return std::string(buf.data(), static_cast<size_t>(n > 0 && n <= size ? n : 0));
  }
};

TEST_F(OdbcInstaller, UserFileHidesSystemFile) {
  write_text(user_ini_, "[pg]\nDriver=/user/drv.so\n");
  write_text(sys_ini_, "[pg]\nDriver=/sys/drv.so\nPort=5432\n");
  EXPECT_EQ(get("pg", "Driver"), "/user/drv.so");
  EXPECT_EQ(get("pg", "Port"), "5432");  // only the system file has it
  EXPECT_EQ(errors(), std::vector<int>{});
  EXPECT_EQ(get("pg", "Missing"), "");
}

TEST_F(OdbcInstaller, NonEmptyDefaultKeepsTheSystemFileUnread) {
  write_text(user_ini_, "[pg]\n");
  write_text(sys_ini_, "[pg]\nPort=5432\n");
  EXPECT_EQ(get("pg", "Port", "x"), "x");
}

TEST_F(OdbcInstaller, Defaults) {
  write_text(user_ini_, "[s]\nk=v\nempty=\n");
  struct Case {
    const char* key;
    const char* def;
    std::string want;
  } cases[] = {
      {"k", "d", "v"},
      {"missing", "", ""},
      {"missing", " ", ""},
      {"missing", "  a", "  a"},
      {"missing", "dflt", "dflt"},
      {"empty", "d", "d"},  // an empty user value sends the read on to the system file
  };
  for (const Case& c : cases) {
    int n = -1;
    EXPECT_EQ(get("s", c.key, c.def, 256, nullptr, &n), c.want) << c.key << "/" << c.def;
    EXPECT_EQ(n, static_cast<int>(c.want.size()));
  }
}

TEST_F(OdbcInstaller, ReadArgumentErrors) {
  char buf[8];
  EXPECT_EQ(SQLGetPrivateProfileString("s", "k", "", nullptr, 8, nullptr), 0);
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_INVALID_BUFF_LEN});
  EXPECT_EQ(SQLGetPrivateProfileString("s", "k", "", buf, 0, nullptr), 0);
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_INVALID_BUFF_LEN});
  EXPECT_EQ(SQLGetPrivateProfileString("s", "k", "", buf, -5, nullptr), 0);
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_INVALID_BUFF_LEN});
  EXPECT_EQ(SQLGetPrivateProfileString("s", "k", nullptr, buf, 8, nullptr), 0);
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_GENERAL_ERR});
  _zolandm_config_mode = 3;
  EXPECT_EQ(SQLGetPrivateProfileString("s", "k", "", buf, 8, nullptr), 0);
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_GENERAL_ERR});
  EXPECT_EQ(_zolandm_config_mode, ODBC_BOTH_DSN);  // always put back
}

TEST_F(OdbcInstaller, ResultThatFillsTheBuffer) {
  write_text(user_ini_, "[s]\nk=abcdefg\n");
  int n = 0;
  EXPECT_EQ(get("s", "k", "", 8, nullptr, &n), "abcdefg");
  EXPECT_EQ(n, 7);
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_INVALID_BUFF_LEN});
  EXPECT_EQ(get("s", "k", "", 5, nullptr, &n), "abcd");
  EXPECT_EQ(n, 4);
  EXPECT_EQ(get("s", "k", "", 9, nullptr, &n), "abcdefg");
  EXPECT_EQ(errors(), std::vector<int>{});
}

TEST_F(OdbcInstaller, MissingFileGivesTheDefault) {
  int n = 0;
  EXPECT_EQ(get("s", "k", "dflt", 64, path("nowhere.ini").c_str(), &n), "dflt");
  EXPECT_EQ(n, 4);
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_INVALID_PATH});
}

TEST_F(OdbcInstaller, FileNamesThatMeanOdbcIni) {
  write_text(user_ini_, "[s]\nk=user\n");
  write_text(path("elsewhere.ini"), "[s]\nk=other\n");
  EXPECT_EQ(get("s", "k", "", 64, "/no/such/dir/odbc.ini"), "user");
  EXPECT_EQ(get("s", "k", "", 64, path("elsewhere.ini").c_str()), "other");
  write_text(user_inst_, "[drv]\nDriver=/d.so\n");
  EXPECT_EQ(get("drv", "Driver", "", 64, "ODBCINST.INI"), "/d.so");
}

TEST_F(OdbcInstaller, Lists) {
  write_text(user_ini_, "[ODBC Data Sources]\na=A driver\nbb=B driver\n[a]\n[bb]\n");
  int n = 0;
  EXPECT_EQ(get(nullptr, nullptr, "", 64, nullptr, &n), std::string("ODBC Data Sources\0a\0bb\0", 23));
  EXPECT_EQ(n, 23);
  EXPECT_EQ(get("", "x", "", 64, nullptr, &n), std::string("ODBC Data Sources\0a\0bb\0", 23));
  EXPECT_EQ(get("ODBC Data Sources", nullptr, "", 64, nullptr, &n), std::string("a\0bb\0", 5));
  EXPECT_EQ(n, 5);
  // A list from the user's file alone when it has one, else the system's.
  write_text(sys_ini_, "[sys]\n");
  EXPECT_EQ(get(nullptr, nullptr, "", 64, nullptr, &n).substr(0, 4), "ODBC");
  write_text(user_ini_, "");
  EXPECT_EQ(get(nullptr, nullptr, "", 64, nullptr, &n), std::string("sys\0", 4));
  // A list that does not fit: result = size, closed within the buffer.
  write_text(user_ini_, "[alpha]\n[beta]\n");
  std::string cut = get(nullptr, nullptr, "", 8, nullptr, &n);
  EXPECT_EQ(n, 8);
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_INVALID_BUFF_LEN});
}

TEST_F(OdbcInstaller, ModesAndScopes) {
  write_text(user_ini_, "[s]\nk=user\n");
  write_text(sys_ini_, "[s]\nk=system\n");
  ASSERT_TRUE(SQLSetConfigMode(ODBC_SYSTEM_DSN));
  EXPECT_EQ(get("s", "k"), "system");
  UWORD mode = 99;
  ASSERT_TRUE(SQLGetConfigMode(&mode));
  EXPECT_EQ(mode, ODBC_BOTH_DSN);  // a read uses the mode once
  EXPECT_EQ(get("s", "k"), "user");
  ASSERT_TRUE(SQLSetConfigMode(ODBC_USER_DSN));
  write_text(user_ini_, "[s]\n");
  EXPECT_EQ(get("s", "k"), "");  // no fallback in user mode

  ASSERT_TRUE(SQLSetConfigMode(ODBC_USER_DSN));
  EXPECT_FALSE(SQLSetConfigMode(3));
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_INVALID_PARAM_SEQUENCE});
  ASSERT_TRUE(SQLGetConfigMode(&mode));
  EXPECT_EQ(mode, ODBC_USER_DSN);  // unchanged
  EXPECT_FALSE(SQLGetConfigMode(nullptr));
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_OUT_OF_MEM});
  EXPECT_EQ(_zolandm_config_scope, 0);
}

TEST_F(OdbcInstaller, NoUserPathReadsTheSystemFile) {
  unsetenv("ODBCINI");
  write_text(sys_ini_, "[s]\nk=system\n");
  EXPECT_EQ(get("s", "k"), "system");
  ASSERT_TRUE(SQLSetConfigMode(ODBC_USER_DSN));
  EXPECT_EQ(get("s", "k", "d"), "");
}

TEST_F(OdbcInstaller, WriteGoesToTheUserFile) {
  unsetenv("ODBCINI");
  umask(022);
  std::string home_ini = path("home/.odbc.ini");
  ASSERT_TRUE(SQLWritePrivateProfileString("pg", "Driver", "/d.so", nullptr));
  EXPECT_EQ(read_text(home_ini), "[pg]\nDriver = /d.so\n");
  struct stat st;
  ASSERT_EQ(stat(home_ini.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(read_text(sys_ini_), "");

  ASSERT_TRUE(SQLSetConfigMode(ODBC_SYSTEM_DSN));
  ASSERT_TRUE(SQLWritePrivateProfileString("pg", "Driver", "/sys.so", nullptr));
  EXPECT_EQ(read_text(sys_ini_), "[pg]\nDriver = /sys.so\n");
}

TEST_F(OdbcInstaller, WriteEdits) {
  write_text(user_ini_, "[a]\nk=1\nj=2\n[b]\nx=y\n");
  ASSERT_TRUE(SQLWritePrivateProfileString("a", "k", nullptr, nullptr));
  EXPECT_EQ(read_text(user_ini_), "[a]\nj = 2\n\n[b]\nx = y\n");
  ASSERT_TRUE(SQLWritePrivateProfileString("b", nullptr, nullptr, nullptr));
  EXPECT_EQ(read_text(user_ini_), "[a]\nj = 2\n");
  EXPECT_FALSE(SQLWritePrivateProfileString("", "k", "v", nullptr));
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_INVALID_REQUEST_TYPE});
  EXPECT_FALSE(SQLWritePrivateProfileString(nullptr, "k", "v", "odbc.ini"));
  _zolandm_config_mode = 7;
  EXPECT_FALSE(SQLWritePrivateProfileString("a", "k", "v", nullptr));
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_GENERAL_ERR});
  EXPECT_EQ(_zolandm_config_mode, ODBC_BOTH_DSN);
}

TEST_F(OdbcInstaller, WriteFailureIsReported) {
  // Every write to /dev/full fails; the save says so and the call fails.
  EXPECT_FALSE(SQLWritePrivateProfileString("a", "k", "v", "/dev/full"));
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_REQUEST_FAILED});
  EXPECT_FALSE(SQLWritePrivateProfileString("a", "k", "v", path("no/such/dir/x.ini").c_str()));
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_GENERAL_ERR});
}

TEST_F(OdbcInstaller, ErrorStackHoldsEight) {
  _zolandm_inst_err_clear();
  for (int i = 1; i <= 9; ++i) _zolandm_inst_err_push(i);
  EXPECT_EQ(errors(), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  _zolandm_inst_err_set(42);
  EXPECT_EQ(errors(), std::vector<int>{42});
  EXPECT_EQ(_zolandm_inst_err_msgs[0], nullptr);
}

TEST_F(OdbcInstaller, FileDsnPaths) {
  char buf[1024];
  std::string dsn_dir = path("dsn");
  struct Case {
    const char* name;
    std::string want;
  } cases[] = {
      {"pg", dsn_dir + "/pg.dsn"},         {"pg.DSN", dsn_dir + "/pg.DSN"},
      {"pg.txt", dsn_dir + "/pg.txt.dsn"}, {"/abs/dir.x/pg", "/abs/dir.x/pg.dsn"},
      {"rel/pg.dsn", "rel/pg.dsn"},
  };
  for (const Case& c : cases) EXPECT_EQ(std::string(_zolandm_file_dsn_path(c.name, buf, sizeof buf)), c.want);

  unsetenv("FILEDSNPATH");
  EXPECT_STREQ(_zolandm_file_dsn_path("x", buf, sizeof buf), "/etc/ODBCDataSources/x.dsn");
  write_text(sys_inst_, "[ODBC]\nFileDSNPath=/srv/dsn\n");
  EXPECT_STREQ(_zolandm_file_dsn_path("x", buf, sizeof buf), "/srv/dsn/x.dsn");
  // Cut, but terminated, when the buffer is small.
  EXPECT_STREQ(_zolandm_file_dsn_path("x", buf, 8), "/srv/ds");
}

TEST_F(OdbcInstaller, FileDataSources) {
  ASSERT_TRUE(SQLWriteFileDSN("pg", "ODBC", "DRIVER", "/lib/psql.so"));
  ASSERT_TRUE(SQLWriteFileDSN("pg", "ODBC", "UID", "me"));
  EXPECT_EQ(read_text(path("dsn/pg.dsn")), "[ODBC]\nDRIVER = /lib/psql.so\nUID    = me\n");

  char buf[64];
  WORD len = 0;
  ASSERT_TRUE(SQLReadFileDSN("pg", "ODBC", "DRIVER", buf, sizeof buf, &len));
  EXPECT_STREQ(buf, "/lib/psql.so");
  EXPECT_EQ(len, 12);
  ASSERT_TRUE(SQLReadFileDSN("pg.dsn", "ODBC", nullptr, buf, sizeof buf, &len));
  EXPECT_STREQ(buf, "DRIVER;UID;");
  EXPECT_EQ(len, 11);
  ASSERT_TRUE(SQLReadFileDSN(path("dsn/pg").c_str(), nullptr, nullptr, buf, sizeof buf, nullptr));
  EXPECT_STREQ(buf, "ODBC;");
  // An empty section asks for the section list, whatever the key.
  ASSERT_TRUE(SQLReadFileDSN("pg", "", "DRIVER", buf, sizeof buf, &len));
  EXPECT_STREQ(buf, "ODBC;");

  // Deleting a key, then the whole section.
  ASSERT_TRUE(SQLWriteFileDSN("pg", "ODBC", "UID", nullptr));
  EXPECT_EQ(read_text(path("dsn/pg.dsn")), "[ODBC]\nDRIVER = /lib/psql.so\n");
  ASSERT_TRUE(SQLWriteFileDSN("pg", "ODBC", nullptr, nullptr));
  EXPECT_EQ(read_text(path("dsn/pg.dsn")), "");
}

TEST_F(OdbcInstaller, FileDataSourceErrors) {
  write_text(path("dsn/pg.dsn"), "[ODBC]\nDRIVER=/lib/psql.so\n");
  char buf[64];
  WORD len = 77;
  struct Case {
    const char *file, *section, *key;
    char* buffer;
    WORD size;
    int error;
  } cases[] = {
      {"pg", "ODBC", "DRIVER", nullptr, 64, ODBC_ERROR_INVALID_BUFF_LEN},
      {"pg", "ODBC", "DRIVER", buf, 0, ODBC_ERROR_INVALID_BUFF_LEN},
      {"pg", nullptr, "DRIVER", buf, 64, ODBC_ERROR_INVALID_REQUEST_TYPE},
      {"pg", nullptr, "", buf, 64, ODBC_ERROR_INVALID_REQUEST_TYPE},
      {nullptr, "ODBC", "DRIVER", buf, 64, ODBC_ERROR_INVALID_PATH},
  };
  for (const Case& c : cases) {
    len = 77;
    EXPECT_FALSE(SQLReadFileDSN(c.file, c.section, c.key, c.buffer, c.size, &len));
    EXPECT_EQ(len, 0);
    EXPECT_EQ(errors(), std::vector<int>{c.error});
  }
  EXPECT_FALSE(SQLReadFileDSN("missing", "ODBC", "DRIVER", buf, 64, &len));
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_INVALID_PATH});
  // A result that fills the buffer counts as cut.
  EXPECT_FALSE(SQLReadFileDSN("pg", "ODBC", "DRIVER", buf, 13, &len));
  EXPECT_EQ(len, 12);
  EXPECT_STREQ(buf, "/lib/psql.so");
  EXPECT_EQ(errors(), (std::vector<int>{ODBC_ERROR_INVALID_BUFF_LEN, ODBC_ERROR_OUTPUT_STRING_TRUNCATED}));
  // A key list that does not fit stays terminated within the buffer.
  write_text(path("dsn/many.dsn"), "[ODBC]\nalpha=1\nbeta=2\ngamma=3\n");
  std::vector<char> small(12, '#');
  EXPECT_FALSE(SQLReadFileDSN("many", "ODBC", nullptr, small.data(), 10, &len));
  EXPECT_EQ(len, 10);
  EXPECT_STREQ(small.data(), "alpha;");
  EXPECT_EQ(small[10], '#');

  EXPECT_FALSE(SQLWriteFileDSN(nullptr, "ODBC", "k", "v"));
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_INVALID_PATH});
}

// A key list cut by the buffer: whatever fits, ';' after each name, and the
// terminating NUL inside the buffer even when no name fits at all.
TEST_F(OdbcInstaller, FileDataSourceListsThatDoNotFit) {
  write_text(path("dsn/keys.dsn"), "[ODBC]\nalpha=1\nbeta=2\n");
  struct Case {
    WORD size;
    BOOL ok;
    WORD length;
    std::string want;
  } cases[] = {
      {1, FALSE, 1, ""},
      {6, FALSE, 6, ""},
      {7, FALSE, 7, "alpha;"},
      {11, FALSE, 11, "alpha;"},
      {12, FALSE, 11, "alpha;beta;"},  // fills the buffer exactly: counts as cut
      {13, TRUE, 11, "alpha;beta;"},
  };
  for (const Case& c : cases) {
    std::vector<char> buf(static_cast<size_t>(c.size) + 1, '#');
    WORD len = 0;
    EXPECT_EQ(SQLReadFileDSN("keys", "ODBC", nullptr, buf.data(), c.size, &len), c.ok) << c.size;
    EXPECT_EQ(len, c.length) << c.size;
    ASSERT_LT(strnlen(buf.data(), c.size), c.size) << "not terminated, size " << c.size;
    EXPECT_EQ(std::string(buf.data()), c.want) << c.size;
    EXPECT_EQ(buf[c.size], '#') << c.size;
  }
}

TEST_F(OdbcInstaller, ValidDsn) {
  struct Case {
    std::string name;
    BOOL valid;
    std::vector<int> errors;
  } cases[] = {
      {"abc", TRUE, {}},
      {std::string(31, 'a'), TRUE, {}},
      {std::string(32, 'a'), FALSE, {ODBC_ERROR_GENERAL_ERR}},
      {"", FALSE, {ODBC_ERROR_GENERAL_ERR}},
      {"a;b", FALSE, {}},
      {"a\\b", FALSE, {}},
      {"my dsn-1.x", TRUE, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SQLValidDSN(c.name.c_str()), c.valid) << c.name;
    EXPECT_EQ(errors(), c.errors) << c.name;
    std::wstring wide(c.name.begin(), c.name.end());
    EXPECT_EQ(SQLValidDSNW(wide.c_str()), c.valid) << c.name;
    EXPECT_EQ(errors(), c.errors) << c.name;
  }
  for (char c : std::string("[]{}(),;?*=!@\\")) {
    std::string name = std::string("x") + c;
    EXPECT_FALSE(SQLValidDSN(name.c_str())) << name;
    EXPECT_FALSE(_zolandm_dsn_chars_ok(name.c_str()));
    std::wstring wide(name.begin(), name.end());
    EXPECT_FALSE(_zolandm_dsn_chars_okw(wide.c_str()));
  }
  EXPECT_FALSE(SQLValidDSN(nullptr));
  EXPECT_FALSE(SQLValidDSNW(nullptr));
  EXPECT_TRUE(SQLValidDSNW(L"caf\u00e9"));
}

// Wide-string tests run in the C.UTF-8 locale.
class OdbcInstallerWide : public OdbcInstaller {
 protected:
  void SetUp() override {
    OdbcInstaller::SetUp();
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  }
  void TearDown() override {
    std::setlocale(LC_CTYPE, "C");
    OdbcInstaller::TearDown();
  }
};

TEST_F(OdbcInstallerWide, GetAndWrite) {
  ASSERT_TRUE(SQLWritePrivateProfileStringW(L"caf\u00e9", L"Name", L"\u20ac5", nullptr));
  EXPECT_EQ(read_text(user_ini_),
            "[caf\xC3\xA9]\nName = \xE2\x82\xAC"
            "5\n");
  SQLWCHAR buf[16];
  EXPECT_EQ(SQLGetPrivateProfileStringW(L"caf\u00e9", L"name", L"", buf, 16, nullptr), 2);
  EXPECT_EQ(std::wstring(buf), L"\u20ac5");
  // A cut copy still reports the whole value's characters.
  ASSERT_TRUE(SQLWritePrivateProfileStringW(L"s", L"k", L"abcdef", nullptr));
  EXPECT_EQ(SQLGetPrivateProfileStringW(L"s", L"k", L"", buf, 4, nullptr), 6);
  EXPECT_EQ(std::wstring(buf), L"abc");
  EXPECT_EQ(SQLGetPrivateProfileStringW(L"s", L"missing", L"dflt", buf, 16, nullptr), 4);
  EXPECT_EQ(std::wstring(buf), L"dflt");
  EXPECT_EQ(SQLGetPrivateProfileStringW(L"s", L"k", L"", buf, 0, nullptr), 0);
  EXPECT_EQ(errors(), std::vector<int>{ODBC_ERROR_INVALID_BUFF_LEN});
}

TEST_F(OdbcInstallerWide, Lists) {
  write_text(user_ini_, "[\xC3\xA9t\xC3\xA9]\n[b]\n");
  SQLWCHAR buf[16];
  EXPECT_EQ(SQLGetPrivateProfileStringW(nullptr, nullptr, L"", buf, 16, nullptr), 5);
  EXPECT_EQ(std::wstring(buf, 6), std::wstring(L"\u00e9t\u00e9\0b\0", 6));
  EXPECT_EQ(buf[6], 0);
  // Names are cut into the space left; the list stays closed in the buffer.
  SQLWCHAR small[5] = {1, 1, 1, 1, 1};
  SQLGetPrivateProfileStringW(nullptr, nullptr, L"", small, 4, nullptr);
  EXPECT_EQ(std::wstring(small, 4), std::wstring(L"\u00e9t\0\0", 4));
  EXPECT_EQ(small[4], 1);
  // An empty key ("=x") is a name of the list like any other.
  write_text(user_ini_, "[k]\n=x\nb=2\n");
  EXPECT_EQ(SQLGetPrivateProfileStringW(L"k", nullptr, L"", buf, 16, nullptr), 2);
  EXPECT_EQ(std::wstring(buf, 4), std::wstring(L"\0b\0\0", 4));
}

TEST_F(OdbcInstallerWide, FileDataSources) {
  ASSERT_TRUE(SQLWriteFileDSNW(L"w\u00e9", L"ODBC", L"UID", L"j\u00fcrgen"));
  EXPECT_EQ(read_text(path("dsn/w\xC3\xA9.dsn")), "[ODBC]\nUID = j\xC3\xBCrgen\n");
  SQLWCHAR buf[16];
  WORD len = 0;
  ASSERT_TRUE(SQLReadFileDSNW(L"w\u00e9", L"ODBC", L"UID", buf, 16, &len));
  EXPECT_EQ(std::wstring(buf), L"j\u00fcrgen");
  EXPECT_EQ(len, 6);
  // The wide buffer is too small for the characters: reported, not hidden.
  EXPECT_FALSE(SQLReadFileDSNW(L"w\u00e9", L"ODBC", L"UID", buf, 4, &len));
  EXPECT_EQ(std::wstring(buf), L"j\u00fcr");
  EXPECT_EQ(len, 6);
  EXPECT_EQ(errors().back(), ODBC_ERROR_OUTPUT_STRING_TRUNCATED);
}

// Large wide buffers: four bytes per character no longer fit the narrow
// call's 16-bit size, which must not wrap to a small or empty buffer.
TEST_F(OdbcInstallerWide, FileDataSourceLargeBuffers) {
  std::string value(5000, 'v');
  write_text(path("dsn/big.dsn"), "[ODBC]\nshort=abc\nlong=" + value + "\n");
  struct Case {
    const char* key;
    WORD size;
    BOOL ok;
    size_t chars;
  } cases[] = {
      {"short", 4096, TRUE, 3},   {"short", 4097, TRUE, 3},    {"long", 4097, FALSE, 0},
      {"long", 5001, TRUE, 5000}, {"long", 16384, TRUE, 5000}, {"long", 65535, TRUE, 5000},
  };
  for (const Case& c : cases) {
    std::vector<SQLWCHAR> buf(c.size, L'#');
    WORD len = 0;
    EXPECT_EQ(SQLReadFileDSNW(L"big", L"ODBC", std::wstring(c.key, c.key + strlen(c.key)).c_str(), buf.data(),
                              c.size, &len),
              c.ok)
        << c.key << " " << c.size;
    if (c.ok) {
      EXPECT_EQ(len, c.chars) << c.key << " " << c.size;
      EXPECT_EQ(std::wcslen(buf.data()), c.chars) << c.key << " " << c.size;
    }
  }
}

TEST_F(OdbcInstallerWide, OdbcIniShortcuts) {
  ASSERT_TRUE(zolandm_set_dsn_value("pg", "Port", "5432"));
  char nbuf[16];
  int len = 0;
  EXPECT_TRUE(zolandm_get_dsn_value("pg", "Port", nbuf, sizeof nbuf, &len));
  EXPECT_STREQ(nbuf, "5432");
  EXPECT_EQ(len, 4);
  EXPECT_FALSE(zolandm_get_dsn_value("pg", "Missing", nbuf, sizeof nbuf, &len));
  EXPECT_EQ(len, 0);
  ASSERT_TRUE(zolandm_set_dsn_valuew(L"pg", L"Host", L"h\u00f6st"));
  SQLWCHAR wbuf[16];
  EXPECT_TRUE(zolandm_get_dsn_valuew(L"pg", L"Host", wbuf, 16, &len));
  EXPECT_EQ(std::wstring(wbuf), L"h\u00f6st");
  EXPECT_EQ(len, 4);
}

// The process-wide state is guarded: a second thread waits while one holds
// the installer lock, and the holder may call the functions itself.
TEST_F(OdbcInstaller, StateIsGuarded) {
  _zolandm_installer_lock();
  ASSERT_TRUE(SQLSetConfigMode(ODBC_USER_DSN));  // recursive for the holder
  std::atomic<bool> done{false};
  std::thread other([&] {
    SQLSetConfigMode(ODBC_SYSTEM_DSN);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(done.load());
  UWORD mode = 0;
  ASSERT_TRUE(SQLGetConfigMode(&mode));
  EXPECT_EQ(mode, ODBC_USER_DSN);
  _zolandm_installer_unlock();
  other.join();
  EXPECT_TRUE(done.load());
  ASSERT_TRUE(SQLGetConfigMode(&mode));
  EXPECT_EQ(mode, ODBC_SYSTEM_DSN);
}

TEST_F(OdbcInstaller, ConcurrentReadsAndWrites) {
  write_text(user_ini_, "[s]\nk=v\n");
  std::vector<std::thread> threads;
  std::atomic<int> bad{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      char buf[32];
      for (int i = 0; i < 50; ++i) {
        std::string key = "t" + std::to_string(t);
        if (!SQLWritePrivateProfileString("s", key.c_str(), "x", nullptr)) ++bad;
        if (SQLGetPrivateProfileString("s", "k", "", buf, sizeof buf, nullptr) != 1) ++bad;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(get("s", "t3"), "x");
}

}  // namespace
