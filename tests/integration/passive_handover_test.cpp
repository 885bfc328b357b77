// A transfer command that reaches the data worker while it still waits in a passive
// accept, followed by PASV or ABOR before the client ever connects: the waiting command
// is answered once (425, nothing to send on), the new passive port is the one that
// listens, and the next transfer gets exactly its file. Repeated, because the worker
// and the session thread meet at a different moment each time.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "platform/socket.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;
using harness::FtpClient;
using harness::Server;
using harness::Site;

constexpr int kRounds = 10;

// The port of a 227 reply, or none for any other reply.
std::optional<uint16_t> announced_port(const std::string& reply) {
  unsigned h1, h2, h3, h4, p1, p2;
  size_t open = reply.find('(');
  if (reply.rfind("227 ", 0) != 0 || open == std::string::npos ||
      std::sscanf(reply.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h1, &h2, &h3, &h4, &p1, &p2) != 6)
    return std::nullopt;
  return static_cast<uint16_t>(p1 * 256 + p2);
}

class PassiveHandover : public ::testing::Test {
 protected:
  void SetUp() override {
    site.add_user("alice");
    site.write_file("home/one.bin", "x");
    server = std::make_unique<Server>(site);
    ASSERT_TRUE(client.connect(site.ftp_port()));
    ASSERT_TRUE(client.login("alice", "alice"));
  }

  // PASV, then the command at once, so that the worker is still in its accept.
  void leave_command_waiting(const std::string& command) {
    ASSERT_TRUE(client.pasv());
    client.send_line(command);
  }

  // A one-byte download on a fresh passive port: the byte arrives and 226 follows.
  void expect_download_works(int round) {
    std::string replies;
    auto data = client.download("RETR one.bin", &replies);
    ASSERT_TRUE(data) << "round " << round << ": " << replies;
    EXPECT_EQ(*data, "x") << "round " << round;
    EXPECT_EQ(replies, std::string(kOpening) + kComplete) << "round " << round;
  }

  Site site{"handover"};
  std::unique_ptr<Server> server;
  FtpClient client;
};

TEST_F(PassiveHandover, DownloadWaitingForItsConnectionThenPasvGets425AndTheNewPortServes) {
  // The new port is used at once: it must be the one that listens, and the worker must
  // not listen a second time behind it (which would close the connection just made).
  for (int round = 0; round < kRounds && !HasFailure(); ++round) {
    leave_command_waiting("RETR one.bin");
    client.send_line("PASV");
    EXPECT_EQ(client.reply(), kCantOpen) << "round " << round;
    auto port = announced_port(client.reply());
    ASSERT_TRUE(port) << "round " << round << ": no 227";
    platform::Socket data = platform::open_tcp_socket();
    if (!platform::connect_ipv4(data, {platform::kLoopbackAddress, *port}, 3000)) {
      platform::close_socket(data);
      FAIL() << "round " << round << ": nobody listens on the announced port";
    }
    client.send_line("RETR one.bin");
    EXPECT_EQ(client.reply(), kOpening) << "round " << round;
    EXPECT_EQ(harness::read_data(data, 5000), "x") << "round " << round;
    EXPECT_EQ(client.reply(), kComplete) << "round " << round;
  }
}

TEST_F(PassiveHandover, UploadWaitingForItsConnectionThenAborGets425Then226) {
  for (int round = 0; round < kRounds && !HasFailure(); ++round) {
    leave_command_waiting("STOR up.bin");
    client.send_line("ABOR");
    EXPECT_EQ(client.reply(), kCantOpen) << "round " << round;
    EXPECT_EQ(client.reply(), kAborClosed) << "round " << round;
    expect_download_works(round);
  }
}

}  // namespace
