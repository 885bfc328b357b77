// The admin channel as the Manager sees it: record layout, the snapshot a new Manager
// receives, kick, abort, stop, and connections that are not the Manager's.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/socket.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;
using harness::AdminClient;
using harness::FtpClient;
using harness::Server;
using harness::Site;
using shared::AdminCommandCode;

// A Manager that keeps the raw bytes of each record.
class RawManager {
 public:
  ~RawManager() { platform::close_socket(socket_); }
  bool connect(uint16_t port) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      socket_ = platform::open_tcp_socket();
      if (platform::connect_ipv4(socket_, {platform::kLoopbackAddress, port}, 1000)) {
        wait_until_taken(port);
        return true;
      }
      platform::close_socket(socket_);
      socket_ = platform::kNoSocket;
      platform::sleep_ms(50);
    }
    return false;
  }
  // The next record, or an empty vector on time-out or close.
  std::vector<uint8_t> next(int timeout_ms = 5000) {
    timeout_ms = harness::scaled_ms(timeout_ms);
    std::vector<uint8_t> record(shared::kAdminEventSize);
    size_t got = 0;
    uint32_t start = platform::tick_ms();
    while (got < record.size()) {
      int left = timeout_ms - static_cast<int>(platform::tick_ms() - start);
      if (left <= 0) return {};
      long n = platform::recv_some_timeout(socket_, record.data() + got, record.size() - got, left);
      if (n <= 0) return {};
      got += static_cast<size_t>(n);
    }
    return record;
  }

 private:
  // The Core stops listening once it has taken the Manager and sent the snapshot: until
  // a probe is refused, a client could still reach the snapshot instead of its own events.
  // A probe that only timed out met a full backlog of a listener still open.
  static void wait_until_taken(uint16_t port) {
    uint32_t start = platform::tick_ms();
    while (platform::tick_ms() - start < static_cast<uint32_t>(harness::scaled_ms(2000))) {
      uint32_t attempt = platform::tick_ms();
      platform::Socket probe = platform::open_tcp_socket();
      bool connected = platform::connect_ipv4(probe, {platform::kLoopbackAddress, port},
                                              harness::scaled_ms(1000));
      platform::close_socket(probe);
      if (!connected && platform::tick_ms() - attempt < static_cast<uint32_t>(harness::scaled_ms(500))) {
        return;
      }
      platform::sleep_ms(10);
    }
  }

  platform::Socket socket_ = platform::kNoSocket;
};

uint32_t u32_at(const std::vector<uint8_t>& r, size_t offset) {
  return r[offset] | r[offset + 1] << 8 | r[offset + 2] << 16 | static_cast<uint32_t>(r[offset + 3]) << 24;
}

// The text field at offset: its bytes up to the NUL; the rest of the field must be zero.
std::string text_at(const std::vector<uint8_t>& r, size_t offset, size_t size) {
  std::string text;
  size_t i = 0;
  for (; i < size && r[offset + i] != 0; ++i) text.push_back(static_cast<char>(r[offset + i]));
  for (; i < size; ++i) {
    if (r[offset + i] != 0) return "<field not zero-filled>";
  }
  return text;
}

constexpr size_t kSnap = shared::admin_offset::kPayload;

