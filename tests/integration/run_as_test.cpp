// [System] RunAsUser: a Core started as root opens its port, then serves as the named
// user, so that every file it writes is that user's and what that user cannot read stays
// out of reach; bad settings stop it with one line on standard error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/socket.h"
#include "platform/users.h"
#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

constexpr const char* kSetpriv = "/usr/bin/setpriv";
constexpr int kQuickExitMs = 10000;

class RunAsUser : public ::testing::Test {
 protected:
  void SetUp() override {
    if (platform::current_user_id() != 0) GTEST_SKIP() << "taking on another user needs root";
    auto user = platform::find_user("nobody");
    if (!user) GTEST_SKIP() << "needs the user nobody";
    nobody_ = *user;
  }

  // Hands the whole site to nobody (the served folder and the user folder with it).
  void give_site_to_nobody() {
    auto result = platform::run_program("/bin/chown", {"-R", "nobody:", site_.root()}, 10000);
    ASSERT_TRUE(result && result->exit_code == 0);
  }

  harness::Site site_{"runas"};
  platform::UserIdentity nobody_;
};

// A port below 1024 that nothing listens on: only root (or the capability) may bind it.
uint16_t free_privileged_port() {
  for (uint16_t port = 1023; port >= 900; --port) {
    platform::Socket s = platform::open_tcp_socket();
    bool free = platform::bind_ipv4(s, {platform::kAnyAddress, port}, true);
    platform::close_socket(s);
    if (free) return port;
  }
  return 0;
}

std::string status_uid_line(int pid) {
  std::string status =
      platform::read_whole_file("/proc/" + std::to_string(pid) + "/status").value_or("");
  size_t start = status.find("Uid:");
  return start == std::string::npos ? "" : status.substr(start, status.find('\n', start) - start);
}

TEST_F(RunAsUser, RootOpensAPrivilegedPortThenServesAsTheUser) {
  const uint16_t port = free_privileged_port();
  ASSERT_NE(port, 0);
  site_.set("System", "Port", std::to_string(port));
  site_.set("System", "RunAsUser", "nobody");
  site_.add_user("alice");
  site_.add_user("etc", {{"HomeDir", "/etc/"}});
  site_.make_dir("locked");
  site_.add_user("locked", {{"HomeDir", site_.path("locked/")}});
  site_.write_file("home/readme.txt", "hello\n");
  give_site_to_nobody();
  // A home the service user cannot read: root's, mode 0700.
  ASSERT_TRUE(platform::run_program("/bin/chown", {"root:", site_.path("locked")}, 10000));
  ASSERT_TRUE(platform::run_program("/bin/chmod", {"0700", site_.path("locked")}, 10000));
  site_.write_file("locked/secret.txt", "secret\n");

  harness::Server core(site_, {"-ns"}, {}, false);
  harness::FtpClient probe;
  bool answered = false;
  for (int attempt = 0; attempt < 100 && !answered && !core.wait_exit(0); ++attempt) {
    answered = probe.connect(port);
    if (!answered) platform::sleep_ms(50);
  }
  ASSERT_TRUE(answered) << core.output();
  probe.close();
  const std::string id = std::to_string(nobody_.uid);
  EXPECT_EQ(status_uid_line(core.pid()), "Uid:\t" + id + "\t" + id + "\t" + id + "\t" + id);

  harness::FtpClient alice;
  ASSERT_TRUE(alice.connect(port));
  ASSERT_TRUE(alice.login("alice", "alice"));
  EXPECT_EQ(alice.download("RETR readme.txt"), std::optional<std::string>("hello\n"));
  std::string replies;
  ASSERT_TRUE(alice.upload("STOR up.txt", "data", &replies)) << replies;
  EXPECT_EQ(alice.command("QUIT").substr(0, 3), "221");
  EXPECT_EQ(platform::file_owner(site_.path("home/up.txt")), std::optional(nobody_.uid));
  EXPECT_EQ(platform::file_owner(site_.path("user/alice.mlg")), std::optional(nobody_.uid));

  // /etc/shadow is root's: the service user cannot read it, whatever the account says.
  harness::FtpClient etc;
  ASSERT_TRUE(etc.connect(port));
  ASSERT_TRUE(etc.login("etc", "etc"));
  std::string preliminary;
  platform::Socket data = etc.passive_data("RETR shadow", &preliminary);
  if (data != platform::kNoSocket) {
    EXPECT_EQ(harness::read_data(data), "");
  }
  EXPECT_EQ(preliminary, replies::kNotTaken);

  // A home it cannot read: the usual 550s, and the Core goes on serving.
  site_.make_dir("locked/sub");
  harness::FtpClient locked;
  ASSERT_TRUE(locked.connect(port));
  ASSERT_TRUE(locked.login("locked", "locked"));
  EXPECT_EQ(locked.command("SIZE secret.txt"), replies::kNotTaken);
  EXPECT_EQ(locked.command("CWD sub"), replies::kNotTaken);
  preliminary.clear();
  data = locked.passive_data("RETR secret.txt", &preliminary);
  if (data != platform::kNoSocket) {
    EXPECT_EQ(harness::read_data(data), "");
  }
  EXPECT_EQ(preliminary, replies::kNotTaken);
  EXPECT_FALSE(locked.upload("STOR new.txt", "data"));
  EXPECT_FALSE(platform::path_exists(site_.path("locked/new.txt")));
  preliminary.clear();
  data = locked.passive_data("LIST", &preliminary);
  if (data != platform::kNoSocket) {
    EXPECT_EQ(harness::read_data(data), "");
  }
  EXPECT_EQ(preliminary, replies::kNotTaken);

  harness::FtpClient after;
  ASSERT_TRUE(after.connect(port));
  EXPECT_TRUE(after.login("alice", "alice"));
}

