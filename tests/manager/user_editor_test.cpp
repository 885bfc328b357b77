// The dialogs "ユーザーリスト" and "ユーザー設定": what the operator sees and the account
// files they write, up to a login at the real Core with the account made here.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <memory>

#include "manager/editors/message_editor_dialog.h"
#include "manager/editors/user_list_dialog.h"
#include "manager/editors/user_settings_dialog.h"
#include "manager/shell/user_status_dialog.h"
#include "platform/files.h"
#include "tests/manager/account_editor_support.h"

namespace {

using account_test::child;
using account_test::has_key;
using account_test::key;
using account_test::Operator;
using account_test::when_modal;
using manager::AccountMode;
using manager::CUserSettingsDialog;

const char* const kGroupLock = "グループを使用する場合は、グループの設定に依存します。";
const char* const kChooseRow = "リストから選択してください。";

class UserEditorTest : public ::testing::Test {
 protected:
  harness::Site site_{"user_editor"};
  Operator operator_;

  std::string user_dir() const { return site_.path("user/"); }
  std::string user_file(const std::string& name) const { return user_dir() + name + ".usr"; }
  std::string template_file() const { return user_dir() + "default_user.ini"; }

  std::unique_ptr<CUserSettingsDialog> open(const std::string& source, const std::string& target,
                                            AccountMode mode) {
    return std::make_unique<CUserSettingsDialog>(source, target, mode, site_.config_file());
  }
  // A new user with a password (without one the editor asks for it; see below).
  std::unique_ptr<CUserSettingsDialog> open_new() {
    auto d = open(template_file(), user_dir(), AccountMode::Add);
    set_text(d.get(), "password", "pw");
    return d;
  }
  std::unique_ptr<CUserSettingsDialog> open_user(const std::string& name) {
    return open(user_file(name), user_file(name), AccountMode::Edit);
  }
  static void set_text(QWidget* d, const char* name, const std::string& text) {
    child<QLineEdit>(d, name)->setText(QString::fromStdString(text));
  }
  static std::string text(QWidget* d, const char* name) {
    return child<QLineEdit>(d, name)->text().toStdString();
  }
  static void click(QWidget* d, const char* name) { child<QAbstractButton>(d, name)->click(); }
  static QCheckBox* box(QWidget* d, const char* name) { return child<QCheckBox>(d, name); }
  static QTabWidget* tabs(QWidget* d) { return child<QTabWidget>(d, "tabs"); }
};

// ---- creating, editing and naming files ----

TEST_F(UserEditorTest, ANewUserIsWrittenToItsNameFromTheTemplate) {
  site_.write_file("user/default_user.ini",
                   "[UserInfo]\r\nMaxConPerIP=3\r\nHomeDir=/srv/ftp/\r\nUseRate=1\r\n");
  auto d = open_new();
  EXPECT_EQ(d->windowTitle().toStdString(), "ユーザー設定");
  set_text(d.get(), "name", "alice");
  set_text(d.get(), "password", "secret");
  set_text(d.get(), "email", "alice@example.com");
  click(d.get(), "ok");
  EXPECT_EQ(d->result(), QDialog::Accepted);
  const std::string file = user_file("alice");
  EXPECT_EQ(d->written_file(), file);
  EXPECT_EQ(key(file, "UserInfoVer"), "100");
  EXPECT_EQ(key(file, "Name"), "alice");
  EXPECT_EQ(key(file, "PassWord"), "secret");
  EXPECT_EQ(key(file, "Email"), "alice@example.com");
  EXPECT_EQ(key(file, "MaxConPerIP"), "3");
  EXPECT_EQ(key(file, "HomeDir"), "/srv/ftp/");
  EXPECT_EQ(key(file, "UseRate"), "1");
  EXPECT_EQ(key(file, "NeedPassWord"), "1");
  EXPECT_EQ(key(file, "UseGroup"), "0");
  EXPECT_TRUE(operator_.messages.empty());
}

TEST_F(UserEditorTest, AMissingTemplateGivesTheDefaults) {
  auto d = open(template_file(), user_dir(), AccountMode::Add);
  EXPECT_EQ(text(d.get(), "name"), "anonymous");
  EXPECT_EQ(text(d.get(), "password"), "");
  EXPECT_TRUE(box(d.get(), "needPassword")->isChecked());
  EXPECT_FALSE(box(d.get(), "anonymous")->isChecked());
  EXPECT_EQ(text(d.get(), "homeDir"), site_.root() + "ftproot/");
}

TEST_F(UserEditorTest, ANewUserNamedLikeAnExistingOneIsAskedForAndNoKeepsTheEntries) {
  site_.add_user("bob", {{"PassWord", "old"}});
  auto d = open_new();
  set_text(d.get(), "name", "bob");
  set_text(d.get(), "password", "new");
  operator_.answers = {false};
  click(d.get(), "ok");
  ASSERT_EQ(operator_.questions.size(), 1u);
  EXPECT_EQ(operator_.questions[0], "ユーザー名bobは既に登録されています。意図した作業ですか？");
  EXPECT_NE(d->result(), QDialog::Accepted);
  EXPECT_EQ(key(user_file("bob"), "PassWord"), "old");
  EXPECT_EQ(text(d.get(), "name"), "bob");
  EXPECT_EQ(text(d.get(), "password"), "new");
  operator_.answers = {true};
  click(d.get(), "ok");
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(key(user_file("bob"), "PassWord"), "new");
}

TEST_F(UserEditorTest, NamesTheCoreWouldNeverReadAreRefused) {
  for (const std::string& bad : {std::string(), std::string(".hidden"), std::string("a/b"),
                                std::string("a\\b"), std::string("tab\tname"),
                                std::string(201, 'x')}) {
    operator_.messages.clear();
    auto d = open_new();
    set_text(d.get(), "name", bad);
    click(d.get(), "ok");
    EXPECT_NE(d->result(), QDialog::Accepted) << bad;
    ASSERT_EQ(operator_.messages.size(), 1u) << bad;
    EXPECT_NE(operator_.messages[0].find("は使用できません。"), std::string::npos);
  }
  std::vector<platform::DirEntry> entries;
  platform::scan_directory(user_dir() + "*", entries);
  for (const auto& e : entries) {
    EXPECT_TRUE(e.name == "." || e.name == "..") << e.name;
  }
}

TEST_F(UserEditorTest, EditingKeepsTheNameAndRewritesTheSameFile) {
  site_.add_user("dave", {{"Name", "dave"}, {"PassWord", "pw"}, {"LastConnect", "24/01/02"}});
  auto d = open_user("dave");
  EXPECT_FALSE(child<QLineEdit>(d.get(), "name")->isEnabled());
  set_text(d.get(), "password", "changed");
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("dave"), "PassWord"), "changed");
  // Keys the editor does not know stay.
  EXPECT_EQ(key(user_file("dave"), "LastConnect"), "24/01/02");
}

