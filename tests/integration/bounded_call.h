// Calls of a test's clients on threads of their own, with bounded waits: an
// agent that stops answering fails the test instead of hanging it, and is
// killed so that every call still waiting on it returns.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

#include "agent_process.h"
#include "wire/client.h"

namespace agent_test {

// Long enough for a call that must be answered at once, in any build.
constexpr int kAnswerMs = 10000;

inline void KillAgent(AgentProcess* p) {
  int pid = p ? p->agentPid() : 0;
  if (pid > 0) kill(pid, SIGKILL);
}

template <class T>
class BoundedCall {
 public:
  BoundedCall(AgentProcess* agent, std::function<T()> fn)
      : agent_(agent), f_(std::async(std::launch::async, std::move(fn))) {}
  // A call still waiting when the test ends (it failed on the way) must not
  // hold the test up.
  ~BoundedCall() {
    if (!f_.valid()) return;
    if (!Answered(0)) KillAgent(agent_);
    f_.wait();
  }
  BoundedCall(const BoundedCall&) = delete;
  BoundedCall& operator=(const BoundedCall&) = delete;

  // True when the call has returned within ms.
  bool Answered(int ms) { return f_.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready; }
  // Waits at most ms for the answer; false (with a failure naming `what`) when
  // none came: the agent is then killed and the call returns.
  bool Await(const std::string& what, int ms = kAnswerMs) {
    if (Answered(ms)) return true;
    ADD_FAILURE() << what << ": no answer within " << ms << " ms; the agent is frozen";
    KillAgent(agent_);
    return false;
  }
  T Get() { return f_.get(); }

 private:
  AgentProcess* agent_;
  std::future<T> f_;
};

// What a call brought back: the RPC status (RPC_SUCCESS when the agent
// answered) and the operation's error code.
struct Answer {
  clnt_stat st = RPC_SUCCESS;
  errcode_t e = ER_SUCCESS;
  bool Ok() const { return st == RPC_SUCCESS && e == ER_SUCCESS; }
};

inline std::ostream& operator<<(std::ostream& o, const Answer& a) {
  return o << "rpc " << wire_client_status_text(a.st) << ", error " << int(a.e);
}

// A statement on a cursor of its own, without the test's expectations on the
// RPC status: for calls that a closing connection or an ending agent may cut.
inline Answer ExecRaw(WireClient* c, handle_t conn, const std::string& sql) {
  Answer a;
  handleres hr{};
  a.st = dbsvc_cursor(c, &conn, &hr);
  handle_t h = hr.handle;
  a.e = hr.error;
  dbsvc_cursor_free(&hr);
  if (!a.Ok()) return a;
  call_prepare pa{h, const_cast<char*>(sql.c_str())};
  a.st = dbsvc_prepare(c, &pa, &a.e);
  if (a.Ok()) a.st = dbsvc_execute(c, &h, &a.e);
  if (a.st == RPC_SUCCESS) {
    errcode_t ignored = ER_SUCCESS;
    dbsvc_endcursor(c, &h, &ignored);
  }
  return a;
}

}  // namespace agent_test
