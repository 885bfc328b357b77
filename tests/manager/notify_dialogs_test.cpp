// The notification dialogs as the operator uses them: "自動IP通知" loads and writes
// [AutoIP], refuses non-integers and fills the template fields from the file chooser;
// "メール本文作成" edits mail.txt and the subject; "メールの設定" edits server and sender.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <string>
#include <vector>

#include "manager/notify/account_mail.h"
#include "manager/notify/auto_ip_dialog.h"
#include "manager/notify/mail_body_dialog.h"
#include "manager/notify/mail_settings_dialog.h"
#include "manager/notify/notice.h"
#include "manager/shell/prompts.h"
#include "platform/files.h"
#include "tests/support/harness.h"

namespace {

template <typename T>
T* child(QWidget& parent, const char* name) {
  T* found = parent.findChild<T*>(name);
  EXPECT_NE(found, nullptr) << name;
  return found;
}

bool has_label(QWidget& parent, const char* text) {
  for (QLabel* label : parent.findChildren<QLabel*>())
    if (label->text() == QString::fromUtf8(text)) return true;
  return false;
}

std::string text_of(QWidget& parent, const char* name) {
  return child<QLineEdit>(parent, name)->text().toStdString();
}

// The key names of one section, in file order.
std::vector<std::string> keys_in_order(const std::string& file, const std::string& section) {
  const std::string text = platform::read_whole_file(file).value_or("");
  std::vector<std::string> keys;
  bool inside = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("["))
      inside = line == "[" + section + "]";
    else if (inside && line.find('=') != std::string::npos)
      keys.push_back(line.substr(0, line.find('=')));
    pos = end + 1;
  }
  return keys;
}

struct Prompts {
  std::vector<std::string> messages;
  std::vector<std::string> filters;
  std::optional<std::string> chosen;
  Prompts() {
    manager::PromptHook hook;
    hook.message = [this](const std::string& t) { messages.push_back(t); };
    hook.open_file = [this](const std::string& filter) {
      filters.push_back(filter);
      return chosen;
    };
    manager::set_prompt_hook(hook);
  }
  ~Prompts() { manager::set_prompt_hook({}); }
};

// ---- 自動IP通知 -----------------------------------------------------------------------------

TEST(AutoIpDialog, ShowsTheStoredSettings) {
  const std::string dir = harness::make_temp_dir("autoip-dialog");
  const std::string ini = dir + "velmoraFTPd.ini";
  platform::write_file_atomically(
      ini,
      "[AutoIP]\r\nQuorSrv=ftp.example.org\r\nPort=2121\r\nUser=board\r\nPassWord=pw\r\n"
      "UpFileName=state.html\r\nTempFile1=/t/run.html\r\nTempFile2=/t/end.html\r\n"
      "CheckTime=30\r\nUseAutoIPMode=1\r\nUploadChangeCon=1\r\nUploadForce=1\r\n");
  manager::CAutoIpDialog dialog(ini);
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("自動IP通知"));
  EXPECT_EQ(text_of(dialog, "server"), "ftp.example.org");
  EXPECT_EQ(text_of(dialog, "port"), "2121");
  EXPECT_EQ(text_of(dialog, "user"), "board");
  EXPECT_EQ(text_of(dialog, "password"), "pw");
  EXPECT_EQ(text_of(dialog, "upFileName"), "state.html");
  EXPECT_EQ(text_of(dialog, "tempFile1"), "/t/run.html");
  EXPECT_EQ(text_of(dialog, "tempFile2"), "/t/end.html");
  EXPECT_EQ(text_of(dialog, "checkTime"), "30");
  EXPECT_TRUE(child<QCheckBox>(dialog, "useAutoIpMode")->isChecked());
  EXPECT_FALSE(child<QCheckBox>(dialog, "uploadChangeIp")->isChecked());
  EXPECT_TRUE(child<QCheckBox>(dialog, "uploadChangeCon")->isChecked());
  EXPECT_FALSE(child<QCheckBox>(dialog, "uploadChangeEnd")->isChecked());
  EXPECT_TRUE(child<QCheckBox>(dialog, "uploadForce")->isChecked());
  EXPECT_EQ(child<QCheckBox>(dialog, "uploadForce")->text(),
            QString::fromUtf8("無条件でアップロードする。"));
  EXPECT_TRUE(has_label(dialog, "ポート（通常21）："));
  EXPECT_TRUE(has_label(dialog, "分ごと"));
  EXPECT_EQ(child<QAbstractButton>(dialog, "browse1")->text(), QString::fromUtf8("参照"));
  EXPECT_EQ(child<QAbstractButton>(dialog, "help")->text(), QString("Help"));
}