// A file without Name (or with another Name) is still the account of its file name:
// editing it never writes a different account.
TEST_F(UserEditorTest, EditingAFileWhoseNameKeyDiffersWritesTheFileItCameFrom) {
  site_.add_user("erin", {{"PassWord", "pw"}});
  site_.add_user("frank", {{"Name", "erin"}, {"PassWord", "fpw"}});
  auto d = open_user("frank");
  EXPECT_EQ(text(d.get(), "name"), "frank");
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("frank"), "Name"), "frank");
  EXPECT_EQ(key(user_file("erin"), "PassWord"), "pw");
  EXPECT_FALSE(platform::path_exists(user_file("anonymous")));
}

TEST_F(UserEditorTest, TheTemplateModeNeitherShowsNorEnablesTheIdentity) {
  site_.write_file("user/default_user.ini",
                   "[UserInfo]\r\nName=x\r\nPassWord=secret\r\nEmail=e@x\r\nSavedCredit=1\r\n"
                   "NowCredit=5\r\nConnectTime=9\r\n");
  auto d = open(template_file(), template_file(), AccountMode::DefaultTemplate);
  for (const char* name : {"name", "password", "email", "nowCredit"}) {
    EXPECT_FALSE(child<QLineEdit>(d.get(), name)->isEnabled()) << name;
  }
  EXPECT_FALSE(box(d.get(), "savedCredit")->isEnabled());
  EXPECT_FALSE(box(d.get(), "savedCredit")->isChecked());
  EXPECT_EQ(text(d.get(), "password"), "");
  EXPECT_EQ(text(d.get(), "connectTimeEdit"), "9");
  EXPECT_TRUE(box(d.get(), "useGroup")->isEnabled());
  set_text(d.get(), "connectTimeEdit", "15");
  click(d.get(), "ok");
  EXPECT_EQ(key(template_file(), "ConnectTime"), "15");
  EXPECT_EQ(key(template_file(), "UserInfoVer"), "100");
}

TEST_F(UserEditorTest, CancelWritesNothing) {
  site_.add_user("gina", {{"PassWord", "pw"}});
  const std::string before = site_.read_file("user/gina.usr");
  auto d = open_user("gina");
  set_text(d.get(), "password", "other");
  click(d.get(), "cancel");
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_EQ(site_.read_file("user/gina.usr"), before);
}

// ---- page "ユーザー" ----

TEST_F(UserEditorTest, AGroupUserOpensWithTheGroupListAndTheOtherPagesLocked) {
  site_.add_group("other", {{"HomeDir", "/o/"}});
  site_.add_group("staff", {{"HomeDir", "/s/"}});
  site_.add_user("hank", {{"UseGroup", "1"}, {"Group", "STA"}});
  auto d = open_user("hank");
  auto* groups = child<QComboBox>(d.get(), "groupList");
  EXPECT_TRUE(groups->isEnabled());
  EXPECT_EQ(groups->currentText().toStdString(), "staff");
  EXPECT_FALSE(box(d.get(), "needPassword")->isEnabled());
  EXPECT_FALSE(box(d.get(), "needEmail")->isEnabled());
  tabs(d.get())->setCurrentIndex(2);
  EXPECT_EQ(tabs(d.get())->currentIndex(), 0);
  ASSERT_EQ(operator_.messages.size(), 1u);
  EXPECT_EQ(operator_.messages[0], kGroupLock);
  box(d.get(), "useGroup")->setChecked(false);
  EXPECT_FALSE(groups->isEnabled());
  EXPECT_TRUE(box(d.get(), "needPassword")->isEnabled());
  tabs(d.get())->setCurrentIndex(2);
  EXPECT_EQ(tabs(d.get())->currentIndex(), 2);
  EXPECT_EQ(operator_.messages.size(), 1u);
}

TEST_F(UserEditorTest, TheChosenGroupIsWrittenWithTheUser) {
  site_.add_group("staff", {{"HomeDir", "/s/"}});
  auto d = open_new();
  set_text(d.get(), "name", "ivy");
  EXPECT_FALSE(child<QComboBox>(d.get(), "groupList")->isEnabled());
  box(d.get(), "useGroup")->setChecked(true);
  EXPECT_TRUE(child<QComboBox>(d.get(), "groupList")->isEnabled());
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("ivy"), "UseGroup"), "1");
  EXPECT_EQ(key(user_file("ivy"), "Group"), "staff");
}

TEST_F(UserEditorTest, WithoutAnyGroupTheUserIsWrittenWithoutOne) {
  auto d = open_new();
  set_text(d.get(), "name", "jack");
  box(d.get(), "useGroup")->setChecked(true);
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("jack"), "UseGroup"), "0");
  EXPECT_FALSE(has_key(user_file("jack"), "Group"));
}