TEST(AdminChannel, EventRecordsCarryEveryFieldAtItsOffset) {
  Site site("admin-offsets");
  Server server(site);
  RawManager manager;
  ASSERT_TRUE(manager.connect(site.admin_port()));
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port(), "127.0.0.2"));
  ASSERT_EQ(client.reply(), kGreeting);

  auto connected = manager.next();
  ASSERT_EQ(connected.size(), shared::kAdminEventSize);
  uint32_t id = u32_at(connected, 0);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(u32_at(connected, 4), shared::kEventConnected);
  EXPECT_EQ(u32_at(connected, kSnap + 0x1048), id);
  EXPECT_EQ(text_at(connected, kSnap + 0x008, 256), "UnKnown");
  EXPECT_EQ(text_at(connected, kSnap + 0x730, 256), "127.0.0.2");
  EXPECT_EQ(text_at(connected, kSnap + 0x830, 2048), "");
  EXPECT_EQ(u32_at(connected, kSnap + 0x000), 0u);      // not transferring
  EXPECT_EQ(u32_at(connected, kSnap + 0x1030), 1u);     // idle minutes before login
  EXPECT_EQ(u32_at(connected, kSnap + 0x72C), 0u);      // reserved
  uint32_t connect_tick = u32_at(connected, kSnap + 0x720);
  EXPECT_LT(platform::tick_ms() - connect_tick, 10000u);  // the same clock in both processes

  uint32_t before = platform::tick_ms();
  ASSERT_EQ(client.command("NOOP"), "200 OK\r\n");
  auto status = manager.next();
  ASSERT_EQ(status.size(), shared::kAdminEventSize);
  EXPECT_EQ(u32_at(status, 0), id);
  EXPECT_EQ(u32_at(status, 4), shared::kEventStatus);
  EXPECT_EQ(text_at(status, kSnap + 0x830, 2048), "NOOP受け付けました。");
  EXPECT_EQ(u32_at(status, kSnap + 0x720), connect_tick);
  // Last activity lies between the NOOP's sending and now.
  uint32_t activity = u32_at(status, kSnap + 0x728);
  EXPECT_LE(activity - before, platform::tick_ms() - before);
}

TEST(AdminChannel, NewManagerReceivesTheSnapshotOfEveryLiveSession) {
  Site site("admin-snapshot");
  site.add_user("alice");
  Server server(site);
  FtpClient a, b;
  ASSERT_TRUE(a.connect(site.ftp_port()));
  ASSERT_TRUE(a.login("alice", "alice"));
  ASSERT_TRUE(b.connect(site.ftp_port(), "127.0.0.5"));
  ASSERT_EQ(b.reply(), kGreeting);
  {
    AdminClient first;
    ASSERT_TRUE(first.connect(site.admin_port()));
    auto one = first.next_event();
    ASSERT_TRUE(one);
  }  // the first Manager leaves
  AdminClient second;
  ASSERT_TRUE(second.connect(site.admin_port()));
  std::vector<shared::AdminEvent> events;
  for (int i = 0; i < 6; ++i) {
    auto event = second.next_event();
    ASSERT_TRUE(event) << i;
    events.push_back(*event);
  }
  const uint32_t expected_types[] = {0, 1, 25, 0, 1, 25};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(events[i].type, expected_types[i]) << i;
  EXPECT_EQ(events[0].snapshot.user_name, "alice");
  EXPECT_EQ(events[0].snapshot.host_text, "127.0.0.1");
  EXPECT_EQ(events[3].snapshot.user_name, "UnKnown");
  EXPECT_EQ(events[3].snapshot.host_text, "127.0.0.5");
  EXPECT_EQ(events[0].session_id, events[2].session_id);
  EXPECT_EQ(events[3].session_id, events[5].session_id);
  EXPECT_NE(events[0].session_id, events[3].session_id);
  EXPECT_FALSE(second.next_event(500));  // nothing more
}

