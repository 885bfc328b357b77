// Registering the Core as the systemd service velmoraftpd from the settings dialog and
// removing it again: one message per press, checks in a fixed order, and the dialog's
// copy of [System] Service following the outcome. A stand-in systemctl records its calls;
// the unit folder is a test folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "manager/shell/program_paths.h"
#include "manager/shell/service_registration.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "tests/support/harness.h"

namespace {

namespace fs = std::filesystem;

const std::string kRegistered = "サービスを登録しました。";
const std::string kAlreadyRegistered = "既にサービスに登録済みです。";
const std::string kStopBeforeRegister = "サービスに登録する前に、サーバーを終了してください。";
const std::string kNoManager = "サービスコントロールマネージャを取得できません。";
const std::string kRegisterFailed = "サービスの登録に失敗しました。";
const std::string kNotRegistered = "サービスには登録されていません。";
const std::string kStopBeforeRemove = "サービスを削除する前に、サーバーを終了してください。";
const std::string kServiceNotFound = "サービスの取得に失敗しました。";
const std::string kRemoved = "サービスを削除しました。";
const std::string kRemoveFailed = "サービスの削除に失敗しました。";

class ServiceRegistration : public ::testing::Test {
 protected:
  ServiceRegistration() {
    const std::string script = tools_ + "systemctl";
    std::ofstream(script) << "#!/bin/sh\n"
                             "dir=$(dirname \"$0\")\n"
                             "echo \"$*\" >> \"$dir/calls\"\n"
                             "if [ \"$1\" = is-active ]; then\n"
                             "  state=$(cat \"$dir/state\" 2>/dev/null || echo inactive)\n"
                             "  echo \"$state\"; [ \"$state\" = active ]; exit\n"
                             "fi\n"
                             "exit $(cat \"$dir/$1.exit\" 2>/dev/null || echo 0)\n";
    fs::permissions(script, fs::perms::owner_all);
    platform::set_environment_variable("VELMORAFTPD_SYSTEMCTL", script);
    platform::set_environment_variable("VELMORAFTPD_UNIT_DIR", units_);
    platform::set_environment_variable("VELMORAFTPD_HOME", site_.root());
  }
  ~ServiceRegistration() override {
    platform::set_environment_variable("VELMORAFTPD_SYSTEMCTL", std::nullopt);
    platform::set_environment_variable("VELMORAFTPD_UNIT_DIR", std::nullopt);
  }

