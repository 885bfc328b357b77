// The dialog "システム設定": what it shows from velmoraFTPd.ini and what OK and Cancel
// leave in the files.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>

#include "manager/editors/advance_dialog.h"
#include "manager/editors/system_settings_dialog.h"
#include "manager/editors/virtual_folder_page.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "tests/manager/editors_system_helpers.h"
#include "tests/support/harness.h"

namespace {

using editors_test::child;
using editors_test::click;

struct Folder {
  std::string dir = harness::make_temp_dir("sysdlg");
  std::string ini = dir + "velmoraFTPd.ini";
  std::string user_dir = dir + "user/";
  Folder() { platform::make_directory(user_dir); }
  std::string get(const char* section, const char* key) const {
    return platform::profile_read_string(ini, section, key, "<absent>");
  }
};

QLineEdit* edit(QWidget* w, const char* name) { return child<QLineEdit>(w, name); }
QCheckBox* box(QWidget* w, const char* name) { return child<QCheckBox>(w, name); }

TEST(SystemSettingsDialog, TabsComeInTheOperatorsOrder) {
  Folder f;
  manager::CSystemSettingsDialog dialog(f.ini);
  auto* tabs = child<QTabWidget>(&dialog, "tabs");
  ASSERT_EQ(tabs->count(), 8);
  const char* expected[] = {"システム", "メッセージ", "ログ", "未登録IDの接続",
                            "拒否IP", "仮想フォルダ", "PlugIn", "TLS"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(tabs->tabText(i).toStdString(), expected[i]);
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_EQ(dialog.windowTitle().toStdString(), "システム設定");
}

TEST(SystemSettingsDialog, AnEmptyFileShowsTheDefaults) {
  Folder f;
  manager::CSystemSettingsDialog dialog(f.ini);
  EXPECT_EQ(edit(&dialog, "port")->text(), "21");
  EXPECT_EQ(edit(&dialog, "bufferSize")->text(), "1024");
  EXPECT_EQ(edit(&dialog, "maxLogChar")->text(), "3000");
  EXPECT_TRUE(box(&dialog, "logAllComment")->isChecked());
  EXPECT_TRUE(box(&dialog, "logAllFile")->isChecked());
  EXPECT_FALSE(box(&dialog, "logAllCmd")->isChecked());
  EXPECT_TRUE(box(&dialog, "adjDigit")->isChecked());
}

TEST(SystemSettingsDialog, AnOldIdleKeyIsShownAndConvertedOnOk) {
  Folder f;
  editors_test::write_file(f.ini, "[Log]\r\nWaitViewIdolTime=5\r\n");
  manager::CSystemSettingsDialog dialog(f.ini);
  EXPECT_EQ(edit(&dialog, "idleTime")->text(), "5");
  click(&dialog, "ok");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(f.get("System", "SysIniVer"), "100");
  EXPECT_EQ(f.get("Log", "WaitViewIdleTime"), "5");
}

TEST(SystemSettingsDialog, ANewIdleKeyWinsOnceTheVersionIsSet) {
  Folder f;
  editors_test::write_file(
      f.ini, "[System]\r\nSysIniVer=100\r\n[Log]\r\nWaitViewIdolTime=5\r\nWaitViewIdleTime=9\r\n");
  manager::CSystemSettingsDialog dialog(f.ini);
  EXPECT_EQ(edit(&dialog, "idleTime")->text(), "9");
}

TEST(SystemSettingsDialog, OkWritesEveryKeyInItsOrderAndNeverTheOldIdleKey) {
  Folder f;
  manager::CSystemSettingsDialog dialog(f.ini);
  click(&dialog, "ok");
  const std::vector<std::string> system = platform::profile_key_names(f.ini, "System");
  const std::vector<std::string> expected_system = {
      "SysIniVer", "Port", "SourcePort", "MaxConnect", "StartServer", "SaveUsrMin",
      "GlobalIP", "RASConnect", "MinRun", "BufferSize", "PasvPortl", "PasvPorth", "CloseSrv",
      "Service", "FtpdCoreListenPort", "UseGlobalIp", "UseClientGlobalIp", "LoginFailDelay",
      "LoginFailLimit", "LoginLockMinutes", "LoginTimeout"};
  EXPECT_EQ(system, expected_system);
  const std::vector<std::string> log = platform::profile_key_names(f.ini, "Log");
  const std::vector<std::string> expected_log = {"LogAllCmd", "LogAllComment", "LogAllFile",
                                                 "MaxLogChar", "WaitViewIdleTime",
                                                 "WaitViewDownTime", "Ip2Host", "AdjDigit"};
  EXPECT_EQ(log, expected_log);
  const std::vector<std::string> unknown = platform::profile_key_names(f.ini, "UnKnownID");
  const std::vector<std::string> expected_unknown = {
      "Refuse", "MailPass", "MakeAcount", "SmtpPort", "SmtpTls", "Smtp",
      "Mail",   "Group",    "MailTitle",  "SmtpUser", "SmtpPass"};
  EXPECT_EQ(unknown, expected_unknown);
  const std::vector<std::string> sections = platform::profile_section_names(f.ini);
  ASSERT_GE(sections.size(), 4u);
  EXPECT_EQ(sections[0], "System");
  EXPECT_EQ(sections[1], "UserInfo");
  EXPECT_EQ(sections[2], "Log");
  EXPECT_EQ(sections[3], "UnKnownID");
  EXPECT_EQ(f.get("Log", "WaitViewIdolTime"), "<absent>");
  EXPECT_EQ(f.get("System", "FtpdCoreListenPort"), "54253");
  EXPECT_EQ(f.get("UnKnownID", "Refuse"), "1");
  EXPECT_EQ(f.get("UnKnownID", "MailPass"), "0");
}

TEST(SystemSettingsDialog, EditedEntriesReachTheFile) {
  Folder f;
  manager::CSystemSettingsDialog dialog(f.ini);
  edit(&dialog, "port")->setText("2121");
  edit(&dialog, "maxConnect")->setText("7");
  box(&dialog, "startServer")->setChecked(true);
  edit(&dialog, "bufferSize")->setText("65536");
  box(&dialog, "logAllCmd")->setChecked(true);
  edit(&dialog, "downTime")->setText("12");
  box(&dialog, "ip2Host")->setChecked(true);
  box(&dialog, "useWelcomeMessage")->setChecked(true);
  click(&dialog, "ok");
  EXPECT_EQ(f.get("System", "Port"), "2121");
  EXPECT_EQ(f.get("System", "MaxConnect"), "7");
  EXPECT_EQ(f.get("System", "StartServer"), "1");
  EXPECT_EQ(f.get("System", "BufferSize"), "65536");
  EXPECT_EQ(f.get("Log", "LogAllCmd"), "1");
  EXPECT_EQ(f.get("Log", "WaitViewDownTime"), "12");
  EXPECT_EQ(f.get("Log", "Ip2Host"), "1");
  EXPECT_EQ(f.get("UserInfo", "UseWelcomeMessage"), "1");
}

TEST(SystemSettingsDialog, TlsPageShowsAndWritesTheTlsSectionWithAPortRange) {
  Folder f;
  editors_test::write_file(f.ini, "[TLS]\r\nEnable=1\r\nCertificate=cert.pem\r\nRequireReuse=0\r\n");
  editors_test::Prompts prompts;
  {
    manager::CSystemSettingsDialog dialog(f.ini);
    EXPECT_TRUE(box(&dialog, "tlsEnable")->isChecked());
    EXPECT_EQ(edit(&dialog, "tlsCertificate")->text(), "cert.pem");
    EXPECT_EQ(edit(&dialog, "tlsPrivateKey")->text(), "");
    EXPECT_EQ(edit(&dialog, "tlsImplicitPort")->text(), "0");
    EXPECT_FALSE(box(&dialog, "tlsRequireReuse")->isChecked());
    edit(&dialog, "tlsPrivateKey")->setText(" /etc/ftp/key.pem ");
    edit(&dialog, "tlsImplicitPort")->setText("70000");
    box(&dialog, "tlsRequireForLogin")->setChecked(true);
    click(&dialog, "ok");  // the bad port keeps the dialog open and saves nothing
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(f.get("TLS", "PrivateKey"), "<absent>");
    edit(&dialog, "tlsImplicitPort")->setText("0");
    box(&dialog, "tlsRequireForLogin")->setChecked(false);
    click(&dialog, "ok");
  }
  EXPECT_EQ(prompts.messages,
            std::vector<std::string>{"[暗黙のTLSのポート] 0 から 65535 までの整数を入力してください。"});
  EXPECT_EQ(platform::profile_key_names(f.ini, "TLS"),
            (std::vector<std::string>{"Enable", "Certificate", "RequireReuse", "ImplicitPort",
                                      "RequireForLogin", "RequireForData", "PrivateKey"}));
  EXPECT_EQ(f.get("TLS", "PrivateKey"), "/etc/ftp/key.pem");
  EXPECT_EQ(f.get("TLS", "ImplicitPort"), "0");
  EXPECT_EQ(f.get("TLS", "RequireForLogin"), "0");
  {
    manager::CSystemSettingsDialog dialog(f.ini);
    edit(&dialog, "tlsImplicitPort")->setText("990");
    box(&dialog, "tlsRequireForData")->setChecked(true);
    click(&dialog, "ok");
  }
  EXPECT_EQ(f.get("TLS", "ImplicitPort"), "990");
  EXPECT_EQ(f.get("TLS", "RequireForData"), "1");
  EXPECT_EQ(f.get("TLS", "RequireReuse"), "0");
}

TEST(SystemSettingsDialog, TheArrowButtonsStayWithinTheirRange) {
  Folder f;
  manager::CSystemSettingsDialog dialog(f.ini);
  edit(&dialog, "port")->setText("1000");
  click(&dialog, "portUp");
  EXPECT_EQ(edit(&dialog, "port")->text(), "1000");
  click(&dialog, "portDown");
  EXPECT_EQ(edit(&dialog, "port")->text(), "999");
  edit(&dialog, "maxConnect")->setText("0");
  click(&dialog, "maxConnectDown");
  EXPECT_EQ(edit(&dialog, "maxConnect")->text(), "0");
  edit(&dialog, "maxLogChar")->setText("30000");
  click(&dialog, "maxLogCharUp");
  EXPECT_EQ(edit(&dialog, "maxLogChar")->text(), "30000");
  edit(&dialog, "idleTime")->setText("9999");
  click(&dialog, "idleTimeUp");
  click(&dialog, "idleTimeUp");
  EXPECT_EQ(edit(&dialog, "idleTime")->text(), "10000");
}

// A bad entry keeps the dialog open on its page with the focus on it and a message that
// names it; nothing is saved until it is corrected.
TEST(SystemSettingsDialog, ABadEntryKeepsTheDialogOpenOnItsFieldAndSavesNothing) {
  Folder f;
  editors_test::write_file(f.ini, "[System]\r\nPort=21\r\nMaxConnect=3\r\nBufferSize=2048\r\n");
  const std::string before = editors_test::read_file(f.ini);
  editors_test::Prompts prompts;
  manager::CSystemSettingsDialog dialog(f.ini);
  dialog.show();
  auto* tabs = child<QTabWidget>(&dialog, "tabs");
  tabs->setCurrentIndex(4);
  edit(&dialog, "maxConnect")->setText("9");
  edit(&dialog, "maxLogChar")->setText("2x1");
  click(&dialog, "ok");
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"[ビューの最大行数] 整数を入力してください。"});
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(tabs->currentIndex(), 2);
  EXPECT_EQ(dialog.focusWidget(), edit(&dialog, "maxLogChar"));
  EXPECT_EQ(editors_test::read_file(f.ini), before);
  edit(&dialog, "maxLogChar")->setText("500");
  click(&dialog, "ok");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(f.get("System", "MaxConnect"), "9");
  EXPECT_EQ(f.get("Log", "MaxLogChar"), "500");
}