TEST(AutoIpDialog, OkWritesEveryKeyInItsOrder) {
  Prompts prompts;
  const std::string dir = harness::make_temp_dir("autoip-dialog");
  const std::string ini = dir + "velmoraFTPd.ini";
  manager::CAutoIpDialog dialog(ini);
  child<QLineEdit>(dialog, "server")->setText("10.0.0.5");
  child<QLineEdit>(dialog, "port")->setText(" 2100 ");
  child<QLineEdit>(dialog, "checkTime")->setText("15");
  child<QLineEdit>(dialog, "password")->setText("s3cret");
  child<QCheckBox>(dialog, "useAutoIpMode")->setChecked(true);
  child<QCheckBox>(dialog, "uploadChangeEnd")->setChecked(true);
  child<QAbstractButton>(dialog, "ok")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(keys_in_order(ini, "AutoIP"),
            (std::vector<std::string>{"QuorSrv", "User", "PassWord", "TempFile1", "TempFile2",
                                      "UpFileName", "Port", "CheckTime", "UseAutoIPMode",
                                      "UploadChangeIP", "UploadChangeCon", "UploadChangeEnd",
                                      "UploadForce", "Passive"}));
  const manager::AutoIpSettings a = manager::load_auto_ip_settings(ini);
  EXPECT_EQ(a.server, "10.0.0.5");
  EXPECT_EQ(a.port, 2100);
  EXPECT_EQ(a.check_minutes, 15);
  EXPECT_EQ(a.password, "s3cret");
  EXPECT_TRUE(a.enabled && a.at_end);
  EXPECT_FALSE(a.force || a.on_connection_change || a.on_ip_change);
}

TEST(AutoIpDialog, ANonIntegerPortOrCheckTimeIsRefusedAndNothingWritten) {
  Prompts prompts;
  const std::string dir = harness::make_temp_dir("autoip-dialog");
  const std::string ini = dir + "velmoraFTPd.ini";
  manager::CAutoIpDialog dialog(ini);
  child<QLineEdit>(dialog, "port")->setText("21a");
  child<QAbstractButton>(dialog, "ok")->click();
  child<QLineEdit>(dialog, "port")->setText("21");
  child<QLineEdit>(dialog, "checkTime")->setText("");
  child<QAbstractButton>(dialog, "ok")->click();
  EXPECT_EQ(prompts.messages, (std::vector<std::string>{"[ポート（通常21）] 整数を入力してください。",
                                                         "[チェック間隔] 整数を入力してください。"}));
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(platform::path_exists(ini));
}

// A negative interval (once an upload every second) and ports outside 1 to 65535, however
// many digits, are refused with the field's range; the field gets the focus.
TEST(AutoIpDialog, ThePortAndTheIntervalMustBeInRange) {
  Prompts prompts;
  const std::string ini = harness::make_temp_dir("autoip-range") + "velmoraFTPd.ini";
  manager::CAutoIpDialog dialog(ini);
  dialog.show();
  const std::string port_range = "[ポート（通常21）] 1 から 65535 までの整数を入力してください。";
  for (const char* port : {"0", "65536", "99999999999999999999999"}) {
    prompts.messages.clear();
    child<QLineEdit>(dialog, "port")->setText(port);
    child<QAbstractButton>(dialog, "ok")->click();
    EXPECT_EQ(prompts.messages, std::vector<std::string>{port_range}) << port;
    EXPECT_EQ(dialog.focusWidget(), child<QLineEdit>(dialog, "port"));
  }
  child<QLineEdit>(dialog, "port")->setText("21");
  child<QLineEdit>(dialog, "checkTime")->setText("-1");
  prompts.messages.clear();
  child<QAbstractButton>(dialog, "ok")->click();
  EXPECT_EQ(prompts.messages,
            std::vector<std::string>{"[チェック間隔] 0 から 35791394 までの整数を入力してください。"});
  EXPECT_EQ(dialog.focusWidget(), child<QLineEdit>(dialog, "checkTime"));
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(platform::path_exists(ini));
}