  std::vector<std::string> calls() const {
    std::vector<std::string> lines;
    std::ifstream in(tools_ + "calls");
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void fail_verb(const std::string& verb) { std::ofstream(tools_ + verb + ".exit") << "1\n"; }
  void set_service_state(const std::string& state) { std::ofstream(tools_ + "state") << state << "\n"; }
  std::string unit_file() const { return units_ + "velmoraftpd.service"; }
  bool unit_exists() const { return fs::exists(unit_file()); }
  std::string unit_text() const {
    std::ifstream in(unit_file());
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  harness::Site site_{"service-registration"};
  manager::ProgramPaths paths_ = manager::derive_program_paths(site_.root());
  std::string tools_ = harness::make_temp_dir("fake-systemctl");
  std::string units_ = harness::make_temp_dir("units");
  int service_copy_ = 0;
};

TEST_F(ServiceRegistration, RegisterWritesAndEnablesTheUnitAndSetsTheCopy) {
  EXPECT_EQ(manager::register_core_service(service_copy_, paths_), kRegistered);
  EXPECT_EQ(service_copy_, 1);
  ASSERT_TRUE(unit_exists());
  EXPECT_NE(unit_text().find("ExecStart=" + paths_.core_exe + "\n"), std::string::npos);
  EXPECT_EQ(calls(), (std::vector<std::string>{"daemon-reload", "enable velmoraftpd.service"}));
  // The dialog's copy is not the file: nothing is written to the settings.
  EXPECT_EQ(site_.read_file("velmoraFTPd.ini").find("Service="), std::string::npos);
}

TEST_F(ServiceRegistration, RegisteringTwiceDoesNotAskSystemdAgain) {
  ASSERT_EQ(manager::register_core_service(service_copy_, paths_), kRegistered);
  const size_t calls_before = calls().size();
  EXPECT_EQ(manager::register_core_service(service_copy_, paths_), kAlreadyRegistered);
  EXPECT_EQ(calls().size(), calls_before);
  EXPECT_EQ(service_copy_, 1);
}

TEST_F(ServiceRegistration, ACoreRunningAsAProcessMustBeStoppedFirst) {
  harness::Server server(site_);
  EXPECT_EQ(manager::register_core_service(service_copy_, paths_), kStopBeforeRegister);
  EXPECT_FALSE(unit_exists());
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(service_copy_, 0);
}

TEST_F(ServiceRegistration, WithoutAServiceManagerNothingIsRegistered) {
  platform::set_environment_variable("VELMORAFTPD_UNIT_DIR", units_ + "missing/");
  EXPECT_EQ(manager::register_core_service(service_copy_, paths_), kNoManager);
  platform::set_environment_variable("VELMORAFTPD_UNIT_DIR", units_);
  platform::set_environment_variable("VELMORAFTPD_SYSTEMCTL", tools_ + "no-such-systemctl");
  EXPECT_EQ(manager::register_core_service(service_copy_, paths_), kNoManager);
  EXPECT_EQ(service_copy_, 0);
  EXPECT_FALSE(unit_exists());
}

TEST_F(ServiceRegistration, AnExistingUnitWithTheCopyClearFailsToRegisterAndIsNotRemoved) {
  std::ofstream(unit_file()) << "[Service]\nExecStart=/elsewhere/quorsrv\n";
  EXPECT_EQ(manager::register_core_service(service_copy_, paths_), kRegisterFailed);
  EXPECT_EQ(service_copy_, 0);
  EXPECT_NE(unit_text().find("/elsewhere/quorsrv"), std::string::npos);
  EXPECT_EQ(manager::remove_core_service(service_copy_, paths_), kNotRegistered);
  EXPECT_TRUE(unit_exists());
  EXPECT_TRUE(calls().empty());
}

TEST_F(ServiceRegistration, SystemdRefusingToEnableIsAFailedRegistration) {
  fail_verb("enable");
  EXPECT_EQ(manager::register_core_service(service_copy_, paths_), kRegisterFailed);
  EXPECT_EQ(service_copy_, 0);
}

TEST_F(ServiceRegistration, RemoveDisablesAndDeletesTheUnitAndClearsTheCopy) {
  ASSERT_EQ(manager::register_core_service(service_copy_, paths_), kRegistered);
  EXPECT_EQ(manager::remove_core_service(service_copy_, paths_), kRemoved);
  EXPECT_EQ(service_copy_, 0);
  EXPECT_FALSE(unit_exists());
  const std::vector<std::string> made = calls();
  ASSERT_GE(made.size(), 2u);
  EXPECT_EQ(made[made.size() - 2], "disable velmoraftpd.service");
  EXPECT_EQ(made.back(), "daemon-reload");
}

TEST_F(ServiceRegistration, RemoveWithoutAUnitCannotFindTheService) {
  service_copy_ = 1;
  EXPECT_EQ(manager::remove_core_service(service_copy_, paths_), kServiceNotFound);
  EXPECT_EQ(service_copy_, 1);
}

TEST_F(ServiceRegistration, SystemdRefusingToDisableIsAFailedRemoval) {
  ASSERT_EQ(manager::register_core_service(service_copy_, paths_), kRegistered);
  fail_verb("disable");
  EXPECT_EQ(manager::remove_core_service(service_copy_, paths_), kRemoveFailed);
  EXPECT_EQ(service_copy_, 1);
  EXPECT_TRUE(unit_exists());
}

TEST_F(ServiceRegistration, RemoveWithoutAServiceManagerSaysSo) {
  service_copy_ = 1;
  platform::set_environment_variable("VELMORAFTPD_SYSTEMCTL", tools_ + "no-such-systemctl");
  EXPECT_EQ(manager::remove_core_service(service_copy_, paths_), kNoManager);
  EXPECT_EQ(service_copy_, 1);
}

TEST_F(ServiceRegistration, AnActiveServiceMustBeStoppedBeforeRemoval) {
  ASSERT_EQ(manager::register_core_service(service_copy_, paths_), kRegistered);
  site_.set("System", "Service", "1");
  set_service_state("active");
  EXPECT_EQ(manager::remove_core_service(service_copy_, paths_), kStopBeforeRemove);
  EXPECT_TRUE(unit_exists());
  EXPECT_EQ(service_copy_, 1);
  set_service_state("inactive");
  EXPECT_EQ(manager::remove_core_service(service_copy_, paths_), kRemoved);
}

// The running test follows the file: a registration not yet saved still looks for the
// Core as a process.
TEST_F(ServiceRegistration, TheRunningTestReadsServiceFromTheFileNotTheCopy) {
  ASSERT_EQ(manager::register_core_service(service_copy_, paths_), kRegistered);
  set_service_state("inactive");
  platform::NamedMutex sign;
  ASSERT_TRUE(sign.create("velmoraftpd:" + std::to_string(site_.ftp_port())));
  EXPECT_EQ(manager::remove_core_service(service_copy_, paths_), kStopBeforeRemove);
  EXPECT_TRUE(unit_exists());
}

}  // namespace
