// Events and threads.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/clock.h"
#include "platform/sync.h"
#include "platform/thread.h"

using namespace platform;

namespace {

TEST(ManualResetEvent, StaysSetUntilReset) {
  Event e(true);
  EXPECT_FALSE(e.is_set());
  EXPECT_FALSE(e.wait_for(10));
  e.set();
  EXPECT_TRUE(e.wait_for(0));
  EXPECT_TRUE(e.wait_for(0));
  e.wait();
  EXPECT_TRUE(e.is_set());
  e.reset();
  EXPECT_FALSE(e.is_set());
  EXPECT_FALSE(e.wait_for(0));
}

TEST(AutoResetEvent, ReleasesOneWaitAndClearsItself) {
  Event e(false);
  e.set();
  EXPECT_TRUE(e.is_set());
  EXPECT_TRUE(e.wait_for(0));
  EXPECT_FALSE(e.is_set());
  EXPECT_FALSE(e.wait_for(0));
}

TEST(ManualResetEvent, WakesEveryWaitingThread) {
  Event e(true);
  std::atomic<int> woken{0};
  Thread a, b;
  ASSERT_TRUE(a.start([&] { e.wait(); ++woken; }));
  ASSERT_TRUE(b.start([&] { if (e.wait_for(30000)) ++woken; }));
  sleep_ms(20);
  EXPECT_EQ(woken.load(), 0);
  e.set();
  a.join();
  b.join();
  EXPECT_EQ(woken.load(), 2);
}

TEST(AutoResetEvent, EachSetReleasesExactlyOneWaiter) {
  Event e(false);
  std::atomic<int> woken{0};
  Thread a, b;
  ASSERT_TRUE(a.start([&] { if (e.wait_for(2000)) ++woken; }));
  ASSERT_TRUE(b.start([&] { if (e.wait_for(2000)) ++woken; }));
  sleep_ms(20);
  e.set();
  a.join();
  b.join();
  EXPECT_EQ(woken.load(), 1);
}

TEST(Threads, RunOnASmallStackAndJoin) {
  std::atomic<bool> ran{false};
  Thread t;
  EXPECT_FALSE(t.joinable());
  ASSERT_TRUE(t.start([&] {
    char local[16 * 1024];  // well within the small stack
    local[0] = 1;
    ran = local[0] == 1;
  }));
  EXPECT_TRUE(t.joinable());
  t.join();
  EXPECT_FALSE(t.joinable());
  EXPECT_TRUE(ran.load());
}

TEST(Threads, DestructorJoins) {
  std::atomic<bool> ran{false};
  {
    Thread t;
    ASSERT_TRUE(t.start([&] { sleep_ms(20); ran = true; }));
  }
  EXPECT_TRUE(ran.load());
}

TEST(Threads, DetachedThreadRunsOnItsOwn) {
  Event done(true);
  ASSERT_TRUE(start_detached_thread([&] { done.set(); }));
  EXPECT_TRUE(done.wait_for(10000));
}

TEST(Clock, TickAdvancesInMilliseconds) {
  uint32_t before = tick_ms();
  sleep_ms(30);
  uint32_t elapsed = tick_ms() - before;
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 60000u);
}

TEST(Clock, LocalTimeOfAKnownInstantIsPlausible) {
  LocalTime t = local_time_of(1700000000);  // 2023-11-14 22:13:20 UTC
  EXPECT_TRUE(t.year == 2023);
  EXPECT_EQ(t.month, 11);
  EXPECT_GE(t.day, 14);
  EXPECT_LE(t.day, 15);
  EXPECT_EQ(t.second, 20);
  LocalTime now = local_time_now();
  EXPECT_GE(now.year, 2024);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
}

}  // namespace
