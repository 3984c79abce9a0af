// End to end: a client that waits on another client's row lock waits alone.
// Client A holds a row in an open transaction; client B's update of the same
// row waits in the driver; meanwhile the agent answers A's commit, serves a
// third client's fresh session, cancels B's call when B goes away, and ends
// on SIGTERM. On SQLite and on PostgreSQL.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "agent_client.h"
#include "bounded_call.h"
#include "model/drv_param_codes.h"

using namespace agent_test;

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point t) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

struct Db {
  const char* name;
  bool pg;
};
void PrintTo(const Db& db, std::ostream* os) { *os << db.name; }

class LockWait : public AgentTest, public ::testing::WithParamInterface<Db> {
 protected:
  handle_t hA = 0;  // A's connection: autocommit off, holding row 1

  void SetUp() override {
    if (GetParam().pg && !getenv("SQLGATE_PG_PORT")) GTEST_SKIP() << "SQLGATE_PG_PORT not set";
    ToleratePluginLeaks();  // several connections to one SQLite file
    Start();
    ASSERT_EQ(cl->AgentName(hServer), "odbc");
    hA = Connect(*cl, hServer);
    ASSERT_NE(hA, 0u);
    cl->Exec(hA, "DROP TABLE IF EXISTS lk");
    ASSERT_EQ(cl->Exec(hA, "CREATE TABLE lk (k INTEGER PRIMARY KEY, v INTEGER)"), ER_SUCCESS)
        << cl->Errors(hA);
    ASSERT_EQ(cl->Exec(hA, "INSERT INTO lk VALUES (1, 0)"), ER_SUCCESS) << cl->Errors(hA);
    ASSERT_EQ(cl->SetInt(hA, DRVP_CONN_AUTOCOMMIT, 0), ER_SUCCESS);
    ASSERT_EQ(cl->Exec(hA, "UPDATE lk SET v = 1 WHERE k = 1"), ER_SUCCESS) << cl->Errors(hA);
  }

  // SQLite's busy timeout outlasts every wait of these tests, so B waits in
  // the driver rather than failing.
  std::string DbConnStr() const {
    return GetParam().pg ? test_support::pg_conn_str() : ConnStr() + ";Timeout=60000";
  }
  handle_t Connect(AgentClient& c, handle_t srv) {
    handle_t h = 0;
    std::string fail;
    EXPECT_EQ(c.Connect(srv, nullptr, DbConnStr().c_str(), &h, &fail), ER_SUCCESS) << fail;
    return h;
  }
  // A session of its own: server, agent name, connection.
  handle_t Open(AgentClient& c) {
    handle_t s = c.Server();
    c.AgentName(s);
    return Connect(c, s);
  }

  // A query on another thread, bounded; its rows, or nothing when the agent
  // did not answer (the test has then failed).
  Rows Ask(AgentClient& c, handle_t conn, const std::string& sql, const std::string& what) {
    BoundedCall<Rows> q(proc.get(), [&] { return c.Query(conn, sql); });
    return q.Await(what) ? q.Get() : Rows{};
  }

