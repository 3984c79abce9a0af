// End to end through the cursor engine: the real sqlgate through the launcher,
// the wire client and the SQLite driver. The engine's capability string, the
// cursor options negotiated through its information answers, static cursors
// read from their snapshot, and the agent's temporary files gone when the
// session ends.
#include <dirent.h>
#include <unistd.h>

#include "agent_client.h"

using namespace agent_test;

namespace {

class AgentCursorE2E : public AgentTest {
 protected:
  void Fill(int n) {
    ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE t (i INTEGER, s VARCHAR(20), d DOUBLE)"), ER_SUCCESS);
    ASSERT_EQ(cl->Exec(hConn, "WITH RECURSIVE g(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM g WHERE x < " +
                                  std::to_string(n) + ") INSERT INTO t SELECT x, 'r' || x, x / 2.0 FROM g"),
              ER_SUCCESS)
        << cl->Errors(hConn);
  }
  // Unnamed files the agent holds open.
  int AgentTempFiles() {
    int n = 0;
    std::string fdDir = "/proc/" + std::to_string(proc->agentPid()) + "/fd";
    DIR* d = opendir(fdDir.c_str());
    if (!d) return -1;
    while (dirent* e = readdir(d)) {
      char target[4096] = {0};
      if (e->d_name[0] != '.' && readlink((fdDir + "/" + e->d_name).c_str(), target, sizeof target - 1) > 0 &&
          strstr(target, "(deleted)"))
        n++;
    }
    closedir(d);
    return n;
  }
};

TEST_F(AgentCursorE2E, CapabilityStringOverTheWire) {
  StartConnected();
  std::string text;
  errcode_t e = ER_GENERAL_ERROR;
  ASSERT_EQ(wire_client_get_text(cl->c, hConn, 0x21010010, &text, &e), RPC_SUCCESS);
  EXPECT_EQ(e, ER_SUCCESS);
  sgn32 commit = -1;
  ASSERT_EQ(wire_client_get_int(cl->c, hConn, 0x22040017, &commit, &e), RPC_SUCCESS);
  EXPECT_EQ(text, "001.005:111111" + std::to_string(commit) + "00100");
}

TEST_F(AgentCursorE2E, CursorOptionsAreNegotiated) {
  StartConnected();
  handle_t h = cl->Cursor(hConn);
  struct Case {
    uns32 code;
    sgn32 value;
    errcode_t rc;
    sgn32 readBack;
  } cases[] = {
      {0x32030006, 3, ER_SUCCESS, 3},          // static
      {0x32030006, 1, ER_SUCCESS, 1},          // keyset-driven
      {0x32030006, 2, ER_OPT_VAL_CHANGED, 1},  // dynamic needs the second extended fetch
      {0x32030007, 4, ER_SUCCESS, 4},          // optimistic by values
  };
  for (const Case& k : cases) {
    errcode_t e = ER_GENERAL_ERROR;
    ASSERT_EQ(wire_client_set_int(cl->c, h, k.code, k.value, &e), RPC_SUCCESS);
    EXPECT_EQ(e, k.rc) << std::hex << k.code << " " << k.value;
    sgn32 v = -1;
    ASSERT_EQ(wire_client_get_int(cl->c, h, k.code, &v, &e), RPC_SUCCESS);
    EXPECT_EQ(v, k.readBack) << std::hex << k.code;
  }
}

TEST_F(AgentCursorE2E, StaticFetchReadsTheSnapshot) {
  StartConnected();
  Fill(6000);
  const std::string sql = "SELECT i, s, d FROM t ORDER BY i";
  Rows forward = cl->Query(hConn, sql, 100);
  ASSERT_EQ(forward.size(), 6000u);
  handle_t h = cl->Cursor(hConn);
  errcode_t e = ER_GENERAL_ERROR;
  ASSERT_EQ(wire_client_set_int(cl->c, h, 0x32030006, 3, &e), RPC_SUCCESS);
  ASSERT_EQ(e, ER_SUCCESS);
  ASSERT_EQ(cl->Prepare(h, sql), ER_SUCCESS);
  const int before = AgentTempFiles();
  ASSERT_EQ(cl->Execute(h), ER_SUCCESS);
  // The whole result was read at execute and spilled into the agent's two unnamed files.
  EXPECT_EQ(AgentTempFiles(), before + 2);
  Rows first;
  ASSERT_EQ(cl->Fetch(h, 100, &first), 100);
  // Rows added after the execute are not in the snapshot.
  ASSERT_EQ(cl->Exec(hConn, "INSERT INTO t VALUES (7000, 'late', 0)"), ER_SUCCESS);
  Rows rest = cl->FetchAll(h, 100);
  first.insert(first.end(), rest.begin(), rest.end());
  EXPECT_EQ(first, forward);
  // Ending the session ends the cursor and its files.
  ASSERT_EQ(cl->Simple(dbsvc_endserver, hServer), ER_SUCCESS);
  EXPECT_EQ(AgentTempFiles(), before);
}

}  // namespace
