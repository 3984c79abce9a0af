// Initialisation files in memory: parsing, walk, lookup, edits, lists, the
// byte-exact write-back and where odbc.ini and odbcinst.ini are found.
#include "odbcconfig/config.h"
#include "odbcconfig/installer.h"
#include "fixtures/odbc_env/odbc_env.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using odbcconfig_test::read_text;
using odbcconfig_test::write_text;

// One line per entry: S[section], K[key]=[value], V[value], C, then #[comment].
std::string dump(const zolandm_config* c) {
  std::string out;
  for (uint32_t i = 0; i < c->numEntries; ++i) {
    const zolandm_cfg_entry& e = c->entries[i];
    if (e.section)
      out += "S[" + std::string(e.section) + "]";
    else if (e.id)
      out += "K[" + std::string(e.id) + "]=[" + (e.value ? e.value : "<null>") + "]";
    else if (e.value)
      out += "V[" + std::string(e.value) + "]";
    else
      out += "C";
    if (e.comment) out += "#[" + std::string(e.comment) + "]";
    out += "\n";
  }
  return out;
}

class OdbcConfigFile : public odbcconfig_test::OdbcEnv {
 protected:
  void TearDown() override {
    _zolandm_cfg_free(config_);
    config_ = nullptr;
    OdbcEnv::TearDown();
  }
  zolandm_config* open_text(const std::string& text) {
    std::string file = path("test.ini");
    write_text(file, text);
    _zolandm_cfg_free(config_);
    config_ = nullptr;
    EXPECT_EQ(_zolandm_cfg_open(&config_, file.c_str(), 0), 0);
    return config_;
  }
  std::string saved(zolandm_config* c) {
    EXPECT_EQ(_zolandm_cfg_save(c), 0);
    return read_text(c->fileName);
  }
  zolandm_config* config_ = nullptr;
};

TEST_F(OdbcConfigFile, ParseLineKinds) {
  struct Case {
    const char* name;
    std::string text;
    std::string want;
  } cases[] = {
      {"header and key", "[ODBC]\nTrace = 1\n", "S[ODBC]\nK[Trace]=[1]\n"},
      {"crlf, empty lines and 0x1A", "[A]\r\n\r\n\nk=v\r\n\x1A", "S[A]\nK[k]=[v]\n"},
      {"last line without end, trailing blanks", "[A]\nk = v  \t\f", "S[A]\nK[k]=[v]\n"},
      {"comment after blank", "Driver = /opt/lib/drv.so ; main driver",
       "K[Driver]=[/opt/lib/drv.so]#[ main driver]\n"},
      {"semicolon inside value", "Path=a;b", "K[Path]=[a;b]\n"},
      {"hash right after =", "k=#c", "K[k]=[]#[c]\n"},
      {"hash after blanks around =", "k = # c", "K[k]=[]#[ c]\n"},
      {"hash inside value", "k=a#b", "K[k]=[a#b]\n"},
      {"quoted comment characters", "k = 'x ;y' ; word", "K[k]=['x ;y']#[ word]\n"},
      {"double quotes", "k=\"a ;b\" ;c", "K[k]=[\"a ;b\"]#[c]\n"},
      {"unclosed quote", "k='a ;b", "K[k]=['a ;b]\n"},
      {"tabs around =", "k\t=\tv", "K[k]=[v]\n"},
      {"empty comment", "k = v ;", "K[k]=[v]#[]\n"},
      {"empty value", "k =", "K[k]=[]\n"},
      {"empty key", "=x", "K[]=[x]\n"},
      {"indented key line is a value", "  key = value", "V[key = value]\n"},
      {"indented value with comment", "\tcont ;c", "V[cont]#[c]\n"},
      {"indented header", "  [Sec]", "S[Sec]\n"},
      {"blanks inside brackets", "[ Sec  ]", "S[Sec]\n"},
      {"header comment", "[ODBC] # word", "S[ODBC]#[ word]\n"},
      {"text after header dropped", "[S] junk", "S[S]\n"},
      {"empty brackets", "[]\n[   ]\n", ""},
      {"no closing bracket", "[Sec\n", ""},
      {"no equals", "just words\n", ""},
      {"semicolon comment line", "; comment", "C#[ comment]\n"},
      {"hash comment line", "#x", "C#[x]\n"},
      {"indented comment line", "   ;; x", "C#[; x]\n"},
      {"keys before any header", "a=1\n[S]\nb=2\n", "K[a]=[1]\nS[S]\nK[b]=[2]\n"},
      {"NUL byte ends a line", std::string("[A]\nk=v\0x=y\n", 12), "S[A]\nK[k]=[v]\nK[x]=[y]\n"},
      {"NUL at the very end", std::string("k=v\0", 4), "K[k]=[v]\n"},
      {"empty file", "", ""},
  };
  for (const Case& c : cases) {
    zolandm_config* config = open_text(c.text);
    ASSERT_NE(config, nullptr) << c.name;
    EXPECT_EQ(dump(config), c.want) << c.name;
    EXPECT_TRUE(config->flags & ZOLANDM_CFG_LOADED);
    EXPECT_EQ(config->dirty, 0);
  }
}