TEST(SystemSettingsDialog, TheLoginLimitsShowTheirDefaultsAndReachTheFile) {
  Folder f;
  editors_test::Prompts prompts;
  manager::CSystemSettingsDialog dialog(f.ini);
  EXPECT_EQ(edit(&dialog, "loginFailDelay")->text(), "1000");
  EXPECT_EQ(edit(&dialog, "loginFailLimit")->text(), "10");
  EXPECT_EQ(edit(&dialog, "loginLockMinutes")->text(), "10");
  EXPECT_EQ(edit(&dialog, "loginTimeout")->text(), "60");
  edit(&dialog, "loginFailDelay")->setText("2500");
  edit(&dialog, "loginFailLimit")->setText("5");
  edit(&dialog, "loginLockMinutes")->setText("99999");  // beyond a week: refused
  edit(&dialog, "loginTimeout")->setText("30");
  click(&dialog, "ok");
  EXPECT_EQ(prompts.messages,
            std::vector<std::string>{"[ロック時間] 0 から 10080 までの整数を入力してください。"});
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(platform::path_exists(f.ini));
  edit(&dialog, "loginLockMinutes")->setText("20");
  click(&dialog, "ok");
  EXPECT_EQ(f.get("System", "LoginFailDelay"), "2500");
  EXPECT_EQ(f.get("System", "LoginFailLimit"), "5");
  EXPECT_EQ(f.get("System", "LoginLockMinutes"), "20");
  EXPECT_EQ(f.get("System", "LoginTimeout"), "30");
}

