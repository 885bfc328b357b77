// PASV when the data worker is too slow to listen within the session thread's wait: the
// client is told 451, no listener outlives that answer, and the next PASV announces the
// port that really listens. The worker is held up on the session's socket lock (the
// first thing a passive listen takes), which stands in for a machine too loaded to run
// it; nothing else about the session is simulated.
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "core/session.h"
#include "fileservice/data_connection.h"
#include "fileservice/data_worker.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;

// Far beyond the session thread's wait for the worker (5000 ms): the longest the worker
// is held up while the session thread has not given up on it yet.
constexpr int kHoldLimitMs = 30000;

// A connected pair on the loopback: the session's control socket and the client's end.
struct ControlPair {
  platform::Socket server = platform::kNoSocket;
  platform::Socket client = platform::kNoSocket;
  bool open() {
    platform::Socket listener = platform::open_tcp_socket();
    bool ok = platform::bind_ipv4(listener, {platform::kLoopbackAddress, 0}, false) &&
              platform::listen_socket(listener, 1);
    auto local = ok ? platform::local_endpoint(listener) : std::nullopt;
    client = platform::open_tcp_socket();
    ok = local && platform::connect_ipv4(client, *local, 3000);
    if (ok) server = platform::accept_connection(listener, nullptr);
    platform::close_socket(listener);
    return ok && server != platform::kNoSocket;
  }
};

// Reads until n complete reply lines have come (or the time is up).
std::string read_lines(platform::Socket s, int n, int timeout_ms) {
  std::string text;
  uint32_t start = platform::tick_ms();
  while (static_cast<int>(platform::tick_ms() - start) < timeout_ms) {
    size_t lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
    if (static_cast<int>(lines) >= n) break;
    char buffer[512];
    long got = platform::recv_some_timeout(s, buffer, sizeof buffer, 200);
    if (got == -2) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  return text;
}

std::optional<uint16_t> port_of_227(const std::string& reply) {
  unsigned h1, h2, h3, h4, p1, p2;
  size_t open = reply.find('(');
  if (reply.rfind("227 ", 0) != 0 || open == std::string::npos ||
      std::sscanf(reply.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h1, &h2, &h3, &h4, &p1, &p2) != 6)
    return std::nullopt;
  return static_cast<uint16_t>(p1 * 256 + p2);
}

class PassiveWait : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(control.open());
    session.control_socket = control.server;
    session.login_state = core::kLoggedIn;
    core::write_field(session, &core::Session::address_text, "127.0.0.1");
    ASSERT_TRUE(fileservice::start_worker(session));
    // As in a real session, the worker is waiting in its loop long before the first PASV.
    for (int waited = 0; waited < 5000 && fileservice::worker_busy(session); waited += 10) platform::sleep_ms(10);
    ASSERT_FALSE(fileservice::worker_busy(session));
  }
  void TearDown() override {
    fileservice::stop_worker(session);
    core::close_session_socket(session, core::SessionSocket::Control);
    platform::close_socket(control.client);
  }

  // Keeps the worker held up (the lock taken by the caller) until the session thread has
  // given up waiting for it: it then aborts the worker's data connection, which it can
  // only start, or it has answered the client already. Not a fixed time: on a loaded
  // machine the session thread itself may be late.
  void hold_until_given_up(bool or_answered) {
    for (int waited = 0; waited < kHoldLimitMs; waited += 20) {
      if (session.abort_sleep.is_set()) return;
      if (or_answered) {
        char byte;
        long got = platform::recv_some_timeout(control.client, &byte, 1, 0);
        if (got > 0) {
          answered.push_back(byte);
          return;
        }
      }
      platform::sleep_ms(20);
    }
    ADD_FAILURE() << "the session thread never gave up on the worker";
  }

  ControlPair control;
  core::Session session;
  std::string answered;  // reply bytes read while holding the worker up
};

TEST_F(PassiveWait, SlowWorkerGets451AndThePasvAfterItAnnouncesTheListeningPort) {
  std::unique_lock<std::mutex> held(session.socket_lock);
  // The client sends PASV twice in a row; the worker cannot listen before the lock goes.
  std::thread session_thread([this] {
    fileservice::handle_pasv(session, "");
    fileservice::handle_pasv(session, "");
  });
  hold_until_given_up(false);
  held.unlock();
  session_thread.join();

  std::string replies = read_lines(control.client, 2, 5000);
  ASSERT_EQ(replies.rfind(kLocalError, 0), 0u) << replies;
  std::optional<uint16_t> port = port_of_227(replies.substr(std::string(kLocalError).size()));
  ASSERT_TRUE(port) << replies;

  // Exactly one listener: the announced one. The listen begun for the first PASV is gone.
  platform::Socket listener = session.passive_listen_socket.load();
  ASSERT_NE(listener, platform::kNoSocket);
  auto bound = platform::local_endpoint(listener);
  ASSERT_TRUE(bound);
  EXPECT_EQ(bound->port, *port) << "the 227 names a port other than the one that listens";
  platform::Socket data = platform::open_tcp_socket();
  EXPECT_TRUE(platform::connect_ipv4(data, {platform::kLoopbackAddress, *port}, 3000))
      << "nobody listens on the announced port";
  platform::close_socket(data);
}

TEST_F(PassiveWait, ListenThatComesAfterThe451IsClosedAndAnnouncedToNobody) {
  std::unique_lock<std::mutex> held(session.socket_lock);
  std::thread session_thread([this] { fileservice::handle_pasv(session, ""); });
  hold_until_given_up(true);
  held.unlock();
  session_thread.join();
  EXPECT_EQ(answered + read_lines(control.client, 1, 5000), kLocalError);

  // Once the client has its 451, no listener may appear for it any more.
  for (int waited = 0; waited < 500; waited += 10) {
    ASSERT_EQ(session.passive_listen_socket.load(), platform::kNoSocket)
        << "a listener was opened after the client was told 451";
    platform::sleep_ms(10);
  }
  EXPECT_FALSE(fileservice::worker_busy(session));
}

}  // namespace
