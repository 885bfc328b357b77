// The control connection as a client sees it: the greeting, line reading and its limits,
// command lookup, HELP, NOOP, QUIT and the commands that are not implemented.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

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
// The names of a HELP list: every word of its inner lines.
std::vector<std::string> help_names(const std::string& list) {
  std::vector<std::string> names;
  std::istringstream lines(list);
  std::string line;
  std::getline(lines, line);  // 214-The following commands are recognized
  while (std::getline(lines, line) && line.rfind("214 ", 0) != 0) {
    std::istringstream words(line);
    for (std::string word; words >> word;) names.push_back(word);
  }
  return names;
}

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

// HELP lists a command exactly when the server carries it out: every listed name has its
// syntax and is not answered 502; the commands that are not implemented are not listed.
TEST_F(CommandLoop, HelpListsExactlyTheCommandsThatAreCarriedOut) {
  std::string list = client_.command("HELP");
  ASSERT_EQ(list.rfind("214-The following commands are recognized\n", 0), 0u) << list;
  ASSERT_EQ(list.substr(list.size() - 6), "214 \r\n");
  EXPECT_EQ(list.find('\r'), list.size() - 2);  // inner lines end in LF alone
  std::vector<std::string> names = help_names(list);
  ASSERT_EQ(client_.command("USER bob").substr(0, 4), "331 ");
  ASSERT_EQ(client_.command("PASS bob").substr(0, 3), "230");
  for (const std::string& name : names) {
    EXPECT_EQ(client_.command("HELP " + name).rfind("214 Syntax: " + name, 0), 0u) << name;
    // Not sent: those that end or restart the login, and the passive listens (the worker
    // would wait in accept and hold back the next data command).
    if (name == "QUIT" || name == "USER" || name == "PASS" || name == "PASV" || name == "EPSV")
      continue;
    std::string line = name == "PORT" ? name + " x" : name;
    std::string answer = client_.command(line);
    EXPECT_NE(answer.substr(0, 4), "502 ") << name;
    if (answer.rfind("150", 0) == 0) client_.reply();
  }
  for (const char* name : {"ACCT", "SMNT", "REIN", "STRU", "MODE", "STOU"}) {
    EXPECT_EQ(std::count(names.begin(), names.end(), name), 0) << name;
    EXPECT_EQ(client_.command(std::string(name) + " x"), kNotImplemented) << name;
  }
}

TEST_F(CommandLoop, HelpWithACommandGivesItsSyntaxCaseInsensitively) {
  EXPECT_EQ(client_.command("HELP stor"), "214 Syntax: STOR <sp> pathname\r\n");
  EXPECT_EQ(client_.command("HELP Port"), "214 Syntax: PORT <sp> h1,h2,h3,h4,p1,p2\r\n");
  EXPECT_EQ(client_.command("HELP ALLO"), "214 Syntax: ALLO (superfluous, answered 202)\r\n");
  EXPECT_EQ(client_.command("HELP eprt"), "214 Syntax: EPRT <sp> |1|address|port|\r\n");
  EXPECT_EQ(client_.command("HELP size"), "214 Syntax: SIZE <sp> pathname\r\n");
}

TEST_F(CommandLoop, HelpWithAnUnknownWordOrTwoWordsIsUnknown) {
  EXPECT_EQ(client_.command("HELP xyz"), "502 Unknown command\r\n");
  EXPECT_EQ(client_.command("HELP stor retr"), "502 Unknown command\r\n");
}

TEST_F(CommandLoop, CommandsThatAreNotImplementedGet502) {
  for (const char* line : {"ACCT x", "SMNT x", "REIN", "STRU F", "MODE S", "STOU", "FOO", "XYZZY bar"}) {
    EXPECT_EQ(client_.command(line), kNotImplemented) << line;
  }
  EXPECT_EQ(client_.command("NOOP"), "200 OK\r\n");
}

TEST_F(CommandLoop, LowerCaseUserIsUser) {
  std::string answer = client_.command("user bob");
  EXPECT_EQ(answer.substr(0, 4), "331 ") << answer;
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

  EXPECT_EQ(client.command("HELP").rfind("214-", 0), 0u);  // HELP sends no event
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