TEST_F(UserEditorTest, PasswordAndMailBoxesExcludeEachOther) {
  auto d = open_new();
  QCheckBox* password = box(d.get(), "needPassword");
  QCheckBox* mail = box(d.get(), "needEmail");
  mail->setChecked(true);
  EXPECT_FALSE(password->isChecked());
  password->setChecked(true);
  EXPECT_FALSE(mail->isChecked());
  password->setChecked(false);
  set_text(d.get(), "name", "kim");
  box(d.get(), "anonymous")->setChecked(true);  // neither box: anybody gets in
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("kim"), "NeedPassWord"), "0");
  EXPECT_EQ(key(user_file("kim"), "NeedEmailAddr"), "0");
}

TEST_F(UserEditorTest, TheSavedCreditIsEditableOnlyWhileItsBoxIsChecked) {
  site_.add_user("lena", {{"SavedCredit", "0"}, {"NowCredit", "0"}});
  auto d = open_user("lena");
  QLineEdit* credit = child<QLineEdit>(d.get(), "nowCredit");
  EXPECT_FALSE(credit->isEnabled());
  box(d.get(), "savedCredit")->setChecked(true);
  EXPECT_TRUE(credit->isEnabled());
  credit->setText("2048");
  click(d.get(), "showCredit");
  EXPECT_EQ(text(d.get(), "creditText"), "2.00KB");
  credit->setText("1000.5");
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("lena"), "SavedCredit"), "1");
  EXPECT_EQ(key(user_file("lena"), "NowCredit"), "1000.500000");
}

TEST_F(UserEditorTest, ACreditThatIsNoNumberIsRefused) {
  site_.add_user("mia", {{"SavedCredit", "1"}, {"NowCredit", "3"}});
  auto d = open_user("mia");
  set_text(d.get(), "nowCredit", "lots");
  click(d.get(), "ok");
  EXPECT_NE(d->result(), QDialog::Accepted);
  ASSERT_EQ(operator_.messages.size(), 1u);
  EXPECT_EQ(operator_.messages[0], "数値を入力してください。");
  EXPECT_EQ(key(user_file("mia"), "NowCredit"), "3");
}

TEST_F(UserEditorTest, TheHomeFolderButtonPutsTheChosenFolderWithASlash) {
  auto d = open_new();
  operator_.folders = {std::string("/srv/users/nina")};
  click(d.get(), "chooseUserHome");
  EXPECT_EQ(text(d.get(), "userHomeDir"), "/srv/users/nina/");
  operator_.folders = {std::nullopt};
  click(d.get(), "chooseUserHome");
  EXPECT_EQ(text(d.get(), "userHomeDir"), "/srv/users/nina/");
}

// ---- page "ディレクトリ操作" ----

TEST_F(UserEditorTest, AFolderAddedWithoutChecksIsWrittenAsNothingPermitted) {
  auto d = open_new();
  set_text(d.get(), "name", "olga");
  operator_.folders = {std::string("/srv/pub/")};
  click(d.get(), "addFolder");
  auto* list = child<QTreeWidget>(d.get(), "folderList");
  ASSERT_EQ(list->topLevelItemCount(), 1);
  EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), "/srv/pub/");
  EXPECT_EQ(list->topLevelItem(0)->text(1).toStdString(), "---- -------");
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("olga"), "Dir0"), "/srv/pub/");
  EXPECT_EQ(key(user_file("olga"), "Prhb0"), "63487");
  EXPECT_EQ(key(user_file("olga"), "Dir1"), "");
}

TEST_F(UserEditorTest, TheCheckBoxesFollowTheCurrentFolderAndSetItsBits) {
  site_.add_user("paul", {{"Dir0", "/a/"}, {"Prhb0", "63487"}, {"Dir1", "/b/"}, {"Prhb1", "0"}});
  auto d = open_user("paul");
  auto* list = child<QTreeWidget>(d.get(), "folderList");
  EXPECT_FALSE(box(d.get(), "fileRead")->isEnabled());
  list->setCurrentItem(list->topLevelItem(1));
  EXPECT_TRUE(box(d.get(), "fileRead")->isEnabled());
  EXPECT_TRUE(box(d.get(), "fileRead")->isChecked());
  EXPECT_FALSE(box(d.get(), "rateFree")->isChecked());
  EXPECT_EQ(list->topLevelItem(1)->text(1).toStdString(), "VCDM WRODR-A");
  list->setCurrentItem(list->topLevelItem(0));
  EXPECT_FALSE(box(d.get(), "fileRead")->isChecked());
  box(d.get(), "fileRead")->setChecked(true);
  box(d.get(), "dirList")->setChecked(true);
  box(d.get(), "rateFree")->setChecked(true);
  EXPECT_EQ(list->topLevelItem(0)->text(1).toStdString(), "V--- -R---F-");
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("paul"), "Prhb0"), std::to_string((0xF7FF ^ 0x0120) | 0x0800));
  EXPECT_EQ(key(user_file("paul"), "Prhb1"), "0");
}

TEST_F(UserEditorTest, FoldersMoveUpAndDownAndStayCurrent) {
  site_.add_user("quin", {{"Dir0", "/a/"}, {"Dir1", "/b/"}, {"Prhb1", "63487"}, {"Dir2", "/c/"}});
  auto d = open_user("quin");
  auto* list = child<QTreeWidget>(d.get(), "folderList");
  list->setCurrentItem(list->topLevelItem(1));
  click(d.get(), "moveUp");
  EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), "/b/");
  EXPECT_EQ(list->currentItem(), list->topLevelItem(0));
  click(d.get(), "moveUp");  // not past the top
  EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), "/b/");
  list->setCurrentItem(list->topLevelItem(2));
  click(d.get(), "moveDown");  // not past the bottom
  EXPECT_EQ(list->topLevelItem(2)->text(0).toStdString(), "/c/");
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("quin"), "Dir0"), "/b/");
  EXPECT_EQ(key(user_file("quin"), "Prhb0"), "63487");
  EXPECT_EQ(key(user_file("quin"), "Dir1"), "/a/");
  EXPECT_EQ(key(user_file("quin"), "Prhb1"), "0");
}

