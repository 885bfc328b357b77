// Page "ユーザー別" of the user settings: the user's forbidden operations, passive mode
// and the user's own messages.
#pragma once
#include <QWidget>
#include <string>
#include <vector>

#include "manager/editors/account_record.h"

class QCheckBox;
class QGridLayout;

namespace manager {

class CPerUserTab : public QWidget {
  Q_OBJECT
 public:
  explicit CPerUserTab(const AccountRecord& record, QWidget* parent = nullptr);
  void collect(AccountRecord& record) const;

 private slots:
  void edit_complete() { edit(message_226_, "正常メッセージ"); }
  void edit_known_id() { edit(message_3310_, "ID入力時"); }
  void edit_logon() { edit(message_230_, "LogOn時"); }

 private:
  void build();
  QCheckBox* add_message_row(QGridLayout* grid, int row, const char* name,
                             const char* caption, const char* button_name,
                             void (CPerUserTab::*slot)());
  void edit(std::string& text, const char* caption);

  std::vector<QCheckBox*> kinshi_;
  QCheckBox* pasv_;
  QCheckBox* require_tls_;
  QCheckBox* use_complete_;
  QCheckBox* use_known_id_;
  QCheckBox* use_logon_;
  std::string message_226_;
  std::string message_3310_;
  std::string message_230_;
  uint32_t kinshi_loaded_;
};

}  // namespace manager
