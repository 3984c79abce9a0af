// Sessions: the calls on one client connection's handles (the connection, its
// cursors and the connections the cursor engine opens for them) run one at a
// time, while calls of different connections run at once, each in the thread
// of the client connection that sent it. A session is that group, with the
// lock its calls hold and the driver statement one of them waits on.
#pragma once

#include <memory>
#include <vector>

#include "model/types.h"
#include "sql.h"

struct Session;

// Holds the session of a connection or cursor handle for the calling thread
// while it lives: nothing for other handles, for handles that name no record,
// or when this thread holds that session already. waitMs < 0 waits as long as
// the session's running call takes; otherwise held() is false when the session
// stayed busy that long. The outermost one of a thread also releases the
// sessions its calls made (see SessionPublish).
class SessionCall {
 public:
  explicit SessionCall(handle_t subject, long waitMs = -1);
  ~SessionCall();
  SessionCall(const SessionCall&) = delete;
  SessionCall& operator=(const SessionCall&) = delete;
  bool held() const { return ok_; }
  // The session held by this object; null when it holds none.
  Session* session() const { return s_.get(); }

 private:
  std::shared_ptr<Session> s_;
  bool ok_ = true;
};

// Marks the driver statement the calling thread's session waits on for the
// scope, so that SessionCancel can cancel it. A no-op outside a session.
class DriverWait {
 public:
  explicit DriverWait(SQLHSTMT hStmt);
  ~DriverWait();
  DriverWait(const DriverWait&) = delete;
  DriverWait& operator=(const DriverWait&) = delete;

 private:
  Session* s_;
};

// A connection is about to be made outside any session this thread holds (a
// client's connect): a new session is made for it and held by this thread
// until its outermost SessionCall ends.
void SessionClaimNew();
// A connection record was registered: it joins the session this thread holds
// (a connection the engine opens for a client's cursor) or the one it claimed;
// else it starts a session of its own.
void SessionPublish(handle_t hConnect);
// The connection record is gone: its session forgets it (and is freed with
// its last connection).
void SessionForget(handle_t hConnect);
// Cancels the driver call the session is waiting on, if any.
void SessionCancel(Session* s);
// Cancels every session's waiting driver call.
void SessionCancelAll();
// How many sessions have a call waiting in a driver now.
unsigned SessionsWaiting();
// The session a connection handle belongs to, shared; null for none.
std::shared_ptr<Session> SessionOf(handle_t hConnect);