TEST_F(RunAsUser, BadSettingsStopTheCoreWithOneLine) {
  struct Case {
    std::string user;
    bool give_site;
    std::string line;
  };
  const std::vector<Case> cases{
      {"no-such-user-h17", false, "quorsrv: RunAsUser=no-such-user-h17: no such user; not serving\n"},
      {"nobody", false,
       "quorsrv: RunAsUser=nobody: the program directory " + site_.root() +
           " belongs to root, not to nobody; not serving (chown -R nobody: " + site_.root() +
           ")\n"},
  };
  site_.add_user("alice");
  for (const Case& c : cases) {
    site_.set("System", "RunAsUser", c.user);
    harness::Server core(site_, {"-ns"}, {}, false);
    EXPECT_EQ(core.wait_exit(kQuickExitMs), std::optional<int>(1)) << c.user;
    EXPECT_EQ(core.output(), c.line);
    harness::FtpClient probe;
    EXPECT_FALSE(probe.connect(site_.ftp_port())) << c.user;
  }
}

// Only root can take on another user: a Core started as nobody that is told to serve as
// root refuses.
TEST_F(RunAsUser, AnOrdinaryUserCannotTakeOnAnother) {
  if (!platform::path_exists(kSetpriv)) GTEST_SKIP() << "needs " << kSetpriv;
  site_.set("System", "RunAsUser", "root");
  ASSERT_TRUE(platform::run_program("/bin/chmod", {"0755", site_.root()}, 10000));
  const std::string output = site_.path("nobody.out");
  auto child = platform::spawn_process(
      kSetpriv,
      {"--reuid=nobody", "--regid=nogroup", "--clear-groups", QUORSRV_PATH, "-ns"},
      {"VELMORAFTPD_HOME=" + site_.root()}, output);
  ASSERT_TRUE(child);
  auto code = platform::wait_process(*child, kQuickExitMs);
  if (!code) {
    platform::signal_process(*child, platform::kSignalKill);
    platform::wait_process(*child, -1);
  }
  EXPECT_EQ(code, std::optional<int>(1));
  EXPECT_EQ(site_.read_file("nobody.out"),
            "quorsrv: RunAsUser=root: only root can take on another user (running as "
            "nobody); not serving\n");
}

}  // namespace
