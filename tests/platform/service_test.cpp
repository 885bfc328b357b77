// Service installation and removal into a unit folder of the test's own, with a stand-in
// systemctl that records its calls; stop signals in a child process.
#include "platform/service.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "tests/platform/temp_dir.h"

using namespace platform;

namespace {

class Service : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(make_directory(dir_ / "units"), MakeDirResult::Created);
    set_environment_variable("VELMORAFTPD_UNIT_DIR", dir_ / "units");
    set_environment_variable("VELMORAFTPD_SYSTEMCTL", std::string(PLATFORM_HELPER_PATH));
    set_environment_variable("VELMORA_FAKE_SYSTEMCTL_LOG", dir_ / "calls");
    saved_home_ = environment_variable("VELMORAFTPD_HOME");
    set_environment_variable("VELMORAFTPD_HOME", std::nullopt);
  }
  void TearDown() override {
    for (const char* name : {"VELMORAFTPD_UNIT_DIR", "VELMORAFTPD_SYSTEMCTL",
                             "VELMORA_FAKE_SYSTEMCTL_LOG", "VELMORA_FAKE_SYSTEMCTL_FAIL"})
      set_environment_variable(name, std::nullopt);
    set_environment_variable("VELMORAFTPD_HOME", saved_home_);
  }
  std::string unit() const { return read_whole_file(dir_ / "units/velmoraftpd.service").value_or("<none>"); }
  std::string calls() const { return read_whole_file(dir_ / "calls").value_or(""); }

  unit::TempDir dir_{"service"};
  std::optional<std::string> saved_home_;
};

TEST_F(Service, InstallWritesTheUnitAndEnablesIt) {
  EXPECT_EQ(install_service("/opt/velmora/quorsrv"), ServiceResult::Done);
  std::string text = unit();
  EXPECT_NE(text.find("\nExecStart=/opt/velmora/quorsrv\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Environment="), std::string::npos) << text;
  EXPECT_NE(text.find("[Install]\nWantedBy=multi-user.target\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Description="), std::string::npos);
  EXPECT_EQ(calls(), "daemon-reload\nenable velmoraftpd.service\n");
}