// Ports take 1 to 65535 (the source port and the passive range 0 too); counts, limits and
// intervals no negative value; a number of any length out of range gets the range.
TEST(SystemSettingsDialog, PortsAndLimitsAreCheckedAgainstTheirRanges) {
  struct Case {
    const char* field;
    const char* value;
    const char* message;
  } cases[] = {
      {"port", "0", "[ポート] 1 から 65535 までの整数を入力してください。"},
      {"port", "65536", "[ポート] 1 から 65535 までの整数を入力してください。"},
      {"port", "99999999999999999999", "[ポート] 1 から 65535 までの整数を入力してください。"},
      {"maxConnect", "-1", "[最大回線数] 0 から 2147483647 までの整数を入力してください。"},
      {"saveUsrMin", "-5", "[接続ユーザーのバックアップ] 0 から 2147483647 までの整数を入力してください。"},
      {"sourcePort", "-1", "[ソースポート] 0 から 65535 までの整数を入力してください。"},
      {"bufferSize", "100", "[通信バッファ] 1024 から 1048576 までの整数を入力してください。"},
      {"idleTime", "-1", "[アイドル時間表示までの時間] 0 から 2147483 までの整数を入力してください。"},
  };
  for (const Case& c : cases) {
    Folder f;
    editors_test::Prompts prompts;
    manager::CSystemSettingsDialog dialog(f.ini);
    edit(&dialog, c.field)->setText(c.value);
    click(&dialog, "ok");
    EXPECT_EQ(prompts.messages, std::vector<std::string>{c.message}) << c.field << "=" << c.value;
    EXPECT_FALSE(platform::path_exists(f.ini)) << c.field;
  }
  Folder f;
  editors_test::Prompts prompts;
  manager::CSystemSettingsDialog dialog(f.ini);
  edit(&dialog, "port")->setText("65535");
  edit(&dialog, "sourcePort")->setText("0");
  click(&dialog, "ok");
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(f.get("System", "Port"), "65535");
}

