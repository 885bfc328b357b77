// Account and group files read into a session, account creation, logout saving, user
// names that may name a file, and generated passwords.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "core/accounts.h"
#include "core/server.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "tests/support/harness.h"

namespace {

class AccountFiles : public ::testing::Test {
 protected:
  std::string root_ = harness::make_temp_dir("accounts");
  core::Session s;

  void SetUp() override {
    platform::make_directory(root_ + "user");
    core::core_state().paths = core::make_program_paths(root_);
  }
  std::string user_file(const std::string& name) { return root_ + "user/" + name + ".usr"; }
  void user_key(const std::string& name, const std::string& key, const std::string& value,
                const std::string& section = "UserInfo") {
    ASSERT_TRUE(platform::profile_write_string(user_file(name), section, key, value));
  }
  void group_key(const std::string& name, const std::string& key, const std::string& value,
                 const std::string& section = "UserInfo") {
    ASSERT_TRUE(platform::profile_write_string(root_ + "user/" + name + ".grp", section, key,
                                               value));
  }
  bool load(const std::string& name) {
    core::write_field(s, &core::Session::user_name, name);
    return core::load_account(s);
  }
  std::string field(std::string core::Session::*f) { return core::read_field(s, f); }
};

TEST_F(AccountFiles, MissingAccountLeavesTheSessionAlone) {
  EXPECT_FALSE(load("nobody"));
  EXPECT_FALSE(s.account_loaded);
  EXPECT_EQ(s.user_file, "");
  EXPECT_EQ(s.rate, core::kNoRatio);
}

TEST_F(AccountFiles, DefaultsOfAnAccountWithoutKeys) {
  user_key("ann", "Name", "ann");
  ASSERT_TRUE(load("ann"));
  EXPECT_TRUE(s.account_loaded);
  EXPECT_EQ(s.user_file, user_file("ann"));
  EXPECT_EQ(s.settings_file, user_file("ann"));
  EXPECT_EQ(field(&core::Session::password), "");
  EXPECT_EQ(field(&core::Session::group_name), "");
  EXPECT_EQ(s.password_mode, core::kPassword);
  EXPECT_EQ(s.rate, core::kNoRatio);
  EXPECT_EQ(s.credit.load(), 0.0);
  EXPECT_EQ(s.idle_minutes.load(), 0);
  EXPECT_TRUE(s.dir_rules.empty());
  EXPECT_TRUE(s.prohibited_hosts.empty());
  EXPECT_TRUE(s.user_plugins.empty());
  EXPECT_EQ(s.message_3310, "331 Enter Your Password\r\n");
  EXPECT_EQ(s.message_226, "226 Transfer complete.\r\n");
}

TEST_F(AccountFiles, EveryAccountKeyReachesTheSession) {
  user_key("bob", "PassWord", "Secret");
  user_key("bob", "Email", "bob@example.org");
  user_key("bob", "UserHomeDir", "/srv/bob");
  user_key("bob", "HomeDir", "/srv/other/");
  user_key("bob", "RefuseUser", "1");
  user_key("bob", "Credit", "4096");
  user_key("bob", "UseRate", "1");
  user_key("bob", "RateUp", "3");
  user_key("bob", "RateDown", "7");
  user_key("bob", "SaveCredit", "1");
  user_key("bob", "UseLmitCapacity", "1");
  user_key("bob", "UserInfoVer", "100");
  user_key("bob", "IdleTime", "15");
  user_key("bob", "IdolTime", "99");
  user_key("bob", "ConnectTime", "30");
  user_key("bob", "MaxConPerIP", "2");
  user_key("bob", "MaxConPerUser", "4");
  user_key("bob", "PASV", "1");
  user_key("bob", "UpBps", "64");
  user_key("bob", "DownBps", "128");
  user_key("bob", "UserKinshi", "73728");  // 0x12000: kept as 16 bits
  ASSERT_TRUE(load("bob"));
  EXPECT_EQ(field(&core::Session::password), "Secret");
  EXPECT_EQ(field(&core::Session::email), "bob@example.org");
  EXPECT_EQ(field(&core::Session::home_directory), "/srv/bob/");
  EXPECT_EQ(s.refused_user, 1);
  EXPECT_EQ(s.credit.load(), 4096.0);
  EXPECT_EQ(s.rate, 0x0307);
  EXPECT_EQ(s.save_credit, 1);
  EXPECT_EQ(s.capacity_limit, 1);
  EXPECT_EQ(s.idle_minutes.load(), 15);
  EXPECT_EQ(s.connect_minutes.load(), 30);
  EXPECT_EQ(s.max_per_host, 2);
  EXPECT_EQ(s.max_per_user, 4);
  EXPECT_EQ(s.option_flags & 1, 1);
  EXPECT_EQ(s.up_limit, 64);
  EXPECT_EQ(s.down_limit, 128);
  EXPECT_EQ(s.forbidden, 0x2000);
}

TEST_F(AccountFiles, OldFilesSpellTheIdleKeyIdolTime) {
  user_key("old", "IdolTime", "9");
  user_key("old", "IdleTime", "15");
  ASSERT_TRUE(load("old"));
  EXPECT_EQ(s.idle_minutes.load(), 9);
}

TEST_F(AccountFiles, HomeDirIsUsedWhenUserHomeDirIsEmpty) {
  user_key("cat", "HomeDir", "/srv/pub/");
  ASSERT_TRUE(load("cat"));
  EXPECT_EQ(field(&core::Session::home_directory), "/srv/pub/");
}

TEST_F(AccountFiles, RateWithoutUseRateIsNoRatio) {
  user_key("dan", "RateUp", "3");
  user_key("dan", "RateDown", "7");
  ASSERT_TRUE(load("dan"));
  EXPECT_EQ(s.rate, core::kNoRatio);
}

TEST_F(AccountFiles, PasswordModes) {
  user_key("m0", "NeedPassWord", "0");
  user_key("m1", "NeedPassWord", "1");
  user_key("m1", "NeedEmailAddr", "1");
  user_key("m2", "NeedPassWord", "0");
  user_key("m2", "NeedEmailAddr", "1");
  ASSERT_TRUE(load("m0"));
  EXPECT_EQ(s.password_mode, core::kNoPassword);
  core::Session t1, t2;
  core::write_field(t1, &core::Session::user_name, "m1");
  core::write_field(t2, &core::Session::user_name, "m2");
  ASSERT_TRUE(core::load_account(t1));
  ASSERT_TRUE(core::load_account(t2));
  EXPECT_EQ(t1.password_mode, core::kPassword);
  EXPECT_EQ(t2.password_mode, core::kEmailPassword);
}

TEST_F(AccountFiles, SavedCreditIsTakenWhenTheSettingsSaveCredit) {
  user_key("eve", "Credit", "10");
  user_key("eve", "SavedCredit", "1");
  user_key("eve", "NowCredit", "1000.5");
  user_key("eve", "SaveCredit", "1");
  ASSERT_TRUE(load("eve"));
  EXPECT_EQ(s.credit.load(), 1000.5);
}

TEST_F(AccountFiles, SavedCreditIsIgnoredWhenTheSettingsDoNotSaveCredit) {
  user_key("fay", "Credit", "10");
  user_key("fay", "SavedCredit", "1");
  user_key("fay", "NowCredit", "1000.5");
  user_key("fay", "SaveCredit", "0");
  ASSERT_TRUE(load("fay"));
  EXPECT_EQ(s.credit.load(), 10.0);
}

TEST_F(AccountFiles, NowCredittIsIgnoredWithoutSavedCredit) {
  user_key("gil", "Credit", "10");
  user_key("gil", "NowCredit", "1000.5");
  user_key("gil", "SaveCredit", "1");
  ASSERT_TRUE(load("gil"));
  EXPECT_EQ(s.credit.load(), 10.0);
}

TEST_F(AccountFiles, UnreadableNowCreditIsZero) {
  user_key("hal", "SavedCredit", "1");
  user_key("hal", "NowCredit", "lots");
  user_key("hal", "SaveCredit", "1");
  ASSERT_TRUE(load("hal"));
  EXPECT_EQ(s.credit.load(), 0.0);
}

TEST_F(AccountFiles, CreditIsAnUnsigned32BitValue) {
  user_key("ivy", "Credit", "-1");
  ASSERT_TRUE(load("ivy"));
  EXPECT_EQ(s.credit.load(), 4294967295.0);
}

TEST_F(AccountFiles, GroupFileSuppliesTheSettings) {
  user_key("joe", "PassWord", "pw");
  user_key("joe", "Email", "joe@example.org");
  user_key("joe", "UserHomeDir", "/srv/joe/");
  user_key("joe", "UseGroup", "1");
  user_key("joe", "Group", "staff");
  user_key("joe", "IdleTime", "5");
  user_key("joe", "UserInfoVer", "100");
  user_key("joe", "Dir0", "/srv/account-rule/");
  group_key("staff", "UserInfoVer", "100");
  group_key("staff", "IdleTime", "42");
  group_key("staff", "Dir0", "/srv/group-rule/");
  group_key("staff", "Prhb0", "32");
  group_key("staff", "PassWord", "group-password");
  group_key("staff", "UseLogOnMessage", "1");
  group_key("staff", "Message230_0", "staff welcome");
  group_key("staff", "PlugInNum", "1", "UserPlugIn");
  group_key("staff", "Plugin0", "/nowhere/plugin.so", "UserPlugIn");
  ASSERT_TRUE(load("joe"));
  EXPECT_EQ(s.settings_file, root_ + "user/staff.grp");
  EXPECT_EQ(field(&core::Session::group_name), "staff");
  EXPECT_EQ(s.idle_minutes.load(), 42);
  ASSERT_EQ(s.dir_rules.size(), 1u);
  EXPECT_EQ(s.dir_rules[0].path, "/srv/group-rule/");
  EXPECT_EQ(s.dir_rules[0].flags, 32u);
  EXPECT_EQ(s.message_230, "230-staff welcome\r\n230 \r\n");
  ASSERT_EQ(s.user_plugins.size(), 1u);
  EXPECT_EQ(s.user_plugins[0], -1);  // no plug-in of that path is loaded
  EXPECT_EQ(field(&core::Session::password), "pw");
  EXPECT_EQ(field(&core::Session::email), "joe@example.org");
  EXPECT_EQ(field(&core::Session::home_directory), "/srv/joe/");
}

TEST_F(AccountFiles, MissingGroupFileLeavesTheAccountFile) {
  user_key("kim", "UseGroup", "1");
  user_key("kim", "Group", "ghosts");
  user_key("kim", "UserInfoVer", "100");
  user_key("kim", "IdleTime", "5");
  ASSERT_TRUE(load("kim"));
  EXPECT_EQ(s.settings_file, user_file("kim"));
  EXPECT_EQ(field(&core::Session::group_name), "ghosts");
  EXPECT_EQ(s.idle_minutes.load(), 5);
}

TEST_F(AccountFiles, GroupIsIgnoredWithoutUseGroup) {
  user_key("lou", "Group", "staff");
  group_key("staff", "IdolTime", "42");
  ASSERT_TRUE(load("lou"));
  EXPECT_EQ(s.settings_file, user_file("lou"));
  EXPECT_EQ(field(&core::Session::group_name), "");
  EXPECT_EQ(s.idle_minutes.load(), 0);
}

TEST_F(AccountFiles, GroupNameThatIsNoPlainFileNameIsNotLookedUp) {
  platform::make_directory(root_ + "elsewhere");
  ASSERT_TRUE(platform::profile_write_string(root_ + "elsewhere/evil.grp", "UserInfo",
                                             "IdolTime", "42"));
  user_key("max", "UseGroup", "1");
  user_key("max", "Group", "../elsewhere/evil");
  ASSERT_TRUE(load("max"));
  EXPECT_EQ(s.settings_file, user_file("max"));
  EXPECT_EQ(s.idle_minutes.load(), 0);
}

TEST_F(AccountFiles, DirectoryRulesEndAtTheFirstEmptyPath) {
  user_key("ned", "Dir0", "/a/");
  user_key("ned", "Prhb0", "1");
  user_key("ned", "Dir1", "/b/");
  user_key("ned", "Dir3", "/d/");
  ASSERT_TRUE(load("ned"));
  ASSERT_EQ(s.dir_rules.size(), 2u);
  EXPECT_EQ(s.dir_rules[0].flags, 1u);
  EXPECT_EQ(s.dir_rules[1].path, "/b/");
  EXPECT_EQ(s.dir_rules[1].flags, 0u);
}

TEST_F(AccountFiles, ProhibitedHostsAloneGiveTwoEntries) {
  user_key("oli", "ProhIP0", "10.*");
  ASSERT_TRUE(load("oli"));
  ASSERT_EQ(s.prohibited_hosts.size(), 2u);
  EXPECT_EQ(s.prohibited_hosts[0], "10.*");
  EXPECT_EQ(s.prohibited_hosts[1], "");
}

TEST_F(AccountFiles, ProhibitedHostsAreSizedByTheEvenNumbers) {
  user_key("pam", "ProhIP0", "a");
  user_key("pam", "ProhIP1", "b");
  user_key("pam", "ProhIP2", "c");
  user_key("pam", "ProhIP5", "f");  // beyond ProhIP3: not read, ProhIP4 is missing
  ASSERT_TRUE(load("pam"));
  EXPECT_EQ(s.prohibited_hosts, (std::vector<std::string>{"a", "b", "c", ""}));
}

TEST_F(AccountFiles, ProhibitedHostsWithoutProhIP0AreEmpty) {
  user_key("quin", "ProhIP1", "b");
  ASSERT_TRUE(load("quin"));
  EXPECT_TRUE(s.prohibited_hosts.empty());
}

TEST_F(AccountFiles, CreateWritesTheAccountAndLoadsIt) {
  ASSERT_TRUE(platform::profile_write_string(root_ + "velmoraFTPd.ini", "UnKnownID", "Group",
                                             "guests"));
  core::write_field(s, &core::Session::user_name, "newbie");
  core::write_field(s, &core::Session::password, "abcdefgh");
  core::write_field(s, &core::Session::email, "new@example.org");
  core::create_account(s);
  const std::string file = user_file("newbie");
  EXPECT_EQ(platform::profile_read_string(file, "UserInfo", "Name"), "newbie");
  EXPECT_EQ(platform::profile_read_string(file, "UserInfo", "PassWord"), "abcdefgh");
  EXPECT_EQ(platform::profile_read_string(file, "UserInfo", "UseGroup"), "1");
  EXPECT_EQ(platform::profile_read_string(file, "UserInfo", "Group"), "guests");
  EXPECT_EQ(platform::profile_read_string(file, "UserInfo", "Email"), "new@example.org");
  const std::string date = platform::profile_read_string(file, "UserInfo", "LastConnect");
  EXPECT_EQ(date.size(), 8u);
  EXPECT_EQ(date[2], '/');
  EXPECT_EQ(date[5], '/');
  EXPECT_TRUE(s.account_loaded);
  EXPECT_EQ(field(&core::Session::group_name), "guests");
}

TEST_F(AccountFiles, CreateWithoutEmailLeavesNoEmailKeyAndUsesGroupEvenWhenEmpty) {
  core::write_field(s, &core::Session::user_name, "plain");
  core::write_field(s, &core::Session::password, "pw");
  core::create_account(s);
  const std::string file = user_file("plain");
  EXPECT_FALSE(platform::profile_has_key(file, "UserInfo", "Email"));
  EXPECT_EQ(platform::profile_read_string(file, "UserInfo", "UseGroup"), "1");
  EXPECT_TRUE(platform::profile_has_key(file, "UserInfo", "Group"));
  EXPECT_EQ(platform::profile_read_string(file, "UserInfo", "Group"), "");
}

TEST_F(AccountFiles, CreateWithAnUnsafeNameWritesNothing) {
  core::write_field(s, &core::Session::user_name, "../escape");
  core::write_field(s, &core::Session::password, "pw");
  core::create_account(s);
  EXPECT_FALSE(platform::path_exists(root_ + "escape.usr"));
  EXPECT_FALSE(s.account_loaded);
}

TEST_F(AccountFiles, LogoutSavesCreditDateAndEmail) {
  user_key("ray", "PassWord", "pw");
  user_key("ray", "SaveCredit", "1");
  ASSERT_TRUE(load("ray"));
  s.credit = 1234.25;
  core::write_field(s, &core::Session::email, "ray@example.org");
  core::save_at_logout(s);
  const std::string file = user_file("ray");
  EXPECT_EQ(platform::profile_read_string(file, "UserInfo", "NowCredit"), "1234.250000");
  EXPECT_EQ(platform::profile_read_string(file, "UserInfo", "SavedCredit"), "1");
  EXPECT_EQ(platform::profile_read_string(file, "UserInfo", "Email"), "ray@example.org");
  EXPECT_EQ(platform::profile_read_string(file, "UserInfo", "LastConnect").size(), 8u);
  EXPECT_EQ(platform::profile_read_string(file, "UserInfo", "PassWord"), "pw");

  core::Session again;
  core::write_field(again, &core::Session::user_name, "ray");
  ASSERT_TRUE(core::load_account(again));
  EXPECT_EQ(again.credit.load(), 1234.25);
}

TEST_F(AccountFiles, LogoutWithoutSaveCreditKeepsTheCreditKeysOut) {
  user_key("sam", "PassWord", "pw");
  ASSERT_TRUE(load("sam"));
  s.credit = 99;
  core::save_at_logout(s);
  EXPECT_FALSE(platform::profile_has_key(user_file("sam"), "UserInfo", "NowCredit"));
  EXPECT_FALSE(platform::profile_has_key(user_file("sam"), "UserInfo", "SavedCredit"));
  EXPECT_TRUE(platform::profile_has_key(user_file("sam"), "UserInfo", "LastConnect"));
}

TEST_F(AccountFiles, LogoutDoesNotBringBackARemovedAccount) {
  user_key("tom", "PassWord", "pw");
  ASSERT_TRUE(load("tom"));
  ASSERT_TRUE(platform::remove_file(user_file("tom")));
  core::save_at_logout(s);
  EXPECT_FALSE(platform::path_exists(user_file("tom")));
}

TEST(UserNames, PlainNamesAreAccepted) {
  for (const char* name : {"bob", "Bob_2", "a.b", "user name", "ユーザー", "x-y@z", "UnKnown"}) {
    EXPECT_TRUE(core::acceptable_user_name(name)) << name;
  }
  EXPECT_TRUE(core::acceptable_user_name(std::string(200, 'a')));
}

TEST(UserNames, NamesThatCouldLeaveTheUserFolderAreRefused) {
  for (const char* name : {"", ".", "..", "../x", ".hidden", "a/b", "/etc/passwd", "a\\b",
                           "tab\there", "bell\a", "del\x7f"}) {
    EXPECT_FALSE(core::acceptable_user_name(name)) << name;
  }
  EXPECT_FALSE(core::acceptable_user_name(std::string("nul\0x", 5)));
  EXPECT_FALSE(core::acceptable_user_name(std::string(201, 'a')));
}

TEST(UserNames, InvalidUtf8IsRefused) {
  for (const char* name : {"\xff", "a\xc3", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80",
                           "\xf4\x90\x80\x80", "\x80x"}) {
    EXPECT_FALSE(core::acceptable_user_name(name));
  }
}

TEST(GeneratedPasswords, EightLettersThatDifferBetweenCalls) {
  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    const std::string password = core::generate_password();
    ASSERT_EQ(password.size(), 8u);
    for (char c : password) EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(c))) << password;
    seen.insert(password);
  }
  // Twenty calls within one second: a generator seeded with the time would repeat itself.
  EXPECT_EQ(seen.size(), 20u);
}

}  // namespace
