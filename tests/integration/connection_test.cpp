// Connections as clients see them: the server-wide limit, refused hosts, the idle kick,
// and many clients coming and going without leaving anything behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;
using harness::AdminClient;
using harness::FtpClient;
using harness::Server;
using harness::Site;

constexpr const char* kTooMany = "530 Too many connect.\r\n";
constexpr const char* kRefusedHost = "421 Sorry.This server can't accept you.\r\n";

int descriptor_count(int pid) {
  std::error_code error;
  int count = 0;
  for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", error), end;
       !error && it != end; it.increment(error)) {
    ++count;
  }
  return count;
}

// The Core's descriptor count once it has not changed for a moment.
int settled_descriptor_count(int pid) {
  int last = descriptor_count(pid);
  for (int i = 0; i < 50; ++i) {
    platform::sleep_ms(100);
    int now = descriptor_count(pid);
    if (now == last) return now;
    last = now;
  }
  return last;
}

TEST(Connections, ClientOverMaxConnectIsRefusedBeforeTheGreeting) {
  Site site("max-connect");
  site.set("System", "MaxConnect", "2");
  Server server(site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));

  FtpClient first, second, third;
  ASSERT_TRUE(first.connect(site.ftp_port()));
  ASSERT_EQ(first.reply(), kGreeting);
  ASSERT_TRUE(second.connect(site.ftp_port()));
  ASSERT_EQ(second.reply(), kGreeting);
  auto first_event = admin.wait_for(shared::kEventConnected);
  auto second_event = admin.wait_for(shared::kEventConnected);
  ASSERT_TRUE(first_event && second_event);

  ASSERT_TRUE(third.connect(site.ftp_port()));
  EXPECT_EQ(third.read_all(), kTooMany);

  // The refused session reports only its end: no connect event came before it.
  auto refused = admin.next_event();
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->type, shared::kEventDisconnected);
  EXPECT_NE(refused->session_id, first_event->session_id);
  EXPECT_NE(refused->session_id, second_event->session_id);
  EXPECT_EQ(refused->snapshot.user_name, "UnKnown");

  // A place that frees up is given to the next client.
  EXPECT_EQ(first.command("QUIT"), "221 Good-Bye\r\n");
  ASSERT_TRUE(first.wait_closed());
  FtpClient fourth;
  ASSERT_TRUE(fourth.connect(site.ftp_port()));
  EXPECT_EQ(fourth.reply(), kGreeting);
}

TEST(Connections, NoMaxConnectMeansNoLimit) {
  Site site("no-limit");
  Server server(site);
  std::vector<std::unique_ptr<FtpClient>> clients;
  for (int i = 0; i < 20; ++i) {
    clients.push_back(std::make_unique<FtpClient>());
    ASSERT_TRUE(clients.back()->connect(site.ftp_port()));
    ASSERT_EQ(clients.back()->reply(), kGreeting) << i;
  }
}

TEST(Connections, HostInRefuseListGets421AndNoGreeting) {
  Site site("refuse-ip");
  site.write_file("RefuseIP.txt", "10.0.0.?\n127.0.0.2\n");
  Server server(site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));

  FtpClient refused;
  ASSERT_TRUE(refused.connect(site.ftp_port(), "127.0.0.2"));
  EXPECT_EQ(refused.read_all(), kRefusedHost);
  auto ended = admin.next_event();
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->type, shared::kEventDisconnected);
  EXPECT_EQ(ended->snapshot.host_text, "127.0.0.2");

  FtpClient welcome;
  ASSERT_TRUE(welcome.connect(site.ftp_port(), "127.0.0.3"));
  EXPECT_EQ(welcome.reply(), kGreeting);
}

TEST(Connections, WildcardRefusalCoversEveryMatchingHost) {
  Site site("refuse-wildcard");
  site.write_file("RefuseIP.txt", "127.0.0.*\n");
  Server server(site);
  for (const char* from : {"127.0.0.1", "127.0.0.9"}) {
    FtpClient client;
    ASSERT_TRUE(client.connect(site.ftp_port(), from));
    EXPECT_EQ(client.read_all(), kRefusedHost) << from;
  }
}

