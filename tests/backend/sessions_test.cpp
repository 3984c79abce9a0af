// Sessions: calls on one connection's handles take turns, calls of different
// connections do not, and a call that waited for a connection ended meanwhile
// finds no record instead of a freed one. The backend against the SQLite driver.
#include <future>
#include <thread>

#include "backend/sessions.h"
#include "backend_fixture.h"

namespace {

using backend_test::BackendSession;

class Sessions : public BackendSession {};

// Runs `body` in a thread of its own and answers when it is done.
template <typename F>
std::future<void> InThread(F body) {
  return std::async(std::launch::async, body);
}

TEST_F(Sessions, CallsOnOneConnectionTakeTurns) {
  handle_t other = 0;
  ASSERT_EQ(Connect(ConnStr(), &other), ER_SUCCESS);
  handle_t cursor = NewCursor();
  SessionCall held(hConn);
  ASSERT_NE(held.session(), nullptr);
  // Another thread: the connection and its cursor wait; the other connection does not.
  InThread([&] {
    for (handle_t h : {hConn, cursor}) {
      SessionCall call(h, 50);
      EXPECT_FALSE(call.held()) << std::hex << h;
    }
    SessionCall free(other, 50);
    EXPECT_TRUE(free.held());
    EXPECT_NE(free.session(), nullptr);
    EXPECT_NE(free.session(), held.session());
  }).get();
  // The holding thread itself is not stopped by its own session.
  SessionCall again(cursor, 0);
  EXPECT_TRUE(again.held());
}

TEST_F(Sessions, TheWaiterGetsTheSessionOnceItIsFree) {
  std::promise<void> locked;
  std::promise<void> release;
  auto holder = InThread([&] {
    SessionCall call(hConn);
    locked.set_value();
    release.get_future().wait();
  });
  locked.get_future().wait();
  auto waiter = std::async(std::launch::async, [&] {
    SessionCall call(hConn);
    return call.session() != nullptr;
  });
  EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  release.set_value();
  holder.get();
  EXPECT_TRUE(waiter.get());
}

TEST_F(Sessions, AConnectionEndedWhileACallWaitedNamesNothing) {
  handle_t cursor = NewCursor();
  std::promise<void> locked;
  std::promise<void> end;
  auto holder = InThread([&] {
    SessionCall call(hConn);
    locked.set_value();
    end.get_future().wait();
    EXPECT_EQ(ODBC_EndConnect(hConn), ER_SUCCESS);
  });
  locked.get_future().wait();
  auto waiter = std::async(std::launch::async, [&] {
    SessionCall call(cursor);
    // The connection went with its cursors: the call holds no session and the
    // handle names no record.
    EXPECT_EQ(call.session(), nullptr);
    return ODBC_CursorRec(cursor) == nullptr;
  });
  EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  end.set_value();
  holder.get();
  EXPECT_TRUE(waiter.get());
  EXPECT_EQ(SessionOf(hConn), nullptr);
}

// A connection made inside a call on a session (as the cursor engine makes its
// own) joins that session; one made by a call outside any session starts its own.
TEST_F(Sessions, ConnectionsMadeInsideACallJoinItsSession) {
  handle_t inner = 0, outer = 0;
  {
    SessionCall call(hConn);
    ASSERT_EQ(Connect(ConnStr(), &inner), ER_SUCCESS);
  }
  EXPECT_EQ(SessionOf(inner), SessionOf(hConn));
  {
    SessionCall call(hServer);
    EXPECT_EQ(call.session(), nullptr);
    ASSERT_EQ(Connect(ConnStr(), &outer), ER_SUCCESS);
    // Held by this call until it ends.
    InThread([&] { EXPECT_FALSE(SessionCall(outer, 20).held()); }).get();
  }
  EXPECT_NE(SessionOf(outer), nullptr);
  EXPECT_NE(SessionOf(outer), SessionOf(hConn));
  InThread([&] { EXPECT_TRUE(SessionCall(outer, 20).held()); }).get();
}

}  // namespace
