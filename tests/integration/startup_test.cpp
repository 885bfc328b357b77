// quorsrv's command line, process and service modes, and its clean stop.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/socket.h"
#include "tests/support/harness.h"

namespace {

namespace fs = std::filesystem;

constexpr int kQuickExitMs = 10000;

bool ftp_port_answers(const harness::Site& site) {
  harness::FtpClient probe;
  return probe.connect(site.ftp_port());
}

std::string mutex_name(const harness::Site& site) {
  return "velmoraftpd:" + std::to_string(site.ftp_port());
}

// A unit folder and a stand-in systemctl that records its arguments, one call a line.
class ServiceRegistration : public ::testing::Test {
 protected:
  harness::Site site_{"service"};
  std::string units_ = site_.path("units/");
  std::string calls_ = site_.path("systemctl.calls");
  std::string systemctl_ = site_.path("fake-systemctl");

  void SetUp() override {
    site_.make_dir("units");
    site_.write_file("fake-systemctl", "#!/bin/sh\necho \"$@\" >> '" + calls_ + "'\nexit 0\n");
    fs::permissions(systemctl_, fs::perms::owner_all);
    // The unit runs the Core as this user; the default, velmoraftpd, is the package's.
    site_.set("System", "RunAsUser", "root");
  }

  // Runs quorsrv with the arguments against the redirected service manager; returns
  // what it wrote. The exit code must be 0 whatever happened.
  std::string run(std::vector<std::string> arguments, const std::string& unit_dir = "") {
    harness::Server core(site_, std::move(arguments),
                         {"VELMORAFTPD_UNIT_DIR=" + (unit_dir.empty() ? units_ : unit_dir),
                          "VELMORAFTPD_SYSTEMCTL=" + systemctl_},
                         false);
    EXPECT_EQ(core.wait_exit(kQuickExitMs), std::optional<int>(0));
    return core.output();
  }
  std::string unit_file() const { return units_ + "velmoraftpd.service"; }
  bool unit_exists() const { return fs::exists(unit_file()); }
  std::string unit_text() const { return site_.read_file("units/velmoraftpd.service"); }
  std::string calls() const {
    return site_.exists("systemctl.calls") ? site_.read_file("systemctl.calls") : "";
  }
};

TEST_F(ServiceRegistration, InstallWritesTheUnitAndEnablesIt) {
  EXPECT_EQ(run({"-as"}), "add service success\n");
  ASSERT_TRUE(unit_exists());
  const std::string unit = unit_text();
  EXPECT_NE(unit.find("ExecStart=" + fs::canonical(QUORSRV_PATH).string()), std::string::npos)
      << unit;
  EXPECT_NE(unit.find("VELMORAFTPD_HOME=" + site_.root()), std::string::npos) << unit;
  EXPECT_NE(unit.find("Environment"), std::string::npos) << unit;
  EXPECT_NE(calls().find("enable"), std::string::npos) << calls();
}

TEST_F(ServiceRegistration, TheUnitRunsTheCoreAsTheServiceUser) {
  EXPECT_EQ(run({"-as"}), "add service success\n");
  EXPECT_NE(unit_text().find("\nUser=root\n"), std::string::npos) << unit_text();
  EXPECT_NE(unit_text().find("\nAmbientCapabilities=CAP_NET_BIND_SERVICE\n"), std::string::npos);
}

// A service user that does not exist, or a unit folder the Core may not write: "error add
// service" and one line on standard error saying why; the exit code stays 0.
TEST_F(ServiceRegistration, BadInstallsSayWhyOnStandardError) {
  site_.set("System", "RunAsUser", "no-such-user-h17");
  EXPECT_EQ(run({"-as"}),
            "error add service\nquorsrv: the service runs as user no-such-user-h17, which does "
            "not exist (create it with adduser --system --group no-such-user-h17, or set "
            "[System] RunAsUser)\n");
  EXPECT_FALSE(unit_exists());

  if (platform::current_user_id() != 0 || !fs::exists("/usr/bin/setpriv"))
    GTEST_SKIP() << "running -as as nobody needs root and setpriv";
  site_.set("System", "RunAsUser", "nobody");
  fs::permissions(site_.root(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
  fs::permissions(systemctl_, fs::perms::owner_all | fs::perms::others_exec |
                                  fs::perms::others_read);
  const std::string output = site_.path("nobody.out");
  auto child = platform::spawn_process(
      "/usr/bin/setpriv",
      {"--reuid=nobody", "--regid=nogroup", "--clear-groups", QUORSRV_PATH, "-as"},
      {"VELMORAFTPD_HOME=" + site_.root(), "VELMORAFTPD_UNIT_DIR=" + units_,
       "VELMORAFTPD_SYSTEMCTL=" + systemctl_},
      output);
  ASSERT_TRUE(child);
  EXPECT_EQ(platform::wait_process(*child, kQuickExitMs), std::optional<int>(0));
  EXPECT_EQ(site_.read_file("nobody.out"),
            "error add service\nquorsrv: cannot write " + unit_file() +
                " (Permission denied)\n");
  EXPECT_FALSE(unit_exists());
}

TEST_F(ServiceRegistration, InstallDoesNotStartAServer) {
  EXPECT_EQ(run({"-as"}), "add service success\n");
  EXPECT_FALSE(ftp_port_answers(site_));
  EXPECT_FALSE(platform::named_mutex_exists(mutex_name(site_)));
}

TEST_F(ServiceRegistration, RemoveDisablesAndDeletesTheUnit) {
  ASSERT_EQ(run({"-as"}), "add service success\n");
  EXPECT_EQ(run({"-ds"}), "del service complete\n");
  EXPECT_FALSE(unit_exists());
  EXPECT_NE(calls().find("disable"), std::string::npos) << calls();
}

TEST_F(ServiceRegistration, RemoveWithoutAnInstalledUnitFails) {
  EXPECT_EQ(run({"-ds"}), "error del service\n");
}

TEST_F(ServiceRegistration, MissingUnitFolderMeansNoServiceManager) {
  const std::string nowhere = site_.path("no-such-folder/");
  EXPECT_EQ(run({"-as"}, nowhere), "cant get service control manager\n");
  EXPECT_EQ(run({"-ds"}, nowhere), "cant get service control manager\n");
  EXPECT_FALSE(fs::exists(nowhere));
}

TEST_F(ServiceRegistration, ProcessSwitchBeforeInstallStillInstallsAndExits) {
  EXPECT_EQ(run({"-ns", "-as"}), "add service success\n");
  EXPECT_TRUE(unit_exists());
  EXPECT_FALSE(ftp_port_answers(site_));
}

TEST_F(ServiceRegistration, WordsAfterTheFirstServiceSwitchAreNotExamined) {
  EXPECT_EQ(run({"-ds", "-as"}), "error del service\n");
  EXPECT_FALSE(unit_exists());
}

TEST_F(ServiceRegistration, SwitchesInCapitalsAreIgnored) {
  if (platform::environment_variable("INVOCATION_ID")) GTEST_SKIP() << "runner under systemd";
  EXPECT_EQ(run({"-AS"}), "");
  EXPECT_FALSE(unit_exists());
  EXPECT_EQ(calls(), "");
}

// Outside the service manager, without -ns, the Core has nothing to do.
class OutsideServiceManager : public ::testing::Test {
 protected:
  void SetUp() override {
    if (platform::environment_variable("INVOCATION_ID")) {
      GTEST_SKIP() << "the test runner itself runs under systemd";
    }
  }
  harness::Site site_{"plain"};
};

TEST_F(OutsideServiceManager, NoSwitchEndsAtOnce) {
  harness::Server core(site_, {}, {}, false);
  EXPECT_EQ(core.wait_exit(kQuickExitMs), std::optional<int>(0));
  EXPECT_EQ(core.output(), "");
  EXPECT_FALSE(ftp_port_answers(site_));
}

TEST_F(OutsideServiceManager, CapitalNsIsNotProcessMode) {
  harness::Server core(site_, {"-NS"}, {}, false);
  EXPECT_EQ(core.wait_exit(kQuickExitMs), std::optional<int>(0));
  EXPECT_FALSE(ftp_port_answers(site_));
}

TEST_F(OutsideServiceManager, UnknownWordsAreIgnored) {
  harness::Server core(site_, {"--help", "ns", "-nsx", "\"\""}, {}, false);
  EXPECT_EQ(core.wait_exit(kQuickExitMs), std::optional<int>(0));
  EXPECT_EQ(core.output(), "");
}

TEST(ProcessMode, UnknownWordsBeforeNsDoNotStopIt) {
  harness::Site site("process");
  harness::Server core(site, {"-x", "-NS", "-ns", "extra"});
  EXPECT_TRUE(ftp_port_answers(site));
  core.signal(platform::kSignalTerminate);
  EXPECT_EQ(core.wait_exit(kQuickExitMs), std::optional<int>(0));
}

TEST(ProcessMode, InterruptStopsTheCoreCleanly) {
  harness::Site site("sigint");
  site.add_user("alice");
  harness::Server core(site);
  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  EXPECT_EQ(client.reply().substr(0, 3), "220");

  core.signal(platform::kSignalInterrupt);
  EXPECT_EQ(core.wait_exit(kQuickExitMs), std::optional<int>(0));
  EXPECT_TRUE(client.wait_closed());
  EXPECT_FALSE(ftp_port_answers(site));
}

TEST(ProcessMode, TerminateStopsTheCoreCleanly) {
  harness::Site site("sigterm");
  harness::Server core(site);
  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  core.signal(platform::kSignalTerminate);
  EXPECT_EQ(core.wait_exit(kQuickExitMs), std::optional<int>(0));
  EXPECT_TRUE(client.wait_closed());
  EXPECT_FALSE(ftp_port_answers(site));
}

TEST(ProcessMode, RunningSignCarriesTheFtpPortWhileTheCoreLives) {
  harness::Site site("mutex");
  EXPECT_FALSE(platform::named_mutex_exists(mutex_name(site)));
  harness::Server core(site);
  EXPECT_TRUE(platform::named_mutex_exists(mutex_name(site)));
  EXPECT_FALSE(platform::named_mutex_exists(
      "velmoraftpd:" + std::to_string(site.admin_port())));
  core.signal(platform::kSignalTerminate);
  ASSERT_EQ(core.wait_exit(kQuickExitMs), std::optional<int>(0));
  EXPECT_FALSE(platform::named_mutex_exists(mutex_name(site)));
}

// The first Core listens on the admin port while no Manager is connected to it.
TEST(ProcessMode, SecondCoreOnTheSameAdminPortEndsAtOnce) {
  harness::Site site("twice");
  harness::Server first(site);

  harness::Server second(site, {"-ns"}, {}, false);
  EXPECT_EQ(second.wait_exit(kQuickExitMs), std::optional<int>(0));
  // The first one still serves, still holds its sign and still takes a Manager.
  EXPECT_FALSE(first.wait_exit(0).has_value());
  EXPECT_TRUE(ftp_port_answers(site));
  EXPECT_TRUE(platform::named_mutex_exists(mutex_name(site)));
  harness::AdminClient manager;
  EXPECT_TRUE(manager.connect(site.admin_port()));
}

// A Core without an FTP port has nothing to be ready on: gives its admin channel up to
// 5 s to take a Manager.
bool admin_channel_answers(const harness::Site& site, harness::Server& core) {
  harness::AdminClient manager;
  for (int attempt = 0; attempt < 100 && !core.wait_exit(0); ++attempt) {
    if (manager.connect(site.admin_port())) return true;
    platform::sleep_ms(50);
  }
  return false;
}

TEST(ProcessMode, BusyFtpPortLeavesTheAdminChannelRunning) {
  harness::Site site("busy");
  const platform::Socket squatter = platform::open_tcp_socket();
  // The squatter takes a port the system chooses (a free port picked earlier may be taken
  // by a parallel test meanwhile), and the Core is told to serve on it.
  ASSERT_TRUE(platform::bind_ipv4(squatter, {platform::kAnyAddress, 0}, false));
  ASSERT_TRUE(platform::listen_socket(squatter, 1));
  const auto taken = platform::local_endpoint(squatter);
  ASSERT_TRUE(taken.has_value());
  site.set("System", "Port", std::to_string(taken->port));

  harness::Server core(site, {"-ns"}, {}, false);
  EXPECT_TRUE(admin_channel_answers(site, core));
  EXPECT_FALSE(core.wait_exit(0).has_value());
  core.signal(platform::kSignalTerminate);
  EXPECT_EQ(core.wait_exit(kQuickExitMs), std::optional<int>(0));
  platform::close_socket(squatter);
  EXPECT_NE(core.output().find("quorsrv: cannot serve FTP on port " + std::to_string(taken->port)),
            std::string::npos)
      << core.output();
}

TEST(ProcessMode, APortOutOfRangeIsReportedAndTheAdminChannelRuns) {
  harness::Site site("port-range");
  site.set("System", "Port", "70000");
  harness::Server core(site, {"-ns"}, {}, false);
  EXPECT_TRUE(admin_channel_answers(site, core));
  core.signal(platform::kSignalTerminate);
  EXPECT_EQ(core.wait_exit(kQuickExitMs), std::optional<int>(0));
  EXPECT_NE(core.output().find("quorsrv: cannot serve FTP on port 70000"), std::string::npos)
      << core.output();
}

TEST(ServiceMode, StartedByTheServiceManagerServesWithoutSwitches) {
  harness::Site site("service-mode");
  harness::Server core(site, {}, {"INVOCATION_ID=0123456789abcdef0123456789abcdef"});
  EXPECT_TRUE(ftp_port_answers(site));
  EXPECT_TRUE(platform::named_mutex_exists(mutex_name(site)));

  core.signal(platform::kSignalTerminate);  // the service manager's stop
  EXPECT_EQ(core.wait_exit(kQuickExitMs), std::optional<int>(0));
  EXPECT_FALSE(ftp_port_answers(site));
  EXPECT_FALSE(platform::named_mutex_exists(mutex_name(site)));
}

}  // namespace
