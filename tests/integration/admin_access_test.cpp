// Who may be the Manager: the admin channel shows passwords and can stop the server, so a
// local process of another user is closed without a word, while the Core's own user (or
// root) is served, also right after a refused attempt.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "tests/support/harness.h"

namespace {

using harness::AdminClient;
using harness::FtpClient;
using harness::Server;
using harness::Site;

constexpr const char* kSetpriv = "/usr/bin/setpriv";
constexpr const char* kPython = "/usr/bin/python3";
constexpr int kSignalStop = 19;      // SIGSTOP on Linux
constexpr int kSignalContinue = 18;  // SIGCONT on Linux

// The client that runs as nobody: connects to the admin port (retrying while nothing
// listens), optionally sends bytes (hex) and hangs up at once; otherwise reads until the
// Core ends the connection. Prints "eof <bytes>", "timeout <bytes>", "sent" or "refused".
constexpr const char* kClientScript = R"(
import socket, sys, time
port = int(sys.argv[1])
deadline = time.time() + 5
while True:
    try:
        s = socket.create_connection(('127.0.0.1', port), timeout=5)
        break
    except ConnectionRefusedError:
        if time.time() > deadline:
            print('refused'); sys.exit(0)
        time.sleep(0.05)
if len(sys.argv) > 2:
    s.sendall(bytes.fromhex(sys.argv[2])); s.close(); print('sent'); sys.exit(0)
count = 0
try:
    while True:
        data = s.recv(65536)
        if not data:
            print('eof', count); break
        count += len(data)
except socket.timeout:
    print('timeout', count)
except ConnectionResetError:
    print('eof', count)
)";

class AdminAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (platform::current_user_id() != 0)
      GTEST_SKIP() << "running a client as user nobody needs root";
    if (!platform::path_exists(kSetpriv) || !platform::path_exists(kPython))
      GTEST_SKIP() << "needs " << kSetpriv << " and " << kPython;
    site.add_user("alice");
    server = std::make_unique<Server>(site);
  }

  void log_in_alice() {
    ASSERT_TRUE(client.connect(site.ftp_port()));
    ASSERT_TRUE(client.login("alice", "alice"));
  }

  // Runs the client script as nobody:nogroup; what it printed.
  std::string run_as_nobody(const std::vector<std::string>& script_arguments) {
    std::vector<std::string> arguments{"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                       kPython, "-I", "-c", kClientScript};
    arguments.insert(arguments.end(), script_arguments.begin(), script_arguments.end());
    std::string output = site.path("nobody.out");
    auto child = platform::spawn_process(kSetpriv, arguments, {}, output);
    if (!child) return "<not started>";
    auto code = platform::wait_process(*child, 15000);
    if (!code) {
      platform::signal_process(*child, platform::kSignalKill);
      platform::wait_process(*child, -1);
      return "<still running>";
    }
    return site.read_file("nobody.out");
  }

  std::string admin_port() const { return std::to_string(site.admin_port()); }

  // A Manager of the test's own user (root) gets alice's snapshot.
  void expect_manager_served() {
    AdminClient admin;
    ASSERT_TRUE(admin.connect(site.admin_port()));
    auto event = admin.wait_for(shared::kEventUserAccepted, 5000, "alice");
    ASSERT_TRUE(event) << "no snapshot for the Core's own user";
    EXPECT_EQ(event->snapshot.password, "alice");
  }

  Site site{"adminaccess"};
  std::unique_ptr<Server> server;
  FtpClient client;
};

TEST_F(AdminAccess, OtherUserIsClosedWithoutASnapshot) {
  log_in_alice();
  EXPECT_EQ(run_as_nobody({admin_port()}), "eof 0\n");
  expect_manager_served();
}

TEST_F(AdminAccess, OtherUsersStopCommandDoesNotStopTheServer) {
  shared::AdminCommand stop;
  stop.command = static_cast<uint8_t>(shared::AdminCommandCode::StopServer);
  shared::AdminCommandBytes bytes = shared::encode_command(stop);
  std::string hex;
  for (uint8_t b : bytes) {
    static const char* digits = "0123456789abcdef";
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  // No session is live, so the Core would have nothing to send before reading the
  // command. Sent and hung up while the Core is held still: when it takes the connection, the
  // peer's socket is already gone (the kernel lists such a socket with uid 0).
  // A first refusal shows that the Core listens; a refused peer leaves the listener open.
  ASSERT_EQ(run_as_nobody({admin_port()}), "eof 0\n");
  server->signal(kSignalStop);
  std::string held = run_as_nobody({admin_port(), hex});
  platform::sleep_ms(500);  // the peer's closing handshake completes (delayed ACK)
  server->signal(kSignalContinue);
  ASSERT_EQ(held, "sent\n");
  // And while it runs.
  for (int attempt = 0; attempt < 3; ++attempt) {
    ASSERT_EQ(run_as_nobody({admin_port(), hex}), "sent\n") << "attempt " << attempt;
  }
  EXPECT_FALSE(server->wait_exit(500)) << "the server stopped on another user's command";
  log_in_alice();
  expect_manager_served();
}

TEST_F(AdminAccess, CoreListensAgainForAProperManagerAfterEachRefusal) {
  log_in_alice();
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_EQ(run_as_nobody({admin_port()}), "eof 0\n") << "attempt " << attempt;
  }
  expect_manager_served();
  // And the next Manager after that one has left.
  expect_manager_served();
}

}  // namespace