// A settings file that cannot be written is reported and the dialog stays open; a page
// whose keys cannot be written leaves the whole file as it was (never half of it).
TEST(SystemSettingsDialog, AFailedSaveIsReportedAndWritesNothing) {
  Folder f;
  editors_test::write_file(f.ini, "[System]\r\nPort=21\r\n");
  const std::string before = editors_test::read_file(f.ini);
  ASSERT_EQ(platform::make_directory(f.dir + ".velmoraFTPd.ini.lock"), platform::MakeDirResult::Created);
  {
    editors_test::Prompts prompts;
    manager::CSystemSettingsDialog dialog(f.ini);
    edit(&dialog, "port")->setText("2121");
    click(&dialog, "ok");
    EXPECT_EQ(prompts.messages, std::vector<std::string>{"ファイル[" + f.ini +
                                                         "]に書き込めませんでした。設定は保存されていません。"});
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(editors_test::read_file(f.ini), before);
  }
  platform::remove_directory(f.dir + ".velmoraFTPd.ini.lock");
  editors_test::Prompts prompts;
  prompts.folders = {std::string("/data/line\nbreak/"), std::string("/srv/ftp/")};
  manager::CSystemSettingsDialog dialog(f.ini);
  click(dialog.findChild<manager::CVirtualFolderPage*>(), "add");
  edit(&dialog, "port")->setText("2121");
  click(&dialog, "ok");
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(editors_test::read_file(f.ini), before);
}