TEST_F(OdbcConfigFile, OpenFailures) {
  zolandm_config* c = reinterpret_cast<zolandm_config*>(1);
  EXPECT_EQ(_zolandm_cfg_open(&c, path("missing.ini").c_str(), 0), -1);
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(_zolandm_cfg_open(&c, nullptr, 0), -1);
  EXPECT_EQ(_zolandm_cfg_open_named(&c, path("missing.ini").c_str(), 0), -1);

  // The create flag makes an empty file first.
  umask(022);
  ASSERT_EQ(_zolandm_cfg_open(&c, path("new.ini").c_str(), 1), 0);
  struct stat st;
  ASSERT_EQ(stat(path("new.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(c->numEntries, 0u);
  _zolandm_cfg_free(c);
  EXPECT_EQ(_zolandm_cfg_free(nullptr), 0);
}

TEST_F(OdbcConfigFile, ReloadOnlyWhenChanged) {
  zolandm_config* c = open_text("[A]\nk=1\n");
  EXPECT_EQ(_zolandm_cfg_load(c), 0);
  write_text(c->fileName, "[A]\nk=22\n");  // another size
  EXPECT_EQ(_zolandm_cfg_load(c), 1);
  ASSERT_EQ(_zolandm_cfg_find(c, "A", "k"), 0);
  EXPECT_STREQ(c->value, "22");
  // The same size within the same second is a change too; so is a file renamed over it.
  write_text(c->fileName, "[A]\nk=33\n");
  EXPECT_EQ(_zolandm_cfg_load(c), 1);
  ASSERT_EQ(_zolandm_cfg_find(c, "A", "k"), 0);
  EXPECT_STREQ(c->value, "33");
  {
    std::string other = std::string(c->fileName) + ".new";
    write_text(other.c_str(), "[A]\nk=44\n");
    struct stat before;
    ASSERT_EQ(stat(c->fileName, &before), 0);
    struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, other.c_str(), times, 0), 0);  // same size and time
    ASSERT_EQ(std::rename(other.c_str(), c->fileName), 0);
  }
  EXPECT_EQ(_zolandm_cfg_load(c), 1);
  ASSERT_EQ(_zolandm_cfg_find(c, "A", "k"), 0);
  EXPECT_STREQ(c->value, "44");
  // Unsaved edits are dropped by a load.
  ASSERT_EQ(_zolandm_cfg_set(c, "A", "k", "3"), 0);
  EXPECT_EQ(_zolandm_cfg_load(c), 1);
  EXPECT_EQ(c->dirty, 0);
  ASSERT_EQ(_zolandm_cfg_find(c, "A", "k"), 0);
  EXPECT_STREQ(c->value, "44");
  // A file that went away keeps what was read.
  std::filesystem::remove(c->fileName);
  EXPECT_EQ(_zolandm_cfg_load(c), -1);
  EXPECT_EQ(_zolandm_cfg_find(c, "A", "k"), 0);
}

TEST_F(OdbcConfigFile, WalkAndEnd) {
  zolandm_config* c = open_text("top=1\n[A]\nk=v\n  more\n; note\n[B]\n");
  struct Step {
    unsigned kind;
    const char *section, *id, *value;
  } steps[] = {
      {ZOLANDM_CFG_KIND_KEY, nullptr, "top", "1"},
      {ZOLANDM_CFG_KIND_SECTION, "A", nullptr, nullptr},
      {ZOLANDM_CFG_KIND_KEY, "A", "k", "v"},
      {ZOLANDM_CFG_KIND_VALUE, "A", nullptr, "more"},
      {ZOLANDM_CFG_KIND_SECTION, "B", nullptr, nullptr},
  };
  ASSERT_EQ(_zolandm_cfg_rewind(c), 0);
  for (const Step& s : steps) {
    ASSERT_EQ(_zolandm_cfg_next_entry(c), 0);
    EXPECT_EQ(c->flags & ZOLANDM_CFG_KIND_MASK, s.kind);
    if (s.section) {
      EXPECT_STREQ(c->section, s.section);
    }
    EXPECT_STREQ(c->id ? c->id : "<null>", s.id ? s.id : "<null>");
    EXPECT_STREQ(c->value ? c->value : "<null>", s.value ? s.value : "<null>");
  }
  EXPECT_EQ(_zolandm_cfg_next_entry(c), -1);
  EXPECT_TRUE(c->flags & ZOLANDM_CFG_EOF);
  EXPECT_EQ(_zolandm_cfg_next_entry(c), -1);
  ASSERT_EQ(_zolandm_cfg_rewind(c), 0);
  EXPECT_EQ(_zolandm_cfg_next_entry(c), 0);
  EXPECT_STREQ(c->id, "top");

  zolandm_config empty{};
  EXPECT_EQ(_zolandm_cfg_rewind(&empty), -1);
  EXPECT_EQ(_zolandm_cfg_next_entry(&empty), -1);
  EXPECT_EQ(_zolandm_cfg_find(&empty, "A", nullptr), -1);
  EXPECT_EQ(_zolandm_cfg_set(&empty, "A", "k", "v"), -1);
  EXPECT_EQ(_zolandm_cfg_save(&empty), -1);
}

TEST_F(OdbcConfigFile, FindKeys) {
  zolandm_config* c = open_text(
      "[one]\n=empty\n\"\"=quotes\n'Driver'=single\nport=1\n"
      "[ONE]\nother=2\n"
      "[two]\n\"Driver\"=double\n  value line\nsetup=s\n");
  struct Case {
    const char *section, *key;
    int rc;
    const char* value;
  } cases[] = {
      {"one", "Driver", 0, "single"},   {"One", "DRIVER", 0, "single"}, {"one", "port", 0, "1"},
      {"one", "other", -1, nullptr},  // only the first [one]
      {"two", "driver", 0, "double"},   {"two", "setup", 0, "s"},       {"one", "", -1, nullptr},
      {"one", "'Driver'", -1, nullptr}, {"three", "x", -1, nullptr},    {"two", "port", -1, nullptr},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(_zolandm_cfg_find(c, k.section, k.key), k.rc) << k.section << "/" << k.key;
    if (k.rc == 0) {
      EXPECT_STREQ(c->value, k.value);
      EXPECT_EQ(c->flags & ZOLANDM_CFG_KIND_MASK, ZOLANDM_CFG_KIND_KEY);
    }
  }
  ASSERT_EQ(_zolandm_cfg_find(c, "TWO", nullptr), 0);
  EXPECT_STREQ(c->section, "two");
  EXPECT_EQ(_zolandm_cfg_find(c, nullptr, nullptr), -1);
}

TEST_F(OdbcConfigFile, SetDoesNotStripQuotes) {
  zolandm_config* c = open_text("[two]\n\"Driver\"=double\n");
  ASSERT_EQ(_zolandm_cfg_set(c, "two", "Driver", "/x.so"), 0);
  EXPECT_EQ(dump(c), "S[two]\nK[\"Driver\"]=[double]\nK[Driver]=[/x.so]\n");
  ASSERT_EQ(_zolandm_cfg_find(c, "two", "Driver"), 0);
  EXPECT_STREQ(c->value, "double");  // the first match wins
}

TEST_F(OdbcConfigFile, OnlyTheFirstOfTwoSectionsIsSeen) {
  zolandm_config* c = open_text("[dup]\na=1\n[DUP]\nb=2\n");
  ASSERT_EQ(_zolandm_cfg_set(c, "Dup", "c", "3"), 0);
  ASSERT_EQ(_zolandm_cfg_set(c, "DUP", "b", nullptr), 0);  // not in the first: nothing to delete
  char buf[32];
  EXPECT_EQ(_zolandm_cfg_list_keys(c, "DUP", buf, sizeof buf), 4);
  EXPECT_EQ(std::string(buf, 5), std::string("a\0c\0\0", 5));
  EXPECT_EQ(saved(c), "[dup]\na = 1\nc = 3\n\n[DUP]\nb = 2\n");
}

TEST_F(OdbcConfigFile, EditsLeaveNothingChangedWhenNothingMatches) {
  zolandm_config* c = open_text("[A]\nk=v\n");
  EXPECT_EQ(_zolandm_cfg_set(c, "A", "missing", nullptr), 0);
  EXPECT_EQ(_zolandm_cfg_set(c, "B", nullptr, nullptr), 0);
  EXPECT_EQ(_zolandm_cfg_set(c, "B", "k", nullptr), 0);
  EXPECT_EQ(c->dirty, 0);
  EXPECT_EQ(_zolandm_cfg_set(c, nullptr, "k", "v"), -1);
  EXPECT_EQ(dump(c), "S[A]\nK[k]=[v]\n");
}

// The written layout of the example in the documentation of the format.
TEST_F(OdbcConfigFile, GoldenExample) {
  zolandm_config* c = open_text(
      "[ODBC]\nTrace = 1\nTraceFile=/tmp/x.log\n; data sources\n[ODBC Data Sources]\n"
      "test=Test driver\n");
  ASSERT_EQ(_zolandm_cfg_set(c, "ODBC", "Trace", "1"), 0);
  EXPECT_EQ(saved(c),
            "[ODBC]\nTrace     = 1\nTraceFile = /tmp/x.log\n\n; data sources\n"
            "[ODBC Data Sources]\ntest = Test driver\n");
  EXPECT_EQ(c->dirty, 0);
}

const char kRich[] =
    "; top comment\n"
    "[ODBC Data Sources]\n"
    "test = Test driver\n"
    "; comment for Sec A\n"
    "[Sec A]\n"
    "; about Driver\n"
    "Driver=/lib/a.so\n"
    "Port = 5432 ; the port\n"
    "  continuation value\n"
    "#nospace\n"
    "; above B\n"
    "[Sec B]\n"
    "Key1=v1\n"
    "; trailing\n";

TEST_F(OdbcConfigFile, GoldenEdits) {
  struct Edit {
    const char *section, *key, *value;
  };
  struct Case {
    const char* name;
    std::vector<Edit> edits;
    std::string want;
  } cases[] = {
      {"insert a key before the next header",
       {{"Sec A", "Host", "h"}},
       "; top comment\n[ODBC Data Sources]\ntest = Test driver\n\n; comment for Sec A\n[Sec A]\n"
       "; about Driver\nDriver = /lib/a.so\nPort   = 5432\t; the port\n  continuation value\n"
       ";nospace\n; above B\nHost   = h\n\n[Sec B]\nKey1 = v1\n; trailing\n"},
      {"replace a value, keeping key spelling and comment",
       {{"sec a", "port", "6000"}},
       "; top comment\n[ODBC Data Sources]\ntest = Test driver\n\n; comment for Sec A\n[Sec A]\n"
       "; about Driver\nDriver = /lib/a.so\nPort   = 6000\t; the port\n  continuation value\n"
       ";nospace\n\n; above B\n[Sec B]\nKey1 = v1\n; trailing\n"},
      {"delete a key with its comment",
       {{"Sec A", "driver", nullptr}},
       "; top comment\n[ODBC Data Sources]\ntest = Test driver\n\n; comment for Sec A\n[Sec A]\n"
       "Port = 5432\t; the port\n  continuation value\n;nospace\n\n; above B\n[Sec B]\n"
       "Key1 = v1\n; trailing\n"},
      {"delete a section with its comments",
       {{"Sec A", nullptr, nullptr}},
       "; top comment\n[ODBC Data Sources]\ntest = Test driver\n\n; above B\n[Sec B]\n"
       "Key1 = v1\n; trailing\n"},
      {"delete the last section, trailing comments stay",
       {{"Sec B", nullptr, "ignored"}},
       "; top comment\n[ODBC Data Sources]\ntest = Test driver\n\n; comment for Sec A\n[Sec A]\n"
       "; about Driver\nDriver = /lib/a.so\nPort   = 5432\t; the port\n  continuation value\n"
       ";nospace\n; trailing\n"},
      {"delete the first section; the first line is never taken with it",
       {{"ODBC Data Sources", nullptr, nullptr}},
       "; top comment\n; comment for Sec A\n[Sec A]\n; about Driver\nDriver = /lib/a.so\n"
       "Port   = 5432\t; the port\n  continuation value\n;nospace\n\n; above B\n[Sec B]\n"
       "Key1 = v1\n; trailing\n"},
      {"append a new section",
       {{"New", "k", "v"}},
       "; top comment\n[ODBC Data Sources]\ntest = Test driver\n\n; comment for Sec A\n[Sec A]\n"
       "; about Driver\nDriver = /lib/a.so\nPort   = 5432\t; the port\n  continuation value\n"
       ";nospace\n\n; above B\n[Sec B]\nKey1 = v1\n\n; trailing\n[New]\nk = v\n"},
      {"several edits",
       {{"Sec B", "Key2", "v2"}, {"Sec A", nullptr, nullptr}, {"ODBC Data Sources", "test", nullptr}},
       "; top comment\n[ODBC Data Sources]\n\n; above B\n[Sec B]\nKey1 = v1\n; trailing\n"
       "Key2 = v2\n"},
  };
  for (const Case& k : cases) {
    zolandm_config* c = open_text(kRich);
    for (const Edit& e : k.edits) ASSERT_EQ(_zolandm_cfg_set(c, e.section, e.key, e.value), 0) << k.name;
    EXPECT_EQ(saved(c), k.want) << k.name;
  }
}

TEST_F(OdbcConfigFile, GoldenHashCommentAboveDeletedHeaderStays) {
  zolandm_config* c = open_text("[A]\na=1\n#keep me\n;; drop me\n# drop me too\n[B]\nb=2\n[C]\nc=3\n");
  ASSERT_EQ(_zolandm_cfg_set(c, "B", nullptr, nullptr), 0);
  EXPECT_EQ(saved(c), "[A]\na = 1\n;keep me\n\n[C]\nc = 3\n");
}

TEST_F(OdbcConfigFile, GoldenLayoutDetails) {
  zolandm_config* c = open_text("a=1\nlonger_top=2\n[ODBC] # trace\n  cont ;c\nk=v\n[S]\n#x\n[T]\n\n\n[U]\n");
  ASSERT_EQ(_zolandm_cfg_set(c, "U", "key", "value with ; inside"), 0);
  EXPECT_EQ(saved(c),
            "a = 1\nlonger_top = 2\n[ODBC]\t; trace\n  cont\t;c\nk = v\n\n[S]\n;x\n\n[T]\n\n[U]\n"
            "key = value with ; inside\n");
}

TEST_F(OdbcConfigFile, SaveOnlyWhenDirty) {
  const std::string odd = "[A]\n  k=v   ; odd spacing\n";
  zolandm_config* c = open_text(odd);
  EXPECT_EQ(_zolandm_cfg_save(c), 0);
  EXPECT_EQ(read_text(c->fileName), odd);
  ASSERT_EQ(_zolandm_cfg_set(c, "A", "x", "1"), 0);
  ASSERT_EQ(_zolandm_cfg_load(c), 1);  // drops the edit
  EXPECT_EQ(_zolandm_cfg_save(c), 0);
  EXPECT_EQ(read_text(c->fileName), odd);
}

TEST_F(OdbcConfigFile, SaveKeepsPermissionsAndFollowsLinks) {
  zolandm_config* c = open_text("[A]\nk=v\n");
  std::string file = c->fileName;
  ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  std::string link = path("link.ini");
  ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
  zolandm_config* l = nullptr;
  ASSERT_EQ(_zolandm_cfg_open(&l, link.c_str(), 0), 0);
  ASSERT_EQ(_zolandm_cfg_set(l, "A", "k", "w"), 0);
  ASSERT_EQ(_zolandm_cfg_save(l), 0);
  _zolandm_cfg_free(l);
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(read_text(file), "[A]\nk = w\n");
  // No temporary file is left behind.
  std::vector<std::string> names;
  for (auto& entry : std::filesystem::directory_iterator(dir_))
    if (!entry.is_directory()) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"link.ini", "test.ini"}));
}

