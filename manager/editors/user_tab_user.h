// Page "ユーザー" of the user settings: name, password, group, e-mail, credit and the
// user's own home folder.
#pragma once
#include <QWidget>
#include <string>

#include "manager/editors/account_record.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace manager {

// Names of the "*.grp" files of a folder (without extension), in directory order.
std::vector<std::string> account_group_names(const std::string& folder);

class CUserTab : public QWidget {
  Q_OBJECT
 public:
  // group_folder: where the "*.grp" files of the group list are found.
  CUserTab(const AccountRecord& record, AccountMode mode, const std::string& group_folder,
           QWidget* parent = nullptr);
  bool uses_group() const;
  // Takes the page's entries into record; false (after telling the operator) when an
  // entry is not valid.
  bool collect(AccountRecord& record);
  void set_name(const std::string& name);

 private slots:
  void need_password_changed(bool checked);
  void need_email_changed(bool checked);
  void use_group_changed(bool checked);
  void saved_credit_changed(bool checked);
  void show_credit();
  void choose_home();

 private:
  void build();
  void fill_groups(const std::string& folder, const std::string& selected);
  void show_record(const AccountRecord& record);
  void apply_mode();

  AccountMode mode_;
  QLineEdit* name_;
  QLineEdit* password_;
  QCheckBox* anonymous_;
  QCheckBox* need_password_;
  QCheckBox* need_email_;
  QCheckBox* use_group_;
  QComboBox* group_list_;
  QLineEdit* email_;
  QCheckBox* refuse_user_;
  QCheckBox* saved_credit_;
  QLineEdit* now_credit_;
  QPushButton* show_credit_;
  QLineEdit* credit_text_;
  QLineEdit* user_home_;
  QPushButton* choose_home_;
};

}  // namespace manager
