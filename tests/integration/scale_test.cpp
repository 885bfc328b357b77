// Many sessions at once: the Core raises its open-file limit at start and serves
// thousands of idle sessions with one thread each (beside the few idle threads that wait
// to take the next connection); the data worker comes and goes with
// data commands; running out of descriptors delays connections but never ends the
// accept loop.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "tests/support/eventually.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using test_support::eventually;

using namespace replies;
using harness::FtpClient;
using harness::Server;
using harness::Site;

const std::string kPrlimit = "/usr/bin/prlimit";

std::vector<std::string> open_files(const std::string& limits) {
  return {kPrlimit, "--nofile=" + limits, "--"};
}

// Threads of a process, from the kernel's status file; -1 when unreadable.
int thread_count(int pid) {
  auto status = platform::read_whole_file("/proc/" + std::to_string(pid) + "/status");
  if (!status) return -1;
  size_t at = status->find("\nThreads:");
  return at == std::string::npos ? -1 : std::stoi(status->substr(at + 9));
}

// The thread count once it has stopped changing (the start-up probe's session ends).
int settled_thread_count(int pid) {
  int last = thread_count(pid);
  for (int i = 0; i < 50; ++i) {
    platform::sleep_ms(200);
    int now = thread_count(pid);
    if (now == last) return now;
    last = now;
  }
  return last;
}

std::string loopback_source(int i) { return "127.0.0." + std::to_string(2 + i % 8); }

// Thousands of clients take their ports below the system's ephemeral range, so that they
// never hold a port that another test running meanwhile has just found free. A port still
// taken (by an earlier run's closing connections, say) is skipped.
bool connect_below_ephemeral_ports(FtpClient& client, uint16_t server_port, int i,
                                   uint16_t& next_port) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    uint16_t port = next_port++;
    if (port < 20000 || port > 32000) port = next_port = 20000;
    if (client.connect(server_port, loopback_source(i), port)) return true;
  }
  return false;
}

TEST(Scale, TwoThousandIdleSessionsWithALowSoftLimitRaisedAtStart) {
  constexpr int kSessions = 2000;
  const platform::OpenFileLimit mine = platform::raise_open_file_limit();
  if (mine.soft < kSessions + 500) GTEST_SKIP() << "the hard open-file limit is too low here";
  Site site("scale-2000");
  site.add_user("ida");
  Server server(site, {"-ns"}, {}, true, open_files("256:"));
  const int base = settled_thread_count(server.pid());
  std::vector<std::unique_ptr<FtpClient>> clients;
  uint16_t next_port = 20000;
  for (int i = 0; i < kSessions; ++i) {
    auto client = std::make_unique<FtpClient>();
    ASSERT_TRUE(connect_below_ephemeral_ports(*client, site.ftp_port(), i, next_port))
        << "session " << i;
    ASSERT_TRUE(client->login("ida", "ida")) << "session " << i;
    clients.push_back(std::move(client));
  }
  // One thread per idle session: its own. No data worker waits for work. Besides them,
  // the Core keeps a few idle threads (two during a run of logins, one of which the first
  // login may have taken) that wait to take the next connection.
  const int threads = settled_thread_count(server.pid());
  EXPECT_GE(threads, base + kSessions - 3) << base << " threads without sessions";
  EXPECT_LE(threads, base + kSessions + 2) << base << " threads without sessions";
  int answered = 0;
  for (auto& client : clients) answered += client->command("NOOP") == "200 OK\r\n";
  EXPECT_EQ(answered, kSessions);
  EXPECT_EQ(server.output().find("open-file limit"), std::string::npos) << server.output();
}

TEST(Scale, DataWorkerStartsWithTheFirstDataCommandAndEndsWhenIdle) {
  Site site("scale-worker");
  site.add_user("ida");
  site.write_file("home/file.txt", "contents");
  Server server(site);
  const int base = settled_thread_count(server.pid());
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("ida", "ida"));
  // The session took an idle thread; another may have been started to wait in its place.
  const int logged_in = settled_thread_count(server.pid());
  EXPECT_LE(logged_in, base + 1);
  ASSERT_TRUE(client.pasv());  // the worker now waits in accept
  EXPECT_EQ(thread_count(server.pid()), logged_in + 1);
  auto got = client.download("RETR file.txt");
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, "contents");
  EXPECT_TRUE(eventually([&] { return thread_count(server.pid()) == logged_in; }, 15000));
  // A new worker serves the next command.
  got = client.download("RETR file.txt");
  ASSERT_TRUE(got);
  EXPECT_EQ(*got, "contents");
  EXPECT_EQ(client.command("NOOP"), "200 OK\r\n");
}

