#include <gtest/gtest.h>

#include <string>

#include "core/config.h"
#include "platform/files.h"
#include "tests/support/harness.h"

namespace {

// A program folder with a velmoraFTPd.ini of the given text. Each write starts a fresh
// folder, so that no reader can be served a cached copy of an earlier file.
class ConfigFile : public ::testing::Test {
 protected:
  std::string file_ = harness::make_temp_dir("config") + "velmoraFTPd.ini";

  void write(const std::string& text) {
    file_ = harness::make_temp_dir("config") + "velmoraFTPd.ini";
    ASSERT_TRUE(platform::write_file_atomically(file_, text));
  }
  core::ServerConfig load() { return core::load_server_config(file_); }
};

TEST(ProgramPaths, ConfigurationAndUserFolderSitBesideTheProgram) {
  const core::ProgramPaths paths = core::make_program_paths("/srv/velmora/");
  EXPECT_EQ(paths.program_directory, "/srv/velmora/");
  EXPECT_EQ(paths.config_file, "/srv/velmora/velmoraFTPd.ini");
  EXPECT_EQ(paths.user_directory, "/srv/velmora/user/");
}

TEST(ProgramPaths, MissingTrailingSlashIsAdded) {
  const core::ProgramPaths paths = core::make_program_paths("/srv/velmora");
  EXPECT_EQ(paths.config_file, "/srv/velmora/velmoraFTPd.ini");
}

TEST_F(ConfigFile, MissingFileGivesEveryDefault) {
  const core::ServerConfig c = load();
  EXPECT_EQ(c.sys_ini_version, 100);
  EXPECT_EQ(c.port, 21);
  EXPECT_EQ(c.source_port, 0);
  EXPECT_EQ(c.max_connect, 0);
  EXPECT_EQ(c.global_ip_slot, 0);
  EXPECT_EQ(c.buffer_size, 1024);
  EXPECT_EQ(c.passive_port_low, 0);
  EXPECT_EQ(c.passive_port_high, 0);
  EXPECT_EQ(c.use_global_ip, 0);
  EXPECT_EQ(c.use_client_global_ip, 0);
  EXPECT_EQ(c.save_user_minutes, 0);
  EXPECT_EQ(c.ras_connect, 0);
  EXPECT_EQ(c.global_ip_url, "");
  EXPECT_EQ(c.log_all_commands, 0);
  EXPECT_EQ(c.log_all_comments, 1);
  EXPECT_EQ(c.log_all_files, 1);
  EXPECT_EQ(c.ip_to_host, 0);
  EXPECT_EQ(c.max_log_chars, 3000);
  EXPECT_EQ(c.wait_view_idle_time, 0);
  EXPECT_EQ(c.wait_view_down_time, 0);
  EXPECT_EQ(c.adjust_digit, 1);
  EXPECT_EQ(c.unknown_id_mode, core::UnknownIdMode::Refuse);
  EXPECT_EQ(core::read_configured_port(file_), 21);
  EXPECT_EQ(core::read_admin_port(file_), 54253);
}

TEST_F(ConfigFile, EveryKeyIsRead) {
  write(
      "[System]\r\nSysIniVer=100\r\nPort=2121\r\nSourcePort=2020\r\nMaxConnect=7\r\n"
      "GlobalIP=1\r\nBufferSize=8192\r\nPasvPortl=40000\r\nPasvPorth=40100\r\n"
      "UseGlobalIp=1\r\nUseClientGlobalIp=1\r\nSaveUsrMin=15\r\nRASConnect=1\r\n"
      "GlobalIpUrl=http://127.0.0.1:9/ip\r\nFtpdCoreListenPort=50001\r\n"
      "[Log]\r\nLogAllCmd=1\r\nLogAllComment=0\r\nLogAllFile=0\r\nIp2Host=1\r\n"
      "MaxLogChar=500\r\nWaitViewIdleTime=30\r\nWaitViewDownTime=40\r\nAdjDigit=3\r\n"
      "[UnKnownID]\r\nRefuse=0\r\nMailPass=0\r\nMakeAcount=1\r\n");
  const core::ServerConfig c = load();
  EXPECT_EQ(c.sys_ini_version, 100);
  EXPECT_EQ(c.port, 2121);
  EXPECT_EQ(c.source_port, 2020);
  EXPECT_EQ(c.max_connect, 7);
  EXPECT_EQ(c.global_ip_slot, 1);
  EXPECT_EQ(c.buffer_size, 8192);
  EXPECT_EQ(c.passive_port_low, 40000);
  EXPECT_EQ(c.passive_port_high, 40100);
  EXPECT_EQ(c.use_global_ip, 1);
  EXPECT_EQ(c.use_client_global_ip, 1);
  EXPECT_EQ(c.save_user_minutes, 15);
  EXPECT_EQ(c.ras_connect, 1);
  EXPECT_EQ(c.global_ip_url, "http://127.0.0.1:9/ip");
  EXPECT_EQ(c.log_all_commands, 1);
  EXPECT_EQ(c.log_all_comments, 0);
  EXPECT_EQ(c.log_all_files, 0);
  EXPECT_EQ(c.ip_to_host, 1);
  EXPECT_EQ(c.max_log_chars, 500);
  EXPECT_EQ(c.wait_view_idle_time, 30);
  EXPECT_EQ(c.wait_view_down_time, 40);
  EXPECT_EQ(c.adjust_digit, 3);
  EXPECT_EQ(c.unknown_id_mode, core::UnknownIdMode::MakeAccount);
  EXPECT_EQ(core::read_configured_port(file_), 2121);
  EXPECT_EQ(core::read_admin_port(file_), 50001);
}

TEST_F(ConfigFile, LfOnlyLinesAndOtherLetterCaseAreReadToo) {
  write("[system]\nport=2500\nmaxconnect=3\n[LOG]\nLOGALLCMD=1\n");
  const core::ServerConfig c = load();
  EXPECT_EQ(c.port, 2500);
  EXPECT_EQ(c.max_connect, 3);
  EXPECT_EQ(c.log_all_commands, 1);
}

TEST_F(ConfigFile, NonNumericValuesGiveTheDefaults) {
  write("[System]\r\nPort=ftp\r\nBufferSize=big\r\n[Log]\r\nMaxLogChar=\r\n");
  const core::ServerConfig c = load();
  EXPECT_EQ(c.port, 21);
  EXPECT_EQ(c.buffer_size, 1024);
  EXPECT_EQ(c.max_log_chars, 3000);
}

TEST_F(ConfigFile, PortZeroMeansTheStandardFtpPort) {
  write("[System]\r\nPort=0\r\n");
  EXPECT_EQ(load().port, 21);
}

TEST_F(ConfigFile, GlobalIpAboveTwoUsesTheThirdAddress) {
  write("[System]\r\nGlobalIP=7\r\n");
  EXPECT_EQ(load().global_ip_slot, 2);
}

TEST_F(ConfigFile, NegativeGlobalIpUsesTheFirstAddress) {
  write("[System]\r\nGlobalIP=-3\r\n");
  EXPECT_EQ(load().global_ip_slot, 0);
}

TEST_F(ConfigFile, BufferSizeBelowOneFallsBackToTheDefault) {
  write("[System]\r\nBufferSize=0\r\n");
  EXPECT_EQ(load().buffer_size, 1024);
  write("[System]\r\nBufferSize=-4096\r\n");
  EXPECT_EQ(load().buffer_size, 1024);
  write("[System]\r\nBufferSize=1\r\n");
  EXPECT_EQ(load().buffer_size, 1);
}

TEST_F(ConfigFile, PortNumbersKeptInSixteenBitsWrapAround) {
  write("[System]\r\nSourcePort=65537\r\nPasvPortl=70000\r\nPasvPorth=-1\r\n");
  const core::ServerConfig c = load();
  EXPECT_EQ(c.source_port, 1);
  EXPECT_EQ(c.passive_port_low, 70000 - 65536);
  EXPECT_EQ(c.passive_port_high, 65535);
}

TEST_F(ConfigFile, OlderLayoutSpellsTheIdleTimeKeyDifferently) {
  write("[System]\r\nSysIniVer=0\r\n[Log]\r\nWaitViewIdolTime=12\r\nWaitViewIdleTime=99\r\n");
  EXPECT_EQ(load().wait_view_idle_time, 12);
  write("[System]\r\nSysIniVer=100\r\n[Log]\r\nWaitViewIdolTime=12\r\nWaitViewIdleTime=99\r\n");
  EXPECT_EQ(load().wait_view_idle_time, 99);
  write("[System]\r\nSysIniVer=100\r\n[Log]\r\nWaitViewIdolTime=12\r\n");
  EXPECT_EQ(load().wait_view_idle_time, 0);
}

TEST_F(ConfigFile, UnknownIdsAreRefusedUnlessRefuseIsOff) {
  write("[UnKnownID]\r\nRefuse=1\r\nMailPass=1\r\nMakeAcount=1\r\n");
  EXPECT_EQ(load().unknown_id_mode, core::UnknownIdMode::Refuse);
}

TEST_F(ConfigFile, RefuseOffWithoutMailPassMeansMailPassword) {
  write("[UnKnownID]\r\nRefuse=0\r\n");
  EXPECT_EQ(load().unknown_id_mode, core::UnknownIdMode::MailPassword);
}

TEST_F(ConfigFile, RefuseAndMailPassOffMeansMakeAccount) {
  write("[UnKnownID]\r\nRefuse=0\r\nMailPass=0\r\n");
  EXPECT_EQ(load().unknown_id_mode, core::UnknownIdMode::MakeAccount);
}

TEST_F(ConfigFile, AllThreeUnknownIdFlagsOffStillRefuses) {
  write("[UnKnownID]\r\nRefuse=0\r\nMailPass=0\r\nMakeAcount=0\r\n");
  EXPECT_EQ(load().unknown_id_mode, core::UnknownIdMode::Refuse);
}

}  // namespace