TEST_F(UserEditorTest, RemovingFoldersRenumbersTheRest) {
  site_.add_user("rosa", {{"Dir0", "/a/"}, {"Dir1", "/b/"}, {"Dir2", "/c/"}});
  auto d = open_user("rosa");
  auto* list = child<QTreeWidget>(d.get(), "folderList");
  list->topLevelItem(0)->setSelected(true);
  list->topLevelItem(1)->setSelected(true);
  click(d.get(), "removeFolder");
  ASSERT_EQ(list->topLevelItemCount(), 1);
  EXPECT_FALSE(box(d.get(), "fileRead")->isEnabled());
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("rosa"), "Dir0"), "/c/");
  EXPECT_EQ(key(user_file("rosa"), "Dir1"), "");
  EXPECT_FALSE(has_key(user_file("rosa"), "Dir2"));
}

TEST_F(UserEditorTest, AnEditedLabelBecomesThePathButAnEmptyOneIsNotTaken) {
  site_.add_user("sam", {{"Dir0", "/a/"}, {"Dir1", "/b/"}});
  auto d = open_user("sam");
  auto* list = child<QTreeWidget>(d.get(), "folderList");
  list->topLevelItem(0)->setText(0, "/renamed/");
  list->topLevelItem(1)->setText(0, "");
  EXPECT_EQ(list->topLevelItem(1)->text(0).toStdString(), "/b/");
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("sam"), "Dir0"), "/renamed/");
  EXPECT_EQ(key(user_file("sam"), "Dir1"), "/b/");
}

TEST_F(UserEditorTest, HomeIsSetFromTheCurrentFolderOrTheOperatorIsAskedToChoose) {
  site_.add_user("tom", {{"Dir0", "/srv/tom/"}});
  auto d = open_user("tom");
  click(d.get(), "setHome");
  ASSERT_EQ(operator_.messages.size(), 1u);
  EXPECT_EQ(operator_.messages[0], kChooseRow);
  auto* list = child<QTreeWidget>(d.get(), "folderList");
  list->setCurrentItem(list->topLevelItem(0));
  click(d.get(), "setHome");
  EXPECT_EQ(text(d.get(), "homeDir"), "/srv/tom/");
}

// ---- page "制限" ----

TEST_F(UserEditorTest, CreditIsShownInKilobytesAndSavedBackInWholeKilobytes) {
  site_.add_user("uma", {{"Credit", "1500000"}});
  auto d = open_user("uma");
  EXPECT_EQ(text(d.get(), "creditEdit"), "1464");
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("uma"), "Credit"), "1499136");
}

TEST_F(UserEditorTest, AnOldIdolTimeShowsAndIsSavedAsIdleTime) {
  site_.add_user("vic", {{"IdolTime", "7"}});
  auto d = open_user("vic");
  EXPECT_EQ(text(d.get(), "idleTimeEdit"), "7");
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("vic"), "IdleTime"), "7");
  EXPECT_EQ(key(user_file("vic"), "UserInfoVer"), "100");
}

TEST_F(UserEditorTest, BadNumbersAreRefusedWithTheirMessageAndThePageShown) {
  site_.add_user("will", {{"MaxConPerUser", "2"}});
  const std::string before = site_.read_file("user/will.usr");
  struct Case {
    const char* field;
    const char* value;
    const char* message;
  } cases[] = {{"maxConPerUserEdit", "two", "[ユーザー毎の同時接続数] 整数を入力してください。"},
               {"upBpsEdit", "1.5", "[上り] 整数を入力してください。"},
               {"creditEdit", "4194304", "[初期クレジット] 0 から 4194303 までの整数を入力してください。"},
               {"creditEdit", "-1", "[初期クレジット] 0 から 4194303 までの整数を入力してください。"},
               {"rateUpEdit", "256", "[レート(UP)] 0 から 255 までの整数を入力してください。"},
               {"maxConPerIPEdit", "-1", "[IP毎の同時接続数] 0 から 2147483647 までの整数を入力してください。"},
               {"downBpsEdit", "99999999999", "[下り] 0 から 2147483647 までの整数を入力してください。"}};
  for (const Case& c : cases) {
    operator_.messages.clear();
    auto d = open_user("will");
    d->show();
    set_text(d.get(), c.field, c.value);
    click(d.get(), "ok");
    EXPECT_NE(d->result(), QDialog::Accepted) << c.field;
    ASSERT_EQ(operator_.messages.size(), 1u) << c.field;
    EXPECT_EQ(operator_.messages[0], c.message);
    EXPECT_EQ(tabs(d.get())->currentIndex(), 2);
    EXPECT_EQ(d->focusWidget(), child<QLineEdit>(d.get(), c.field)) << c.field;
  }
  EXPECT_EQ(site_.read_file("user/will.usr"), before);
  auto d = open_user("will");
  set_text(d.get(), "creditEdit", "4194303");
  click(d.get(), "ok");
  EXPECT_EQ(d->result(), QDialog::Accepted);
}