TEST_F(OdbcConfigFile, SaveReportsWriteErrorsInPlace) {
  // A device is rewritten in place; /dev/full fails every write.
  zolandm_config* c = nullptr;
  ASSERT_EQ(_zolandm_cfg_open(&c, "/dev/full", 0), 0);
  ASSERT_EQ(_zolandm_cfg_set(c, "A", "k", "v"), 0);
  EXPECT_EQ(_zolandm_cfg_save(c), -1);
  EXPECT_EQ(c->dirty, 1);
  _zolandm_cfg_free(c);
}

TEST_F(OdbcConfigFile, FailedSaveLeavesTheOriginal) {
  const std::string original = "[A]\nk=v\n";
  zolandm_config* c = open_text(original);
  ASSERT_EQ(_zolandm_cfg_set(c, "A", "big", std::string(8192, 'x').c_str()), 0);
  fflush(nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // The file size limit makes the temporary file's write fail.
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(_zolandm_cfg_save(c) == -1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(read_text(c->fileName), original);
  size_t files = 0;
  for (auto& entry : std::filesystem::directory_iterator(dir_)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);
}

TEST_F(OdbcConfigFile, ReadOnlyFileIsNotReplaced) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  // A directory anyone may write, holding a file only its owner may.
  std::string open_dir = path("open");
  ASSERT_EQ(mkdir(open_dir.c_str(), 0777), 0);
  ASSERT_EQ(chmod(open_dir.c_str(), 0777), 0);
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  std::string file = open_dir + "/ro.ini";
  write_text(file, "[A]\nk=v\n");
  ASSERT_EQ(chmod(file.c_str(), 0644), 0);
  zolandm_config* c = nullptr;
  ASSERT_EQ(_zolandm_cfg_open(&c, file.c_str(), 0), 0);
  ASSERT_EQ(_zolandm_cfg_set(c, "A", "k", "changed"), 0);
  fflush(nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    _exit(_zolandm_cfg_save(c) == -1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  _zolandm_cfg_free(c);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(read_text(file), "[A]\nk=v\n");
}

TEST_F(OdbcConfigFile, FileInAClosedDirectoryIsRewrittenInPlace) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  // A directory only its owner may write, holding a file anyone may.
  std::string closed_dir = path("closed");
  ASSERT_EQ(mkdir(closed_dir.c_str(), 0755), 0);
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  std::string file = closed_dir + "/rw.ini";
  write_text(file, "[A]\nk=v\n");
  ASSERT_EQ(chmod(file.c_str(), 0666), 0);
  struct stat before;
  ASSERT_EQ(stat(file.c_str(), &before), 0);
  zolandm_config* c = nullptr;
  ASSERT_EQ(_zolandm_cfg_open(&c, file.c_str(), 0), 0);
  ASSERT_EQ(_zolandm_cfg_set(c, "A", "k", "changed"), 0);
  fflush(nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    _exit(_zolandm_cfg_save(c) == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  _zolandm_cfg_free(c);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(read_text(file), "[A]\nk = changed\n");
  struct stat after;
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // the same file, not a replacement
  EXPECT_EQ(after.st_mode & 07777, 0666u);
  size_t files = 0;
  for (auto& entry : std::filesystem::directory_iterator(closed_dir)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);
}

TEST_F(OdbcConfigFile, GrowsPastTheFirstArray) {
  std::string text = "[S]\n";
  for (int i = 0; i < 400; ++i) text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  zolandm_config* c = open_text(text);
  EXPECT_EQ(c->numEntries, 401u);
  EXPECT_EQ(c->maxEntries, 526u);  // 103, 155, 233, 350, 526: half plus one more each time
  ASSERT_EQ(_zolandm_cfg_find(c, "S", "k399"), 0);
  EXPECT_STREQ(c->value, "399");
}

TEST_F(OdbcConfigFile, Lists) {
  zolandm_config* c = open_text("[A]\nk1=1\n'q'=2\n  v\n[B]\n[a]\nz=1\n");
  char buf[64];
  EXPECT_EQ(_zolandm_cfg_list_sections(c, buf, sizeof buf), 6);
  EXPECT_EQ(std::string(buf, 7), std::string("A\0B\0a\0\0", 7));
  EXPECT_EQ(_zolandm_cfg_list_keys(c, "a", buf, sizeof buf), 7);
  EXPECT_EQ(std::string(buf, 8), std::string("k1\0'q'\0\0", 8));
  EXPECT_EQ(_zolandm_cfg_list_keys(c, "B", buf, sizeof buf), 0);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(_zolandm_cfg_list_keys(c, "none", buf, sizeof buf), 0);
  buf[0] = 'x';
  EXPECT_EQ(_zolandm_cfg_list_sections(c, buf, 0), 0);
  EXPECT_EQ(buf[0], 'x');
}

TEST_F(OdbcConfigFile, ListsThatDoNotFitStayTerminated) {
  zolandm_config* c = open_text("[alpha]\n[beta]\n[gamma]\n");
  struct Case {
    int size;
    int result;
    std::string kept;  // the list up to and including its closing NUL
  } cases[] = {
      {18, 17, std::string("alpha\0beta\0gamma\0\0", 18)},
      {17, 17, std::string("alpha\0beta\0\0", 12)},
      {12, 12, std::string("alpha\0beta\0\0", 12)},
      {11, 11, std::string("alpha\0\0", 7)},
      {7, 7, std::string("alpha\0\0", 7)},
      {6, 6, std::string("\0", 1)},
      {1, 1, std::string("\0", 1)},
  };
  for (const Case& k : cases) {
    std::vector<char> buf(static_cast<size_t>(k.size) + 8, '#');
    EXPECT_EQ(_zolandm_cfg_list_sections(c, buf.data(), k.size), k.result) << k.size;
    EXPECT_EQ(std::string(buf.data(), k.kept.size()), k.kept) << k.size;
    EXPECT_EQ(buf[static_cast<size_t>(k.size)], '#') << "wrote past the buffer, size " << k.size;
  }
}

TEST(OdbcBoundedStrings, CopyAndAppend) {
  char buf[8];
  std::memset(buf, 'z', sizeof buf);
  EXPECT_EQ(_zolandm_copy_bounded(buf, "abc", 0), 3u);
  EXPECT_EQ(buf[0], 'z');
  EXPECT_EQ(_zolandm_copy_bounded(buf, "abcdefghij", 5), 10u);
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(_zolandm_copy_bounded(buf, "ab", 8), 2u);
  EXPECT_STREQ(buf, "ab");
  EXPECT_EQ(_zolandm_append_bounded(buf, "cdefghij", 8), 10u);
  EXPECT_STREQ(buf, "abcdefg");
  std::memcpy(buf, "12345678", 8);  // no NUL within the size
  EXPECT_EQ(_zolandm_append_bounded(buf, "xyz", 8), 11u);
  EXPECT_EQ(std::string(buf, 8), "12345678");
}

TEST(OdbcBoundedStrings, UnquoteAndMatch) {
  struct Case {
    const char* in;
    const char* want;
  } cases[] = {
      {"Driver", "Driver"}, {"'Driver'", "Driver"}, {"\"Driver\"", "Driver"},
      {"\"'x", "x"},        {"a'b\"c", "a"},        {"a\"b'c", "a"},
      {"''", nullptr},      {"", nullptr},          {"\"", nullptr},
  };
  for (const Case& c : cases) {
    char* out = _zolandm_unquote_dup(c.in);
    EXPECT_STREQ(out ? out : "<null>", c.want ? c.want : "<null>") << c.in;
    std::free(out);
  }
  const char* text = "abcdef";
  EXPECT_EQ(_zolandm_list_match(text, "cd", 1), text);
  EXPECT_EQ(_zolandm_list_match(text, "abcdef", 0), text);
  EXPECT_EQ(_zolandm_list_match("", "", 0), nullptr);
  EXPECT_EQ(_zolandm_list_match(text, "cd", 0), nullptr);
}

class OdbcIniLocation : public odbcconfig_test::OdbcEnv {
 protected:
  std::string locate(int which, int create, size_t size = 1024) {
    char buf[1024];
    return _zolandm_locate_ini_file(buf, size, which, create) ? buf : "<null>";
  }
};

TEST_F(OdbcIniLocation, LookupOrder) {
  EXPECT_EQ(locate(ZOLANDM_ODBC_INI, 0), user_ini_);
  EXPECT_EQ(locate(ZOLANDM_ODBCINST_INI, 0), user_inst_);

  // A named file that is missing: on to HOME, which has none either.
  std::filesystem::remove(user_ini_);
  std::filesystem::remove(user_inst_);
  EXPECT_EQ(locate(ZOLANDM_ODBC_INI, 0), "<null>");
  EXPECT_EQ(locate(ZOLANDM_ODBCINST_INI, 0), sys_inst_);  // odbcinst.ini goes on to the system
  write_text(path("home/.odbc.ini"), "");
  EXPECT_EQ(locate(ZOLANDM_ODBC_INI, 0), path("home/.odbc.ini"));

  // With the create flag the named file is made and taken.
  EXPECT_EQ(locate(ZOLANDM_ODBC_INI, 1), user_ini_);
  EXPECT_TRUE(std::filesystem::exists(user_ini_));

  // Without a named file, the home path is taken with the create flag.
  unsetenv("ODBCINSTINI");
  EXPECT_EQ(locate(ZOLANDM_ODBCINST_INI, 1), path("home/.odbcinst.ini"));
  EXPECT_FALSE(std::filesystem::exists(path("home/.odbcinst.ini")));

  _zolandm_config_scope = 1;
  EXPECT_EQ(locate(ZOLANDM_ODBC_INI, 0), sys_ini_);
  EXPECT_EQ(locate(ZOLANDM_ODBCINST_INI, 0), sys_inst_);
  _zolandm_config_scope = 0;
}

TEST_F(OdbcIniLocation, SmallBuffers) {
  EXPECT_EQ(locate(ZOLANDM_ODBC_INI, 0, 9), "<null>");
  EXPECT_EQ(locate(ZOLANDM_ODBCINST_INI, 0, 13), "<null>");
  // A path that does not fit is not taken in part.
  EXPECT_EQ(locate(ZOLANDM_ODBC_INI, 0, user_ini_.size()), "<null>");
  EXPECT_EQ(locate(ZOLANDM_ODBC_INI, 0, user_ini_.size() + 1), user_ini_);
}

TEST_F(OdbcIniLocation, OpenNamedUsesTheScopeFile) {
  write_text(user_ini_, "[u]\n");
  write_text(sys_ini_, "[s]\n");
  zolandm_config* c = nullptr;
  ASSERT_EQ(_zolandm_cfg_open_named(&c, "/somewhere/else/odbc.ini", 0), 0);
  EXPECT_EQ(c->fileName, user_ini_);
  _zolandm_cfg_free(c);
  _zolandm_config_scope = 1;
  ASSERT_EQ(_zolandm_cfg_open_named(&c, "ODBC.INI", 0), 0);
  EXPECT_EQ(c->fileName, sys_ini_);
  _zolandm_cfg_free(c);
  _zolandm_config_scope = 0;
  ASSERT_EQ(_zolandm_cfg_open_named(&c, "x/ODBCINST.INI", 0), 0);
  EXPECT_EQ(c->fileName, user_inst_);
  _zolandm_cfg_free(c);
}

}  // namespace
