// USER and PASS as a client sees them: the three login states, connection limits,
// refusals, the unknown-ID modes, and user names that could reach outside the user folder.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>

#include "tests/support/eventually.h"
#include "tests/support/harness.h"

namespace {

using test_support::eventually;

namespace fs = std::filesystem;

constexpr const char* kBadSequence = "503 Bad sequence of commands.\r\n";
constexpr const char* kDefault230 =
    "230-/_/_/_/_/_/_/_/_/_/_/_/_\r\n230-      Welcome!!!\r\n"
    "230-/_/_/_/_/_/_/_/_/_/_/_/_\r\n230 Login OK!!!\r\n";
constexpr const char* kUnknownRefused = "530 cannot accept your ID\r\n";

// Connects the Manager's side and waits until the Core has taken the connection: a
// greeted session shows up in the initial snapshot.
void attach_manager(const harness::Site& site, harness::AdminClient& admin) {
  harness::FtpClient keeper;
  ASSERT_TRUE(keeper.connect(site.ftp_port()));
  ASSERT_EQ(keeper.reply().substr(0, 3), "220");
  ASSERT_TRUE(admin.connect(site.admin_port()));
  ASSERT_TRUE(admin.wait_for(shared::kEventConnected, 5000).has_value());
}

std::set<std::string> files_under(const std::string& root) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = entry.path().filename().string();
    if (name == "quorsrv.out" || name.find(".lock") != std::string::npos) continue;
    names.insert(entry.path().string());
  }
  return names;
}

class Login : public ::testing::Test {
 protected:
  harness::Site site_{"login"};
  harness::FtpClient ftp_;

  void greet(const std::string& from = "127.0.0.1") {
    ASSERT_TRUE(ftp_.connect(site_.ftp_port(), from));
    ASSERT_EQ(ftp_.reply().substr(0, 4), "220-");
  }
};

TEST_F(Login, SecondUserAfterLoginIsABadSequenceAndCloses) {
  site_.add_user("demo");
  harness::Server server(site_);
  ASSERT_TRUE(ftp_.connect(site_.ftp_port()));
  ASSERT_TRUE(ftp_.login("demo", "demo"));
  EXPECT_EQ(ftp_.command("USER demo"), kBadSequence);
  EXPECT_TRUE(ftp_.wait_closed());
}

TEST_F(Login, SecondUserWhileAwaitingPasswordIsABadSequenceAndCloses) {
  site_.add_user("demo");
  harness::Server server(site_);
  greet();
  EXPECT_EQ(ftp_.command("USER demo"), "331 Enter Your Password\r\n");
  EXPECT_EQ(ftp_.command("USER demo"), kBadSequence);
  EXPECT_TRUE(ftp_.wait_closed());
}

TEST_F(Login, PasswordBeforeUserIsRefusedAndTheSessionGoesOn) {
  site_.add_user("demo");
  harness::Server server(site_);
  greet();
  EXPECT_EQ(ftp_.command("PASS demo"), kBadSequence);
  EXPECT_EQ(ftp_.command("NOOP"), "200 OK\r\n");
  EXPECT_EQ(ftp_.command("USER demo"), "331 Enter Your Password\r\n");
  EXPECT_EQ(ftp_.command("PASS demo"), kDefault230);
}

TEST_F(Login, PasswordAfterLoginIsRefusedAndTheSessionGoesOn) {
  site_.add_user("demo");
  harness::Server server(site_);
  ASSERT_TRUE(ftp_.connect(site_.ftp_port()));
  ASSERT_TRUE(ftp_.login("demo", "demo"));
  EXPECT_EQ(ftp_.command("PASS demo"), kBadSequence);
  EXPECT_EQ(ftp_.command("NOOP"), "200 OK\r\n");
}

TEST_F(Login, AccountWithoutPasswordLogsInAtUser) {
  site_.add_user("open", {{"NeedPassWord", "0"}, {"NeedEmailAddr", "0"}});
  harness::Server server(site_);
  greet();
  EXPECT_EQ(ftp_.command("USER open"), kDefault230);
  EXPECT_EQ(ftp_.command("NOOP"), "200 OK\r\n");
}