  // Waits until `update` is held up by the lock: PostgreSQL shows its
  // backend waiting, as `other` (a session of a third client) sees; SQLite
  // shows nothing, so the call must still be waiting a moment later.
  bool ShowsWaiting(BoundedCall<Answer>& update, AgentClient& other, handle_t otherConn) {
    if (!GetParam().pg) return !update.Answered(500);
    auto start = Clock::now();
    while (MsSince(start) < kAnswerMs) {
      if (update.Answered(0)) return false;
      if (Ask(other, otherConn, kLockWaiters, "a third client's query") == Rows{{"1"}}) return true;
      if (HasFailure()) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  // B, a client of its own, with its update of A's row waiting in the driver,
  // and C, a third client whose fresh session is served meanwhile. Members
  // end in reverse order: the update's call before the clients it uses.
  struct Waiting {
    std::unique_ptr<AgentClient> b, c;
    handle_t hB = 0, hC = 0;
    std::unique_ptr<BoundedCall<Answer>> update;
  };
  void BWaitsOnA(Waiting& w) {
    w.b = std::make_unique<AgentClient>(proc->port());
    w.hB = Open(*w.b);
    ASSERT_NE(w.hB, 0u);
    w.update = std::make_unique<BoundedCall<Answer>>(
        proc.get(), [&w] { return ExecRaw(w.b->c, w.hB, "UPDATE lk SET v = 2 WHERE k = 1"); });
    w.c = std::make_unique<AgentClient>(proc->port());
    BoundedCall<handle_t> cOpen(proc.get(), [&w, this] { return Open(*w.c); });
    ASSERT_TRUE(cOpen.Await("a third client's fresh session"));
    w.hC = cOpen.Get();
    ASSERT_NE(w.hC, 0u);
    ASSERT_TRUE(ShowsWaiting(*w.update, *w.c, w.hC)) << "B's update did not wait for A's row lock";
  }

  static constexpr const char* kLockWaiters =
      "SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' AND datname = current_database()";
};

// A commits while B waits; a third client is served meanwhile; B's update
// then completes over A's.
TEST_P(LockWait, OthersAreServedWhileOneWaits) {
  Waiting w;
  ASSERT_NO_FATAL_FAILURE(BWaitsOnA(w));
  AgentClient &b = *w.b, &c = *w.c;
  BoundedCall<Answer>& bUpdate = *w.update;
  const handle_t hB = w.hB, hC = w.hC;
  EXPECT_EQ(Ask(c, hC, "SELECT v FROM lk WHERE k = 1", "a third client's query"), (Rows{{"0"}}));
  ASSERT_FALSE(bUpdate.Answered(0)) << "B's update ended while A held the row: " << bUpdate.Get();

  auto commitAt = Clock::now();
  BoundedCall<errcode_t> aCommit(proc.get(), [&] { return cl->Simple(dbsvc_commit, hA); });
  ASSERT_TRUE(aCommit.Await("A's commit while B waits"));
  long commitMs = MsSince(commitAt);
  EXPECT_EQ(aCommit.Get(), ER_SUCCESS) << cl->Errors(hA);
  ASSERT_TRUE(bUpdate.Await("B's update after A's commit"));
  Answer b2 = bUpdate.Get();
  EXPECT_TRUE(b2.Ok()) << b2 << "\n" << b.Errors(hB);
  std::printf("[ figure ] %s: A's commit answered in %ld ms, B's update done %ld ms after the commit\n",
              GetParam().name, commitMs, MsSince(commitAt));
  EXPECT_EQ(Ask(c, hC, "SELECT v FROM lk WHERE k = 1", "the row after both"), (Rows{{"2"}}));
  EXPECT_EQ(Ask(*cl, hA, "SELECT v FROM lk WHERE k = 1", "A's query"), (Rows{{"2"}}));
}

// SIGTERM while B waits in the driver: the agent cancels the wait, rolls A
// back and exits 0, leaving neither update behind.
TEST_P(LockWait, SigtermEndsAWaitingAgent) {
  Waiting w;
  ASSERT_NO_FATAL_FAILURE(BWaitsOnA(w));
  BoundedCall<Answer>& bUpdate = *w.update;

  auto at = Clock::now();
  proc->signal(SIGTERM);
  int code = proc->wait(5000);
  long ms = MsSince(at);
  std::printf("[ figure ] %s: SIGTERM to exit while a call waits: %ld ms\n", GetParam().name, ms);
  if (code == -1) {
    ADD_FAILURE() << "the agent did not end within 5 s of SIGTERM while B waited";
    KillAgent(proc.get());
    proc->wait();
  } else {
    EXPECT_EQ(code, 0) << test_support::read_file(dir.file("stderr"));
  }
  ASSERT_TRUE(bUpdate.Await("B's update once the agent is gone", 2000));
  Answer b2 = bUpdate.Get();
  EXPECT_FALSE(b2.Ok()) << "B's update went through after SIGTERM";

  // A fresh agent sees the row as it was: A's work rolled back, B's update
  // cancelled rather than run once A's lock went.
  cl.reset();
  Start();
  ASSERT_EQ(cl->AgentName(hServer), "odbc");
  handle_t h = Connect(*cl, hServer);
  if (GetParam().pg) {
    // The old agent's backends end once their connections are closed.
    const std::string others =
        "SELECT count(*) FROM pg_stat_activity WHERE datname = current_database() AND backend_type = 'client "
        "backend' AND pid <> pg_backend_pid()";
    auto start = Clock::now();
    while (cl->Query(h, others) != Rows{{"0"}} && MsSince(start) < kAnswerMs)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(cl->Query(h, others), (Rows{{"0"}}));
  }
  EXPECT_EQ(cl->Query(h, "SELECT v FROM lk WHERE k = 1"), (Rows{{"0"}}));
}

// B goes away while its update waits: the call is cancelled and B's session
// ended, and B's update never happens; A's work goes on untouched. On
// PostgreSQL the cancel ends the wait at once, while A still holds the row;
// the SQLite driver ends a cancelled statement only when its lock wait ends,
// so there B's session ends once A commits.
TEST_P(LockWait, ADisconnectCancelsTheWaitingCall) {
  const bool pg = GetParam().pg;
  AgentClient c(proc->port());
  handle_t hC = Open(c);
  ASSERT_NE(hC, 0u);
  {
    AgentClient b(proc->port());
    handle_t hB = Open(b);
    ASSERT_NE(hB, 0u);
    // B commits what it updates: an update that was not cancelled would go
    // through once A lets the row go.
    BoundedCall<Answer> bUpdate(proc.get(),
                                [&] { return ExecRaw(b.c, hB, "UPDATE lk SET v = 2 WHERE k = 1"); });
    ASSERT_TRUE(ShowsWaiting(bUpdate, c, hC)) << "B's update did not wait for A's row lock";
    shutdown(b.c->sock, SHUT_RDWR);
    ASSERT_TRUE(bUpdate.Await("B's own call once its socket is shut", 2000));
    EXPECT_FALSE(bUpdate.Get().Ok());
  }
  const std::string ended = "closed: ended 1 cursors, 1 connections, 1 sessions";
  auto waitForEnd = [&] {
    auto start = Clock::now();
    while (Log().find(ended) == std::string::npos && MsSince(start) < kAnswerMs)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return Log().find(ended) != std::string::npos;
  };
  if (pg) {
    EXPECT_TRUE(waitForEnd()) << "B's session was not ended while its call waited on A";
    EXPECT_EQ(Ask(c, hC, kLockWaiters, "a third client's query"), (Rows{{"0"}}));
  } else {
    // Nothing shows the cancel on SQLite: give the agent time to notice.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  }

  BoundedCall<errcode_t> aCommit(proc.get(), [&] { return cl->Simple(dbsvc_commit, hA); });
  ASSERT_TRUE(aCommit.Await("A's commit"));
  EXPECT_EQ(aCommit.Get(), ER_SUCCESS) << cl->Errors(hA);
  if (!pg) {
    EXPECT_TRUE(waitForEnd()) << "B's session was not ended once A let the row go";
  }
  EXPECT_EQ(Ask(c, hC, "SELECT v FROM lk WHERE k = 1", "the row after A's commit"), (Rows{{"1"}}))
      << "B's update ran after its client had gone";
  // Nothing of B's holds the row: A updates it again without waiting.
  BoundedCall<errcode_t> again(proc.get(), [&] {
    errcode_t e = cl->Exec(hA, "UPDATE lk SET v = 3 WHERE k = 1");
    return e == ER_SUCCESS ? cl->Simple(dbsvc_commit, hA) : e;
  });
  ASSERT_TRUE(again.Await("A's second update"));
  EXPECT_EQ(again.Get(), ER_SUCCESS) << cl->Errors(hA);
  EXPECT_EQ(Ask(c, hC, "SELECT v FROM lk WHERE k = 1", "the row at the end"), (Rows{{"3"}}));
}

// Two connections of one host reach one session: a call on it over the
// second connection waits its turn while the first's call waits in the
// driver, and other sessions go on meanwhile.
TEST_P(LockWait, ASessionsCallsTakeTurns) {
  Waiting w;
  ASSERT_NO_FATAL_FAILURE(BWaitsOnA(w));
  AgentClient &b = *w.b, &c = *w.c;
  BoundedCall<Answer>& bUpdate = *w.update;
  const handle_t hB = w.hB, hC = w.hC;

  AgentClient b2(proc->port());  // B's host again, over another connection
  BoundedCall<Rows> b2Query(proc.get(), [&] { return b2.Query(hB, "SELECT v FROM lk WHERE k = 1"); });
  EXPECT_FALSE(b2Query.Answered(1000)) << "a call on B's session ran beside B's waiting call";
  EXPECT_EQ(Ask(c, hC, "SELECT 5", "another session meanwhile"), (Rows{{"5"}}));

  BoundedCall<errcode_t> aCommit(proc.get(), [&] { return cl->Simple(dbsvc_commit, hA); });
  ASSERT_TRUE(aCommit.Await("A's commit"));
  EXPECT_EQ(aCommit.Get(), ER_SUCCESS);
  ASSERT_TRUE(bUpdate.Await("B's update after A's commit"));
  EXPECT_TRUE(bUpdate.Get().Ok()) << b.Errors(hB);
  ASSERT_TRUE(b2Query.Await("the second call on B's session"));
  EXPECT_EQ(b2Query.Get(), (Rows{{"2"}}));
}

// A datagram's call is served by the loop thread: on a session whose call
// waits in the driver it waits a moment and is answered "connection in use",
// and the loop goes on accepting clients.
TEST_P(LockWait, ADatagramOnABusySessionIsTurnedAway) {
  Waiting w;
  ASSERT_NO_FATAL_FAILURE(BWaitsOnA(w));
  AgentClient udp(proc->port(), true);
  ASSERT_NE(udp.c, nullptr);
  BoundedCall<errcode_t> viaUdp(proc.get(), [&] { return udp.Simple(dbsvc_commit, w.hB); });
  ASSERT_TRUE(viaUdp.Await("a datagram on B's session"));
  EXPECT_EQ(viaUdp.Get(), ER_CONN_IN_USE);

  AgentClient d(proc->port());
  BoundedCall<handle_t> dOpen(proc.get(), [&] { return Open(d); });
  ASSERT_TRUE(dOpen.Await("a new client after the datagram"));
  EXPECT_NE(dOpen.Get(), 0u);

  BoundedCall<errcode_t> aCommit(proc.get(), [&] { return cl->Simple(dbsvc_commit, hA); });
  ASSERT_TRUE(aCommit.Await("A's commit"));
  EXPECT_EQ(aCommit.Get(), ER_SUCCESS);
  ASSERT_TRUE(w.update->Await("B's update after A's commit"));
  EXPECT_TRUE(w.update->Get().Ok());
}

INSTANTIATE_TEST_SUITE_P(Drivers, LockWait, ::testing::Values(Db{"SQLite", false}, Db{"PostgreSQL", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
