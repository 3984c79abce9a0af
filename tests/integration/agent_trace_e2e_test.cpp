// End to end with driver-manager tracing: the real sqlgate through the launcher, the wire
// client, the SQLite driver, and the Trace and TraceFile keys of the tests' own odbc.ini.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "agent_client.h"

using namespace agent_test;

namespace {

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

// The record headers of a trace, each without its application name and thread id:
// "ENTER SQLPrepare", "EXIT  SQLPrepare with return code 0 (SQL_SUCCESS)".
std::vector<std::string> Headers(const std::string& text) {
  std::vector<std::string> headers;
  size_t at = 0;
  while ((at = text.find("\n[", at)) != std::string::npos) {
    size_t line = text.find('\n', at + 1);
    if (line == std::string::npos) break;
    size_t end = text.find('\n', line + 1);
    std::string header = text.substr(line + 1, end - line - 1);
    size_t kind = header.find(" ENTER ");
    if (kind == std::string::npos) kind = header.find(" EXIT  ");
    if (kind != std::string::npos) headers.push_back(header.substr(kind + 1));
    at = line;
  }
  return headers;
}

const std::string kBannerHead = "** Zolan Trace file\n** Trace started on ";
const std::string kTrailerHead = "\n** Trace finished on ";

class AgentTraceE2E : public AgentTest {
 protected:
  // Connecting by name, the SQLite driver's installer library leaks records of its own (see
  // AgentTest::ToleratePluginLeaks).
  void SetUp() override { ToleratePluginLeaks(); }
  // The agent reads odbc.ini at its first connect: the ini written by Start is replaced here.
  // The SQLite driver reads a data source's TraceFile key too and appends its own lines there.
  void TraceConfig(const std::string& odbcSection, const std::string& dsnKeys = "") {
    test_support::write_file(dir.file("odbc.ini"), "[ODBC]\n" + odbcSection +
                                                       "\n[testdb]\nDriver=SQLite3\nDatabase=" +
                                                       dir.file("test.db") + "\n" + dsnKeys);
  }
  handle_t ConnectByName() {
    if (!named) {
      EXPECT_EQ(cl->AgentName(hServer), "odbc");
      named = true;
    }
    handle_t h = 0;
    std::string fail;
    EXPECT_EQ(cl->Connect(hServer, "testdb", nullptr, &h, &fail), ER_SUCCESS) << fail;
    return h;
  }
  bool named = false;
  std::set<std::string> Files() {
    std::set<std::string> names;
    DIR* d = opendir(dir.path().c_str());
    if (d == nullptr) return names;
    while (struct dirent* e = readdir(d)) names.insert(e->d_name);
    closedir(d);
    return names;
  }
};

// The [ODBC] keys: the name template expands with HOME, the agent's process id and the
// sequence number; the trace begins with the banner and ends with the trailer when the last
// environment goes; the next connection's environment starts the next file.
TEST_F(AgentTraceE2E, TraceFileFromTheOdbcSection) {
  Start();
  TraceConfig("Trace=Yes\nTraceFile=$H/agent.$P.$S.log\n");
  handle_t h = ConnectByName();
  ASSERT_EQ(cl->Exec(h, "CREATE TABLE t (a INTEGER, b VARCHAR(10), c TEXT)"), ER_SUCCESS);
  ASSERT_EQ(cl->Exec(h, "INSERT INTO t VALUES (1, 'one', 'a long value')"), ER_SUCCESS);
  EXPECT_EQ(cl->Query(h, "SELECT a, b FROM t"), (Rows{{"1", "one"}}));
  ASSERT_EQ(cl->SetInt(h, 0x2201000f, 1), ER_SUCCESS);  // long values come later, in pieces
  handle_t cursor = cl->Cursor(h);
  ASSERT_EQ(cl->Prepare(cursor, "SELECT c FROM t"), ER_SUCCESS);
  ASSERT_EQ(cl->Execute(cursor), ER_SUCCESS);
  Rows rows;
  ASSERT_EQ(cl->Fetch(cursor, 10, &rows), 1);
  errcode_t e = ER_SUCCESS;
  EXPECT_EQ(cl->GetLong(cursor, 1, 1000, &e), "a long value");
  ASSERT_EQ(cl->Simple(dbsvc_endcursor, cursor), ER_SUCCESS);
  const std::string pid = std::to_string(proc->agentPid());
  ASSERT_NE(pid, "0");
  const std::string first = dir.file("agent." + pid + ".1.log");
  std::string text = test_support::read_file(first);
  EXPECT_EQ(text.substr(0, kBannerHead.size()), kBannerHead) << text;
  EXPECT_NE(text.find("\n** Driver Manager: 03.52.1015.0210\n\n"), std::string::npos) << text;
  EXPECT_EQ(Count(text, kTrailerHead), 0);

  ASSERT_EQ(cl->Simple(dbsvc_endconnect, h), ER_SUCCESS);
  text = test_support::read_file(first);
  EXPECT_EQ(Count(text, kTrailerHead), 1) << text;
  EXPECT_EQ(text.rfind(kTrailerHead), text.size() - kTrailerHead.size() - 25) << text;
  // One entry and one exit record for every call, in the one thread of the agent, from the
  // first environment's allocation to its release.
  std::vector<std::string> headers = Headers(text);
  ASSERT_GE(headers.size(), 4u);
  EXPECT_EQ(headers.front(), "ENTER SQLAllocEnv");
  EXPECT_EQ(headers.back(), "EXIT  SQLFreeEnv with return code 0 (SQL_SUCCESS)");
  for (size_t i = 0; i + 1 < headers.size(); i += 2) {
    ASSERT_EQ(headers[i].substr(0, 6), "ENTER ") << i;
    ASSERT_EQ(headers[i + 1].rfind("EXIT  " + headers[i].substr(6) + " with return code ", 0), 0u)
        << headers[i + 1];
  }
  for (const char* call : {"EXIT  SQLConnect with return code 0 (SQL_SUCCESS)",
                           "EXIT  SQLFetch with return code 100 (SQL_NO_DATA_FOUND)",
                           "EXIT  SQLGetData with return code 0 (SQL_SUCCESS)",
                           "EXIT  SQLDisconnect with return code 0 (SQL_SUCCESS)"}) {
    EXPECT_NE(std::find(headers.begin(), headers.end(), call), headers.end()) << call;
  }
  // The statement texts on entry, the data read on a successful exit.
  EXPECT_NE(text.find(" ENTER SQLPrepare\n\t\tSQLHSTMT          0x"), std::string::npos);
  EXPECT_NE(text.find("\t\t\t\t  | INSERT INTO t VALUES (1, 'one', 'a long  |\n"
                      "\t\t\t\t  | value')                                  |\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\t\t\t\t  | a long value                             |\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nsqlgate         "), std::string::npos);

  struct stat st;
  ASSERT_EQ(stat(first.c_str(), &st), 0);
  mode_t mask = umask(0);  // the agent's, inherited from this process
  umask(mask);
  EXPECT_EQ(st.st_mode & 0777, 0644u & ~mask);

  h = ConnectByName();
  EXPECT_EQ(cl->Query(h, "SELECT a FROM t"), (Rows{{"1"}}));
  ASSERT_EQ(cl->Simple(dbsvc_endconnect, h), ER_SUCCESS);
  std::string second = test_support::read_file(dir.file("agent." + pid + ".2.log"));
  EXPECT_EQ(second.substr(0, kBannerHead.size()), kBannerHead);
  EXPECT_EQ(Count(second, kTrailerHead), 1);
}

TEST_F(AgentTraceE2E, TraceFileStderr) {
  Start();
  TraceConfig("Trace=1\nTraceFile=stderr\n");
  handle_t h = ConnectByName();
  ASSERT_EQ(cl->Exec(h, "CREATE TABLE t (a INTEGER)"), ER_SUCCESS);
  ASSERT_EQ(cl->Simple(dbsvc_endconnect, h), ER_SUCCESS);
  std::string err = test_support::read_file(dir.file("stderr"));
  EXPECT_EQ(Count(err, kBannerHead), 1) << err;
  EXPECT_EQ(Count(err, kTrailerHead), 1) << err;
}

TEST_F(AgentTraceE2E, TraceNoCreatesNothing) {
  Start();
  TraceConfig("Trace=No\nTraceFile=" + dir.file("never.$S.log") + "\n", "Trace=no\n");
  std::set<std::string> before = Files();
  handle_t h = ConnectByName();
  ASSERT_EQ(cl->Exec(h, "CREATE TABLE t (a INTEGER)"), ER_SUCCESS);
  ASSERT_EQ(cl->Simple(dbsvc_endconnect, h), ER_SUCCESS);
  std::set<std::string> after = Files();
  before.insert("test.db");
  EXPECT_EQ(after, before);
  EXPECT_EQ(test_support::read_file(dir.file("stderr")).find("Zolan"), std::string::npos);
}

// A data source traced into one file, with two connections to it: the second connect keeps the
// stream, so the first connection's records stay (the agent runs as root in the test machines,
// where opening the existing file anew would fail and end the trace).
TEST_F(AgentTraceE2E, SecondConnectionToATracedDataSourceKeepsTheFile) {
  Start();
  TraceConfig("", "Trace=Yes\nTraceFile=" + dir.file("dsn.log") + "\n");
  handle_t first = ConnectByName();
  ASSERT_EQ(cl->Exec(first, "CREATE TABLE t (a INTEGER)"), ER_SUCCESS);
  std::string before = test_support::read_file(dir.file("dsn.log"));
  ASSERT_EQ(before.substr(0, kBannerHead.size()), kBannerHead);
  handle_t second = ConnectByName();
  ASSERT_EQ(cl->Exec(second, "INSERT INTO t VALUES (2)"), ER_SUCCESS);
  ASSERT_EQ(cl->Exec(first, "INSERT INTO t VALUES (1)"), ER_SUCCESS);
  std::string after = test_support::read_file(dir.file("dsn.log"));
  EXPECT_EQ(after.substr(0, before.size()), before);
  EXPECT_EQ(Count(after, kBannerHead), 1);
  EXPECT_EQ(Count(after, kTrailerHead), 0);
  ASSERT_EQ(cl->Simple(dbsvc_endconnect, second), ER_SUCCESS);
  ASSERT_EQ(cl->Simple(dbsvc_endconnect, first), ER_SUCCESS);
  after = test_support::read_file(dir.file("dsn.log"));
  EXPECT_EQ(Count(after, kTrailerHead), 1);
}

// A trace file that cannot be opened leaves tracing off; the session works as ever.
TEST_F(AgentTraceE2E, UnopenableTraceFile) {
  Start();
  TraceConfig("Trace=Yes\nTraceFile=" + dir.file("no/such/dir.log") + "\n");
  handle_t h = ConnectByName();
  ASSERT_EQ(cl->Exec(h, "CREATE TABLE t (a INTEGER)"), ER_SUCCESS);
  ASSERT_EQ(cl->Exec(h, "INSERT INTO t VALUES (7)"), ER_SUCCESS);
  EXPECT_EQ(cl->Query(h, "SELECT a FROM t"), (Rows{{"7"}}));
  ASSERT_EQ(cl->Simple(dbsvc_endconnect, h), ER_SUCCESS);
}

}  // namespace
