// The control connection as a client sees it: the greeting, line reading and its limits,
// command lookup, HELP, NOOP, QUIT and the commands that are not implemented.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/harness.h"
#include "tests/support/replies.h"

namespace {

using namespace replies;
using harness::AdminClient;
using harness::FtpClient;
using harness::Server;
using harness::Site;

constexpr const char* kNotImplemented = "502 Command not implemented.\r\n";
constexpr const char* kTooLong =
    "330-too long command.\r\n330 This server kick you for security.\r\n";
constexpr const char* kHelpList =
    "214-The following commands are recognized\n"
    "USER PASS PWD XPWD TYPE\n"
    "PORT PASV NLST LIST STAT\n"
    "CDUP XCUP CWD XCWD REST RETR STOR\n"
    "ABOR APPE DELE MKD XMKD RMD XRMD\n"
    "RNFR RNTO SYST QUIT NOOP HELP\n"
    "MDTM SIZE\n"
    "214 \r\n";

class CommandLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.add_user("bob", {{"UserInfoVer", "100"}});
    server_ = std::make_unique<Server>(site_);
    ASSERT_TRUE(client_.connect(site_.ftp_port()));
    ASSERT_EQ(client_.reply(), kGreeting);
  }

  Site site_{"command-loop"};
  std::unique_ptr<Server> server_;
  FtpClient client_;
};

TEST_F(CommandLoop, GreetingIsTheTwoLineWelcome) {
  // SetUp checked the exact bytes; the session then answers commands.
  EXPECT_EQ(client_.command("NOOP"), "200 OK\r\n");
}

TEST_F(CommandLoop, HelpAloneListsTheCommands) {
  EXPECT_EQ(client_.command("HELP"), kHelpList);
}

TEST_F(CommandLoop, HelpWithACommandGivesItsSyntaxCaseInsensitively) {
  EXPECT_EQ(client_.command("HELP stor"), "214 Syntax: STOR <sp> pathname\r\n");
  EXPECT_EQ(client_.command("HELP Port"), "214 Syntax: PORT <sp> h1,h2,h3,h4,p1,p2\r\n");
  EXPECT_EQ(client_.command("HELP ALLO"), "214 Syntax: ALLO is not implemented (ignored)\r\n");
  EXPECT_EQ(client_.command("HELP size"), "214 Syntax: SIZE <sp> pathname\r\n");
}

TEST_F(CommandLoop, HelpWithAnUnknownWordOrTwoWordsIsUnknown) {
  EXPECT_EQ(client_.command("HELP xyz"), "502 Unknown command\r\n");
  EXPECT_EQ(client_.command("HELP stor retr"), "502 Unknown command\r\n");
}

TEST_F(CommandLoop, CommandsThatAreNotImplementedGet502) {
  for (const char* line : {"ACCT x", "SMNT x", "REIN", "STRU F", "MODE S", "STOU", "ALLO 10",
                           "SITE CHMOD 777 x", "FOO", "XYZZY bar"}) {
    EXPECT_EQ(client_.command(line), kNotImplemented) << line;
  }
  EXPECT_EQ(client_.command("NOOP"), "200 OK\r\n");
}

TEST_F(CommandLoop, LowerCaseUserIsUser) {
  std::string answer = client_.command("user bob");
  EXPECT_EQ(answer.substr(0, 4), "331 ") << answer;
}

TEST_F(CommandLoop, NoopEndedByALoneLineFeedIsNotNoop) {
  client_.send_raw("NOOP\n");
  EXPECT_EQ(client_.reply(), kNotImplemented);
}

TEST_F(CommandLoop, OverlongWordIsCutAndStaysUnknown) {
  EXPECT_EQ(client_.command("ABCDEFGHIJKL"), kNotImplemented);
  // Nine letters of a known name followed by more letters are not that command either.
  EXPECT_EQ(client_.command("NOOPNOOPNOOP"), kNotImplemented);
}

TEST_F(CommandLoop, EmptyLineGetsNoReply) {
  client_.send_raw("\r\n");
  client_.send_line("NOOP");
  // The first reply that comes is the one to NOOP.
  EXPECT_EQ(client_.reply(), "200 OK\r\n");
}

TEST_F(CommandLoop, TelnetInterruptBeforeAborGetsNoReply) {
  client_.send_raw("\xFF\xF4\xFF\xF2" "ABOR\r\n");
  client_.send_line("NOOP");
  EXPECT_EQ(client_.reply(), "200 OK\r\n");
}