TEST(AutoIpDialog, CancelWritesNothing) {
  const std::string dir = harness::make_temp_dir("autoip-dialog");
  const std::string ini = dir + "velmoraFTPd.ini";
  manager::CAutoIpDialog dialog(ini);
  child<QLineEdit>(dialog, "server")->setText("changed");
  child<QAbstractButton>(dialog, "cancel")->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_FALSE(platform::path_exists(ini));
}

TEST(AutoIpDialog, BrowsePutsTheChosenFileIntoItsTemplateField) {
  Prompts prompts;
  const std::string dir = harness::make_temp_dir("autoip-dialog");
  manager::CAutoIpDialog dialog(dir + "velmoraFTPd.ini");
  child<QLineEdit>(dialog, "tempFile2")->setText("/old/end.html");
  prompts.chosen = "/srv/templates/run.html";
  child<QAbstractButton>(dialog, "browse1")->click();
  EXPECT_EQ(text_of(dialog, "tempFile1"), "/srv/templates/run.html");
  EXPECT_EQ(text_of(dialog, "tempFile2"), "/old/end.html");
  prompts.chosen.reset();  // the operator cancels the chooser
  child<QAbstractButton>(dialog, "browse2")->click();
  EXPECT_EQ(text_of(dialog, "tempFile2"), "/old/end.html");
  ASSERT_EQ(prompts.filters.size(), 2u);
  EXPECT_TRUE(prompts.filters[0].starts_with("全ファイル(*.*)")) << prompts.filters[0];
}

// ---- メール本文作成 ---------------------------------------------------------------------------

TEST(MailBodyDialog, StartsWithTheDefaultBodyAndTheTabsSubject) {
  const std::string dir = harness::make_temp_dir("mail-dialog");
  manager::CMailBodyDialog dialog(dir + "velmoraFTPd.ini", "Welcome aboard");
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("メール本文作成"));
  EXPECT_EQ(text_of(dialog, "title"), "Welcome aboard");
  EXPECT_EQ(child<QPlainTextEdit>(dialog, "body")->toPlainText().toStdString(),
            manager::default_mail_body());
  EXPECT_TRUE(has_label(dialog, "タイトル："));
  EXPECT_TRUE(has_label(dialog, "使用可能タグ：ユーザー名($USER$)  パスワード($PASS$)"));
  EXPECT_FALSE(platform::path_exists(dir + "mail.txt"));
}

TEST(MailBodyDialog, OkWritesMailTxtAndTakesTheSubject) {
  const std::string dir = harness::make_temp_dir("mail-dialog");
  platform::write_file_atomically(dir + "mail.txt", "old line\r\nsecond\r\n");
  manager::CMailBodyDialog dialog(dir + "velmoraFTPd.ini", "Old subject");
  QPlainTextEdit* body = child<QPlainTextEdit>(dialog, "body");
  EXPECT_EQ(body->toPlainText().toStdString(), "old line\nsecond\n");
  body->setPlainText("Hello $USER$\nyour password: $PASS$\n");
  child<QLineEdit>(dialog, "title")->setText("New subject");
  child<QAbstractButton>(dialog, "ok")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.saved());
  EXPECT_EQ(dialog.subject(), "New subject");
  EXPECT_EQ(platform::read_whole_file(dir + "mail.txt").value_or("?"),
            "Hello $USER$\nyour password: $PASS$\n");
}