// At the size the dialog opens with, every tab's caption is in view (no scroll arrows
// hiding "PlugIn") and no page is squeezed below the size its layout asks for.
TEST(SystemSettingsDialog, EveryTabFitsTheDialogsDefaultSize) {
  Folder f;
  manager::CSystemSettingsDialog dialog(f.ini);
  dialog.show();
  auto* tabs = child<QTabWidget>(&dialog, "tabs");
  QTabBar* bar = tabs->tabBar();
  for (int i = 0; i < tabs->count(); ++i) {
    EXPECT_TRUE(bar->rect().contains(bar->tabRect(i))) << tabs->tabText(i).toStdString();
    tabs->setCurrentIndex(i);
    QWidget* page = tabs->widget(i);
    const QSize wanted = page->sizeHint().expandedTo(page->minimumSizeHint());
    EXPECT_GE(page->width(), wanted.width()) << tabs->tabText(i).toStdString();
    EXPECT_GE(page->height(), wanted.height()) << tabs->tabText(i).toStdString();
  }
}

TEST(SystemSettingsDialog, AFileWithoutUnknownIdKeysShowsRefuseWithMailAndGroupDisabled) {
  Folder f;
  editors_test::write_file(f.user_dir + "staff.grp", "[UserInfo]\r\n");
  manager::CSystemSettingsDialog dialog(f.ini);
  EXPECT_TRUE(box(&dialog, "refuse")->isChecked());
  EXPECT_FALSE(box(&dialog, "mailPass")->isChecked());
  EXPECT_FALSE(box(&dialog, "makeAccount")->isChecked());
  EXPECT_FALSE(box(&dialog, "mailPass")->isEnabled());
  EXPECT_FALSE(child<QWidget>(&dialog, "mailBody")->isEnabled());
  EXPECT_FALSE(child<QWidget>(&dialog, "mailSettings")->isEnabled());
  EXPECT_FALSE(child<QWidget>(&dialog, "group")->isEnabled());
}

TEST(SystemSettingsDialog, TheModeBoxesAreOneChoice) {
  Folder f;
  manager::CSystemSettingsDialog dialog(f.ini);
  click(&dialog, "makeAccount");
  EXPECT_TRUE(box(&dialog, "makeAccount")->isChecked());
  EXPECT_FALSE(box(&dialog, "refuse")->isChecked());
  EXPECT_TRUE(child<QWidget>(&dialog, "group")->isEnabled());
  EXPECT_FALSE(child<QWidget>(&dialog, "mailBody")->isEnabled());
  click(&dialog, "makeAccount");  // clicking the chosen box again keeps it chosen
  EXPECT_TRUE(box(&dialog, "makeAccount")->isChecked());
  click(&dialog, "refuse");
  EXPECT_TRUE(box(&dialog, "refuse")->isChecked());
  EXPECT_FALSE(box(&dialog, "makeAccount")->isChecked());
  EXPECT_FALSE(child<QWidget>(&dialog, "group")->isEnabled());
}

TEST(SystemSettingsDialog, CreatingAccountsWithNoGroupFilesSavesAnEmptyGroup) {
  Folder f;
  editors_test::write_file(f.ini, "[UnKnownID]\r\nGroup=old\r\n");
  manager::CSystemSettingsDialog dialog(f.ini);
  click(&dialog, "makeAccount");
  click(&dialog, "ok");
  EXPECT_EQ(f.get("UnKnownID", "Refuse"), "0");
  EXPECT_EQ(f.get("UnKnownID", "MailPass"), "0");
  EXPECT_EQ(f.get("UnKnownID", "MakeAcount"), "1");
  EXPECT_EQ(f.get("UnKnownID", "Group"), "");
}

TEST(SystemSettingsDialog, TheGroupListShowsGroupFilesAndSelectsTheStoredGroupIgnoringCase) {
  Folder f;
  editors_test::write_file(f.user_dir + "alpha.grp", "[UserInfo]\r\n");
  editors_test::write_file(f.user_dir + "Staff.grp", "[UserInfo]\r\n");
  editors_test::write_file(f.user_dir + "bob.usr", "[UserInfo]\r\n");
  editors_test::write_file(f.ini, "[UnKnownID]\r\nRefuse=0\r\nMakeAcount=1\r\nGroup=sta\r\n");
  manager::CSystemSettingsDialog dialog(f.ini);
  auto* group = child<QComboBox>(&dialog, "group");
  ASSERT_EQ(group->count(), 2);
  EXPECT_EQ(group->currentText().toStdString(), "Staff");
  EXPECT_TRUE(group->isEnabled());
  click(&dialog, "ok");
  EXPECT_EQ(f.get("UnKnownID", "Group"), "Staff");
}