TEST_F(Login, WrongPasswordIsRefusedAndCloses) {
  site_.add_user("demo");
  harness::Server server(site_);
  harness::AdminClient admin;
  attach_manager(site_, admin);
  greet();
  ftp_.command("USER demo");
  EXPECT_EQ(ftp_.command("PASS Demo"), "530 Illegal Password.\r\n");
  EXPECT_TRUE(ftp_.wait_closed());
  auto event = admin.wait_for(shared::kEventRefused, 5000, "demo");
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(event->snapshot.message, "パスワードが違うため、拒否しました。");
}

TEST_F(Login, UserAcceptedEventCarriesTheLoginText) {
  site_.add_user("demo");
  harness::Server server(site_);
  harness::AdminClient admin;
  attach_manager(site_, admin);
  greet();
  ftp_.command("USER demo");
  auto event = admin.wait_for(shared::kEventUserAccepted, 5000, "demo");
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(event->snapshot.message, "ログインしました。");
}

TEST_F(Login, PasswordOfExactly501BytesIsCompared) {
  const std::string password(501, 'p');
  site_.add_user("long", {{"PassWord", password}});
  harness::Server server(site_);
  greet();
  ftp_.command("USER long");
  EXPECT_EQ(ftp_.command("PASS " + password), kDefault230);

  harness::FtpClient shorter;
  ASSERT_TRUE(shorter.connect(site_.ftp_port()));
  shorter.reply();
  shorter.command("USER long");
  EXPECT_EQ(shorter.command("PASS " + password.substr(0, 500)), "530 Illegal Password.\r\n");
}

TEST_F(Login, OverLongUserNameIsRefusedWithoutTouchingTheDisk) {
  site_.set("UnKnownID", "Refuse", "0");
  site_.set("UnKnownID", "MailPass", "0");
  site_.set("UnKnownID", "MakeAcount", "1");
  harness::Server server(site_);
  const auto before = files_under(site_.root());
  greet();
  EXPECT_EQ(ftp_.command("USER " + std::string(504, 'u')), kUnknownRefused);
  EXPECT_TRUE(ftp_.wait_closed());
  EXPECT_EQ(files_under(site_.root()), before);
}

TEST_F(Login, SameHostLimitCountsSessionsThatHaveNotSentUser) {
  site_.add_user("demo", {{"MaxConPerIP", "1"}});
  harness::Server server(site_);
  harness::FtpClient idle;
  ASSERT_TRUE(idle.connect(site_.ftp_port(), "127.0.0.3"));
  ASSERT_EQ(idle.reply().substr(0, 3), "220");
  greet("127.0.0.3");
  EXPECT_EQ(ftp_.command("USER demo"), "530 Your IP is already loged in.\r\n");
  EXPECT_TRUE(ftp_.wait_closed());

  harness::FtpClient other_host;
  ASSERT_TRUE(other_host.connect(site_.ftp_port(), "127.0.0.4"));
  other_host.reply();
  EXPECT_EQ(other_host.command("USER demo"), "331 Enter Your Password\r\n");
}

TEST_F(Login, SameUserLimitCountsSessionsThatOnlyGaveUser) {
  site_.add_user("demo", {{"MaxConPerUser", "1"}});
  harness::Server server(site_);
  harness::FtpClient first;
  ASSERT_TRUE(first.connect(site_.ftp_port(), "127.0.0.5"));
  first.reply();
  ASSERT_EQ(first.command("USER demo"), "331 Enter Your Password\r\n");
  greet("127.0.0.6");
  EXPECT_EQ(ftp_.command("USER demo"), "530 Your ID is already loged in.\r\n");
  EXPECT_TRUE(ftp_.wait_closed());
}

TEST_F(Login, ProhibitedHostIsRefusedAfterTheUserEvent) {
  site_.add_user("bob", {{"ProhIP0", "127.0.0.*"}});
  harness::Server server(site_);
  harness::AdminClient admin;
  attach_manager(site_, admin);
  greet();
  EXPECT_EQ(ftp_.command("USER bob"), "503 can't accept you or your IP.\r\n");
  EXPECT_TRUE(ftp_.wait_closed());
  ASSERT_TRUE(admin.wait_for(shared::kEventUserAccepted, 5000, "bob").has_value());
  auto refused = admin.wait_for(shared::kEventRefused, 5000, "bob");
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->snapshot.message,
            "受け付けられないユーザー[bob]またはホスト[127.0.0.1]です。");
}

TEST_F(Login, RefusedAccountIsRefusedAtUser) {
  site_.add_user("bob", {{"RefuseUser", "1"}});
  harness::Server server(site_);
  greet();
  EXPECT_EQ(ftp_.command("USER bob"), "503 can't accept you or your IP.\r\n");
  EXPECT_TRUE(ftp_.wait_closed());
}