TEST_F(UserEditorTest, ArrowsStepWithinTheirRange) {
  site_.add_user("xena", {{"MaxConPerUser", "100"}, {"Credit", std::to_string(29999 * 1024)},
                          {"RateUp", "0"}, {"ConnectTime", "500"}});
  auto d = open_user("xena");
  click(d.get(), "maxConPerUserUp");
  EXPECT_EQ(text(d.get(), "maxConPerUserEdit"), "100");
  click(d.get(), "creditUp");
  click(d.get(), "creditUp");
  EXPECT_EQ(text(d.get(), "creditEdit"), "30000");
  click(d.get(), "rateUpDown");
  EXPECT_EQ(text(d.get(), "rateUpEdit"), "0");
  // A typed value above the arrows' range is kept until an arrow is used.
  EXPECT_EQ(text(d.get(), "connectTimeEdit"), "500");
  click(d.get(), "connectTimeDown");
  EXPECT_EQ(text(d.get(), "connectTimeEdit"), "100");
}

TEST_F(UserEditorTest, RateAndCapacityLimitExcludeEachOther) {
  auto d = open_new();
  QCheckBox* rate = box(d.get(), "useRate");
  QCheckBox* capacity = box(d.get(), "useLimitCapacity");
  rate->setChecked(true);
  capacity->setChecked(true);
  EXPECT_FALSE(rate->isChecked());
  rate->setChecked(true);
  EXPECT_FALSE(capacity->isChecked());
  box(d.get(), "saveCredit")->setChecked(true);
  set_text(d.get(), "name", "yuri");
  set_text(d.get(), "rateUpEdit", "2");
  set_text(d.get(), "rateDownEdit", "5");
  click(d.get(), "ok");
  const std::string f = user_file("yuri");
  EXPECT_EQ(key(f, "UseRate"), "1");
  EXPECT_EQ(key(f, "UseLmitCapacity"), "0");
  EXPECT_EQ(key(f, "SaveCredit"), "1");
  EXPECT_EQ(key(f, "RateUp"), "2");
  EXPECT_EQ(key(f, "RateDown"), "5");
}

// ---- page "禁止ホスト" ----

TEST_F(UserEditorTest, HostsAreAddedAndRemovedAndTheHiddenMailListIsKept) {
  site_.add_user("zoe", {{"ProhIP0", "10.*"}, {"ProhMail0", "spam@x"}});
  auto d = open_user("zoe");
  EXPECT_FALSE(child<QListWidget>(d.get(), "mailList")->isVisibleTo(d.get()));
  click(d.get(), "addHost");
  ASSERT_EQ(operator_.messages.size(), 1u);
  EXPECT_EQ(operator_.messages[0], "エディットボックスに、IPかドメイン名を入力してください。");
  click(d.get(), "removeHost");
  ASSERT_EQ(operator_.messages.size(), 2u);
  EXPECT_EQ(operator_.messages[1], kChooseRow);
  set_text(d.get(), "hostEdit", "192.168.*.*");
  click(d.get(), "addHost");
  EXPECT_EQ(text(d.get(), "hostEdit"), "");
  set_text(d.get(), "hostEdit", "evil.example");
  click(d.get(), "addHost");
  auto* hosts = child<QListWidget>(d.get(), "hostList");
  hosts->setCurrentRow(0);
  click(d.get(), "removeHost");
  ASSERT_EQ(hosts->count(), 2);
  click(d.get(), "ok");
  const std::string f = user_file("zoe");
  EXPECT_EQ(key(f, "ProhIP0"), "192.168.*.*");
  EXPECT_EQ(key(f, "ProhIP1"), "evil.example");
  EXPECT_EQ(key(f, "ProhIP2"), "");
  EXPECT_EQ(key(f, "ProhMail0"), "spam@x");
  EXPECT_EQ(key(f, "ProhMail1"), "");
}

// ---- page "ユーザー別" ----

TEST_F(UserEditorTest, ForbiddenActionsShowAndSaveAsTheUserKinshiMask) {
  site_.add_user("abe", {{"UserKinshi", std::to_string(0x0008 | 0x2000 | 0x8000)}});
  auto d = open_user("abe");
  EXPECT_TRUE(box(d.get(), "kinshiWrite")->isChecked());
  EXPECT_TRUE(box(d.get(), "kinshiNoop")->isChecked());
  EXPECT_FALSE(box(d.get(), "kinshiRead")->isChecked());
  box(d.get(), "kinshiRead")->setChecked(true);
  box(d.get(), "kinshiNoop")->setChecked(false);
  box(d.get(), "pasv")->setChecked(true);
  click(d.get(), "ok");
  // write stands for both 0x0001 and 0x0008; a bit without a box is kept.
  EXPECT_EQ(key(user_file("abe"), "UserKinshi"), std::to_string(0x0001 | 0x0008 | 0x0020 | 0x8000));
  EXPECT_EQ(key(user_file("abe"), "PASV"), "1");
}

TEST_F(UserEditorTest, RequireTlsShowsAndSavesForUsersAndGroups) {
  site_.add_user("cid", {{"RequireTLS", "1"}});
  auto d = open_user("cid");
  EXPECT_TRUE(box(d.get(), "requireTls")->isChecked());
  box(d.get(), "requireTls")->setChecked(false);
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("cid"), "RequireTLS"), "0");

  const std::string group = user_dir() + "secure.grp";
  site_.write_file("user/secure.grp", "[UserInfo]\r\nHomeDir=/srv/\r\n");
  auto g = open(group, group, AccountMode::Group);
  EXPECT_FALSE(box(g.get(), "requireTls")->isChecked());
  box(g.get(), "requireTls")->setChecked(true);
  click(g.get(), "ok");
  EXPECT_EQ(key(group, "RequireTLS"), "1");
}

