// Configurable reply texts as clients receive them: the greeting, the two password
// prompts and the login reply, with their variables filled in.
#include <gtest/gtest.h>

#include <string>

#include "platform/clock.h"
#include "tests/support/harness.h"

namespace {

class Messages : public ::testing::Test {
 protected:
  harness::Site site_{"messages"};
  harness::FtpClient ftp_;

  std::string greeting(const std::string& from = "127.0.0.1") {
    harness::FtpClient client;
    if (!client.connect(site_.ftp_port(), from)) return "";
    return client.reply();
  }
  void welcome_lines(const std::vector<std::string>& lines) {
    site_.set("UserInfo", "UseWelcomeMessage", "1");
    for (size_t n = 0; n < lines.size(); ++n) {
      site_.set("UserInfo", "Message220_" + std::to_string(n), lines[n]);
    }
  }
  // The 230 reply of an account whose login text is the given line.
  std::string login_text(const std::string& line, harness::Keys keys = {}) {
    keys["UseLogOnMessage"] = "1";
    keys["Message230_0"] = line;
    site_.add_user("vic", keys);
    harness::Server server(site_);
    if (!ftp_.connect(site_.ftp_port())) return "";
    ftp_.reply();
    ftp_.command("USER vic");
    return ftp_.command("PASS vic");
  }
};

TEST_F(Messages, DefaultGreeting) {
  harness::Server server(site_);
  EXPECT_EQ(greeting(), "220-Welcome To velmoraFTP !!!\r\n220 Enter Your ID\r\n");
}

TEST_F(Messages, CustomGreetingEndsAtTheMarker) {
  welcome_lines({"Hello", "_____endofline_____", "never shown"});
  harness::Server server(site_);
  EXPECT_EQ(greeting(), "220-Hello\r\n220 \r\n");
}

TEST_F(Messages, SwitchedOnGreetingWithoutLinesIsTheClosingLine) {
  welcome_lines({});
  harness::Server server(site_);
  EXPECT_EQ(greeting(), "220 \r\n");
}

TEST_F(Messages, GreetingCountsLiveSessionsAndShowsNoLimit) {
  welcome_lines({"Now $NOW_CON$/$MAX_CON$"});
  harness::Server server(site_);
  harness::FtpClient first, second;
  // The server's start-up probe may still be leaving: wait until a session is alone.
  bool alone = false;
  for (int i = 0; i < 100 && !alone; ++i) {
    ASSERT_TRUE(first.connect(site_.ftp_port()));
    alone = first.reply() == "220-Now 1/制限なし\r\n220 \r\n";
    if (!alone) platform::sleep_ms(50);
  }
  ASSERT_TRUE(alone);
  ASSERT_TRUE(second.connect(site_.ftp_port()));
  EXPECT_EQ(second.reply(), "220-Now 2/制限なし\r\n220 \r\n");
  EXPECT_EQ(greeting(), "220-Now 3/制限なし\r\n220 \r\n");
}

TEST_F(Messages, GreetingShowsTheConnectionLimit) {
  welcome_lines({"max $MAX_CON$"});
  site_.set("System", "MaxConnect", "25");
  harness::Server server(site_);
  EXPECT_EQ(greeting(), "220-max 25\r\n220 \r\n");
}

TEST_F(Messages, UnknownIdPromptComesFromTheConfigurationFile) {
  site_.set("UnKnownID", "Refuse", "0");
  site_.set("UnKnownID", "MailPass", "0");
  site_.set("UnKnownID", "MakeAcount", "1");
  site_.set("UserInfo", "UseUnKnownMessage", "1");
  site_.set("UserInfo", "Message3311_0", "welcome $USER$, choose a password");
  harness::Server server(site_);
  ASSERT_TRUE(ftp_.connect(site_.ftp_port()));
  ftp_.reply();
  EXPECT_EQ(ftp_.command("USER zed"), "331-welcome zed, choose a password\r\n331 \r\n");
}

TEST_F(Messages, PasswordPromptComesFromTheAccount) {
  site_.add_user("vic", {{"UseKnownIDMessage", "1"}, {"Message3310_0", "$USER$, your password"},
                         {"Message3310_1", "(rate $RATE$)"}});
  harness::Server server(site_);
  ASSERT_TRUE(ftp_.connect(site_.ftp_port()));
  ftp_.reply();
  EXPECT_EQ(ftp_.command("USER vic"), "331-vic, your password\r\n331-(rate free)\r\n331 \r\n");
}

TEST_F(Messages, LoginTextShowsUserRateAndCredit) {
  EXPECT_EQ(login_text("$USER$ $RATE$ $CREDIT$",
                       {{"UseRate", "1"}, {"RateUp", "2"}, {"RateDown", "3"},
                        {"Credit", "1048576"}}),
            "230-vic 2:3 1048576(1.00MB)\r\n230 \r\n");
}

TEST_F(Messages, LoginTextWithoutRatioNeedsNoCredit) {
  EXPECT_EQ(login_text("credit $CREDIT$ rate $RATE$"), "230-credit no need rate free\r\n230 \r\n");
}

TEST_F(Messages, UnknownVariableNamesAreShownAsTheName) {
  EXPECT_EQ(login_text("a $FOO$ b $$ c"), "230-a FOO b  c\r\n230 \r\n");
}

TEST_F(Messages, LoneTrailingDollarDropsTheRestOfTheReply) {
  // The dollar also swallows the line end and the closing line of the reply, so the
  // client sees the text cut right there.
  site_.add_user("vic", {{"UseLogOnMessage", "1"}, {"Message230_0", "cost $5"}});
  harness::Server server(site_);
  ASSERT_TRUE(ftp_.connect(site_.ftp_port()));
  ftp_.reply();
  ftp_.command("USER vic");
  ftp_.send_line("PASS vic");
  ftp_.send_line("QUIT");
  EXPECT_EQ(ftp_.read_all(), "230-cost 221 Good-Bye\r\n");
}

TEST_F(Messages, LoginTextShowsTransferCountsOfAnIdleServer) {
  EXPECT_EQ(login_text("$UP_CON$ $DOWN_CON$ $UP_BPS$ $DOWN_BPS$"),
            "230-0 0 0bps 0bps\r\n230 \r\n");
}

}  // namespace
