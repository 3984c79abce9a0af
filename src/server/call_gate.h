// The gate every service procedure passes: the call holds its session (the
// client connection whose handle it names) while it runs, and while it runs
// on a TCP connection, a peer that hangs up has the driver call it waits on
// cancelled.
#pragma once

#include <cstring>
#include <type_traits>

#include "backend/sessions.h"
#include "model/errcode.h"
#include "rpc/svc.h"

// The handle a call's arguments name: the first of handle, hStmt, hConn; 0 for none.
template <typename A>
handle_t call_subject(const A* a) {
  if constexpr (std::is_same_v<A, handle_t>)
    return *a;
  else if constexpr (requires { a->handle; })
    return a->handle;
  else if constexpr (requires { a->hStmt; })
    return a->hStmt;
  else if constexpr (requires { a->hConn; })
    return a->hConn;
  else
    return 0;
}

// How long a call served by the loop thread (a datagram) waits for a session
// another thread's call holds, before it is answered "connection in use".
constexpr long kLoopSessionWaitMs = 2000;

// A call running on a TCP connection, watched for the peer's hang-up.
class WatchedCall {
 public:
  WatchedCall(const SVCXPRT* x, Session* s);
  ~WatchedCall();
  WatchedCall(const WatchedCall&) = delete;
  WatchedCall& operator=(const WatchedCall&) = delete;

 private:
  int fd_ = -1;
  Session* s_ = nullptr;
  bool cancelled_ = false;
  friend void call_watch_pass();
};

// One pass of the watcher over the running calls (the watcher thread runs
// one every 200 ms once a call was watched).
void call_watch_pass();

template <typename A, typename R, void (*F)(svc_req*, A*, R*)>
void gated_service(svc_req* rq, void* argp, void* res) {
  A* a = static_cast<A*>(argp);
  const SVCXPRT* x = rq ? rq->rq_xprt : nullptr;
  const bool ownThread = x && x->xp_kind == XPRT_CONNECTION;
  SessionCall call(call_subject(a), ownThread ? -1 : kLoopSessionWaitMs);
  if (!call.held()) {
    // Every result record begins with its error code.
    sgn32 err = ER_CONN_IN_USE;
    std::memcpy(res, &err, sizeof err);
    return;
  }
  if (ownThread && call.session()) {
    WatchedCall watch(x, call.session());
    F(rq, a, static_cast<R*>(res));
  } else {
    F(rq, a, static_cast<R*>(res));
  }
}