// Managers come and go while clients log in, talk and leave: the snapshots taken on the
// admin channel's thread meet sessions halfway through USER. Every record shows a field
// either before or after the account set it, and once the clients are gone a new
// Manager is told of no session.
TEST(AdminChannel, ManagersArrivingWhileClientsLogInSeeWholeFields) {
  Site site("admin-snapshot-busy");
  site.add_user("alice", {{"MaxConPerIP", "40"}, {"MaxConPerUser", "30"}, {"SaveCredit", "1"}});
  Server server(site);
  std::atomic<int> clients_left{4};
  std::atomic<int> logins{0}, attempts{0};
  std::atomic<bool> seen{false};  // logins go on until a Manager has seen one
  std::vector<std::thread> clients;
  for (int t = 0; t < 4; ++t) {
    clients.emplace_back([&] {
      for (int i = 0; i < 8 || (!seen && i < 2000); ++i) {
        ++attempts;
        FtpClient ftp;
        if (!ftp.connect(site.ftp_port()) || !ftp.login("alice", "alice")) continue;
        if (ftp.command("NOOP") == "200 OK\r\n") ++logins;
        ftp.command("QUIT");
        ftp.wait_closed();
      }
      --clients_left;
    });
  }
  int records = 0;
  while (clients_left > 0) {
    AdminClient manager;
    ASSERT_TRUE(manager.connect(site.admin_port()));
    // Events reach a Manager from the outbox thread: under load the first may take a while.
    while (auto event = manager.next_event(harness::scaled_ms(300))) {
      ++records;
      seen = true;
      const shared::SessionSnapshot& snap = event->snapshot;
      EXPECT_NE(event->session_id, 0u);
      // Empty for a session caught before its start has named it "UnKnown".
      EXPECT_TRUE(snap.user_name.empty() || snap.user_name == "UnKnown" || snap.user_name == "alice")
          << snap.user_name;
      EXPECT_TRUE(snap.max_per_host == 0 || snap.max_per_host == 40) << snap.max_per_host;
      EXPECT_TRUE(snap.max_per_user == 0 || snap.max_per_user == 30) << snap.max_per_user;
      EXPECT_TRUE(snap.save_credit == 0 || snap.save_credit == 1) << snap.save_credit;
    }
  }
  for (std::thread& t : clients) t.join();
  EXPECT_GE(logins, 32);
  EXPECT_EQ(logins, attempts);
  EXPECT_GT(records, 0);
  AdminClient last;
  ASSERT_TRUE(last.connect(site.admin_port()));
  EXPECT_FALSE(last.next_event(500));
}

TEST(AdminChannel, SecondManagerCannotConnectWhileOneIsConnected) {
  Site site("admin-one-manager");
  Server server(site);
  AdminClient first;
  ASSERT_TRUE(first.connect(site.admin_port()));
  platform::sleep_ms(200);  // the Core has accepted and closed its listener
  platform::Socket second = platform::open_tcp_socket();
  bool connected = platform::connect_ipv4(second, {platform::kLoopbackAddress, site.admin_port()}, 1000);
  platform::close_socket(second);
  EXPECT_FALSE(connected);
  first.close();
  AdminClient third;
  EXPECT_TRUE(third.connect(site.admin_port()));
}

TEST(AdminChannel, ConnectionFromAnotherAddressIsClosedWithoutARecord) {
  Site site("admin-foreign");
  Server server(site);
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_EQ(client.reply(), kGreeting);

  AdminClient foreign;
  ASSERT_TRUE(foreign.connect(site.admin_port(), "127.0.0.2"));
  EXPECT_FALSE(foreign.next_event(2000));
  EXPECT_TRUE(foreign.wait_closed(1000));

  AdminClient manager;
  ASSERT_TRUE(manager.connect(site.admin_port()));
  auto connected = manager.next_event();
  ASSERT_TRUE(connected);
  EXPECT_EQ(connected->type, shared::kEventConnected);
}

class AdminCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<Server>(site_);
    ASSERT_TRUE(admin_.connect(site_.admin_port()));
    for (FtpClient* client : {&a_, &b_}) {
      ASSERT_TRUE(client->connect(site_.ftp_port()));
      ASSERT_EQ(client->reply(), kGreeting);
      auto connected = admin_.wait_for(shared::kEventConnected);
      ASSERT_TRUE(connected);
      ids_.push_back(connected->session_id);
    }
  }

  platform::Socket admin_socket() const { return admin_.socket(); }

  Site site_{"admin-commands"};
  std::unique_ptr<Server> server_;
  AdminClient admin_;
  FtpClient a_, b_;
  std::vector<uint32_t> ids_;
};

