// "メールの設定": the SMTP server and the sender address of the account mail.
#pragma once
#include <QDialog>
#include <string>

class QLineEdit;

namespace manager {

class CMailSettingsDialog : public QDialog {
  Q_OBJECT
 public:
  CMailSettingsDialog(const std::string& smtp_server, const std::string& sender,
                      QWidget* parent = nullptr);
  std::string smtp_server() const;
  std::string sender() const;

 private:
  QLineEdit* smtp_ = nullptr;
  QLineEdit* sender_ = nullptr;
};

}  // namespace manager