TEST_F(CommandLoop, CommandsSentTogetherAreEachAnswered) {
  client_.send_raw("NOOP\r\nHELP stor\r\nSTRU F\r\n");
  EXPECT_EQ(client_.reply(), "200 OK\r\n");
  EXPECT_EQ(client_.reply(), "214 Syntax: STOR <sp> pathname\r\n");
  EXPECT_EQ(client_.reply(), kNotImplemented);
}

TEST_F(CommandLoop, LineInSeveralPiecesIsJoined) {
  client_.send_raw("NO");
  EXPECT_EQ(client_.reply(300), "");
  client_.send_raw("OP\r\n");
  EXPECT_EQ(client_.reply(), "200 OK\r\n");
}

TEST_F(CommandLoop, LineOf511BytesIsAccepted) {
  std::string line = "NOOP " + std::string(511 - 5 - 2, 'a');
  ASSERT_EQ(line.size() + 2, 511u);
  EXPECT_EQ(client_.command(line), "200 OK\r\n");
}

TEST_F(CommandLoop, LineOf512BytesEndsTheSession) {
  std::string line = "NOOP " + std::string(512 - 5 - 2, 'a');
  client_.send_line(line);
  EXPECT_EQ(client_.reply(), kTooLong);
  EXPECT_TRUE(client_.wait_closed());
}

TEST_F(CommandLoop, SixHundredByteLineGetsTheSecurityReplyAndIsClosed) {
  client_.send_raw(std::string(600, 'x'));
  EXPECT_EQ(client_.read_all(), kTooLong);
}

TEST_F(CommandLoop, OverlongLineInPiecesEndsTheSession) {
  client_.send_raw(std::string(300, 'y'));
  EXPECT_EQ(client_.reply(300), "");
  client_.send_raw(std::string(300, 'y'));
  EXPECT_EQ(client_.read_all(), kTooLong);
}

TEST_F(CommandLoop, QuitSaysGoodByeAndCloses) {
  EXPECT_EQ(client_.command("QUIT"), "221 Good-Bye\r\n");
  EXPECT_TRUE(client_.wait_closed());
}

TEST_F(CommandLoop, ClientThatHangsUpEndsItsSession) {
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site_.admin_port()));
  auto connected = admin.wait_for(shared::kEventConnected);
  ASSERT_TRUE(connected);
  client_.close();
  auto ended = admin.wait_for(shared::kEventDisconnected);
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->session_id, connected->session_id);
}

TEST(CommandLoopEvents, NoopAndQuitAreReportedWithTheirTexts) {
  Site site("command-events");
  Server server(site);
  AdminClient admin;
  ASSERT_TRUE(admin.connect(site.admin_port()));
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_EQ(client.reply(), kGreeting);
  auto connected = admin.wait_for(shared::kEventConnected);
  ASSERT_TRUE(connected);
  EXPECT_EQ(connected->snapshot.user_name, "UnKnown");

  EXPECT_EQ(client.command("NOOP"), "200 OK\r\n");
  auto status = admin.next_event();
  ASSERT_TRUE(status);
  EXPECT_EQ(status->type, shared::kEventStatus);
  EXPECT_EQ(status->snapshot.message, "NOOP受け付けました。");

  EXPECT_EQ(client.command("HELP"), kHelpList);  // HELP sends no event
  EXPECT_EQ(client.command("QUIT"), "221 Good-Bye\r\n");
  auto quit = admin.next_event();
  ASSERT_TRUE(quit);
  EXPECT_EQ(quit->type, shared::kEventQuit);
  EXPECT_EQ(quit->snapshot.message, "終了します。");
  auto ended = admin.next_event();
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->type, shared::kEventDisconnected);
  EXPECT_EQ(ended->snapshot.message, "切断しました。");
  EXPECT_EQ(ended->session_id, connected->session_id);
}

TEST(CommandLoopEvents, NoopForbiddenByTheAccountGets550) {
  Site site("noop-forbidden");
  site.add_user("carol", {{"UserKinshi", "8192"}});
  Server server(site);
  FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  ASSERT_TRUE(client.login("carol", "carol"));
  EXPECT_EQ(client.command("NOOP"), "550 Requested action not taken.\r\n");
  EXPECT_EQ(client.command("HELP noop"), "214 Syntax: NOOP (no operation)\r\n");
}

}  // namespace
