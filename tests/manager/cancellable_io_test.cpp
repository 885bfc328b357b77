// The cancellable socket calls: bytes move as with plain calls, a receive gives up after
// its bound, and setting the cancel event breaks a blocked call by shutting down the
// direction it waits on, without killing its thread.
#include "manager/shell/cancellable_io.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/socket.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "tests/support/harness.h"

namespace {

using manager::CancelEvent;

// Two ends of one loopback TCP connection.
struct Pair {
  platform::Socket near = platform::kNoSocket;
  platform::Socket far = platform::kNoSocket;
  Pair() {
    platform::Socket listener = platform::open_tcp_socket();
    platform::bind_ipv4(listener, {platform::kLoopbackAddress, 0}, false);
    platform::listen_socket(listener, 1);
    const uint16_t port = platform::local_endpoint(listener)->port;
    near = platform::open_tcp_socket();
    EXPECT_TRUE(platform::connect_ipv4(near, {platform::kLoopbackAddress, port}, 5000));
    far = platform::accept_connection(listener, nullptr);
    platform::close_socket(listener);
  }
  ~Pair() {
    platform::close_socket(near);
    platform::close_socket(far);
  }
};

// Runs body on a thread; ended() tells whether it returned within the (scaled) time.
class Blocked {
 public:
  explicit Blocked(std::function<void()> body) {
    thread_.start([this, body] {
      body();
      done_.set();
    });
  }
  ~Blocked() { thread_.join(); }
  bool ended(int timeout_ms = 10000) { return done_.wait_for(harness::scaled_ms(timeout_ms)); }