TEST(SystemSettingsDialog, AMailPasswordModeInTheFileIsShownAndKept) {
  Folder f;
  editors_test::write_file(f.ini,
                           "[UnKnownID]\r\nRefuse=0\r\nMailPass=1\r\nSmtp=mail.example\r\n"
                           "Mail=op@example\r\nMailTitle=Hello\r\n");
  manager::CSystemSettingsDialog dialog(f.ini);
  EXPECT_TRUE(box(&dialog, "mailPass")->isChecked());
  EXPECT_FALSE(box(&dialog, "mailPass")->isEnabled());
  EXPECT_TRUE(child<QWidget>(&dialog, "mailBody")->isEnabled());
  EXPECT_TRUE(child<QWidget>(&dialog, "mailSettings")->isEnabled());
  EXPECT_TRUE(child<QWidget>(&dialog, "group")->isEnabled());
  click(&dialog, "ok");
  EXPECT_EQ(f.get("UnKnownID", "MailPass"), "1");
  EXPECT_EQ(f.get("UnKnownID", "Refuse"), "0");
  EXPECT_EQ(f.get("UnKnownID", "Smtp"), "mail.example");
  EXPECT_EQ(f.get("UnKnownID", "Mail"), "op@example");
  EXPECT_EQ(f.get("UnKnownID", "MailTitle"), "Hello");
}

TEST(SystemSettingsDialog, CancelAfterEditingEveryPageWritesNothing) {
  Folder f;
  const std::string original = "[System]\r\nPort=2121\r\n[VirtualDir]\r\nVir0=/a/b/\r\nDir0=/c/\r\n";
  editors_test::write_file(f.ini, original);
  editors_test::write_file(f.dir + "RefuseIP.txt", "10.*\r\n");
  editors_test::Prompts prompts;
  prompts.folders = {f.dir, f.dir + "place/"};
  manager::CSystemSettingsDialog dialog(f.ini);
  edit(&dialog, "port")->setText("99");
  box(&dialog, "useWelcomeMessage")->setChecked(true);
  edit(&dialog, "maxLogChar")->setText("1");
  click(&dialog, "makeAccount");
  child<QPlainTextEdit>(&dialog, "refuseText")->setPlainText("1.2.3.4\n");
  click(child<manager::CVirtualFolderPage>(&dialog, ""), "add");
  ASSERT_TRUE(prompts.folders.empty());
  click(&dialog, "cancel");
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(editors_test::read_file(f.ini), original);
  EXPECT_EQ(editors_test::read_file(f.dir + "RefuseIP.txt"), "10.*\r\n");
}

TEST(SystemSettingsDialog, StoredGlobalIpIsKeptWhenTheAddressListCannotShowIt) {
  Folder f;
  editors_test::write_file(f.ini, "[System]\r\nGlobalIP=7\r\n");
  manager::CSystemSettingsDialog dialog(f.ini);
  auto* list = child<QComboBox>(&dialog, "globalIp");
  ASSERT_LT(list->count(), 8);
  click(&dialog, "ok");
  EXPECT_EQ(f.get("System", "GlobalIP"), "7");
}

TEST(SystemSettingsAdvance, ThePortRangeIsCheckedAndTheDialogStaysOpen) {
  editors_test::Prompts prompts;
  manager::CAdvanceDialog dialog({}, manager::derive_program_paths("/nowhere/"));
  edit(&dialog, "pasvPortLow")->setText("70000");
  click(&dialog, "ok");
  EXPECT_EQ(prompts.messages,
            std::vector<std::string>{"[PASV使用ポート制限] 0 から 65535 までの整数を入力してください。"});
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  edit(&dialog, "pasvPortLow")->setText("40000");
  edit(&dialog, "pasvPortHigh")->setText("abc");
  click(&dialog, "ok");
  EXPECT_EQ(prompts.messages.back(), "[PASV使用ポート制限] 整数を入力してください。");
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  edit(&dialog, "pasvPortHigh")->setText("40100");
  click(&dialog, "ok");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.values().pasv_port_low, 40000);
  EXPECT_EQ(dialog.values().pasv_port_high, 40100);
}