TEST(MailBodyDialog, AnUnwritableMailTxtKeepsTheOldSubject) {
  const std::string dir = harness::make_temp_dir("mail-dialog");
  manager::CMailBodyDialog dialog(dir + "missing-folder/velmoraFTPd.ini", "Old subject");
  child<QLineEdit>(dialog, "title")->setText("New subject");
  child<QAbstractButton>(dialog, "ok")->click();
  EXPECT_FALSE(dialog.saved());
  EXPECT_EQ(dialog.subject(), "Old subject");
}

TEST(MailBodyDialog, CancelChangesNothing) {
  const std::string dir = harness::make_temp_dir("mail-dialog");
  manager::CMailBodyDialog dialog(dir + "velmoraFTPd.ini", "Subject");
  child<QPlainTextEdit>(dialog, "body")->setPlainText("changed");
  child<QAbstractButton>(dialog, "cancel")->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_FALSE(platform::path_exists(dir + "mail.txt"));
}

TEST(MailBodyDialog, EnterBreaksTheLineAndEscDoesNotClose) {
  const std::string dir = harness::make_temp_dir("mail-dialog");
  manager::CMailBodyDialog dialog(dir + "velmoraFTPd.ini", "Subject");
  dialog.show();
  QPlainTextEdit* body = child<QPlainTextEdit>(dialog, "body");
  body->setPlainText("ab");
  body->moveCursor(QTextCursor::End);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
  QCoreApplication::sendEvent(body, &enter);
  EXPECT_EQ(body->toPlainText().toStdString(), "ab\n");
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(&dialog, &escape);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_FALSE(platform::path_exists(dir + "mail.txt"));
}

// ---- メールの設定 -----------------------------------------------------------------------------

TEST(MailSettingsDialog, ShowsAndReturnsServerAndSender) {
  manager::CMailSettingsDialog dialog({"smtp.example.org", "admin@example.org"});
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("メールの設定"));
  EXPECT_EQ(text_of(dialog, "smtp"), "smtp.example.org");
  EXPECT_EQ(text_of(dialog, "sender"), "admin@example.org");
  child<QLineEdit>(dialog, "smtp")->setText("mx.example.net");
  child<QLineEdit>(dialog, "sender")->setText("");
  child<QAbstractButton>(dialog, "ok")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.smtp_server(), "mx.example.net");
  EXPECT_EQ(dialog.sender(), "");
}

// The port, STARTTLS and the login reach the settings; a port out of range keeps the
// dialog open.
TEST(MailSettingsDialog, PortStartTlsAndLoginAreEditedAndThePortChecked) {
  Prompts prompts;
  manager::MailServerSettings settings{"smtp.example.org", "admin@example.org"};
  manager::CMailSettingsDialog dialog(settings);
  EXPECT_EQ(text_of(dialog, "smtpPort"), "25");
  EXPECT_EQ(child<QComboBox>(dialog, "smtpTls")->currentIndex(), 1);
  child<QLineEdit>(dialog, "smtpPort")->setText("70000");
  child<QAbstractButton>(dialog, "ok")->click();
  EXPECT_EQ(prompts.messages,
            std::vector<std::string>{"[ポート] 1 から 65535 までの整数を入力してください。"});
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  child<QLineEdit>(dialog, "smtpPort")->setText("587");
  child<QComboBox>(dialog, "smtpTls")->setCurrentIndex(2);
  child<QLineEdit>(dialog, "smtpUser")->setText("mailer");
  child<QLineEdit>(dialog, "smtpPassword")->setText("pw");
  child<QAbstractButton>(dialog, "ok")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  ASSERT_TRUE(dialog.take(settings));
  EXPECT_EQ(settings.port, 587);
  EXPECT_EQ(settings.tls, 2);
  EXPECT_EQ(settings.user, "mailer");
  EXPECT_EQ(settings.password, "pw");
}

}  // namespace