TEST_F(UserEditorTest, MessagesAreEditedInTheMessageEditorAndCancelKeepsTheOldText) {
  site_.add_user("bea", {{"Message230_0", "old"}, {"Message230_1", "_____endofline_____"},
                         {"Message220_0", "kept"}, {"Message220_1", "_____endofline_____"}});
  auto d = open_user("bea");
  auto ran = when_modal<manager::CMessageEditorDialog>([](manager::CMessageEditorDialog* editor) {
    child<QPlainTextEdit>(editor, "text")->setPlainText("thanks\nbye");
    child<QPushButton>(editor, "ok")->click();
  });
  click(d.get(), "editCompleteMessage");
  EXPECT_TRUE(ran->ran);
  ran = when_modal<manager::CMessageEditorDialog>([](manager::CMessageEditorDialog* editor) {
    EXPECT_EQ(child<QPlainTextEdit>(editor, "text")->toPlainText().toStdString(), "old\n");
    child<QPlainTextEdit>(editor, "text")->setPlainText("discarded");
    child<QPushButton>(editor, "cancel")->click();
  });
  click(d.get(), "editLogOnMessage");
  EXPECT_TRUE(ran->ran);
  box(d.get(), "useCompleteMessage")->setChecked(true);
  click(d.get(), "ok");
  const std::string f = user_file("bea");
  EXPECT_EQ(key(f, "UseCompleteMessage"), "1");
  EXPECT_EQ(key(f, "UseLogOnMessage"), "0");
  EXPECT_EQ(key(f, "Message226_0"), "thanks");
  EXPECT_EQ(key(f, "Message226_1"), "bye");
  EXPECT_EQ(key(f, "Message226_2"), "_____endofline_____");
  EXPECT_EQ(key(f, "Message230_0"), "old");
  EXPECT_EQ(key(f, "Message220_0"), "kept");
  EXPECT_EQ(key(f, "Message3310_0"), "_____endofline_____");
}

TEST_F(UserEditorTest, TheTemplatesPlugInsAreWrittenWithTheNewUser) {
  site_.write_file("user/default_user.ini",
                   "[UserInfo]\r\nHomeDir=/\r\n[UserPlugIn]\r\nPlugInNum=1\r\nPlugin0=/opt/p/watch.so\r\n");
  auto d = open_new();
  set_text(d.get(), "name", "pat");
  click(d.get(), "ok");
  EXPECT_EQ(key(user_file("pat"), "PlugInNum", "UserPlugIn"), "1");
  EXPECT_EQ(key(user_file("pat"), "Plugin0", "UserPlugIn"), "/opt/p/watch.so");
}

// A folder name that would break the file's lines is not written, and the operator is
// told so instead of seeing the dialog close as if it had been saved.
TEST_F(UserEditorTest, AFileThatCannotBeWrittenIsReportedAndTheDialogStays) {
  auto d = open_new();
  set_text(d.get(), "name", "ray");
  operator_.folders = {std::string("/srv/line\nbreak/")};
  click(d.get(), "addFolder");
  click(d.get(), "ok");
  EXPECT_NE(d->result(), QDialog::Accepted);
  ASSERT_EQ(operator_.messages.size(), 1u);
  EXPECT_EQ(operator_.messages[0], "ファイル[" + user_file("ray") + "]に書き込めませんでした。");
  EXPECT_FALSE(site_.exists("user/ray.usr"));
}

// ---- the user list ----

class UserListTest : public UserEditorTest {
 protected:
  std::unique_ptr<manager::CUserListDialog> open_list() {
    return std::make_unique<manager::CUserListDialog>(user_dir(), site_.config_file());
  }
  static QTreeWidget* rows(QWidget* d) { return child<QTreeWidget>(d, "userList"); }
  static std::vector<std::string> column(QWidget* d, int c) {
    std::vector<std::string> out;
    for (int i = 0; i < rows(d)->topLevelItemCount(); ++i) {
      out.push_back(rows(d)->topLevelItem(i)->text(c).toStdString());
    }
    return out;
  }
};

TEST_F(UserListTest, EveryUserFileIsARowWithItsGroupAndLastConnection) {
  site_.add_user("carl", {{"UseGroup", "1"}, {"Group", "staff"}, {"LastConnect", "24/05/06"}});
  site_.add_user("anna", {{"UseGroup", "0"}, {"Group", "staff"}});
  site_.add_user("bert", {{"UseGroup", "1"}});
  site_.write_file("user/staff.grp", "[UserInfo]\r\n");
  site_.write_file("user/default_user.ini", "[UserInfo]\r\n");
  auto d = open_list();
  EXPECT_EQ(d->windowTitle().toStdString(), "ユーザーリスト");
  auto* header = rows(d.get())->headerItem();
  EXPECT_EQ(header->text(0).toStdString(), "ユーザー名");
  EXPECT_EQ(header->text(1).toStdString(), "グループ");
  EXPECT_EQ(header->text(2).toStdString(), "最終接続日");
  ASSERT_EQ(rows(d.get())->topLevelItemCount(), 3);
  rows(d.get())->header()->sectionClicked(0);
  EXPECT_EQ(column(d.get(), 0), (std::vector<std::string>{"anna", "bert", "carl"}));
  EXPECT_EQ(column(d.get(), 1), (std::vector<std::string>{"none", "none", "staff"}));
  EXPECT_EQ(column(d.get(), 2), (std::vector<std::string>{"yet", "yet", "24/05/06"}));
  rows(d.get())->header()->sectionClicked(2);
  EXPECT_EQ(column(d.get(), 0), (std::vector<std::string>{"carl", "anna", "bert"}));
}

TEST_F(UserListTest, EditWithoutARowAsksTheOperatorToChoose) {
  site_.add_user("dora");
  auto d = open_list();
  click(d.get(), "editUser");
  ASSERT_EQ(operator_.messages.size(), 1u);
  EXPECT_EQ(operator_.messages[0], kChooseRow);
}

