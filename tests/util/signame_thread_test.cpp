#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include "util/signame.h"
#include "util/thread.h"

namespace {

TEST(SigName, AbbreviationsAndNumbers) {
  struct Abbrev {
    int number;
    const char* abbrev;
  } abbrevs[] = {{6, "ABRT"},  {17, "CHLD"},  {29, "IO"},   {1, "HUP"},
                 {15, "TERM"}, {16, nullptr}, {0, nullptr}, {64, nullptr}};
  for (const auto& a : abbrevs) {
    const char* got = sig_abbrev(a.number);
    if (a.abbrev == nullptr)
      EXPECT_EQ(got, nullptr) << a.number;
    else
      EXPECT_STREQ(got, a.abbrev) << a.number;
  }
  struct Number {
    const char* abbrev;
    int number;
  } numbers[] = {{"SIGIOT", 6}, {"IOT", 6}, {"hup", -1},       {"SIGPOLL", 29},  {"CLD", 17},
                 {"SIG", -1},   {"", -1},   {"TERM", SIGTERM}, {"SIGSIGHUP", -1}};
  for (const auto& n : numbers) EXPECT_EQ(sig_number(n.abbrev), n.number) << n.abbrev;
}

TEST(SigName, RepeatedInitNeverOverflows) {
  for (int i = 0; i < 10; ++i) signame_init();
  EXPECT_EQ(sig_table_nelts, 33);
  EXPECT_STREQ(sig_abbrev(6), "ABRT");
}

TEST(Thread, DetachedThreadRuns) {
  static std::atomic<int> seen{0};
  static int five = 5;
  vyr_thread_t* t = VYR_thread_create(
      [](void* arg) {
        seen = *static_cast<int*>(arg);
        return 0;
      },
      0, &five);
  ASSERT_NE(t, nullptr);
  for (int i = 0; i < 500 && seen == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(seen, 5);
}

TEST(Thread, ExitEndsTheThread) {
  static std::atomic<int> stage{0};
  ASSERT_NE(VYR_thread_create(
                [](void*) -> int {
                  stage = 1;
                  VYR_thread_exit(3);
                },
                256 * 1024, nullptr),
            nullptr);
  for (int i = 0; i < 500 && stage == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(stage, 1);
}

TEST(Thread, BadStackSizeFails) {
  EXPECT_EQ(VYR_thread_create([](void*) { return 0; }, 1, nullptr), nullptr);
}

TEST(Semaphore, CountAndMaximum) {
  vyrsem_t s;
  ASSERT_EQ(VYR_sema_init(&s, 0, 2), 0);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(VYR_sema_signal(&s), 0);
  EXPECT_EQ(s.count, 2);  // signals at the maximum are dropped
  EXPECT_EQ(VYR_sema_wait(&s), 0);
  EXPECT_EQ(VYR_sema_wait(&s), 0);
  EXPECT_EQ(s.count, 0);
  VYR_sema_done(&s);
}

// Several sleeping waiters and as many signals in quick succession: every
// waiter must wake, none may stay asleep while the count is above zero.
TEST(Semaphore, NoWaiterLeftAsleep) {
  for (int round = 0; round < 20; ++round) {
    vyrsem_t s;
    ASSERT_EQ(VYR_sema_init(&s, 0, 100), 0);
    std::atomic<int> done{0};
    std::vector<std::thread> waiters;
    const int n = 4;
    for (int i = 0; i < n; ++i)
      waiters.emplace_back([&] {
        VYR_sema_wait(&s);
        ++done;
      });
    // Let them block.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (int i = 0; i < n; ++i) VYR_sema_signal(&s);
    for (int i = 0; i < 300 && done < n; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(done, n) << "round " << round;
    for (int i = 0; i < n; ++i) VYR_sema_signal(&s);  // release any that stayed asleep
    for (auto& t : waiters) t.join();
    VYR_sema_done(&s);
  }
}

}  // namespace