TEST(Scale, ThreadsOfEndedSessionsWaitForTheNextLogins) {
  constexpr int kSessions = 20;
  Site site("scale-reuse");
  site.add_user("ida");
  Server server(site);
  auto log_in_all = [&] {
    std::vector<std::unique_ptr<FtpClient>> clients;
    for (int i = 0; i < kSessions; ++i) {
      clients.push_back(std::make_unique<FtpClient>());
      EXPECT_TRUE(clients.back()->connect(site.ftp_port()));
      EXPECT_TRUE(clients.back()->login("ida", "ida"));
    }
    return clients;
  };
  auto first = log_in_all();
  const int busy = settled_thread_count(server.pid());
  for (auto& client : first) EXPECT_EQ(client->command("QUIT"), "221 Good-Bye\r\n");
  first.clear();
  // The ended sessions' threads stay, idle, and take the next logins: none is started.
  EXPECT_EQ(settled_thread_count(server.pid()), busy);
  auto second = log_in_all();
  EXPECT_EQ(settled_thread_count(server.pid()), busy);
  for (auto& client : second) EXPECT_EQ(client->command("NOOP"), "200 OK\r\n");
}

TEST(Scale, CoreSaysWhenTheHardLimitIsBelowWhatMaxConnectNeeds) {
  Site site("scale-limit-low");
  site.set("System", "MaxConnect", "100");  // 100 sessions x 3 + 64 = 364 descriptors
  Server low(site, {"-ns"}, {}, true, open_files("100:200"));
  EXPECT_NE(low.output().find("quorsrv: the open-file limit is 200, below the 364 that "
                              "MaxConnect=100 needs; connections beyond it wait until "
                              "descriptors are free\n"),
            std::string::npos)
      << low.output();

  Site enough("scale-limit-enough");
  enough.set("System", "MaxConnect", "40");  // 184 descriptors
  Server raised(enough, {"-ns"}, {}, true, open_files("100:200"));
  EXPECT_EQ(raised.output().find("open-file limit"), std::string::npos) << raised.output();
}

TEST(Scale, AcceptLoopSurvivesRunningOutOfDescriptors) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // The sanitizers' runtimes open descriptors of their own, so a Core held to 48 does
  // not run out where this test expects it to.
  GTEST_SKIP() << "needs a build without sanitizers";
#endif
  Site site("scale-emfile");
  site.add_user("ida");
  Server server(site, {"-ns"}, {}, true, open_files("48:48"));
  std::vector<std::unique_ptr<FtpClient>> greeted;
  std::unique_ptr<FtpClient> waiting;
  for (int i = 0; i < 60 && !waiting; ++i) {
    auto client = std::make_unique<FtpClient>();
    ASSERT_TRUE(client->connect(site.ftp_port()));
    if (client->reply(2000) == kGreeting) {
      greeted.push_back(std::move(client));
    } else {
      waiting = std::move(client);
    }
  }
  ASSERT_TRUE(waiting) << "48 descriptors never ran out";
  ASSERT_GE(greeted.size(), 10u);
  // No descriptor is free to read the account with: the login is not taken for one
  // with an empty password, it is the session's internal error.
  EXPECT_EQ(greeted.back()->command("USER ida"), "330 Sorry.Internal Server Error.\r\n");
  EXPECT_TRUE(greeted.back()->wait_closed());
  greeted.pop_back();
  for (int i = 0; i < 5; ++i) {
    greeted.back()->command("QUIT");
    greeted.pop_back();
  }
  EXPECT_EQ(waiting->reply(10000), kGreeting);
  EXPECT_EQ(waiting->command("USER ida"), "331 Enter Your Password\r\n");
  EXPECT_EQ(waiting->command("PASS ida").substr(0, 3), "230");
}

}  // namespace