TEST_F(AdminCommands, KickClosesTheNamedSessionOnly) {
  admin_.send(AdminCommandCode::Kick, ids_[0]);
  EXPECT_TRUE(a_.wait_closed());
  auto ended = admin_.next_event();
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->type, shared::kEventDisconnected);
  EXPECT_EQ(ended->session_id, ids_[0]);
  EXPECT_EQ(b_.command("NOOP"), "200 OK\r\n");
  auto status = admin_.next_event();
  ASSERT_TRUE(status);
  EXPECT_EQ(status->session_id, ids_[1]);
}

TEST_F(AdminCommands, KickOfAnEndedOrUnknownSessionIsIgnored) {
  ASSERT_EQ(a_.command("QUIT"), "221 Good-Bye\r\n");
  ASSERT_TRUE(admin_.wait_for(shared::kEventDisconnected));
  admin_.send(AdminCommandCode::Kick, ids_[0]);
  admin_.send(AdminCommandCode::Kick, 0);
  admin_.send(AdminCommandCode::Kick, 0x7FFFFFFF);
  EXPECT_FALSE(admin_.next_event(500));
  EXPECT_EQ(b_.command("NOOP"), "200 OK\r\n");
}

TEST_F(AdminCommands, CommandSplitAcrossSendsIsTakenWhole) {
  auto bytes = shared::encode_command({1, ids_[1]});
  platform::Socket raw = admin_socket();
  ASSERT_NE(raw, platform::kNoSocket);
  platform::send_all(raw, bytes.data(), 3);
  platform::sleep_ms(100);
  platform::send_all(raw, bytes.data() + 3, bytes.size() - 3);
  EXPECT_TRUE(b_.wait_closed());
  EXPECT_EQ(a_.command("NOOP"), "200 OK\r\n");
}

TEST_F(AdminCommands, AbortOfASessionThatIsNotTransferringDoesNothing) {
  admin_.send(AdminCommandCode::AbortTransfer, ids_[0]);
  std::array<uint8_t, 8> unknown = {9, 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(unknown.data() + 4, &ids_[1], 4);
  platform::send_all(admin_socket(), unknown.data(), unknown.size());
  EXPECT_FALSE(admin_.next_event(500));
  EXPECT_EQ(a_.command("NOOP"), "200 OK\r\n");
  EXPECT_EQ(b_.command("NOOP"), "200 OK\r\n");
}

TEST_F(AdminCommands, StopReportsEverySessionsEndThenTheCoreExits) {
  admin_.send(AdminCommandCode::StopServer, 0);
  std::vector<uint32_t> ended;
  for (int i = 0; i < 2; ++i) {
    auto event = admin_.next_event(10000);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->type, shared::kEventDisconnected);
    ended.push_back(event->session_id);
  }
  EXPECT_TRUE((ended == std::vector<uint32_t>{ids_[0], ids_[1]}) ||
              (ended == std::vector<uint32_t>{ids_[1], ids_[0]}));
  EXPECT_TRUE(admin_.wait_closed(10000));
  EXPECT_EQ(a_.read_all(), "");
  EXPECT_EQ(b_.read_all(), "");
  EXPECT_EQ(server_->wait_exit(15000), std::optional<int>(0));
}

TEST_F(AdminCommands, TerminateSignalEndsSessionsAndTheChannel) {
  server_->signal(platform::kSignalTerminate);
  for (int i = 0; i < 2; ++i) {
    auto event = admin_.next_event(10000);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->type, shared::kEventDisconnected);
  }
  EXPECT_TRUE(admin_.wait_closed(10000));
  EXPECT_EQ(server_->wait_exit(15000), std::optional<int>(0));
}

