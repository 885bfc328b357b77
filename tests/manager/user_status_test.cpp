// The dialogs a user row opens: "ユーザーステータス" read from the user's logs and account
// file, "ユーザー拒否" with its three boxes, and the version dialog.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeWidget>
#include <string>

#include "manager/shell/about_dialog.h"
#include "manager/shell/refuse_user_dialog.h"
#include "manager/shell/user_status_dialog.h"
#include "platform/files.h"
#include "tests/support/harness.h"

namespace {

using manager::CUserStatusDlg;

class UserStatus : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = harness::make_temp_dir("user-status"); }
  void write(const std::string& name, const std::string& content) {
    ASSERT_TRUE(platform::write_file_atomically(dir_ + name, content));
  }
  std::string edit(CUserStatusDlg& dialog, const char* name) {
    auto* edit = dialog.findChild<QLineEdit*>(name);
    return edit ? edit->text().toStdString() : "<missing>";
  }
  static std::string cell(QTreeWidget* list, int row, int column) {
    return list->topLevelItem(row)->text(column).toStdString();
  }
  std::string dir_;
};

TEST_F(UserStatus, TransfersAreListedByDirectionWithTheirTotals) {
  write("alice.flg",
        "24/05/01 10:00:00 0 2000 1024 0 /srv/up/my*file.txt\r\n"
        "24/05/01 10:05:00 1 4000 3072 100 /srv/pub/b.bin\r\n"
        "24/05/01 10:06:00 1 999 1024 0 /srv/pub/c.bin\r\n");
  write("alice.usr", "[UserInfo]\r\nName=Alice A\r\nNowCredit=12.5\r\nRateUp=1\r\nRateDown=3\r\n");
  CUserStatusDlg dialog(dir_ + "alice");
  auto* uploads = dialog.findChild<QTreeWidget*>("c1007");
  auto* downloads = dialog.findChild<QTreeWidget*>("c1021");
  ASSERT_TRUE(uploads && downloads);
  EXPECT_EQ(dialog.windowTitle().toStdString(), "ユーザーステータス");
  EXPECT_EQ(uploads->headerItem()->text(2).toStdString(), "処理時間");
  ASSERT_EQ(uploads->topLevelItemCount(), 1);
  EXPECT_EQ(cell(uploads, 0, 0), "my file.txt");
  EXPECT_EQ(cell(uploads, 0, 1), "1024(0-1024)");
  EXPECT_EQ(cell(uploads, 0, 2), "2 sec");
  EXPECT_EQ(cell(uploads, 0, 3), "24/05/01 10:00:00");
  EXPECT_EQ(cell(uploads, 0, 4), "/srv/up/my file.txt");
  ASSERT_EQ(downloads->topLevelItemCount(), 2);
  EXPECT_EQ(cell(downloads, 0, 1), "3072(100-3172)");
  EXPECT_EQ(cell(downloads, 1, 2), "0 sec");
  EXPECT_EQ(edit(dialog, "c1000"), "Alice A");
  EXPECT_EQ(edit(dialog, "c1001"), "1.00KB");
  EXPECT_EQ(edit(dialog, "c1002"), "4.00KB");
  // 1024 x 8 / (2001 x 0.001) / 1024 = 3.99; 4096 x 8 / (5000 x 0.001) / 1024 = 6.4
  EXPECT_EQ(edit(dialog, "c1026"), "UP 3kbps DOWN 6kbps");
  EXPECT_EQ(edit(dialog, "c1003"), "12.5");
  EXPECT_EQ(edit(dialog, "c1004"), "1:3");
}

TEST_F(UserStatus, MalformedTransferLinesAreSkipped) {
  write("bob.flg",
        "garbage\r\n"
        "24/05/01 10:00:00 x 2000 1024 0 /a\r\n"
        "24/05/01 10:00:00 1 2000\r\n"
        "24/05/01 10:00:00 1 10 20 0 /ok\r\n");
  CUserStatusDlg dialog(dir_ + "bob");
  EXPECT_EQ(dialog.findChild<QTreeWidget*>("c1007")->topLevelItemCount(), 0);
  ASSERT_EQ(dialog.findChild<QTreeWidget*>("c1021")->topLevelItemCount(), 1);
}