 private:
  platform::Event done_{true};
  platform::Thread thread_;
};

void settle() { platform::Event(true).wait_for(harness::scaled_ms(300)); }

TEST(CancellableIo, BytesMoveBothWays) {
  Pair p;
  CancelEvent cancel;
  EXPECT_EQ(manager::cancellable_send(p.near, "hello", 5, cancel), 5u);
  char buffer[16] = {};
  EXPECT_EQ(manager::cancellable_receive(p.far, buffer, sizeof buffer, cancel), 5u);
  EXPECT_EQ(std::string(buffer, 5), "hello");
}

TEST(CancellableIo, AReceiveReturnsZeroWhenThePeerCloses) {
  Pair p;
  CancelEvent cancel;
  platform::shutdown_both(p.far);
  char buffer[16];
  EXPECT_EQ(manager::cancellable_receive(p.near, buffer, sizeof buffer, cancel), 0u);
}

TEST(CancellableIo, AReceiveGivesUpAfterItsBoundAndTheConnectionStaysUsable) {
  Pair p;
  CancelEvent cancel;
  char buffer[16];
  EXPECT_EQ(manager::cancellable_receive(p.near, buffer, sizeof buffer, cancel, 200), 0u);
  platform::send_all(p.far, "late", 4);
  EXPECT_EQ(manager::cancellable_receive(p.near, buffer, sizeof buffer, cancel), 4u);
}

TEST(CancellableIo, AReceiveFromASilentPeerEndsAtTheFiveSecondBound) {
  Pair p;
  CancelEvent cancel;
  size_t got = 99;
  Blocked call([&] {
    char buffer[16];
    got = manager::cancellable_receive(p.near, buffer, sizeof buffer, cancel);
  });
  EXPECT_TRUE(call.ended(20000));
  EXPECT_EQ(got, 0u);
}

TEST(CancellableIo, CancelDuringAPendingReceiveShutsDownTheReceivingSide) {
  Pair p;
  CancelEvent cancel;
  size_t got = 99;
  Blocked call([&] {
    char buffer[16];
    got = manager::cancellable_receive(p.near, buffer, sizeof buffer, cancel, 600000);
  });
  settle();
  cancel.set();
  ASSERT_TRUE(call.ended());
  EXPECT_EQ(got, 0u);
  char buffer[16];
  EXPECT_EQ(platform::recv_some_timeout(p.near, buffer, sizeof buffer, 0), 0);  // end of stream
  EXPECT_EQ(platform::send_some(p.near, "x", 1), 1);  // the sending side still works
}

TEST(CancellableIo, CancelBreaksASendBlockedOnAFullConnection) {
  Pair p;
  CancelEvent cancel;
  const std::string big(64 * 1024 * 1024, 'z');  // more than the socket buffers hold
  size_t sent = 99;
  Blocked call([&] { sent = manager::cancellable_send(p.near, big.data(), big.size(), cancel); });
  settle();
  cancel.set();
  ASSERT_TRUE(call.ended());
  EXPECT_EQ(sent, 0u);
}

TEST(CancellableIo, ASetEventRefusesNewCallsUntilReset) {
  Pair p;
  CancelEvent cancel;
  cancel.set();
  EXPECT_TRUE(cancel.is_set());
  EXPECT_EQ(manager::cancellable_send(p.near, "abc", 3, cancel), 0u);
  char buffer[16];
  EXPECT_EQ(platform::recv_some_timeout(p.far, buffer, sizeof buffer, 100), -2);  // nothing sent
  platform::send_all(p.far, "in", 2);
  EXPECT_EQ(manager::cancellable_receive(p.near, buffer, sizeof buffer, cancel), 0u);
  cancel.reset();
  EXPECT_FALSE(cancel.is_set());
  EXPECT_EQ(manager::cancellable_receive(p.near, buffer, sizeof buffer, cancel), 2u);
  EXPECT_EQ(manager::cancellable_send(p.near, "abc", 3, cancel), 3u);
}

TEST(CancellableIo, OneEventBreaksCallsOnTwoThreads) {
  Pair a, b;
  CancelEvent cancel;
  std::atomic<int> zeros{0};
  auto receive = [&](platform::Socket s) {
    char buffer[16];
    if (manager::cancellable_receive(s, buffer, sizeof buffer, cancel, 600000) == 0) ++zeros;
  };
  Blocked first([&] { receive(a.near); });
  Blocked second([&] { receive(b.near); });
  settle();
  cancel.set();
  EXPECT_TRUE(first.ended());
  EXPECT_TRUE(second.ended());
  EXPECT_EQ(zeros, 2);
}

TEST(CancellableIo, AnAcceptWaitEndsOnItsBoundOrOnCancel) {
  platform::Socket listener = platform::open_tcp_socket();
  ASSERT_TRUE(platform::bind_ipv4(listener, {platform::kLoopbackAddress, 0}, false));
  ASSERT_TRUE(platform::listen_socket(listener, 1));
  CancelEvent cancel;
  EXPECT_EQ(manager::cancellable_accept(listener, cancel, 100), platform::kNoSocket);

  platform::Socket accepted = 0;
  Blocked call([&] { accepted = manager::cancellable_accept(listener, cancel, 600000); });
  settle();
  cancel.set();
  ASSERT_TRUE(call.ended());
  EXPECT_EQ(accepted, platform::kNoSocket);
  platform::close_socket(listener);
}

TEST(CancellableIo, AnAcceptTakesAWaitingConnection) {
  platform::Socket listener = platform::open_tcp_socket();
  ASSERT_TRUE(platform::bind_ipv4(listener, {platform::kLoopbackAddress, 0}, false));
  ASSERT_TRUE(platform::listen_socket(listener, 1));
  platform::Socket client = platform::open_tcp_socket();
  ASSERT_TRUE(platform::connect_ipv4(
      client, {platform::kLoopbackAddress, platform::local_endpoint(listener)->port}, 5000));
  CancelEvent cancel;
  platform::Socket accepted = manager::cancellable_accept(listener, cancel, 5000);
  EXPECT_NE(accepted, platform::kNoSocket);
  platform::close_socket(accepted);
  platform::close_socket(client);
  platform::close_socket(listener);
}

TEST(CancellableIo, AConnectToAClosedPortFails) {
  platform::Socket listener = platform::open_tcp_socket();
  platform::bind_ipv4(listener, {platform::kLoopbackAddress, 0}, false);
  const uint16_t port = platform::local_endpoint(listener)->port;
  platform::close_socket(listener);
  CancelEvent cancel;
  platform::Socket s = platform::open_tcp_socket();
  EXPECT_FALSE(manager::cancellable_connect(s, {platform::kLoopbackAddress, port}, cancel));
  platform::close_socket(s);
}

}  // namespace
