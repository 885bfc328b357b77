// The dialog "グループ登録" and the group files it writes, up to a login at the real Core
// by a user who takes the group's settings.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <memory>

#include "manager/editors/group_dialog.h"
#include "manager/editors/user_list_dialog.h"
#include "manager/editors/user_settings_dialog.h"
#include "tests/manager/account_editor_support.h"

namespace {

using account_test::child;
using account_test::has_key;
using account_test::key;
using account_test::Operator;
using account_test::when_modal;
using manager::CGroupDialog;
using manager::CUserSettingsDialog;

class GroupDialogTest : public ::testing::Test {
 protected:
  harness::Site site_{"group_dialog"};
  Operator operator_;

  std::string user_dir() const { return site_.path("user/"); }
  std::string group_file(const std::string& name) const { return user_dir() + name + ".grp"; }
  std::unique_ptr<CGroupDialog> open() {
    return std::make_unique<CGroupDialog>(user_dir(), site_.config_file());
  }
  static QListWidget* groups(QWidget* d) { return child<QListWidget>(d, "groupList"); }
  static void click(QWidget* d, const char* name) { child<QAbstractButton>(d, name)->click(); }
  static void set_text(QWidget* d, const char* name, const std::string& text) {
    child<QLineEdit>(d, name)->setText(QString::fromStdString(text));
  }
  static std::string text(QWidget* d, const char* name) {
    return child<QLineEdit>(d, name)->text().toStdString();
  }
  static std::vector<std::string> names(QWidget* d) {
    std::vector<std::string> out;
    for (int i = 0; i < groups(d)->count(); ++i) out.push_back(groups(d)->item(i)->text().toStdString());
    return out;
  }
};

TEST_F(GroupDialogTest, TheListShowsTheGroupFilesSorted) {
  site_.add_group("zeta", {{"HomeDir", "/z/"}});
  site_.add_group("alpha", {{"HomeDir", "/a/"}});
  site_.add_user("notagroup");
  auto d = open();
  EXPECT_EQ(d->windowTitle().toStdString(), "グループ登録");
  EXPECT_EQ(names(d.get()), (std::vector<std::string>{"alpha", "zeta"}));
}

TEST_F(GroupDialogTest, AddingWithoutANameAsksForOne) {
  auto d = open();
  auto ran = when_modal<CUserSettingsDialog>([](CUserSettingsDialog* s) { s->reject(); }, 300);
  click(d.get(), "addGroup");
  EXPECT_FALSE(ran->ran);
  ASSERT_EQ(operator_.messages.size(), 1u);
  EXPECT_EQ(operator_.messages[0], "グループ名を入力してください。");
}

TEST_F(GroupDialogTest, AGroupNameTheCoreWouldNotLookUpIsRefused) {
  auto d = open();
  for (const char* bad : {"../evil", ".dot", "a\\b"}) {
    operator_.messages.clear();
    set_text(d.get(), "groupName", bad);
    click(d.get(), "addGroup");
    ASSERT_EQ(operator_.messages.size(), 1u) << bad;
    EXPECT_NE(operator_.messages[0].find("は使用できません。"), std::string::npos);
  }
  EXPECT_TRUE(names(d.get()).empty());
  EXPECT_FALSE(site_.exists("evil.grp"));
}

TEST_F(GroupDialogTest, ANewGroupStartsFromTheTemplateAndGetsNoUserKeys) {
  site_.write_file("user/default_user.ini",
                   "[UserInfo]\r\nConnectTime=30\r\nUseGroup=1\r\nGroup=x\r\nEmail=e@x\r\n"
                   "PassWord=tpl\r\n");
  auto d = open();
  set_text(d.get(), "groupName", "staff");
  auto ran = when_modal<CUserSettingsDialog>([](CUserSettingsDialog* s) {
    for (const char* name : {"name", "password", "email", "nowCredit", "userHomeDir"}) {
      EXPECT_FALSE(child<QLineEdit>(s, name)->isEnabled()) << name;
    }
    EXPECT_FALSE(child<QPushButton>(s, "chooseUserHome")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(s, "useGroup")->isEnabled());
    EXPECT_FALSE(child<QCheckBox>(s, "useGroup")->isChecked());
    EXPECT_EQ(child<QLineEdit>(s, "password")->text().toStdString(), "");
    EXPECT_EQ(child<QLineEdit>(s, "connectTimeEdit")->text().toStdString(), "30");
    // A group is never locked to its own page.
    child<QTabWidget>(s, "tabs")->setCurrentIndex(1);
    EXPECT_EQ(child<QTabWidget>(s, "tabs")->currentIndex(), 1);
    child<QLineEdit>(s, "homeDir")->setText("/srv/staff/");
    child<QPushButton>(s, "ok")->click();
  });
  click(d.get(), "addGroup");
  ASSERT_TRUE(ran->ran);
  EXPECT_TRUE(operator_.messages.empty());
  EXPECT_EQ(text(d.get(), "groupName"), "");
  EXPECT_EQ(names(d.get()), std::vector<std::string>{"staff"});
  const std::string f = group_file("staff");
  EXPECT_EQ(key(f, "HomeDir"), "/srv/staff/");
  EXPECT_EQ(key(f, "ConnectTime"), "30");
  EXPECT_EQ(key(f, "UserInfoVer"), "100");
  EXPECT_EQ(key(f, "PassWord"), "");
  EXPECT_FALSE(has_key(f, "UseGroup"));
  EXPECT_FALSE(has_key(f, "Group"));
  EXPECT_FALSE(has_key(f, "Email"));
}

TEST_F(GroupDialogTest, AddingAnExistingNameReplacesTheGroupWithoutAQuestion) {
  site_.add_group("staff", {{"HomeDir", "/old/"}, {"Dir0", "/old/pub/"}});
  site_.write_file("user/default_user.ini", "[UserInfo]\r\nHomeDir=/tpl/\r\n");
  auto d = open();
  set_text(d.get(), "groupName", "staff");
  auto ran = when_modal<CUserSettingsDialog>([](CUserSettingsDialog* s) {
    EXPECT_EQ(child<QLineEdit>(s, "homeDir")->text().toStdString(), "/tpl/");
    child<QPushButton>(s, "ok")->click();
  });
  click(d.get(), "addGroup");
  ASSERT_TRUE(ran->ran);
  EXPECT_TRUE(operator_.questions.empty());
  EXPECT_EQ(key(group_file("staff"), "HomeDir"), "/tpl/");
  EXPECT_EQ(key(group_file("staff"), "Dir0"), "");
}

TEST_F(GroupDialogTest, CancellingANewGroupWritesNoFile) {
  auto d = open();
  set_text(d.get(), "groupName", "ghost");
  auto ran = when_modal<CUserSettingsDialog>([](CUserSettingsDialog* s) {
    child<QPushButton>(s, "cancel")->click();
  });
  click(d.get(), "addGroup");
  ASSERT_TRUE(ran->ran);
  EXPECT_FALSE(site_.exists("user/ghost.grp"));
  EXPECT_TRUE(names(d.get()).empty());
}

TEST_F(GroupDialogTest, ADoubleClickOpensTheGroupItself) {
  site_.add_group("staff", {{"HomeDir", "/mine/"}, {"MaxConPerUser", "4"}});
  auto d = open();
  auto ran = when_modal<CUserSettingsDialog>([](CUserSettingsDialog* s) {
    EXPECT_EQ(child<QLineEdit>(s, "homeDir")->text().toStdString(), "/mine/");
    child<QLineEdit>(s, "maxConPerUserEdit")->setText("5");
    child<QPushButton>(s, "ok")->click();
  });
  emit groups(d.get())->itemDoubleClicked(groups(d.get())->item(0));
  ASSERT_TRUE(ran->ran);
  EXPECT_EQ(key(group_file("staff"), "MaxConPerUser"), "5");
  EXPECT_EQ(key(group_file("staff"), "HomeDir"), "/mine/");
}

TEST_F(GroupDialogTest, DeletingNeedsASelectionAndAYes) {
  site_.add_group("staff", {{"HomeDir", "/s/"}});
  site_.add_group("guests", {{"HomeDir", "/g/"}});
  auto d = open();
  click(d.get(), "deleteGroup");
  ASSERT_EQ(operator_.messages.size(), 1u);
  EXPECT_EQ(operator_.messages[0], "リストから選択してください。");
  groups(d.get())->setCurrentRow(1);  // staff (sorted after guests)
  operator_.answers = {false};
  click(d.get(), "deleteGroup");
  EXPECT_TRUE(site_.exists("user/staff.grp"));
  click(d.get(), "deleteGroup");
  ASSERT_EQ(operator_.questions.size(), 2u);
  EXPECT_EQ(operator_.questions[1], "本当に削除してよろしいですか？");
  EXPECT_FALSE(site_.exists("user/staff.grp"));
  EXPECT_TRUE(site_.exists("user/guests.grp"));
  EXPECT_EQ(names(d.get()), std::vector<std::string>{"guests"});
}

TEST_F(GroupDialogTest, TheUserListOpensTheGroupDialog) {
  site_.add_group("staff", {{"HomeDir", "/s/"}});
  manager::CUserListDialog list(user_dir(), site_.config_file());
  auto ran = when_modal<CGroupDialog>([](CGroupDialog* g) {
    EXPECT_EQ(names(g), std::vector<std::string>{"staff"});
    child<QPushButton>(g, "ok")->click();
  });
  click(&list, "groups");
  EXPECT_TRUE(ran->ran);
}

// A group made here and a user registered through it: the user logs in with the
// account's password and the group's home folder and folder rule.
TEST_F(GroupDialogTest, AGroupUserTakesTheGroupsSettingsAtTheCore) {
  site_.make_dir("home/staff");
  site_.make_dir("home/staff/closed");
  site_.write_file("home/staff/team.txt", "team data");
  site_.write_file("home/staff/closed/plan.txt", "plan");
  site_.write_file("home/own.txt", "own data");
  site_.write_file("user/default_user.ini", "[UserInfo]\r\nHomeDir=" + site_.home() + "\r\n");

  auto d = open();
  set_text(d.get(), "groupName", "staff");
  operator_.folders = {site_.home() + "staff/closed/"};
  auto ran = when_modal<CUserSettingsDialog>([this](CUserSettingsDialog* s) {
    child<QLineEdit>(s, "homeDir")->setText(QString::fromStdString(site_.home() + "staff/"));
    child<QPushButton>(s, "addFolder")->click();
    auto* rules = child<QTreeWidget>(s, "folderList");
    rules->setCurrentItem(rules->topLevelItem(0));
    child<QCheckBox>(s, "dirList")->setChecked(true);
    child<QPushButton>(s, "ok")->click();
  });
  click(d.get(), "addGroup");
  ASSERT_TRUE(ran->ran);

  CUserSettingsDialog user(user_dir() + "default_user.ini", user_dir(), manager::AccountMode::Add,
                           site_.config_file());
  set_text(&user, "name", "member");
  set_text(&user, "password", "m-pw");
  child<QCheckBox>(&user, "useGroup")->setChecked(true);
  click(&user, "ok");
  ASSERT_EQ(user.result(), QDialog::Accepted);
  EXPECT_EQ(key(user_dir() + "member.usr", "Group"), "staff");

  harness::Server server(site_);
  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site_.ftp_port()));
  ASSERT_TRUE(client.login("member", "m-pw"));
  EXPECT_EQ(client.download("RETR /team.txt"), std::optional<std::string>("team data"));
  std::string replies;
  EXPECT_FALSE(client.download("RETR /own.txt", &replies));
  EXPECT_FALSE(client.download("RETR /closed/plan.txt", &replies));
  EXPECT_EQ(replies, "550 Requested action not taken.\r\n");
}

// The group editor says which group it edits, in its title and its name field.
TEST_F(GroupDialogTest, TheGroupEditorShowsTheGroupsName) {
  site_.add_group("staff", {{"HomeDir", "/srv/staff/"}});
  auto d = open();
  auto ran = when_modal<CUserSettingsDialog>([](CUserSettingsDialog* s) {
    EXPECT_EQ(s->windowTitle().toStdString(), "グループ設定 [staff]");
    EXPECT_EQ(child<QLineEdit>(s, "name")->text().toStdString(), "staff");
    s->reject();
  });
  emit groups(d.get())->itemDoubleClicked(groups(d.get())->item(0));
  EXPECT_TRUE(ran->ran);
}

}  // namespace
