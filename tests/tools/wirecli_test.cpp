// The command-line wire client against the wire test server: the result table,
// the row count, the server's error texts and the exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "fixtures/wire_server/wire_test_server.h"

using test_support::WireTestServer;

namespace {
std::string run_cli(const std::string& args, int* status) {
  std::string cmd = std::string(WIRE_CLI_PATH) + " " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[256];
  while (p && std::fgets(buf, sizeof buf, p)) out += buf;
  int st = p ? pclose(p) : -1;
  *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
}
}  // namespace

TEST(WireCli, PrintsTableOrErrors) {
  WireTestServer server;
  ASSERT_NE(server.port(), 0);
  std::string port = std::to_string(server.port());
  int st = -1;
  std::string out;
  for (int i = 0; i < 50; ++i) {  // the server may still be starting
    out = run_cli("127.0.0.1 " + port + " good 'select id, name from t'", &st);
    if (st == 0) break;
    usleep(100000);
  }
  EXPECT_EQ(st, 0) << out;
  const std::string table = "id | name\n---+-----\n0  | row0\n1  | NULL\n(2 rows)\n";
  EXPECT_EQ(out, table);
  struct Case {
    std::string args;
    int status;
    std::string out;  // empty: not compared
  } cases[] = {
      {"nope 'select 1'", 1,
       "[ODBC Server]no such data source[SQLSTATE:08004]\n[ODBC Server]second line[SQLSTATE:08004]\n"},
      {"-c 'DSN=good;UID=u' 'select id, name from t'", 0, table},
      {"good 'update t set name = 1'", 0, "3 rows\n"},
  };
  for (const Case& c : cases) {
    out = run_cli("127.0.0.1 " + port + " " + c.args, &st);
    EXPECT_EQ(st, c.status) << c.args << "\n" << out;
    if (!c.out.empty()) {
      EXPECT_EQ(out, c.out) << c.args;
    }
  }
  out = run_cli("-u 127.0.0.1 " + port + " good 'select id, name from t'", &st);
  EXPECT_EQ(st, 0) << out;
  EXPECT_EQ(out, table);
  out = run_cli("127.0.0.1", &st);
  EXPECT_EQ(st, 2);
  EXPECT_EQ(server.stop(), 0);
}
