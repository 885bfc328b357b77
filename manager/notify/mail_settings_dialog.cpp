#include "manager/notify/mail_settings_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "manager/notify/account_mail.h"

namespace manager {

CMailSettingsDialog::CMailSettingsDialog(const std::string& smtp_server, const std::string& sender,
                                         QWidget* parent)
    : QDialog(parent) {
  setWindowTitle("メールの設定");
  auto* form = new QFormLayout(this);
  smtp_ = new QLineEdit(QString::fromStdString(smtp_server), this);
  smtp_->setObjectName("smtp");
  sender_ = new QLineEdit(QString::fromStdString(sender), this);
  sender_->setObjectName("sender");
  form->addRow("SMTPサーバー：", smtp_);
  form->addRow("返信用メールアドレス：", sender_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::string CMailSettingsDialog::smtp_server() const { return smtp_->text().toStdString(); }
std::string CMailSettingsDialog::sender() const { return sender_->text().toStdString(); }

bool run_mail_settings_dialog(QWidget* parent, std::string& smtp_server, std::string& sender) {
  CMailSettingsDialog dialog(smtp_server, sender, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  smtp_server = dialog.smtp_server();
  sender = dialog.sender();
  return true;
}

}  // namespace manager