// A logged-in client in the middle of a slow download (64 kbit/s), with the Manager
// watching.
class AdminDuringTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.add_user("alice", {{"UpBps", "64"}});
    site_.write_file("home/big.bin", std::string(512 * 1024, 'x'));
    server_ = std::make_unique<Server>(site_);
    ASSERT_TRUE(admin_.connect(site_.admin_port()));
    ASSERT_TRUE(client_.connect(site_.ftp_port()));
    ASSERT_TRUE(client_.login("alice", "alice"));
    std::string preliminary;
    data_ = client_.passive_data("RETR big.bin", &preliminary);
    ASSERT_NE(data_, platform::kNoSocket) << preliminary;
    auto started = admin_.wait_for(shared::kEventDownloadStarted);
    ASSERT_TRUE(started);
    id_ = started->session_id;
    // Bytes arriving show that the worker is sending.
    char first[16];
    ASSERT_GT(platform::recv_some_timeout(data_, first, sizeof first, 5000), 0);
  }

  Site site_{"admin-transfer"};
  std::unique_ptr<Server> server_;
  AdminClient admin_;
  FtpClient client_;
  platform::Socket data_ = platform::kNoSocket;
  uint32_t id_ = 0;
};

TEST_F(AdminDuringTransfer, AbortBreaksTheDownloadAndTheSessionGoesOn) {
  admin_.send(AdminCommandCode::AbortTransfer, id_);
  std::string rest = harness::read_data(data_, 10000);
  EXPECT_LT(rest.size(), 512u * 1024u - 16u);
  EXPECT_EQ(client_.reply(10000).substr(0, 3), "426");
  auto ended = admin_.wait_for(shared::kEventDownloadEnded);
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->session_id, id_);
  EXPECT_EQ(client_.command("NOOP"), "200 OK\r\n");
}

TEST_F(AdminDuringTransfer, KickEndsTheSessionWithItsTransfer) {
  admin_.send(AdminCommandCode::Kick, id_);
  EXPECT_TRUE(client_.wait_closed(10000));
  std::string rest = harness::read_data(data_, 10000);
  EXPECT_LT(rest.size(), 512u * 1024u - 16u);
  auto ended = admin_.wait_for(shared::kEventDisconnected, 10000);
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->session_id, id_);
}

TEST_F(AdminDuringTransfer, NewManagerSeesTheRunningDownload) {
  admin_.close();
  AdminClient second;
  ASSERT_TRUE(second.connect(site_.admin_port()));
  std::vector<uint32_t> types;
  for (int i = 0; i < 3; ++i) {
    auto event = second.next_event();
    ASSERT_TRUE(event);
    types.push_back(event->type);
    EXPECT_EQ(event->session_id, id_);
  }
  EXPECT_EQ(types, (std::vector<uint32_t>{0, 1, 4}));
  platform::close_socket(data_);
}

}  // namespace

namespace {

// A download paced to 8 kbit/s in 64 KiB blocks sleeps about a minute per block; the
// Manager's abort must not wait for that sleep to end.
TEST(AdminAbortOfAPacedDownload, EndsWithoutSleepingOutTheBlock) {
  harness::Site site("admin-abort-paced");
  site.set("System", "BufferSize", "65536");
  site.add_user("alice", {{"UpBps", "8"}});
  site.write_file("home/big.bin", std::string(256 * 1024, 'x'));
  harness::Server server(site);
  harness::AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));
  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("alice", "alice"));
  std::string preliminary;
  platform::Socket data = client.passive_data("RETR big.bin", &preliminary);
  ASSERT_NE(data, platform::kNoSocket) << preliminary;
  auto started = admin.wait_for(shared::kEventDownloadStarted);
  ASSERT_TRUE(started);
  char first[16];
  ASSERT_GT(platform::recv_some_timeout(data, first, sizeof first, 5000), 0);
  admin.send(shared::AdminCommandCode::AbortTransfer, started->session_id);
  EXPECT_EQ(client.reply(10000), "426 Connection closed transfer aborted.\r\n");
  harness::read_data(data, 10000);
  EXPECT_EQ(client.command("NOOP"), "200 OK\r\n");
}

}  // namespace
