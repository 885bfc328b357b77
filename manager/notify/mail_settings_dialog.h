// "メールの設定": the SMTP server, its port, STARTTLS, the login and the sender address of
// the account mail.
#pragma once
#include <QDialog>
#include <string>

#include "manager/notify/account_mail.h"

class QComboBox;
class QLineEdit;

namespace manager {

class CMailSettingsDialog : public QDialog {
  Q_OBJECT
 public:
  CMailSettingsDialog(const MailServerSettings& settings, QWidget* parent = nullptr);
  // Takes the entries; false (after naming the bad field, which gets the focus) when the
  // port is not 1 to 65535.
  bool take(MailServerSettings& settings);
  std::string smtp_server() const;
  std::string sender() const;

 private:
  QLineEdit* smtp_ = nullptr;
  QLineEdit* port_ = nullptr;
  QComboBox* tls_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLineEdit* sender_ = nullptr;
};

}  // namespace manager
