// The per-user command and message logs written while clients log in and out.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/support/eventually.h"
#include "tests/support/harness.h"

namespace {

using test_support::eventually;

// Every line of the text ends with CR LF, and there is no other LF.
bool lines_end_with_crlf(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return !text.empty() && text.back() == '\n';
}

class Logs : public ::testing::Test {
 protected:
  harness::Site site_{"logs"};
  harness::FtpClient ftp_;

  std::string log(const std::string& file) {
    return site_.exists("user/" + file) ? site_.read_file("user/" + file) : "";
  }
  void login_and_quit() {
    site_.add_user("bob");
    harness::Server server(site_);
    ASSERT_TRUE(ftp_.connect(site_.ftp_port()));
    ASSERT_TRUE(ftp_.login("bob", "bob"));
    ftp_.command("QUIT");
    ASSERT_TRUE(ftp_.wait_closed());
    ASSERT_TRUE(eventually([&] { return log("bob.mlg").find("切断しました。") != std::string::npos; }));
  }
};

TEST_F(Logs, UserLineGoesToUnKnownAndItsReplyToTheUsersLog) {
  site_.set("Log", "LogAllCmd", "1");
  login_and_quit();
  const std::string unknown = log("UnKnown.clg");
  const std::string bob = log("bob.clg");
  const std::string stamp = R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d )";
  EXPECT_TRUE(std::regex_search(unknown, std::regex(stamp + R"(<<220-Welcome To velmoraFTP !!!\r\n220 Enter Your ID\r\n)")))
      << unknown;
  EXPECT_TRUE(std::regex_search(unknown, std::regex(stamp + R"(>>USER bob\r\n)"))) << unknown;
  EXPECT_EQ(unknown.find("331"), std::string::npos);
  EXPECT_TRUE(std::regex_search(bob, std::regex("^" + stamp + R"(<<331 Enter Your Password\r\n)")))
      << bob;
  EXPECT_TRUE(std::regex_search(bob, std::regex(stamp + R"(>>PASS bob\r\n)"))) << bob;
  EXPECT_TRUE(std::regex_search(bob, std::regex(stamp + R"(<<221 Good-Bye\r\n$)"))) << bob;
  EXPECT_TRUE(lines_end_with_crlf(unknown));
  EXPECT_TRUE(lines_end_with_crlf(bob));
}

TEST_F(Logs, CommandLogIsOffByDefault) {
  login_and_quit();
  EXPECT_FALSE(site_.exists("user/UnKnown.clg"));
  EXPECT_FALSE(site_.exists("user/bob.clg"));
}

TEST_F(Logs, MessageLogHasFourDigitYearsAndTheUserWithHost) {
  login_and_quit();
  const std::string text = log("bob.mlg");
  const std::string stamp = R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d bob\(127\.0\.0\.1\) )";
  EXPECT_TRUE(std::regex_search(text, std::regex("^" + stamp + "ログインしました。\r\n"))) << text;
  EXPECT_TRUE(std::regex_search(text, std::regex(stamp + "終了します。\r\n"))) << text;
  EXPECT_TRUE(std::regex_search(text, std::regex(stamp + "切断しました。\r\n$"))) << text;
  EXPECT_TRUE(lines_end_with_crlf(text));
}

TEST_F(Logs, MessageLogCanBeSwitchedOff) {
  site_.set("Log", "LogAllComment", "0");
  site_.add_user("bob");
  harness::Server server(site_);
  ASSERT_TRUE(ftp_.connect(site_.ftp_port()));
  ASSERT_TRUE(ftp_.login("bob", "bob"));
  ftp_.command("USER bob");  // a bad sequence: the session ends
  ASSERT_TRUE(ftp_.wait_closed());
  // A later login shows the earlier session's clean-up had its chance to write.
  harness::FtpClient later;
  ASSERT_TRUE(later.connect(site_.ftp_port()));
  ASSERT_TRUE(later.login("bob", "bob"));
  EXPECT_FALSE(site_.exists("user/bob.mlg"));
  EXPECT_FALSE(site_.exists("user/UnKnown.mlg"));
}

// A client that tries many names makes no file per name: names without an account (the
// unknown ID refused here, and names that are no file names) log into UnKnown.mlg, and
// the lines still name them.
TEST_F(Logs, NamesWithoutAnAccountLogOnlyIntoTheUnknownLog) {
  harness::Server server(site_);
  for (const std::string name : {"ghost", "ghost2", "ghost3", "../ghost"}) {
    harness::FtpClient client;
    ASSERT_TRUE(client.connect(site_.ftp_port()));
    client.reply();
    EXPECT_EQ(client.command("USER " + name), "530 cannot accept your ID\r\n");
    ASSERT_TRUE(client.wait_closed());
  }
  ASSERT_TRUE(eventually([&] { return log("UnKnown.mlg").find("ID[../ghost]") != std::string::npos; }));
  EXPECT_TRUE(std::regex_search(
      log("UnKnown.mlg"),
      std::regex(R"(\r\n\d{4}/\d\d/\d\d \d\d:\d\d:\d\d ghost\(127\.0\.0\.1\) 登録されていないID\[ghost\]の接続を拒否しました。\r\n)")));
  EXPECT_FALSE(site_.exists("user/ghost.mlg"));
  EXPECT_FALSE(site_.exists("user/ghost2.mlg"));
  EXPECT_FALSE(site_.exists("user/ghost3.mlg"));
}

TEST_F(Logs, LongMessagesAreCutTo258Characters) {
  harness::Server server(site_);
  ASSERT_TRUE(ftp_.connect(site_.ftp_port()));
  ftp_.reply();
  const std::string name(150, 'n');
  ftp_.command("USER " + name);
  // The refusal's line names the user twice, so it is longer than the limit.
  ASSERT_TRUE(eventually([&] { return log("UnKnown.mlg").find("ID[") != std::string::npos; }));
  const std::string text = log("UnKnown.mlg");
  const size_t start = text.rfind("\r\n", text.find("ID[")) + 2;
  const std::string refusal = text.substr(start, text.find("\r\n", start) - start);
  EXPECT_EQ(refusal.size(), 258u) << refusal;
  EXPECT_EQ(refusal.substr(refusal.size() - 10), std::string(10, 'n'));
}

}  // namespace