TEST_F(Login, UnknownIdIsRefusedByDefault) {
  harness::Server server(site_);
  harness::AdminClient admin;
  attach_manager(site_, admin);
  greet();
  EXPECT_EQ(ftp_.command("USER ghost"), kUnknownRefused);
  EXPECT_TRUE(ftp_.wait_closed());
  auto refused = admin.wait_for(shared::kEventRefused, 5000, "ghost");
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->snapshot.message, "登録されていないID[ghost]の接続を拒否しました。");
  EXPECT_FALSE(site_.exists("user/ghost.usr"));
}

class MailPasswordMode : public Login {
 protected:
  void SetUp() override {
    site_.set("UnKnownID", "Refuse", "0");
    site_.set("UnKnownID", "MailPass", "1");
  }
};

TEST_F(MailPasswordMode, AddressWithoutAtSignIsRefusedAndNoAccountIsMade) {
  harness::Server server(site_);
  harness::AdminClient admin;
  attach_manager(site_, admin);
  greet();
  EXPECT_EQ(ftp_.command("USER newbie"), "331 Enter Password\r\n");
  EXPECT_EQ(ftp_.command("PASS newbie.example.org"),
            "530 [newbie.example.org]is not current e-mail address.\r\n");
  EXPECT_TRUE(ftp_.wait_closed());
  auto refused = admin.wait_for(shared::kEventRefused, 5000, "newbie");
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->snapshot.message, "メールアドレス[newbie.example.org]を拒否しました。");
  EXPECT_FALSE(site_.exists("user/newbie.usr"));
}

TEST_F(MailPasswordMode, RefusedAddressIsRefusedAndNoAccountIsMade) {
  site_.write_file("RefuseIP.txt", "*@spam.example\n");
  harness::Server server(site_);
  greet();
  ftp_.command("USER newbie");
  EXPECT_EQ(ftp_.command("PASS me@spam.example"),
            "530 Can't accept your Email Address [me@spam.example]\r\n");
  EXPECT_TRUE(ftp_.wait_closed());
  EXPECT_FALSE(site_.exists("user/newbie.usr"));
}

TEST_F(MailPasswordMode, AddressCreatesTheAccountAndTheManagerGetsThePassword) {
  harness::Server server(site_);
  harness::AdminClient admin;
  attach_manager(site_, admin);
  greet();
  ftp_.command("USER newbie");
  ftp_.send_line("PASS newbie@example.org");
  auto mailed = admin.wait_for(shared::kEventAccountMailed, 5000, "newbie");
  EXPECT_EQ(ftp_.reply(),
            "421 Now Sending mail with password.Please Check Mail(newbie@example.org)\r\n");
  EXPECT_TRUE(ftp_.wait_closed());
  ASSERT_TRUE(mailed.has_value());
  EXPECT_EQ(mailed->snapshot.message,
            "ユーザー[newbie]のアカウント作成完了、メール[newbie@example.org]に情報を送信中");
  EXPECT_EQ(mailed->snapshot.email, "newbie@example.org");
  const std::string password = mailed->snapshot.password;
  ASSERT_EQ(password.size(), 8u);
  for (char c : password) EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(c)));
  EXPECT_EQ(site_.user_key("newbie", "PassWord"), password);
  EXPECT_EQ(site_.user_key("newbie", "Email"), "newbie@example.org");
  EXPECT_EQ(site_.user_key("newbie", "UseGroup"), "1");

  harness::FtpClient later;
  ASSERT_TRUE(later.connect(site_.ftp_port()));
  EXPECT_TRUE(later.login("newbie", password));
}

class MakeAccountMode : public Login {
 protected:
  void SetUp() override {
    site_.set("UnKnownID", "Refuse", "0");
    site_.set("UnKnownID", "MailPass", "0");
    site_.set("UnKnownID", "MakeAcount", "1");
  }
};

