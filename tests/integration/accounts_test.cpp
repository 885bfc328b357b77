// Account and group files as the server reads and writes them around a login: group
// settings, saved credits, prohibited-host lists, and concurrent logouts of one user.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "tests/support/eventually.h"
#include "tests/support/harness.h"

namespace {

using test_support::eventually;

constexpr const char* kDefault230 =
    "230-/_/_/_/_/_/_/_/_/_/_/_/_\r\n230-      Welcome!!!\r\n"
    "230-/_/_/_/_/_/_/_/_/_/_/_/_\r\n230 Login OK!!!\r\n";

class Accounts : public ::testing::Test {
 protected:
  harness::Site site_{"accounts"};

  // Logs in and returns the 230 reply ("" when the login did not get that far).
  std::string login_reply(const std::string& user, const std::string& password,
                          harness::FtpClient& ftp) {
    if (!ftp.connect(site_.ftp_port())) return "";
    ftp.reply();
    const std::string answer = ftp.command("USER " + user);
    if (answer.rfind("331", 0) != 0) return answer;
    return ftp.command("PASS " + password);
  }
  std::string login_reply(const std::string& user, const std::string& password) {
    harness::FtpClient ftp;
    return login_reply(user, password, ftp);
  }
  // A 230 text that shows the credit.
  static harness::Keys credit_message() {
    return {{"UseLogOnMessage", "1"}, {"Message230_0", "credit $CREDIT$"}};
  }
  static harness::Keys with(harness::Keys keys, const harness::Keys& more) {
    keys.insert(more.begin(), more.end());
    return keys;
  }
};

TEST_F(Accounts, GroupFileSuppliesPromptAndLoginTextsButNotThePassword) {
  site_.add_user("joe", {{"PassWord", "pw"}, {"UseGroup", "1"}, {"Group", "staff"},
                         {"UseLogOnMessage", "1"}, {"Message230_0", "account text"}});
  site_.add_group("staff", {{"PassWord", "group-password"},
                            {"UseKnownIDMessage", "1"}, {"Message3310_0", "staff password?"},
                            {"UseLogOnMessage", "1"}, {"Message230_0", "staff $USER$"}});
  harness::Server server(site_);
  harness::FtpClient ftp;
  ASSERT_TRUE(ftp.connect(site_.ftp_port()));
  ftp.reply();
  EXPECT_EQ(ftp.command("USER joe"), "331-staff password?\r\n331 \r\n");
  EXPECT_EQ(ftp.command("PASS pw"), "230-staff joe\r\n230 \r\n");
  EXPECT_EQ(login_reply("joe", "group-password"), "530 Illegal Password.\r\n");
}

TEST_F(Accounts, MissingGroupFileLeavesTheAccountSettings) {
  site_.add_user("kim", {{"UseGroup", "1"}, {"Group", "ghosts"},
                         {"UseLogOnMessage", "1"}, {"Message230_0", "account text"}});
  harness::Server server(site_);
  EXPECT_EQ(login_reply("kim", "kim"), "230-account text\r\n230 \r\n");
}

TEST_F(Accounts, GroupSettingsReplaceEveryAccountSetting) {
  // NeedPassWord=0 in the account does not count: the group's default (1) applies.
  site_.add_user("lee", {{"UseGroup", "1"}, {"Group", "plain"}, {"NeedPassWord", "0"}});
  site_.add_group("plain", {{"Credit", "0"}});
  harness::Server server(site_);
  harness::FtpClient ftp;
  ASSERT_TRUE(ftp.connect(site_.ftp_port()));
  ftp.reply();
  EXPECT_EQ(ftp.command("USER lee"), "331 Enter Your Password\r\n");
}

TEST_F(Accounts, CreditWithoutRatioNeedsNothing) {
  site_.add_user("ann", with(credit_message(), {{"Credit", "1536"}}));
  harness::Server server(site_);
  EXPECT_EQ(login_reply("ann", "ann"), "230-credit no need\r\n230 \r\n");
}

TEST_F(Accounts, StartingCreditIsShownWithItsSizeText) {
  site_.add_user("bea", with(credit_message(),
                             {{"Credit", "1536"}, {"UseRate", "1"}, {"RateUp", "1"},
                              {"RateDown", "2"}}));
  harness::Server server(site_);
  EXPECT_EQ(login_reply("bea", "bea"), "230-credit 1536(1.50KB)\r\n230 \r\n");
}

TEST_F(Accounts, SavedCreditWinsWhenTheSettingsSaveCredit) {
  site_.add_user("cal", with(credit_message(),
                             {{"Credit", "1536"}, {"UseRate", "1"}, {"SaveCredit", "1"},
                              {"SavedCredit", "1"}, {"NowCredit", "1048576.75"}}));
  harness::Server server(site_);
  EXPECT_EQ(login_reply("cal", "cal"), "230-credit 1048576(1.00MB)\r\n230 \r\n");
}

TEST_F(Accounts, SavedCreditIsIgnoredWhenTheSettingsDoNotSaveCredit) {
  site_.add_user("dee", with(credit_message(),
                             {{"Credit", "1536"}, {"UseRate", "1"}, {"SaveCredit", "0"},
                              {"SavedCredit", "1"}, {"NowCredit", "1048576"}}));
  harness::Server server(site_);
  EXPECT_EQ(login_reply("dee", "dee"), "230-credit 1536(1.50KB)\r\n230 \r\n");
}

TEST_F(Accounts, GroupThatSavesCreditTakesTheAccountsSavedCredit) {
  site_.add_user("eli", {{"UseGroup", "1"}, {"Group", "savers"}, {"SavedCredit", "1"},
                         {"NowCredit", "2048"}});
  site_.add_group("savers", with(credit_message(), {{"SaveCredit", "1"}, {"UseRate", "1"},
                                                    {"Credit", "10"}}));
  harness::Server server(site_);
  EXPECT_EQ(login_reply("eli", "eli"), "230-credit 2048(2.00KB)\r\n230 \r\n");
}

TEST_F(Accounts, LogoutSavesTheCreditForTheNextLogin) {
  site_.add_user("fay", with(credit_message(),
                             {{"Credit", "3072"}, {"UseRate", "1"}, {"SaveCredit", "1"}}));
  harness::Server server(site_);
  harness::FtpClient ftp;
  ASSERT_EQ(login_reply("fay", "fay", ftp), "230-credit 3072(3.00KB)\r\n230 \r\n");
  ftp.command("QUIT");
  // Email is the last key the clean-up writes.
  const std::string file = site_.path("user/fay.usr");
  ASSERT_TRUE(eventually([&] { return platform::profile_has_key(file, "UserInfo", "Email"); }));
  EXPECT_EQ(site_.user_key("fay", "SavedCredit"), "1");
  EXPECT_EQ(site_.user_key("fay", "NowCredit"), "3072.000000");
  EXPECT_EQ(site_.user_key("fay", "LastConnect").size(), 8u);
  EXPECT_EQ(site_.user_key("fay", "PassWord"), "fay");
}

TEST_F(Accounts, RefusedLoginSavesNothing) {
  site_.add_user("gus", {{"SaveCredit", "1"}, {"Credit", "5"}});
  harness::Server server(site_);
  EXPECT_EQ(login_reply("gus", "wrong"), "530 Illegal Password.\r\n");
  // A later session that logs in and out shows the clean-up has run for both.
  harness::FtpClient ftp;
  ASSERT_EQ(login_reply("gus", "gus", ftp), kDefault230);
  ftp.command("QUIT");
  const std::string file = site_.path("user/gus.usr");
  ASSERT_TRUE(eventually([&] { return platform::profile_has_key(file, "UserInfo", "Email"); }));
  EXPECT_EQ(site_.user_key("gus", "NowCredit"), "5.000000");
}

TEST_F(Accounts, ProhibitedHostAloneStillAdmitsOtherHosts) {
  site_.add_user("hal", {{"ProhIP0", "10.*"}});
  harness::Server server(site_);
  EXPECT_EQ(login_reply("hal", "hal"), kDefault230);
}

TEST_F(Accounts, ProhibitedHostListReadsTheOddEntryAfterAnEvenOne) {
  site_.add_user("ida", {{"ProhIP0", "10.*"}, {"ProhIP1", "127.0.0.1"}});
  harness::Server server(site_);
  EXPECT_EQ(login_reply("ida", "ida"), "503 can't accept you or your IP.\r\n");
}

TEST_F(Accounts, ProhibitedHostListStopsAtTheFirstMissingEvenEntry) {
  site_.add_user("jan", {{"ProhIP0", "10.*"}, {"ProhIP3", "127.0.0.1"}});
  site_.add_user("ken", {{"ProhIP1", "127.0.0.1"}});
  harness::Server server(site_);
  EXPECT_EQ(login_reply("jan", "jan"), kDefault230);
  EXPECT_EQ(login_reply("ken", "ken"), kDefault230);
}

TEST_F(Accounts, ConcurrentLogoutsOfOneUserLeaveEveryKey) {
  site_.add_user("many", {{"SaveCredit", "1"}, {"UseRate", "1"}, {"Credit", "4096"},
                          {"Email", "many@example.org"}, {"MaxConPerIP", "0"}});
  site_.set("UserInfo", "UseWelcomeMessage", "1");
  site_.set("UserInfo", "Message220_0", "now $NOW_CON$");
  harness::Server server(site_);
  std::vector<std::unique_ptr<harness::FtpClient>> clients;
  for (int i = 0; i < 10; ++i) {
    auto ftp = std::make_unique<harness::FtpClient>();
    ASSERT_TRUE(ftp->connect(site_.ftp_port()));
    ftp->reply();
    ASSERT_EQ(ftp->command("USER many"), "331 Enter Your Password\r\n");
    ASSERT_EQ(ftp->command("PASS many"), kDefault230);
    clients.push_back(std::move(ftp));
  }
  for (auto& ftp : clients) ftp->send_line("QUIT");
  for (auto& ftp : clients) EXPECT_TRUE(ftp->wait_closed());
  // Every clean-up has run once the table holds nobody but a new probe.
  EXPECT_TRUE(eventually([&] {
    harness::FtpClient probe;
    return probe.connect(site_.ftp_port()) && probe.reply() == "220-now 1\r\n220 \r\n";
  }));
  const std::string file = site_.path("user/many.usr");
  for (const char* key : {"PassWord", "HomeDir", "SaveCredit", "UseRate", "Credit", "Email",
                          "MaxConPerIP", "NowCredit", "SavedCredit", "LastConnect"}) {
    EXPECT_TRUE(platform::profile_has_key(file, "UserInfo", key)) << key;
  }
  EXPECT_EQ(site_.user_key("many", "NowCredit"), "4096.000000");
  EXPECT_EQ(site_.user_key("many", "Email"), "many@example.org");
  EXPECT_EQ(site_.user_key("many", "PassWord"), "many");
  EXPECT_EQ(login_reply("many", "many"), kDefault230);
}

}  // namespace
