// A Manager that stops reading: sessions never wait for it. Events queue up to a bound;
// beyond it the Manager is disconnected with a line on standard error, and a Manager that
// connects again receives the snapshot of the live sessions.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/harness.h"

namespace {

using harness::AdminClient;
using harness::FtpClient;

constexpr int kClients = 50;
constexpr int kRounds = 4;
constexpr int kNoopsPerRound = 10;

// One client's rounds of log in, list, NOOPs and QUIT; false at the first answer missing.
bool log_in_and_list(const harness::Site& site) {
  for (int round = 0; round < kRounds; ++round) {
    FtpClient client;
    if (!client.connect(site.ftp_port()) || !client.login("alice", "alice")) return false;
    if (!client.download("LIST")) return false;
    for (int i = 0; i < kNoopsPerRound; ++i) {
      if (client.command("NOOP") != "200 OK\r\n") return false;
    }
    if (client.command("QUIT") != "221 Good-Bye\r\n") return false;
  }
  return true;
}

TEST(AdminBacklog, AManagerThatNeverReadsStallsNoSessionAndIsDisconnected) {
  harness::Site site("adminbacklog");
  site.add_user("alice");
  site.write_file("home/a.txt", "a");
  harness::Server server(site);
  AdminClient stuck;  // connected, never read
  ASSERT_TRUE(stuck.connect(site.admin_port()));

  // About 12 MB of events: far more than the queue and the socket buffers hold.
  std::atomic<int> stalled{0};
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&] {
      if (!log_in_and_list(site)) ++stalled;
    });
  }
  for (auto& t : clients) t.join();
  EXPECT_EQ(stalled, 0);

  EXPECT_TRUE(stuck.wait_closed(20000));
  EXPECT_NE(server.output().find("the Manager fell more than"), std::string::npos)
      << server.output();

  FtpClient keeper;
  ASSERT_TRUE(keeper.connect(site.ftp_port()));
  ASSERT_TRUE(keeper.login("alice", "alice"));
  AdminClient fresh;
  ASSERT_TRUE(fresh.connect(site.admin_port()));
  EXPECT_TRUE(fresh.wait_for(shared::kEventUserAccepted, 5000, "alice"));
}

}  // namespace
