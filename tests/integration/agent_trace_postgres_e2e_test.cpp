// End to end with driver-manager tracing on PostgreSQL: a traced session of the real sqlgate
// through psqlodbca.so on the test command's server.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "agent_client.h"

using namespace agent_test;

namespace {

TEST(AgentTracePgE2E, TracedSession) {
  if (!getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
  test_support::TempDir dir;
  WriteConfig(dir);
  const char* user = getenv("SQLGATE_PG_USER");
  const char* db = getenv("SQLGATE_PG_DB");
  test_support::write_file(dir.file("odbc.ini"),
                           "[ODBC]\nTrace=Yes\nTraceFile=" + dir.file("pg.$S.log") +
                               "\n[pg]\nDriver=PostgreSQL ANSI\nServername=127.0.0.1\nPort=" +
                               getenv("SQLGATE_PG_PORT") + "\nDatabase=" + (db ? db : "sqlgate") +
                               "\nUsername=" + (user ? user : "postgres") + "\nPassword=\n");
  AgentProcess proc(LAUNCH_BINARY, SQLGATE_BINARY, {}, dir.file("stderr"));
  ASSERT_GT(proc.port(), 0);
  {
    AgentClient cl(proc.port());
    handle_t hServer = cl.Server();
    ASSERT_EQ(cl.AgentName(hServer), "odbc");
    handle_t h = 0;
    std::string fail;
    ASSERT_EQ(cl.Connect(hServer, "pg", nullptr, &h, &fail), ER_SUCCESS) << fail;
    cl.Exec(h, "DROP TABLE IF EXISTS trace_e2e");
    ASSERT_EQ(cl.Exec(h, "CREATE TABLE trace_e2e (i INTEGER, s VARCHAR(20))"), ER_SUCCESS);
    ASSERT_EQ(cl.Exec(h, "INSERT INTO trace_e2e VALUES (1, 'traced')"), ER_SUCCESS);
    EXPECT_EQ(cl.Query(h, "SELECT i, s FROM trace_e2e"), (Rows{{"1", "traced"}}));
    ASSERT_EQ(cl.Exec(h, "DROP TABLE trace_e2e"), ER_SUCCESS);
    ASSERT_EQ(cl.Simple(dbsvc_endconnect, h), ER_SUCCESS);
  }
  proc.signal(SIGTERM);
  EXPECT_EQ(proc.wait(), 0);
  std::string text = test_support::read_file(dir.file("pg.1.log"));
  EXPECT_EQ(text.rfind("** Zolan Trace file\n** Trace started on ", 0), 0u) << text;
  EXPECT_NE(text.find("\n** Trace finished on "), std::string::npos) << text;
  EXPECT_NE(text.find(" EXIT  SQLConnect with return code 0 (SQL_SUCCESS)\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\t\t\t\t  | SELECT i, s FROM trace_e2e               |\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" EXIT  SQLFreeEnv with return code 0 (SQL_SUCCESS)\n"), std::string::npos) << text;
}

}  // namespace