TEST_F(UserListTest, DeletingTwoUsersRemovesBothRowsAndTheirFiles) {
  for (const char* name : {"ed", "fay", "gil"}) {
    site_.add_user(name);
    site_.write_file(std::string("user/") + name + ".mlg", "log");
    site_.write_file(std::string("user/") + name + ".flg", "log");
  }
  site_.write_file("user/fay.clg", "kept");
  auto d = open_list();
  rows(d.get())->header()->sectionClicked(0);
  rows(d.get())->topLevelItem(0)->setSelected(true);
  rows(d.get())->topLevelItem(1)->setSelected(true);
  operator_.answers = {false};
  click(d.get(), "deleteUser");
  EXPECT_EQ(rows(d.get())->topLevelItemCount(), 3);
  EXPECT_TRUE(site_.exists("user/ed.usr"));
  click(d.get(), "deleteUser");
  ASSERT_EQ(operator_.questions.size(), 2u);
  EXPECT_EQ(operator_.questions[1], "本当に削除してよろしいですか？");
  EXPECT_EQ(column(d.get(), 0), std::vector<std::string>{"gil"});
  for (const char* name : {"ed", "fay"}) {
    for (const char* ext : {".usr", ".mlg", ".flg"}) {
      EXPECT_FALSE(site_.exists(std::string("user/") + name + ext)) << name << ext;
    }
  }
  EXPECT_TRUE(site_.exists("user/gil.usr"));
  EXPECT_TRUE(site_.exists("user/gil.mlg"));
}

TEST_F(UserListTest, DeletingAUserWithoutLogsIsSilent) {
  site_.add_user("hal");
  auto d = open_list();
  rows(d.get())->topLevelItem(0)->setSelected(true);
  click(d.get(), "deleteUser");
  EXPECT_FALSE(site_.exists("user/hal.usr"));
  EXPECT_TRUE(operator_.messages.empty());
}

TEST_F(UserListTest, AddingAUserFillsTheListAgain) {
  auto d = open_list();
  auto ran = when_modal<CUserSettingsDialog>([](CUserSettingsDialog* settings) {
    set_text(settings, "name", "ian");
    set_text(settings, "password", "pw");
    click(settings, "ok");
  });
  click(d.get(), "addUser");
  EXPECT_TRUE(ran->ran);
  EXPECT_EQ(column(d.get(), 0), std::vector<std::string>{"ian"});
  EXPECT_EQ(key(user_file("ian"), "PassWord"), "pw");
}

TEST_F(UserListTest, EditOpensTheCurrentRowAndDefaultOpensTheTemplate) {
  site_.add_user("jo", {{"PassWord", "a"}});
  auto d = open_list();
  rows(d.get())->topLevelItem(0)->setSelected(true);
  auto ran = when_modal<CUserSettingsDialog>([](CUserSettingsDialog* settings) {
    EXPECT_EQ(text(settings, "password"), "a");
    set_text(settings, "password", "b");
    click(settings, "ok");
  });
  click(d.get(), "editUser");
  EXPECT_TRUE(ran->ran);
  EXPECT_EQ(key(user_file("jo"), "PassWord"), "b");
  ran = when_modal<CUserSettingsDialog>([](CUserSettingsDialog* settings) {
    EXPECT_FALSE(child<QLineEdit>(settings, "password")->isEnabled());
    set_text(settings, "maxConPerIPEdit", "6");
    click(settings, "ok");
  });
  click(d.get(), "defaultUser");
  EXPECT_TRUE(ran->ran);
  EXPECT_EQ(key(template_file(), "MaxConPerIP"), "6");
}

TEST_F(UserListTest, TheStatusOfARowOpensTheUsersStatusDialog) {
  site_.add_user("sue");
  auto d = open_list();
  auto ran = when_modal<manager::CUserStatusDlg>([](manager::CUserStatusDlg* status) {
    status->reject();
  });
  d->show_status(0);
  EXPECT_TRUE(ran->ran);
}

TEST(UserListPaths, TheSettingsFileLiesBesideTheUserFolder) {
  EXPECT_EQ(manager::ini_file_for_user_dir("/srv/velmora/user/"), "/srv/velmora/velmoraFTPd.ini");
}

// ---- the account at the Core ----

TEST_F(UserEditorTest, AnAccountMadeInTheEditorLogsInWithItsHomeAndFolderRule) {
  site_.make_dir("home/locked");
  site_.write_file("home/open.txt", "open data");
  site_.write_file("home/locked/secret.txt", "secret data");
  auto d = open_new();
  set_text(d.get(), "name", "kate");
  set_text(d.get(), "password", "s3cret");
  set_text(d.get(), "homeDir", site_.home());
  operator_.folders = {site_.home() + "locked/"};
  click(d.get(), "addFolder");
  auto* list = child<QTreeWidget>(d.get(), "folderList");
  list->setCurrentItem(list->topLevelItem(0));
  for (const char* permitted : {"dirList", "dirMove", "applyBelow"}) box(d.get(), permitted)->setChecked(true);
  click(d.get(), "ok");
  ASSERT_EQ(d->result(), QDialog::Accepted);

  harness::Server server(site_);
  {
    harness::FtpClient wrong;
    ASSERT_TRUE(wrong.connect(site_.ftp_port()));
    EXPECT_FALSE(wrong.login("kate", "S3CRET"));
  }
  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site_.ftp_port()));
  ASSERT_TRUE(client.login("kate", "s3cret"));
  EXPECT_EQ(client.download("RETR /open.txt"), std::optional<std::string>("open data"));
  std::string replies;
  EXPECT_FALSE(client.download("RETR /locked/secret.txt", &replies));
  EXPECT_EQ(replies, "550 Requested action not taken.\r\n");
  EXPECT_EQ(client.command("CWD /locked").substr(0, 3), "250");
  client.command("QUIT");

  // Reading permitted in the editor: the next login may download.
  auto edit = open_user("kate");
  auto* rules = child<QTreeWidget>(edit.get(), "folderList");
  rules->setCurrentItem(rules->topLevelItem(0));
  box(edit.get(), "fileRead")->setChecked(true);
  click(edit.get(), "ok");
  harness::FtpClient again;
  ASSERT_TRUE(again.connect(site_.ftp_port()));
  ASSERT_TRUE(again.login("kate", "s3cret"));
  EXPECT_EQ(again.download("RETR /locked/secret.txt"), std::optional<std::string>("secret data"));
}

