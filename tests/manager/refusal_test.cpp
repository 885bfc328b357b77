// The operator's refusals (an address appended to RefuseIP.txt, an account switched off)
// and the page "拒否IP", checked against the real Core where it reads them.
#include <gtest/gtest.h>

#include <QPlainTextEdit>

#include "manager/editors/refusal.h"
#include "manager/editors/refuse_page.h"
#include "manager/editors/system_settings_dialog.h"
#include "platform/profile.h"
#include "tests/manager/editors_system_helpers.h"
#include "tests/support/harness.h"

namespace {

using editors_test::child;
using editors_test::click;

TEST(RefuseAddress, AppendsOneLineAndCreatesTheFile) {
  const std::string dir = harness::make_temp_dir("refaddr");
  ASSERT_TRUE(manager::refuse_address(dir, "192.168.*"));
  ASSERT_TRUE(manager::refuse_address(dir, "spam@example.com"));
  EXPECT_EQ(editors_test::read_file(dir + "RefuseIP.txt"), "192.168.*\r\nspam@example.com\r\n");
}

TEST(RefuseAddress, ATextWithALineBreakIsNotWritten) {
  const std::string dir = harness::make_temp_dir("refaddr2");
  EXPECT_FALSE(manager::refuse_address(dir, "10.0.0.1\n*"));
  EXPECT_FALSE(platform::path_exists(dir + "RefuseIP.txt"));
}

TEST(RefuseAddress, AnUnwritableListLosesTheEntryQuietly) {
  const std::string dir = harness::make_temp_dir("refaddr3");
  ASSERT_EQ(platform::make_directory(dir + "RefuseIP.txt"), platform::MakeDirResult::Created);
  EXPECT_FALSE(manager::refuse_address(dir, "1.2.3.4"));
}

TEST(RefuseAddress, TheCoreTurnsAwayARefusedAddressAndServesOthers) {
  harness::Site site("refcore");
  ASSERT_TRUE(manager::refuse_address(site.root(), "127.0.0.2"));
  harness::Server server(site);
  harness::FtpClient refused;
  ASSERT_TRUE(refused.connect(site.ftp_port(), "127.0.0.2"));
  EXPECT_EQ(refused.reply(), "421 Sorry.This server can't accept you.\r\n");
  harness::FtpClient accepted;
  ASSERT_TRUE(accepted.connect(site.ftp_port(), "127.0.0.3"));
  EXPECT_EQ(accepted.reply().substr(0, 4), "220-");
}

TEST(RefuseUser, SwitchesTheAccountOffAndTheCoreRefusesItsLogin) {
  harness::Site site("refuser");
  site.add_user("carol");
  ASSERT_TRUE(manager::refuse_user(site.path("user/"), "carol", 1));
  EXPECT_EQ(site.user_key("carol", "RefuseUser"), "1");
  EXPECT_EQ(site.user_key("carol", "PassWord"), "carol");  // the rest of the file stays
  harness::Server server(site);
  harness::FtpClient client;
  ASSERT_TRUE(client.connect(site.ftp_port()));
  EXPECT_FALSE(client.login("carol", "carol"));
  ASSERT_TRUE(manager::refuse_user(site.path("user/"), "carol", 0));
  harness::FtpClient again;
  ASSERT_TRUE(again.connect(site.ftp_port()));
  EXPECT_TRUE(again.login("carol", "carol"));
}

TEST(RefuseUser, ANameThatLeavesTheUserFolderIsNotWritten) {
  const std::string dir = harness::make_temp_dir("refuser2");
  platform::make_directory(dir + "user/");
  EXPECT_FALSE(manager::refuse_user(dir + "user/", "../velmoraFTPd", 1));
  EXPECT_FALSE(manager::refuse_user(dir + "user/", "", 1));
  EXPECT_FALSE(manager::refuse_user(dir + "user/", "..", 1));
  EXPECT_FALSE(platform::path_exists(dir + "velmoraFTPd.usr"));
  EXPECT_FALSE(platform::path_exists(dir + "user/.usr"));
}

TEST(RefusePage, ShowsTheListAndSavesItWithCrLf) {
  const std::string dir = harness::make_temp_dir("refpage");
  editors_test::write_file(dir + "RefuseIP.txt", "10.0.0.?\n192.168.*\r\n");
  manager::CSystemSettingsDialog dialog(dir + "velmoraFTPd.ini");
  auto* text = child<QPlainTextEdit>(&dialog, "refuseText");
  EXPECT_EQ(text->toPlainText().toStdString(), "10.0.0.?\n192.168.*\n");
  text->setPlainText("10.0.0.?\nHOST*\n*.example");
  click(&dialog, "ok");
  EXPECT_EQ(editors_test::read_file(dir + "RefuseIP.txt"), "10.0.0.?\r\nHOST*\r\n*.example\r\n");
}

// Every writer ends its lines, so a refusal appended after the page saved, or after a
// list written by hand without a last line end, stays a line of its own at the Core.
TEST(RefuseList, AppendedRefusalsNeverJoinTheLastLine) {
  harness::Site site("reflines");
  {
    manager::CSystemSettingsDialog dialog(site.config_file());
    child<QPlainTextEdit>(&dialog, "refuseText")->setPlainText("127.0.0.3");
    click(&dialog, "ok");
  }
  ASSERT_TRUE(manager::refuse_address(site.root(), "kate@example.test"));
  EXPECT_EQ(site.read_file("RefuseIP.txt"), "127.0.0.3\r\nkate@example.test\r\n");
  harness::Site by_hand("reflines2");
  by_hand.write_file("RefuseIP.txt", "127.0.0.5");
  ASSERT_TRUE(manager::refuse_address(by_hand.root(), "127.0.0.6"));
  EXPECT_EQ(by_hand.read_file("RefuseIP.txt"), "127.0.0.5\r\n127.0.0.6\r\n");
  harness::Server server(site);
  harness::FtpClient refused;
  ASSERT_TRUE(refused.connect(site.ftp_port(), "127.0.0.3"));
  EXPECT_EQ(refused.reply(), "421 Sorry.This server can't accept you.\r\n");
}

// A refusal added while the dialog is open (after an account mail, or from the user
// list) survives the dialog's OK; what the operator removed or added is written too.
TEST(RefuseList, RefusalsAddedWhileTheDialogIsOpenAreKept) {
  harness::Site site("refmerge");
  site.write_file("RefuseIP.txt", "127.0.0.7\r\n127.0.0.8\r\n");
  manager::CSystemSettingsDialog dialog(site.config_file());
  ASSERT_TRUE(manager::refuse_address(site.root(), "127.0.0.4"));
  child<QPlainTextEdit>(&dialog, "refuseText")->setPlainText("127.0.0.8\n127.0.0.9\n");
  click(&dialog, "ok");
  EXPECT_EQ(site.read_file("RefuseIP.txt"), "127.0.0.8\r\n127.0.0.9\r\n127.0.0.4\r\n");
  harness::Server server(site);
  for (const char* address : {"127.0.0.4", "127.0.0.9"}) {
    harness::FtpClient refused;
    ASSERT_TRUE(refused.connect(site.ftp_port(), address));
    EXPECT_EQ(refused.reply(), "421 Sorry.This server can't accept you.\r\n") << address;
  }
  harness::FtpClient removed;
  ASSERT_TRUE(removed.connect(site.ftp_port(), "127.0.0.7"));
  EXPECT_EQ(removed.reply().substr(0, 4), "220-");
}

TEST(RefusePage, AMissingListStartsEmptyAndOkCreatesIt) {
  const std::string dir = harness::make_temp_dir("refpage2");
  manager::CSystemSettingsDialog dialog(dir + "velmoraFTPd.ini");
  auto* text = child<QPlainTextEdit>(&dialog, "refuseText");
  EXPECT_TRUE(text->toPlainText().isEmpty());
  text->setPlainText("1.2.3.4\n");
  click(&dialog, "ok");
  EXPECT_EQ(editors_test::read_file(dir + "RefuseIP.txt"), "1.2.3.4\r\n");
}

TEST(RefusePage, AListThatCannotBeReadShowsEmptyAndCannotBeReplaced) {
  const std::string dir = harness::make_temp_dir("refpage3");
  ASSERT_EQ(platform::make_directory(dir + "RefuseIP.txt"), platform::MakeDirResult::Created);
  manager::CRefusePage page(dir);
  EXPECT_TRUE(child<QPlainTextEdit>(&page, "refuseText")->toPlainText().isEmpty());
  EXPECT_FALSE(page.save());
  EXPECT_TRUE(platform::is_directory(dir + "RefuseIP.txt"));
}

}  // namespace
