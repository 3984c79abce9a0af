// The watcher of running calls (call_gate.h): a thread that polls the sockets
// of the calls now running for a hang-up and cancels the driver call such a
// call waits on, so that its thread comes back and ends what the client left.
#include "server/call_gate.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Guards g_running and each entry's cancelled flag. Order: taken before a
// session's busy lock (a cancel runs under it), never while waiting on a
// session's lock.
std::mutex g_watchMu;
std::vector<WatchedCall*>& g_running = *new std::vector<WatchedCall*>;  // never destroyed: see watch_forever
std::once_flag g_watcherStarted;

// Runs until the process ends, through its exit handlers.
[[noreturn]] void watch_forever() {
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    call_watch_pass();
  }
}

}  // namespace

WatchedCall::WatchedCall(const SVCXPRT* x, Session* s) : fd_(x->xp_sock), s_(s) {
  // Started from a connection's thread, it inherits the blocked agent signals.
  std::call_once(g_watcherStarted, [] { std::thread(watch_forever).detach(); });
  std::lock_guard lock(g_watchMu);
  g_running.push_back(this);
}

WatchedCall::~WatchedCall() {
  std::lock_guard lock(g_watchMu);
  g_running.erase(std::find(g_running.begin(), g_running.end(), this));
}

void call_watch_pass() {
  std::lock_guard lock(g_watchMu);
  if (g_running.empty()) return;
  std::vector<pollfd> fds;
  fds.reserve(g_running.size());
  for (const WatchedCall* c : g_running) fds.push_back(pollfd{c->fd_, POLLRDHUP, 0});
  if (poll(fds.data(), fds.size(), 0) <= 0) return;
  for (size_t i = 0; i < fds.size(); i++) {
    WatchedCall* c = g_running[i];
    if (c->cancelled_ || !(fds[i].revents & (POLLRDHUP | POLLHUP | POLLERR))) continue;
    c->cancelled_ = true;
    SessionCancel(c->s_);
  }
}
