// PORT aimed at the Core's own ports or at a privileged port: a client that logs in from
// the server's host must not turn a data connection into a Manager (reading every event,
// passwords among them, or stopping the server with a file's bytes), nor make the Core
// talk to a privileged service on its behalf.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "shared/admin_record.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using harness::FtpClient;
using harness::Server;
using harness::Site;

std::string port_argument(uint16_t port) {
  return "PORT 127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

std::string refusal(uint16_t port) {
  return "500 Illegal PORT command (port " + std::to_string(port) + " is refused).\r\n";
}

class PortBounce : public ::testing::Test {
 protected:
  void SetUp() override {
    site.add_user("alice");
    site.add_user("bob", {{"PassWord", "bobs-secret"}});
    server = std::make_unique<Server>(site);
    ASSERT_TRUE(bob.connect(site.ftp_port()));
    ASSERT_TRUE(bob.login("bob", "bobs-secret"));
    ASSERT_TRUE(alice.connect(site.ftp_port()));
    ASSERT_TRUE(alice.login("alice", "alice"));
  }

  // The refusal's reply, its event line in the message log, and no data connection.
  void expect_refused(uint16_t port, const std::string& transfer) {
    EXPECT_EQ(alice.command(port_argument(port)), refusal(port));
    EXPECT_NE(site.read_file("user/alice.mlg")
                  .find("データ接続先[127.0.0.1:" + std::to_string(port) + "]を拒否しました。"),
              std::string::npos);
    EXPECT_EQ(alice.command(transfer, 10000), replies::kCantOpen) << transfer;
  }

  Site site{"portbounce"};
  std::unique_ptr<Server> server;
  FtpClient bob, alice;
};

TEST_F(PortBounce, DataConnectionsNeverReachTheCoresOwnPorts) {
  // Stop by RETR: a file that begins with the stop command record.
  shared::AdminCommand stop;
  stop.command = static_cast<uint8_t>(shared::AdminCommandCode::StopServer);
  shared::AdminCommandBytes record = shared::encode_command(stop);
  site.write_file("home/stop.bin", std::string(record.begin(), record.end()));
  expect_refused(site.admin_port(), "RETR stop.bin");
  EXPECT_FALSE(server->wait_exit(1000).has_value());
  EXPECT_EQ(bob.command("NOOP"), "200 OK\r\n");

  // Captured events: a STOR from the admin port would store bob's snapshot, password
  // included.
  expect_refused(site.admin_port(), "STOR captured");
  EXPECT_FALSE(site.exists("home/captured"));
  expect_refused(site.ftp_port(), "STOR captured");
  // EPRT follows the same rule.
  const std::string admin = std::to_string(site.admin_port());
  EXPECT_EQ(alice.command("EPRT |1|127.0.0.1|" + admin + "|"),
            "500 Illegal EPRT command (port " + admin + " is refused).\r\n");
  EXPECT_EQ(alice.command("STOR captured", 10000), replies::kCantOpen);
}

TEST_F(PortBounce, PrivilegedPortsOfTheClientsOwnAddressAreRefused) {
  site.write_file("home/mail.txt", "HELO x\r\nMAIL FROM:<a@b>\r\n");
  for (uint16_t port : {25, 80, 1023}) expect_refused(port, "RETR mail.txt");
  // The first unprivileged port is a data port like any other.
  EXPECT_EQ(alice.command(port_argument(1024)), "200 PORT command successful.\r\n");
}

}  // namespace
