// Line formats of the per-user logs, written into a user folder on disk.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "core/logs.h"
#include "core/server.h"
#include "platform/files.h"
#include "tests/support/harness.h"

namespace {

class LogFiles : public ::testing::Test {
 protected:
  std::string root_ = harness::make_temp_dir("logs");
  core::Session s;
  core::ServerConfig saved_config_;

  void SetUp() override {
    platform::make_directory(root_ + "user");
    core::core_state().paths = core::make_program_paths(root_);
    saved_config_ = core::core_state().config;
    core::core_state().config.log_all_files = 1;
    core::core_state().config.log_all_commands = 1;
    core::core_state().config.log_all_comments = 1;
    core::write_field(s, &core::Session::user_name, "bob");
    core::write_field(s, &core::Session::host_text, "127.0.0.1");
    s.account_loaded = true;  // names without an account log into UnKnown.*
  }
  void TearDown() override { core::core_state().config = saved_config_; }
  std::string log(const std::string& file) {
    return platform::read_whole_file(root_ + "user/" + file).value_or("<missing>");
  }
};

TEST_F(LogFiles, TransferLineHasDateTimeDirectionDurationBytesOffsetAndPath) {
  core::write_field(s, &core::Session::transfer_path, "/srv/ftp/my file.txt");
  s.transferred = 1000;
  s.restart_offset = 0;
  core::write_transfer_log(s, core::TransferDirection::Sent, 1234);
  const std::regex line(
      R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d 1 1234 1000 0 /srv/ftp/my\*file\.txt\r\n)");
  EXPECT_TRUE(std::regex_match(log("bob.flg"), line)) << log("bob.flg");
}

TEST_F(LogFiles, TransferLineOfAnUploadWithA64BitOffset) {
  core::write_field(s, &core::Session::transfer_path, "/a b c");
  s.transferred = 7;
  s.restart_offset = 5000000000ull;
  core::write_transfer_log(s, core::TransferDirection::Received, 0);
  const std::regex line(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d 0 0 7 5000000000 /a\*b\*c\r\n)");
  EXPECT_TRUE(std::regex_match(log("bob.flg"), line)) << log("bob.flg");
}

TEST_F(LogFiles, LinesAreAppended) {
  core::write_field(s, &core::Session::transfer_path, "/f");
  core::write_transfer_log(s, core::TransferDirection::Sent, 1);
  core::write_transfer_log(s, core::TransferDirection::Sent, 2);
  const std::regex two(R"([^\r\n]* 1 1 0 0 /f\r\n[^\r\n]* 1 2 0 0 /f\r\n)");
  EXPECT_TRUE(std::regex_match(log("bob.flg"), two)) << log("bob.flg");
}

TEST_F(LogFiles, CommandLineLosesItsLineEnd) {
  core::write_command_log(s, "USER bob\r\n", ">>");
  core::write_command_log(s, "230-a\r\n230 b\r\n", "<<");
  core::write_command_log(s, "NOOP\n", ">>");  // a bare LF ends a line too
  const std::regex lines(
      R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d >>USER bob\r\n\d\d/\d\d/\d\d \d\d:\d\d:\d\d <<230-a\r\n230 b\r\n)"
      R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d >>NOOP\r\n)");
  EXPECT_TRUE(std::regex_match(log("bob.clg"), lines)) << log("bob.clg");
}

TEST_F(LogFiles, CommandTextIsCutTo256Characters) {
  core::write_command_log(s, std::string(300, 'z'), ">>");
  const std::string text = log("bob.clg");
  const size_t start = text.find(">>") + 2;
  EXPECT_EQ(text.substr(start), std::string(256, 'z') + "\r\n");
}

TEST_F(LogFiles, CommandTextShorterThanALineEndIsLoggedEmpty) {
  core::write_command_log(s, "x", ">>");
  core::write_command_log(s, "", "<<");
  const std::regex lines(R"([^\r\n]* >>\r\n[^\r\n]* <<\r\n)");
  EXPECT_TRUE(std::regex_match(log("bob.clg"), lines)) << log("bob.clg");
}

TEST_F(LogFiles, MessageLineHasFourDigitYearUserAndHost) {
  core::set_message(s, "ログインしました。");
  core::write_message_log(s);
  const std::regex line(
      R"(\d\d\d\d/\d\d/\d\d \d\d:\d\d:\d\d bob\(127\.0\.0\.1\) ログインしました。\r\n)");
  EXPECT_TRUE(std::regex_match(log("bob.mlg"), line)) << log("bob.mlg");
}

TEST_F(LogFiles, MessageLineIsCutTo258Characters) {
  core::set_message(s, std::string(400, 'm'));
  core::write_message_log(s);
  const std::string text = log("bob.mlg");
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.size(), 258u + 2);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(LogFiles, SwitchesOffWriteNothing) {
  core::core_state().config.log_all_files = 0;
  core::core_state().config.log_all_commands = 0;
  core::core_state().config.log_all_comments = 0;
  core::write_transfer_log(s, core::TransferDirection::Sent, 1);
  core::write_command_log(s, "NOOP\r\n", ">>");
  core::set_message(s, "text");
  core::write_message_log(s);
  EXPECT_FALSE(platform::path_exists(root_ + "user/bob.flg"));
  EXPECT_FALSE(platform::path_exists(root_ + "user/bob.clg"));
  EXPECT_FALSE(platform::path_exists(root_ + "user/bob.mlg"));
}

TEST_F(LogFiles, SessionWithoutUserNameWritesNothing) {
  core::Session fresh;
  core::write_command_log(fresh, "421 Sorry.\r\n", "<<");
  core::set_message(fresh, "text");
  core::write_message_log(fresh);
  EXPECT_FALSE(platform::path_exists(root_ + "user/.clg"));
  EXPECT_FALSE(platform::path_exists(root_ + "user/.mlg"));
}

TEST_F(LogFiles, UnKnownSessionsLogUnderUnKnown) {
  core::write_field(s, &core::Session::user_name, "UnKnown");
  core::write_command_log(s, "USER bob\r\n", ">>");
  EXPECT_NE(log("UnKnown.clg").find(">>USER bob\r\n"), std::string::npos);
}

TEST_F(LogFiles, UserNamesThatAreNoPlainFileNameWriteNothing) {
  for (const char* name : {"../escape", "a/b", ".hidden"}) {
    core::write_field(s, &core::Session::user_name, name);
    core::write_command_log(s, "USER x\r\n", ">>");
    core::set_message(s, "text");
    core::write_message_log(s);
  }
  EXPECT_FALSE(platform::path_exists(root_ + "escape.clg"));
  EXPECT_FALSE(platform::path_exists(root_ + "escape.mlg"));
  EXPECT_FALSE(platform::path_exists(root_ + "user/a/b.clg"));
  EXPECT_FALSE(platform::path_exists(root_ + "user/.hidden.clg"));
}

TEST_F(LogFiles, MissingUserFolderIsSkippedSilently) {
  core::core_state().paths = core::make_program_paths(root_ + "absent/");
  core::write_command_log(s, "NOOP\r\n", ">>");
  core::write_transfer_log(s, core::TransferDirection::Sent, 1);
  EXPECT_FALSE(platform::path_exists(root_ + "absent"));
}

}  // namespace