// The service runs unprivileged but for ports below 1024, and systemd finds nothing to
// object to in the unit.
TEST_F(Service, TheUnitRunsAsTheServiceUserWithOneCapability) {
  ASSERT_EQ(install_service(PLATFORM_HELPER_PATH), ServiceResult::Done);
  const std::string text = unit();
  for (const char* line :
       {"\nUser=velmoraftpd\n", "\nAmbientCapabilities=CAP_NET_BIND_SERVICE\n",
        "\nCapabilityBoundingSet=CAP_NET_BIND_SERVICE\n", "\nNoNewPrivileges=yes\n",
        "\nPrivateTmp=yes\n", "\nProtectSystem=full\n",
        "\nRestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX\n", "\nRestart=on-failure\n",
        "\nUMask=0007\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  const char* analyze = "/usr/bin/systemd-analyze";
  if (!path_exists(analyze)) GTEST_SKIP() << "no " << analyze << " to verify the unit";
  auto verdict = run_program("/bin/sh",
                             {"-c", std::string(analyze) + " verify '" +
                                        (dir_ / "units/velmoraftpd.service") + "' 2>&1"},
                             60000);
  ASSERT_TRUE(verdict);
  EXPECT_EQ(verdict->exit_code, 0) << verdict->output;
  EXPECT_EQ(verdict->output, "");

  ASSERT_EQ(install_service(PLATFORM_HELPER_PATH, "ftpuser"), ServiceResult::Done);
  EXPECT_NE(unit().find("\nUser=ftpuser\n"), std::string::npos) << unit();
}

TEST_F(Service, AFailureSaysWhatFailed) {
  std::string reason;
  set_environment_variable("VELMORA_FAKE_SYSTEMCTL_FAIL", "enable");
  EXPECT_EQ(install_service("/opt/velmora/quorsrv", "velmoraftpd", &reason), ServiceResult::Failed);
  EXPECT_EQ(reason, "systemctl enable velmoraftpd.service failed");
  EXPECT_EQ(install_service("/opt/velmora/quorsrv", "two\nlines", &reason), ServiceResult::Failed);
  EXPECT_EQ(reason, "the program path, VELMORAFTPD_HOME or the user name cannot go into a unit");
}

TEST_F(Service, InstallCarriesTheProgramDirectoryOver) {
  set_environment_variable("VELMORAFTPD_HOME", "/srv/velmora home/");
  EXPECT_EQ(install_service("/opt/velmora/quorsrv"), ServiceResult::Done);
  EXPECT_NE(unit().find("\nEnvironment=\"VELMORAFTPD_HOME=/srv/velmora home/\"\n"),
            std::string::npos)
      << unit();
}

TEST_F(Service, PathsWithBlanksAndPercentSignsAreQuotedForSystemd) {
  EXPECT_EQ(install_service("/opt/my ftp/100%/quorsrv"), ServiceResult::Done);
  EXPECT_NE(unit().find("\nExecStart=\"/opt/my ftp/100%%/quorsrv\"\n"), std::string::npos)
      << unit();
}

TEST_F(Service, AFailingSystemctlStepIsAFailure) {
  set_environment_variable("VELMORA_FAKE_SYSTEMCTL_FAIL", "enable");
  EXPECT_EQ(install_service("/opt/velmora/quorsrv"), ServiceResult::Failed);
}

TEST_F(Service, NoUnitFolderMeansNoServiceManager) {
  set_environment_variable("VELMORAFTPD_UNIT_DIR", dir_ / "missing");
  EXPECT_EQ(install_service("/opt/velmora/quorsrv"), ServiceResult::NoServiceManager);
  EXPECT_EQ(remove_service(), ServiceResult::NoServiceManager);
  EXPECT_EQ(calls(), "");
}

TEST_F(Service, NoSystemctlMeansNoServiceManager) {
  set_environment_variable("VELMORAFTPD_SYSTEMCTL", dir_ / "no-systemctl");
  EXPECT_EQ(install_service("/opt/velmora/quorsrv"), ServiceResult::NoServiceManager);
  EXPECT_FALSE(path_exists(dir_ / "units/velmoraftpd.service"));
  set_environment_variable("VELMORAFTPD_SYSTEMCTL", "velmora-no-such-systemctl");
  EXPECT_EQ(install_service("/opt/velmora/quorsrv"), ServiceResult::NoServiceManager);
}

TEST_F(Service, RemoveDisablesDeletesAndReloads) {
  ASSERT_EQ(install_service("/opt/velmora/quorsrv"), ServiceResult::Done);
  EXPECT_EQ(remove_service(), ServiceResult::Done);
  EXPECT_FALSE(path_exists(dir_ / "units/velmoraftpd.service"));
  EXPECT_EQ(calls(),
            "daemon-reload\nenable velmoraftpd.service\n"
            "disable velmoraftpd.service\ndaemon-reload\n");
}

TEST_F(Service, RemovingWhatIsNotInstalledFails) {
  EXPECT_EQ(remove_service(), ServiceResult::Failed);
  EXPECT_EQ(calls(), "");
}

TEST_F(Service, AFailedDisableKeepsTheUnit) {
  ASSERT_EQ(install_service("/opt/velmora/quorsrv"), ServiceResult::Done);
  set_environment_variable("VELMORA_FAKE_SYSTEMCTL_FAIL", "disable");
  EXPECT_EQ(remove_service(), ServiceResult::Failed);
  EXPECT_TRUE(path_exists(dir_ / "units/velmoraftpd.service"));
}

TEST(ServiceMode, IsTheInvocationIdOfSystemd) {
  auto saved = environment_variable("INVOCATION_ID");
  set_environment_variable("INVOCATION_ID", std::nullopt);
  EXPECT_FALSE(started_by_service_manager());
  set_environment_variable("INVOCATION_ID", "0123456789abcdef");
  EXPECT_TRUE(started_by_service_manager());
  set_environment_variable("INVOCATION_ID", saved);
}

TEST(StopSignals, FirstTermOrIntCallsTheStopOnce) {
  for (int signal_number : {kSignalTerminate, kSignalInterrupt}) {
    unit::TempDir dir("signals");
    auto child = spawn_process(PLATFORM_HELPER_PATH, {"stop-signals", dir / "log"}, {});
    ASSERT_TRUE(child);
    for (int i = 0; i < 2000 && !path_exists(dir / "log.ready"); ++i) platform::sleep_ms(5);
    ASSERT_TRUE(path_exists(dir / "log.ready"));
    signal_process(*child, signal_number);
    signal_process(*child, kSignalTerminate);
    EXPECT_EQ(wait_process(*child, 10000), std::optional<int>(0)) << signal_number;
    EXPECT_EQ(read_whole_file(dir / "log"), std::optional<std::string>("stopped\n"));
  }
}

}  // namespace