TEST(SystemSettingsAdvance, OkTakesAllValuesBackIntoTheSettingsAndCancelTakesNone) {
  Folder f;
  manager::CSystemSettingsDialog dialog(f.ini);
  editors_test::on_next_modal([](QWidget* advance) {
    EXPECT_EQ(advance->windowTitle().toStdString(), "システム設定-Advance");
    edit(advance, "pasvPortLow")->setText("50000");
    edit(advance, "pasvPortHigh")->setText("50010");
    edit(advance, "coreListenPort")->setText("54300");
    box(advance, "closeSrv")->setChecked(true);
    box(advance, "useGlobalIp")->setChecked(true);
    box(advance, "useClientGlobalIp")->setChecked(true);
    click(advance, "ok");
  });
  click(&dialog, "advance");
  editors_test::on_next_modal([](QWidget* advance) {
    EXPECT_EQ(edit(advance, "pasvPortLow")->text(), "50000");
    edit(advance, "pasvPortLow")->setText("1");
    click(advance, "cancel");
  });
  click(&dialog, "advance");
  click(&dialog, "ok");
  EXPECT_EQ(f.get("System", "PasvPortl"), "50000");
  EXPECT_EQ(f.get("System", "PasvPorth"), "50010");
  EXPECT_EQ(f.get("System", "FtpdCoreListenPort"), "54300");
  EXPECT_EQ(f.get("System", "CloseSrv"), "1");
  EXPECT_EQ(f.get("System", "UseGlobalIp"), "1");
  EXPECT_EQ(f.get("System", "UseClientGlobalIp"), "1");
}

// The service manager is a stand-in: a unit folder of the test and a systemctl that
// succeeds at everything.
struct FakeServiceManager {
  std::string units = harness::make_temp_dir("units");
  FakeServiceManager() {
    platform::set_environment_variable("VELMORAFTPD_UNIT_DIR", units);
    platform::set_environment_variable("VELMORAFTPD_SYSTEMCTL", std::string("/bin/true"));
  }
  ~FakeServiceManager() {
    platform::set_environment_variable("VELMORAFTPD_UNIT_DIR", std::nullopt);
    platform::set_environment_variable("VELMORAFTPD_SYSTEMCTL", std::nullopt);
  }
};

TEST(SystemSettingsAdvance, ARegistrationIsReportedAndItsServiceValueSavedWithOk) {
  Folder f;
  FakeServiceManager services;
  editors_test::Prompts prompts;
  manager::CSystemSettingsDialog dialog(f.ini);
  editors_test::on_next_modal([](QWidget* advance) {
    click(advance, "c1003");
    click(advance, "c1003");
    click(advance, "ok");
  });
  click(&dialog, "advance");
  EXPECT_EQ(prompts.messages, (std::vector<std::string>{"サービスを登録しました。",
                                                        "既にサービスに登録済みです。"}));
  EXPECT_TRUE(platform::path_exists(services.units + "velmoraftpd.service"));
  click(&dialog, "ok");
  EXPECT_EQ(f.get("System", "Service"), "1");
}

TEST(SystemSettingsAdvance, CancellingTheSettingsAfterARegistrationKeepsServiceZeroInTheFile) {
  Folder f;
  FakeServiceManager services;
  editors_test::Prompts prompts;
  manager::CSystemSettingsDialog dialog(f.ini);
  editors_test::on_next_modal([](QWidget* advance) {
    click(advance, "c1003");
    click(advance, "ok");
  });
  click(&dialog, "advance");
  click(&dialog, "cancel");
  EXPECT_TRUE(platform::path_exists(services.units + "velmoraftpd.service"));
  EXPECT_EQ(f.get("System", "Service"), "<absent>");
}

TEST(SystemSettingsAdvance, RemovingWhatWasNeverRegisteredSaysSo) {
  Folder f;
  FakeServiceManager services;
  editors_test::Prompts prompts;
  manager::CAdvanceDialog dialog({}, manager::derive_program_paths(f.dir));
  click(&dialog, "c1018");
  EXPECT_EQ(prompts.messages, std::vector<std::string>{"サービスには登録されていません。"});
}

}  // namespace