TEST(Connections, SessionIdsAreDistinctAndNeverZero) {
  Site site("session-ids");
  Server server(site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));
  std::set<uint32_t> ids;
  for (int i = 0; i < 5; ++i) {
    FtpClient client;
    ASSERT_TRUE(client.connect(site.ftp_port()));
    ASSERT_EQ(client.reply(), kGreeting);
    auto connected = admin.wait_for(shared::kEventConnected);
    ASSERT_TRUE(connected);
    EXPECT_NE(connected->session_id, 0u);
    EXPECT_EQ(connected->snapshot.session_id, connected->session_id);
    ids.insert(connected->session_id);
  }
  EXPECT_EQ(ids.size(), 5u);
}

// Slow: the idle limit before login is one minute.
TEST(Connections, SilentClientIsKickedAfterAMinuteWhileANoopClientStays) {
  Site site("idle-kick");
  site.set("System", "LoginTimeout", "0");  // the idle rule alone: NOOP is activity
  Server server(site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));
  FtpClient silent, busy;
  ASSERT_TRUE(silent.connect(site.ftp_port()));
  ASSERT_EQ(silent.reply(), kGreeting);
  uint32_t start = platform::tick_ms();
  auto silent_event = admin.wait_for(shared::kEventConnected);
  ASSERT_TRUE(silent_event);
  ASSERT_TRUE(busy.connect(site.ftp_port()));
  ASSERT_EQ(busy.reply(), kGreeting);

  std::optional<shared::AdminEvent> ended;
  while (!ended && platform::tick_ms() - start < 150000) {
    auto event = admin.next_event(15000);
    if (!event) {
      ASSERT_EQ(busy.command("NOOP"), "200 OK\r\n");
      continue;
    }
    if (event->type == shared::kEventDisconnected) ended = event;
  }
  uint32_t elapsed = platform::tick_ms() - start;
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->session_id, silent_event->session_id);
  EXPECT_GE(elapsed, 59000u);
  EXPECT_LE(elapsed, 125000u);
  EXPECT_TRUE(silent.wait_closed(2000));
  EXPECT_EQ(busy.command("NOOP"), "200 OK\r\n");
  // Exactly one disconnection is reported for the kicked session.
  auto status = admin.next_event();
  ASSERT_TRUE(status);
  EXPECT_EQ(status->type, shared::kEventStatus);
  EXPECT_FALSE(admin.next_event(2500));
}

TEST(Connections, FiveHundredClientsComingAndGoingLeaveNothingBehind) {
  Site site("many-clients");
  site.add_user("alice");
  Server server(site);
  int baseline = settled_descriptor_count(server.pid());
  ASSERT_GT(baseline, 0);

  {
    std::vector<std::unique_ptr<FtpClient>> clients;
    for (int i = 0; i < 500; ++i) {
      clients.push_back(std::make_unique<FtpClient>());
      ASSERT_TRUE(clients.back()->connect(site.ftp_port())) << i;
    }
    for (size_t i = 0; i < clients.size(); ++i) {
      ASSERT_EQ(clients[i]->reply(10000), kGreeting) << i;
    }
    // Some leave a passive listener open behind them.
    for (size_t i = 0; i < 20; ++i) {
      ASSERT_EQ(clients[i]->command("USER alice").substr(0, 3), "331");
      ASSERT_EQ(clients[i]->command("PASS alice").substr(0, 3), "230");
      ASSERT_TRUE(clients[i]->pasv()) << i;
    }
    EXPECT_GE(descriptor_count(server.pid()), baseline + 500);
  }  // every client hangs up at once

  int now = descriptor_count(server.pid());
  for (int i = 0; i < 300 && now > baseline; ++i) {
    platform::sleep_ms(100);
    now = descriptor_count(server.pid());
  }
  EXPECT_EQ(now, baseline);

  // A fresh Manager's snapshot lists no session.
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));
  EXPECT_FALSE(admin.next_event(1000));
  FtpClient later;
  ASSERT_TRUE(later.connect(site.ftp_port()));
  EXPECT_EQ(later.reply(), kGreeting);
  auto connected = admin.next_event();
  ASSERT_TRUE(connected);
  EXPECT_EQ(connected->type, shared::kEventConnected);
}

}  // namespace
