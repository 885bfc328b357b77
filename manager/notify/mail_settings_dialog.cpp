#include "manager/notify/mail_settings_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "manager/editors/editor_fields.h"

namespace manager {
namespace {

QLineEdit* line_edit(QWidget* parent, const char* name, const std::string& text) {
  auto* edit = new QLineEdit(QString::fromStdString(text), parent);
  edit->setObjectName(name);
  return edit;
}

}  // namespace

CMailSettingsDialog::CMailSettingsDialog(const MailServerSettings& settings, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle("メールの設定");
  auto* form = new QFormLayout(this);
  smtp_ = line_edit(this, "smtp", settings.server);
  port_ = line_edit(this, "smtpPort", std::to_string(settings.port));
  tls_ = new QComboBox(this);
  tls_->setObjectName("smtpTls");
  tls_->addItems({"使わない", "サーバーが対応していれば使う", "必ず使う（証明書を確認する）"});
  tls_->setCurrentIndex(settings.tls >= 0 && settings.tls <= 2 ? settings.tls : 1);
  user_ = line_edit(this, "smtpUser", settings.user);
  password_ = line_edit(this, "smtpPassword", settings.password);
  password_->setEchoMode(QLineEdit::Password);
  sender_ = line_edit(this, "sender", settings.sender);
  form->addRow("SMTPサーバー：", smtp_);
  form->addRow("ポート（通常25、送信用587）：", port_);
  form->addRow("STARTTLS：", tls_);
  form->addRow("認証ユーザー（空なら認証しない）：", user_);
  form->addRow("認証パスワード：", password_);
  form->addRow("返信用メールアドレス：", sender_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    MailServerSettings taken;
    if (take(taken)) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool CMailSettingsDialog::take(MailServerSettings& s) {
  if (!take_int(this, port_, port_check("ポート"), s.port)) return false;
  s.server = smtp_->text().toStdString();
  s.sender = sender_->text().toStdString();
  s.tls = tls_->currentIndex();
  s.user = user_->text().toStdString();
  s.password = password_->text().toStdString();
  return true;
}

std::string CMailSettingsDialog::smtp_server() const { return smtp_->text().toStdString(); }
std::string CMailSettingsDialog::sender() const { return sender_->text().toStdString(); }

bool run_mail_settings_dialog(QWidget* parent, MailServerSettings& settings) {
  CMailSettingsDialog dialog(settings, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  return dialog.take(settings);
}

}  // namespace manager