TEST_F(UserStatus, LoginHistoryListsTheNewestSessionFirst) {
  write("alice.mlg",
        "2024/05/01 10:00:00 alice(127.0.0.1) ログインしました。\r\n"
        "2024/05/01 10:01:00 alice(127.0.0.1) ディレクトリ[/a b]に移動しました。\r\n"
        "2024/05/01 10:02:00 alice(127.0.0.1) 切断しました。\r\n"
        "2024/05/01 11:00:00 alice(127.0.0.1) 切断しました。\r\n"
        "2024/05/02 09:00:00 alice(127.0.0.1) ログインしました。\r\n"
        "2024/05/02 09:30:00 alice(127.0.0.1) 切断しました。\r\n"
        "2024/05/03 08:00:00 alice(127.0.0.1) ログインしました。\r\n");
  CUserStatusDlg dialog(dir_ + "alice");
  auto* list = dialog.findChild<QListWidget*>("c1049");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text().toStdString(), "2024/05/02 09:00:00～09:30:00");
  EXPECT_EQ(list->item(1)->text().toStdString(), "2024/05/01 10:00:00～10:02:00");
}

TEST_F(UserStatus, MissingFilesLeaveEverythingEmpty) {
  CUserStatusDlg dialog(dir_ + "nobody");
  EXPECT_EQ(dialog.findChild<QTreeWidget*>("c1007")->topLevelItemCount(), 0);
  EXPECT_EQ(dialog.findChild<QTreeWidget*>("c1021")->topLevelItemCount(), 0);
  EXPECT_EQ(dialog.findChild<QListWidget*>("c1049")->count(), 0);
  EXPECT_EQ(edit(dialog, "c1000"), "");
  EXPECT_EQ(edit(dialog, "c1003"), "");
}

TEST_F(UserStatus, AnAccountWithoutValuesShowsTheDefaults) {
  write("carol.usr", "[UserInfo]\r\nPassWord=x\r\n");
  CUserStatusDlg dialog(dir_ + "carol");
  EXPECT_EQ(edit(dialog, "c1000"), "anonymous");
  EXPECT_EQ(edit(dialog, "c1003"), "0");
  EXPECT_EQ(edit(dialog, "c1004"), "0:0");
  EXPECT_EQ(edit(dialog, "c1001"), "0B");
  EXPECT_EQ(edit(dialog, "c1026"), "UP 0kbps DOWN 0kbps");
}

TEST(RefuseUserDialog, OpensWithAllThreeBoxesChecked) {
  manager::CRefuseUserDlg dialog;
  EXPECT_EQ(dialog.windowTitle().toStdString(), "ユーザー拒否");
  EXPECT_EQ(dialog.findChild<QCheckBox*>("disableAccount")->text().toStdString(),
            "アカウントを無効にする。");
  EXPECT_EQ(dialog.findChild<QCheckBox*>("refuseAddress")->text().toStdString(),
            "IPを拒否リストに追加。");
  EXPECT_EQ(dialog.findChild<QCheckBox*>("kickUser")->text().toStdString(),
            "このユーザーを切断する。");
  const manager::RefuseChoice all = dialog.choice();
  EXPECT_TRUE(all.disable_account && all.refuse_address && all.kick);
  dialog.findChild<QCheckBox*>("kickUser")->setChecked(false);
  EXPECT_FALSE(dialog.choice().kick);
  EXPECT_TRUE(dialog.choice().refuse_address);
}

TEST(AboutDialog, ShowsTheVersion) {
  manager::CAboutDlg dialog;
  EXPECT_EQ(dialog.windowTitle().toStdString(), "velmoraFTPdのﾊﾞｰｼﾞｮﾝ情報");
  auto* version = dialog.findChild<QLineEdit*>("c1000");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->text().toStdString(), "2.04");
  EXPECT_TRUE(version->isReadOnly());
}

}  // namespace
