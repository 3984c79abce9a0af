// Sessions (sessions.h). Lock order: a session's lock first; the registry lock
// and a session's busy lock are leaves, held for a look-up or a cancel only.
#include "backend/sessions.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <unordered_map>

#include "backend/backend.h"

struct Session {
  std::timed_mutex mu;  // held by the thread whose call uses the session
  std::mutex busyMu;    // guards busy
  SQLHSTMT busy = SQL_NULL_HSTMT;
};

namespace {

std::mutex g_regMu;  // guards g_sessions
// Never destroyed: a detached thread may still look a session up while the
// process exits.
std::unordered_map<handle_t, std::shared_ptr<Session>>& g_sessions =
    *new std::unordered_map<handle_t, std::shared_ptr<Session>>;

// The sessions this thread holds, innermost last, and those its calls made.
thread_local std::vector<Session*> t_held;
thread_local std::vector<std::shared_ptr<Session>> t_claimed;
thread_local int t_depth = 0;

bool holds(const Session* s) {
  return std::find(t_held.begin(), t_held.end(), s) != t_held.end() ||
         std::any_of(t_claimed.begin(), t_claimed.end(), [s](const auto& c) { return c.get() == s; });
}

int ConnectOfCursor(void* datum, void* ctx) {
  const _Cursor* pc = static_cast<const _Cursor*>(datum);
  *static_cast<handle_t*>(ctx) = pc->pConnect ? pc->pConnect->hConnect : 0;
  return 1;
}

// The connection a handle belongs to; 0 for any other handle.
handle_t ConnectionOf(handle_t h) {
  switch (h >> 16) {
    case HANDLE_MAGIC_CONNECT:
      return h;
    case HANDLE_MAGIC_CURSOR: {
      handle_t hc = 0;
      HandleVisit(&crsHandles, h, ConnectOfCursor, &hc);
      return hc;
    }
    default:
      return 0;
  }
}

}  // namespace

std::shared_ptr<Session> SessionOf(handle_t hConnect) {
  std::lock_guard lock(g_regMu);
  auto it = g_sessions.find(hConnect);
  return it == g_sessions.end() ? nullptr : it->second;
}

SessionCall::SessionCall(handle_t subject, long waitMs) {
  ++t_depth;
  for (;;) {
    handle_t hc = ConnectionOf(subject);
    std::shared_ptr<Session> s = hc ? SessionOf(hc) : nullptr;
    if (!s || holds(s.get())) return;
    if (waitMs < 0) {
      s->mu.lock();
    } else if (!s->mu.try_lock_for(std::chrono::milliseconds(waitMs))) {
      ok_ = false;
      return;
    }
    // While this thread waited, the connection may have ended and its handle
    // gone to another one with a session of its own.
    handle_t again = ConnectionOf(subject);
    if (again == hc && SessionOf(hc) == s) {
      s_ = std::move(s);
      t_held.push_back(s_.get());
      return;
    }
    s->mu.unlock();
  }
}

SessionCall::~SessionCall() {
  if (s_) {
    t_held.erase(std::find(t_held.begin(), t_held.end(), s_.get()));
    s_->mu.unlock();
  }
  if (--t_depth == 0) {
    for (auto& c : t_claimed) c->mu.unlock();
    t_claimed.clear();
  }
}

DriverWait::DriverWait(SQLHSTMT hStmt) : s_(t_held.empty() ? nullptr : t_held.back()) {
  if (!s_) return;
  std::lock_guard lock(s_->busyMu);
  s_->busy = hStmt;
}

DriverWait::~DriverWait() {
  if (!s_) return;
  std::lock_guard lock(s_->busyMu);
  s_->busy = SQL_NULL_HSTMT;
}

void SessionClaimNew() {
  if (!t_held.empty() || t_depth == 0) return;
  auto s = std::make_shared<Session>();
  // Held until the call that made it ends: nobody else may use the record
  // before it is complete.
  s->mu.lock();
  t_claimed.push_back(std::move(s));
}

void SessionPublish(handle_t hConnect) {
  std::lock_guard lock(g_regMu);
  std::shared_ptr<Session> s;
  if (!t_held.empty()) {
    for (auto& entry : g_sessions)
      if (entry.second.get() == t_held.back()) {
        s = entry.second;
        break;
      }
  } else if (!t_claimed.empty()) {
    s = t_claimed.back();
  }
  g_sessions[hConnect] = s ? std::move(s) : std::make_shared<Session>();
}

void SessionForget(handle_t hConnect) {
  std::shared_ptr<Session> gone;
  {
    std::lock_guard lock(g_regMu);
    auto it = g_sessions.find(hConnect);
    if (it == g_sessions.end()) return;
    gone = std::move(it->second);
    g_sessions.erase(it);
  }
  // A session this thread made and still holds is let go with its last record.
  if (gone.use_count() == 2) {
    auto c = std::find(t_claimed.begin(), t_claimed.end(), gone);
    if (c != t_claimed.end()) {
      gone->mu.unlock();
      t_claimed.erase(c);
    }
  }
}

void SessionCancel(Session* s) {
  if (!s) return;
  std::lock_guard lock(s->busyMu);
  if (s->busy) SQLCancel(s->busy);
}

namespace {

// Every session once (several connections may share one), kept alive for the caller.
std::vector<std::shared_ptr<Session>> AllSessions() {
  std::vector<std::shared_ptr<Session>> all;
  {
    std::lock_guard lock(g_regMu);
    for (auto& entry : g_sessions) all.push_back(entry.second);
  }
  std::sort(all.begin(), all.end());
  all.erase(std::unique(all.begin(), all.end()), all.end());
  return all;
}

}  // namespace

unsigned SessionsWaiting() {
  unsigned n = 0;
  for (auto& s : AllSessions()) {
    std::lock_guard busy(s->busyMu);
    n += s->busy != SQL_NULL_HSTMT;
  }
  return n;
}

void SessionCancelAll() {
  for (auto& s : AllSessions()) SessionCancel(s.get());
}
