// Threads waiting on an accept waiter: one wake-up per connection, time-outs, and the
// chain of wake-ups that ends every waiter once the listener is shut down.
#include "platform/accept_waiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/clock.h"
#include "platform/thread.h"
#include "tests/support/eventually.h"

using namespace platform;

namespace {

using test_support::eventually;

Socket open_loopback_listener(uint16_t& port) {
  Socket s = open_tcp_socket();
  EXPECT_TRUE(bind_ipv4(s, {kLoopbackAddress, 0}, true));
  EXPECT_TRUE(listen_socket(s, 0));
  port = local_endpoint(s).value_or(Ipv4Endpoint{}).port;
  return s;
}

Socket connect_to(uint16_t port) {
  Socket c = open_tcp_socket();
  EXPECT_TRUE(connect_ipv4(c, {kLoopbackAddress, port}, 2000));
  return c;
}

TEST(AcceptWaiter, EachConnectionWakesOneThreadAndShutDownEndsThemAll) {
  uint16_t port = 0;
  Socket listener = open_loopback_listener(port);
  AcceptWaiter waiter;
  ASSERT_TRUE(open_accept_waiter(waiter, listener));
  constexpr int kThreads = 4;
  std::atomic<int> woken{0}, taken{0}, ended{0};
  std::vector<Socket> served(kThreads, kNoSocket);
  Thread threads[kThreads];
  for (int i = 0; i < kThreads; ++i) {
    ASSERT_TRUE(threads[i].start([&, i] {
      for (;;) {
        if (wait_for_connection(waiter, 10000) != WaitResult::Woken) continue;
        ++woken;
        Taken t = take_waiting_connection(waiter);
        rearm_accept_waiter(waiter);  // lets the next connection, or the shut-down, through
        if (t.result == TakeResult::Closed) break;
        if (t.result == TakeResult::Taken) {
          served[i] = t.socket;
          ++taken;
          break;  // serves its connection: waits no more
        }
      }
      ++ended;
    }));
  }
  sleep_ms(50);
  EXPECT_EQ(woken.load(), 0);
  Socket first = connect_to(port);
  ASSERT_TRUE(eventually([&] { return taken.load() == 1; }));
  sleep_ms(100);
  EXPECT_EQ(woken.load(), 1);  // the other threads slept on
  Socket second = connect_to(port);
  Socket third = connect_to(port);
  ASSERT_TRUE(eventually([&] { return taken.load() == 3; }));
  sleep_ms(100);
  EXPECT_EQ(woken.load(), 3);
  shutdown_both(listener);  // the last waiter ends; none is left behind
  ASSERT_TRUE(eventually([&] { return ended.load() == kThreads; }));
  for (auto& t : threads) t.join();
  EXPECT_EQ(take_waiting_connection(waiter).result, TakeResult::Closed);
  for (Socket s : served) close_socket(s);
  for (Socket c : {first, second, third}) close_socket(c);
  close_accept_waiter(waiter);
  close_socket(listener);
}

TEST(AcceptWaiter, AWaitTimesOutAndATakeWithoutAConnectionDoesNotBlock) {
  uint16_t port = 0;
  Socket listener = open_loopback_listener(port);
  AcceptWaiter waiter;
  ASSERT_TRUE(open_accept_waiter(waiter, listener));
  const uint32_t start = tick_ms();
  EXPECT_EQ(wait_for_connection(waiter, 100), WaitResult::TimedOut);
  EXPECT_GE(tick_ms() - start, 90u);
  EXPECT_EQ(take_waiting_connection(waiter).result, TakeResult::NoneWaiting);
  // A connection that waited during the time-out is still taken, and is blocking.
  Socket client = connect_to(port);
  ASSERT_EQ(wait_for_connection(waiter, 2000), WaitResult::Woken);
  Taken t = take_waiting_connection(waiter);
  ASSERT_EQ(t.result, TakeResult::Taken);
  // Disarmed until re-armed: a second connection wakes no one yet.
  Socket late = connect_to(port);
  EXPECT_EQ(wait_for_connection(waiter, 100), WaitResult::TimedOut);
  ASSERT_TRUE(rearm_accept_waiter(waiter));
  EXPECT_EQ(wait_for_connection(waiter, 2000), WaitResult::Woken);
  char c = 0;
  Thread sender;
  ASSERT_TRUE(sender.start([&] {
    sleep_ms(100);
    send_all(client, "x", 1);
  }));
  EXPECT_EQ(recv_some(t.socket, &c, 1), 1);  // waits for the byte: the socket blocks
  sender.join();
  for (Socket s : {t.socket, client, late}) close_socket(s);
  close_accept_waiter(waiter);
  close_socket(listener);
}

}  // namespace