// Hosts removed in the editor stay removed for the Core, which sizes the list by even
// numbers: a left-over ProhIP4 would otherwise refuse the user again.
TEST_F(UserEditorTest, AHostRemovedInTheEditorNoLongerRefusesTheUser) {
  site_.add_user("leo", {{"PassWord", "pw"}, {"ProhIP0", "10.9.9.1"}, {"ProhIP1", "10.9.9.2"},
                         {"ProhIP2", "10.9.9.3"}, {"ProhIP3", "10.9.9.4"}, {"ProhIP4", "127.0.0.1"}});
  auto d = open_user("leo");
  auto* hosts = child<QListWidget>(d.get(), "hostList");
  for (int row : {4, 3}) {
    hosts->setCurrentRow(row);
    click(d.get(), "removeHost");
  }
  click(d.get(), "ok");
  harness::Server server(site_);
  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site_.ftp_port()));
  EXPECT_TRUE(client.login("leo", "pw"));
}

// ---- safe defaults and the list's upkeep ----

// "Add user" with the defaults never opens the server: without a password the editor asks
// for one unless "no password (anonymous)" is ticked, and the home is a folder under the
// program folder, made on save, which is all the real Core serves. A home at "/" or in a
// system folder is asked for; No keeps the dialog open and writes nothing.
TEST_F(UserEditorTest, ANewAccountIsSafeByDefault) {
  auto d = open(template_file(), user_dir(), AccountMode::Add);
  d->show();
  set_text(d.get(), "name", "guest");
  click(d.get(), "ok");
  EXPECT_NE(d->result(), QDialog::Accepted);
  ASSERT_EQ(operator_.messages.size(), 1u);
  EXPECT_TRUE(operator_.messages[0].starts_with("[パスワード] パスワードを入力してください。"));
  EXPECT_EQ(d->focusWidget(), child<QLineEdit>(d.get(), "password"));
  EXPECT_FALSE(site_.exists("user/guest.usr"));
  box(d.get(), "anonymous")->setChecked(true);
  box(d.get(), "needPassword")->setChecked(false);
  click(d.get(), "ok");
  ASSERT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(key(user_file("guest"), "HomeDir"), site_.root() + "ftproot/");
  EXPECT_EQ(key(user_file("guest"), "PassWord"), "");
  ASSERT_TRUE(platform::is_directory(site_.root() + "ftproot/"));
  site_.write_file("ftproot/readme.txt", "welcome\n");
  {
    harness::Server server(site_);
    harness::FtpClient client;
    ASSERT_TRUE(client.connect(site_.ftp_port()));
    ASSERT_TRUE(client.login("guest", "anything"));
    EXPECT_EQ(client.download("RETR /readme.txt").value_or("<none>"), "welcome\n");
    EXPECT_FALSE(client.download("RETR /etc/hostname").has_value());
  }
  for (const char* home : {"/", "/etc/", "/usr/../root"}) {
    operator_.questions.clear();
    operator_.answers = {false};
    auto e = open_new();
    set_text(e.get(), "name", "sys");
    set_text(e.get(), "homeDir", home);
    click(e.get(), "ok");
    EXPECT_NE(e->result(), QDialog::Accepted) << home;
    ASSERT_EQ(operator_.questions.size(), 1u) << home;
    EXPECT_TRUE(operator_.questions[0].starts_with("ホームディレクトリ[" + std::string(home) +
                                                   "]はシステムのフォルダです。"));
    EXPECT_EQ(tabs(e.get())->currentIndex(), 1);
    EXPECT_FALSE(site_.exists("user/sys.usr"));
  }
  operator_.answers = {true};
  auto e = open_new();
  set_text(e.get(), "name", "sys");
  set_text(e.get(), "homeDir", "/");
  click(e.get(), "ok");
  EXPECT_EQ(e->result(), QDialog::Accepted);
  EXPECT_EQ(key(user_file("sys"), "HomeDir"), "/");
}

// The list shows an edit at once; deleting asks with "No" as the default answer and takes
// the account's lock file with it.
TEST_F(UserListTest, TheListFollowsEditsAndDeletingIsCarefulAndThorough) {
  site_.add_group("staff", {{"HomeDir", site_.home()}});
  site_.add_user("amy");
  site_.set_user_key("amy", "UserInfo", "LastConnect", "26/12/01");  // as the Core does
  ASSERT_TRUE(site_.exists("user/.amy.usr.lock"));
  auto d = open_list();
  rows(d.get())->topLevelItem(0)->setSelected(true);
  auto ran = when_modal<CUserSettingsDialog>([](CUserSettingsDialog* settings) {
    child<QCheckBox>(settings, "useGroup")->setChecked(true);
    click(settings, "ok");
  });
  click(d.get(), "editUser");
  ASSERT_TRUE(ran->ran);
  EXPECT_EQ(column(d.get(), 1), std::vector<std::string>{"staff"});
  manager::set_prompt_hook({});  // the real question box
  rows(d.get())->topLevelItem(0)->setSelected(true);
  bool no_was_default = false;
  auto asked = when_modal<QMessageBox>([&no_was_default](QMessageBox* box) {
    no_was_default = box->defaultButton() == box->button(QMessageBox::No);
    box->button(QMessageBox::Yes)->click();
  });
  click(d.get(), "deleteUser");
  ASSERT_TRUE(asked->ran);
  EXPECT_TRUE(no_was_default);
  EXPECT_FALSE(site_.exists("user/amy.usr"));
  EXPECT_FALSE(site_.exists("user/.amy.usr.lock"));
}

}  // namespace
