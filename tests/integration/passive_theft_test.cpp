// A passive data port taken by another host: the intruder who connects first gets nothing
// and plants nothing, the client's own transfer goes through, and the operator sees the
// refusal.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/socket.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;
using harness::AdminClient;
using harness::FtpClient;
using harness::Server;
using harness::Site;
using harness::pattern;

constexpr const char* kIntruder = "127.0.0.2";
constexpr uint32_t kIntruderAddress = 0x7F000002;

// A data connection from the given local address to the passive port (the listener takes
// every local address, so 127.0.0.1 reaches it).
platform::Socket connect_data(uint32_t from, uint16_t port) {
  platform::Socket s = platform::open_tcp_socket();
  if (s == platform::kNoSocket) return s;
  if (!platform::bind_ipv4(s, {from, 0}, false) ||
      !platform::connect_ipv4(s, {platform::kLoopbackAddress, port}, 3000)) {
    platform::close_socket(s);
    return platform::kNoSocket;
  }
  return s;
}

struct IntruderOutcome {
  std::string received;
  bool closed = false;  // the server ended the connection (rather than a time-out)
};

// What the intruder's connection delivers until the server ends it.
IntruderOutcome read_intruder(platform::Socket s) {
  IntruderOutcome outcome;
  char buffer[65536];
  while (true) {
    long n = platform::recv_some_timeout(s, buffer, sizeof buffer, 5000);
    if (n > 0) {
      outcome.received.append(buffer, static_cast<size_t>(n));
      continue;
    }
    outcome.closed = n != -2;
    break;
  }
  platform::close_socket(s);
  return outcome;
}

class PassiveTheft : public ::testing::Test {
 protected:
  void SetUp() override {
    site.add_user("alice");
    server = std::make_unique<Server>(site);
    ASSERT_TRUE(admin.connect(site.admin_port()));
    ASSERT_TRUE(client.connect(site.ftp_port(), "127.0.0.1"));
    ASSERT_TRUE(client.login("alice", "alice"));
  }

  // Waits for the refusal event of alice's session that names the intruder.
  void expect_refusal_event() {
    auto event = admin.wait_for(shared::kEventRefused, 5000, "alice");
    ASSERT_TRUE(event) << "no refusal event";
    EXPECT_EQ(event->snapshot.message,
              std::string("他のホスト[") + kIntruder + "]からのデータ接続を拒否しました。");
  }

  Site site{"theft"};
  std::unique_ptr<Server> server;
  AdminClient admin;
  FtpClient client;
};

TEST_F(PassiveTheft, IntruderOnThePassivePortGetsNoneOfTheDownload) {
  const std::string content = pattern(300000, 3);
  site.write_file("home/secret.bin", content);
  auto endpoint = client.pasv();
  ASSERT_TRUE(endpoint);
  client.send_line("RETR secret.bin");  // the file waits for whoever connects first
  ASSERT_TRUE(admin.wait_for(shared::kEventDownloadStarted, 5000, "alice"));

  platform::Socket intruder = connect_data(kIntruderAddress, endpoint->port);
  ASSERT_NE(intruder, platform::kNoSocket);
  expect_refusal_event();
  IntruderOutcome stolen = read_intruder(intruder);
  EXPECT_TRUE(stolen.closed);
  EXPECT_EQ(stolen.received.size(), 0u);

  platform::Socket data = connect_data(platform::kLoopbackAddress, endpoint->port);
  ASSERT_NE(data, platform::kNoSocket);
  EXPECT_EQ(client.reply(), kOpening);
  std::string received = harness::read_data(data);
  EXPECT_EQ(received.size(), content.size());
  EXPECT_TRUE(received == content) << "the client's download differs from the file";
  EXPECT_EQ(client.reply(10000), kComplete);
}

TEST_F(PassiveTheft, IntruderOnThePassivePortPlantsNothingInAnUpload) {
  const std::string planted = pattern(70000, 5);
  const std::string sent = pattern(120000, 9);
  auto endpoint = client.pasv();
  ASSERT_TRUE(endpoint);
  client.send_line("STOR up.bin");
  ASSERT_TRUE(admin.wait_for(shared::kEventUploadStarted, 5000, "alice"));

  // Two attempts: each is refused and the port still waits for the client.
  for (int attempt = 0; attempt < 2; ++attempt) {
    platform::Socket intruder = connect_data(kIntruderAddress, endpoint->port);
    ASSERT_NE(intruder, platform::kNoSocket) << "attempt " << attempt;
    platform::send_all(intruder, planted.data(), planted.size());
    expect_refusal_event();
    IntruderOutcome outcome = read_intruder(intruder);
    EXPECT_TRUE(outcome.closed) << "attempt " << attempt;
    EXPECT_EQ(outcome.received.size(), 0u);
  }

  platform::Socket data = connect_data(platform::kLoopbackAddress, endpoint->port);
  ASSERT_NE(data, platform::kNoSocket);
  EXPECT_EQ(client.reply(), kOpening);
  EXPECT_EQ(platform::send_all(data, sent.data(), sent.size()), sent.size());
  platform::close_socket(data);
  EXPECT_EQ(client.reply(10000), kComplete);
  std::string stored = site.read_file("home/up.bin");
  EXPECT_EQ(stored.size(), sent.size());
  EXPECT_TRUE(stored == sent) << "the stored file is not exactly the client's data";
}

TEST_F(PassiveTheft, ClientOnAnotherLocalAddressStillUsesItsOwnPassivePort) {
  // The rule follows the control connection's peer, whatever local address it is.
  FtpClient other;
  ASSERT_TRUE(other.connect(site.ftp_port(), kIntruder));
  ASSERT_TRUE(other.login("alice", "alice"));
  site.write_file("home/a.txt", "hello from the server");
  auto data = other.download("RETR a.txt");
  ASSERT_TRUE(data);
  EXPECT_EQ(*data, "hello from the server");
}

TEST_F(PassiveTheft, ClientOnThisHostMayComeFromTheAnnouncedAddress) {
  // A client at 127.0.0.1 that follows the 227 reply to this host's interface address
  // connects from that address; it is the same client and gets its file.
  auto endpoint = client.pasv();
  ASSERT_TRUE(endpoint);
  if (endpoint->address == platform::kLoopbackAddress) GTEST_SKIP() << "no interface address announced";
  site.write_file("home/mine.txt", "for the local client");
  client.send_line("RETR mine.txt");
  platform::Socket data = platform::open_tcp_socket();
  ASSERT_TRUE(platform::bind_ipv4(data, {endpoint->address, 0}, false));
  ASSERT_TRUE(platform::connect_ipv4(data, *endpoint, 3000));
  EXPECT_EQ(client.reply(), kOpening);
  EXPECT_EQ(harness::read_data(data), "for the local client");
  EXPECT_EQ(client.reply(10000), kComplete);
}

}  // namespace
