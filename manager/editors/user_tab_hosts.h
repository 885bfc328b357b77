// Page "禁止ホスト" of the user settings: the prohibited hosts (and the hidden list of
// prohibited mail addresses, kept as it is).
#pragma once
#include <QWidget>
#include <string>
#include <vector>

#include "manager/editors/account_record.h"

class QLineEdit;
class QListWidget;

namespace manager {

class CHostTab : public QWidget {
  Q_OBJECT
 public:
  explicit CHostTab(const AccountRecord& record, QWidget* parent = nullptr);
  void collect(AccountRecord& record) const;

 private slots:
  void add_host() { add_entry(host_list_, host_edit_); }
  void remove_host() { remove_entry(host_list_); }
  void add_mail() { add_entry(mail_list_, mail_edit_); }
  void remove_mail() { remove_entry(mail_list_); }

 private:
  void add_entry(QListWidget* list, QLineEdit* edit);
  void remove_entry(QListWidget* list);
  static std::vector<std::string> texts(const QListWidget* list);

  QListWidget* host_list_;
  QLineEdit* host_edit_;
  QListWidget* mail_list_;
  QLineEdit* mail_edit_;
};

}  // namespace manager
