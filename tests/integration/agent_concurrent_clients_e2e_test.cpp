// End to end: many clients of one agent at once. Eight clients with sessions
// of their own query, fetch and write together; two connections of one host
// work on one session's handles together, down to fetching from one cursor.
// Every answer must be the one a lone client would get. On SQLite and on
// PostgreSQL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <latch>
#include <memory>
#include <string>
#include <vector>

#include "agent_client.h"
#include "bounded_call.h"

using namespace agent_test;

namespace {

constexpr int kRows = 2000;
// Whole workloads, however slow the build (ThreadSanitizer included).
constexpr int kWorkMs = 120000;

struct Db {
  const char* name;
  bool pg;
};
void PrintTo(const Db& db, std::ostream* os) { *os << db.name; }

class ConcurrentClients : public AgentTest, public ::testing::WithParamInterface<Db> {
 protected:
  void SetUp() override {
    if (GetParam().pg && !getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    ToleratePluginLeaks();  // many connections
    Start();
    ASSERT_EQ(cl->AgentName(hServer), "odbc");
    hConn = Connect(*cl, hServer, DbConnStr());
    ASSERT_NE(hConn, 0u);
    cl->Exec(hConn, "DROP TABLE IF EXISTS cc");
    ASSERT_EQ(cl->Exec(hConn, "CREATE TABLE cc (k INTEGER PRIMARY KEY, s VARCHAR(20))"), ER_SUCCESS);
    ASSERT_EQ(cl->Exec(hConn, Fill("cc", kRows)), ER_SUCCESS) << cl->Errors(hConn);
  }

  std::string DbConnStr() const {
    return GetParam().pg ? test_support::pg_conn_str() : ConnStr() + ";Timeout=60000";
  }
  // Rows 1..n of (k, 'r' || k).
  std::string Fill(const std::string& table, int n) const {
    std::string to = std::to_string(n);
    if (GetParam().pg)
      return "INSERT INTO " + table + " SELECT g, 'r' || g FROM generate_series(1, " + to + ") g";
    return "INSERT INTO " + table +
           " WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " + to +
           ") SELECT x, 'r' || x FROM c";
  }
  handle_t Connect(AgentClient& c, handle_t srv, const std::string& connStr) {
    handle_t h = 0;
    std::string fail;
    EXPECT_EQ(c.Connect(srv, nullptr, connStr.c_str(), &h, &fail), ER_SUCCESS) << fail;
    return h;
  }

  // Runs `work` on n threads at once, each with a client of its own; a
  // non-empty answer is the thread's complaint.
  void AllAtOnce(int n, const std::function<std::string(AgentClient&, int)>& work) {
    std::vector<std::unique_ptr<AgentClient>> clients;
    for (int i = 0; i < n; i++) clients.push_back(std::make_unique<AgentClient>(proc->port()));
    std::latch start(n);
    std::vector<std::unique_ptr<BoundedCall<std::string>>> calls;
    for (int i = 0; i < n; i++)
      calls.push_back(std::make_unique<BoundedCall<std::string>>(proc.get(), [&, i] {
        start.arrive_and_wait();
        return work(*clients[size_t(i)], i);
      }));
    for (int i = 0; i < n; i++) {
      std::string who = "client " + std::to_string(i);
      if (calls[size_t(i)]->Await(who, kWorkMs)) {
        EXPECT_EQ(calls[size_t(i)]->Get(), "") << who;
      }
    }
  }
};

// The rows of a range of cc, as the table holds them.
Rows Expected(int from, int to, int step = 1) {
  Rows r;
  for (int k = from; k <= to; k += step) r.push_back({std::to_string(k), "r" + std::to_string(k)});
  return r;
}

TEST_P(ConcurrentClients, EightSessionsAtOnce) {
  const bool pg = GetParam().pg;
  AllAtOnce(8, [&](AgentClient& c, int i) -> std::string {
    handle_t srv = c.Server();
    c.AgentName(srv);
    handle_t conn = Connect(c, srv, DbConnStr());
    if (!conn) return "no connection";
    // Reads of the shared table: each its own slice, in blocks of several sizes.
    for (int round = 0; round < 10; round++) {
      uns16 block = uns16(1 + (i * 10 + round) % 97);
      Rows rows =
          c.Query(conn, "SELECT k, s FROM cc WHERE k % 8 = " + std::to_string(i) + " ORDER BY k", block);
      if (rows != Expected(i == 0 ? 8 : i, kRows, 8)) return "wrong rows in round " + std::to_string(round);
    }
    // Writes of its own: a table of its own (on SQLite in a file of its own).
    handle_t own = pg ? conn
                      : Connect(c, srv,
                                std::string("DRIVER=") + kSqliteDriver +
                                    ";Database=" + dir.file("own" + std::to_string(i) + ".db"));
    std::string t = "cc_" + std::to_string(i);
    c.Exec(own, "DROP TABLE IF EXISTS " + t);
    if (c.Exec(own, "CREATE TABLE " + t + " (k INTEGER PRIMARY KEY, s VARCHAR(20))") != ER_SUCCESS)
      return "create: " + c.Errors(own);
    if (c.Exec(own, Fill(t, 100 + i)) != ER_SUCCESS) return "insert: " + c.Errors(own);
    Rows sum = c.Query(own, "SELECT count(*), sum(k) FROM " + t);
    int n = 100 + i;
    if (sum != Rows{{std::to_string(n), std::to_string(n * (n + 1) / 2)}}) return "wrong count or sum";
    // A failure's texts stay with its own cursor.
    handle_t bad = c.Cursor(conn);
    errcode_t e = c.Prepare(bad, "SELECT nosuch" + std::to_string(i) + " FROM cc");
    if (e == ER_SUCCESS) e = c.Execute(bad);
    if (e == ER_SUCCESS) return "a bad statement ran";
    std::string texts = c.Errors(bad);
    if (texts.find("nosuch" + std::to_string(i)) == std::string::npos)
      return "another cursor's error: " + texts;
    c.Simple(dbsvc_endcursor, bad);
    c.Exec(own, "DROP TABLE " + t);
    if (own != conn && c.Simple(dbsvc_endconnect, own) != ER_SUCCESS) return "end of the own connection";
    if (c.Simple(dbsvc_endconnect, conn) != ER_SUCCESS) return "end of the connection";
    if (c.Simple(dbsvc_endserver, srv) != ER_SUCCESS) return "end of the session";
    return "";
  });
  EXPECT_EQ(cl->Query(hConn, "SELECT count(*) FROM cc"), (Rows{{std::to_string(kRows)}}));
}

// Handles belong to a host, so two connections of one host share a session:
// calls on its handles from both at once are answered one at a time.
TEST_P(ConcurrentClients, OneSessionFromTwoConnections) {
  // Both fetch from one cursor: each block comes whole, and together they
  // are the result, each row once.
  handle_t shared = cl->Cursor(hConn);
  ASSERT_EQ(cl->Prepare(shared, "SELECT k FROM cc ORDER BY k"), ER_SUCCESS) << cl->Errors(shared);
  ASSERT_EQ(cl->Execute(shared), ER_SUCCESS) << cl->Errors(shared);
  std::vector<Rows> got(2);
  AllAtOnce(2, [&](AgentClient& c, int i) -> std::string {
    Rows& mine = got[size_t(i)];
    for (int guard = 0; guard < kRows; guard++) {
      size_t before = mine.size();
      int n = c.Fetch(shared, 7, &mine);
      if (n == 0) return "";
      for (size_t r = before + 1; r < mine.size(); r++)
        if (std::stoi(mine[r][0]) != std::stoi(mine[r - 1][0]) + 1) return "a block not in one piece";
    }
    return "no end of the rows";
  });
  std::vector<int> keys;
  for (auto& rows : got)
    for (auto& r : rows) keys.push_back(std::stoi(r[0]));
  std::sort(keys.begin(), keys.end());
  std::vector<int> all(kRows);
  for (int k = 0; k < kRows; k++) all[size_t(k)] = k + 1;
  EXPECT_EQ(keys, all);
  std::printf("[ figure ] %s: blocks fetched %zu and %zu rows\n", GetParam().name, got[0].size(),
              got[1].size());
  cl->Simple(dbsvc_endcursor, shared);

  // Both run statements on cursors of their own on the one connection,
  // failures included.
  AllAtOnce(2, [&](AgentClient& c, int i) -> std::string {
    for (int round = 0; round < 40; round++) {
      int from = 1 + (round * 2 + i) * 10;
      Rows rows = c.Query(hConn,
                          "SELECT k, s FROM cc WHERE k BETWEEN " + std::to_string(from) + " AND " +
                              std::to_string(from + 9) + " ORDER BY k",
                          uns16(3 + i));
      if (rows != Expected(from, from + 9)) return "wrong rows in round " + std::to_string(round);
      handle_t bad = c.Cursor(hConn);
      std::string name = "nosuch_" + std::to_string(i) + "_" + std::to_string(round);
      errcode_t e = c.Prepare(bad, "SELECT " + name + " FROM cc");
      if (e == ER_SUCCESS) e = c.Execute(bad);
      std::string texts = c.Errors(bad);
      c.Simple(dbsvc_endcursor, bad);
      if (e == ER_SUCCESS) return "a bad statement ran";
      if (texts.find(name) == std::string::npos) return "another cursor's error: " + texts;
    }
    return "";
  });
  EXPECT_EQ(cl->Query(hConn, "SELECT count(*) FROM cc"), (Rows{{std::to_string(kRows)}}));
}

INSTANTIATE_TEST_SUITE_P(Drivers, ConcurrentClients,
                         ::testing::Values(Db{"SQLite", false}, Db{"PostgreSQL", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