TEST_F(MakeAccountMode, AnyPasswordLogsInAndBecomesTheAccountPassword) {
  harness::Server server(site_);
  harness::AdminClient admin;
  attach_manager(site_, admin);
  greet();
  EXPECT_EQ(ftp_.command("USER zed"), "331 Enter Password\r\n");
  EXPECT_EQ(ftp_.command("PASS My Secret"), kDefault230);
  auto created = admin.wait_for(shared::kEventAccountCreated, 5000, "zed");
  ASSERT_TRUE(created.has_value());
  EXPECT_EQ(created->snapshot.message, "ユーザー[zed]のアカウントを作成しました。");
  EXPECT_EQ(site_.user_key("zed", "PassWord"), "My Secret");
  EXPECT_EQ(site_.user_key("zed", "Name"), "zed");
  ftp_.command("QUIT");

  harness::FtpClient again;
  ASSERT_TRUE(again.connect(site_.ftp_port()));
  again.reply();
  EXPECT_EQ(again.command("USER zed"), "331 Enter Your Password\r\n");
  EXPECT_EQ(again.command("PASS other"), "530 Illegal Password.\r\n");
}

TEST_F(MakeAccountMode, AccountMadeMeanwhileByAnotherSessionIsNotOverwritten) {
  harness::Server server(site_);
  harness::FtpClient first;
  ASSERT_TRUE(first.connect(site_.ftp_port()));
  first.reply();
  ASSERT_EQ(first.command("USER carol"), "331 Enter Password\r\n");
  greet();
  ASSERT_EQ(ftp_.command("USER carol"), "331 Enter Password\r\n");
  ASSERT_EQ(ftp_.command("PASS one"), kDefault230);
  EXPECT_EQ(first.command("PASS two"), kUnknownRefused);
  EXPECT_TRUE(first.wait_closed());
  EXPECT_EQ(site_.user_key("carol", "PassWord"), "one");
}

// Names that could reach outside the user folder, in the mode that would make accounts.
TEST_F(MakeAccountMode, UnsafeUserNamesAreRefusedWithoutTouchingTheDisk) {
  site_.write_file("secret.usr", "[UserInfo]\r\nPassWord=x\r\nNeedPassWord=0\r\n");
  site_.write_file("user/.hidden.usr", "[UserInfo]\r\nPassWord=x\r\nNeedPassWord=0\r\n");
  site_.set("Log", "LogAllCmd", "1");
  harness::Server server(site_);
  harness::AdminClient admin;
  attach_manager(site_, admin);
  const auto before = files_under(site_.root());
  for (const std::string name : {"../secret", "..", ".", "a/b", "/etc/passwd", "..\\secret",
                                 ".hidden", "bell\x07" "name", "\xff\xfe", "\xc0\xae\xc0\xae"}) {
    harness::FtpClient client;
    ASSERT_TRUE(client.connect(site_.ftp_port(), "127.0.0.7"));
    client.reply();
    EXPECT_EQ(client.command("USER " + name), kUnknownRefused) << name;
    client.send_line("PASS x");
    EXPECT_TRUE(client.wait_closed()) << name;
    auto refused = admin.wait_for(shared::kEventRefused, 5000);
    ASSERT_TRUE(refused.has_value()) << name;
    EXPECT_EQ(refused->snapshot.message, "登録されていないID[" + name + "]の接続を拒否しました。");
  }
  auto after = files_under(site_.root());
  after.erase(site_.path("user/UnKnown.clg"));  // the lines read before USER
  auto expected = before;
  expected.erase(site_.path("user/UnKnown.clg"));
  EXPECT_EQ(after, expected);
}

class EmailPasswordAccount : public Login {
 protected:
  void SetUp() override {
    site_.add_user("guest", {{"NeedPassWord", "0"}, {"NeedEmailAddr", "1"},
                             {"ProhIP0", "*@bad.example"}});
  }
};

TEST_F(EmailPasswordAccount, AddressIsAskedForAndSavedAtLogout) {
  harness::Server server(site_);
  greet();
  EXPECT_EQ(ftp_.command("USER guest"), "331 Please insert current E-Mail address.\r\n");
  EXPECT_EQ(ftp_.command("PASS me@good.example"), kDefault230);
  ftp_.command("QUIT");
  EXPECT_TRUE(ftp_.wait_closed());
  // The account is written by the session's clean-up, after the connection is closed.
  EXPECT_TRUE(eventually([&] { return site_.user_key("guest", "Email") == "me@good.example"; }));
}

TEST_F(EmailPasswordAccount, ProhibitedAddressIsRefused) {
  harness::Server server(site_);
  greet();
  ftp_.command("USER guest");
  EXPECT_EQ(ftp_.command("PASS me@bad.example"), "530 Illegal Email Address.\r\n");
  EXPECT_TRUE(ftp_.wait_closed());
}

}  // namespace
