// Page "未登録IDの接続" of the system settings: what the Core does with a login name that
// has no account file, the group of accounts it creates, and the account mail set-up.
#pragma once
#include <QWidget>
#include <string>
#include <vector>

#include "manager/editors/system_settings.h"

class QCheckBox;
class QComboBox;
class QPushButton;

namespace manager {

// Names of the "*.grp" files of user_dir without extension, in directory order (empty when
// the folder cannot be read).
std::vector<std::string> group_names(const std::string& user_dir);
// Index of the first name that begins with stored (ignoring letter case), or -1.
int matching_group(const std::vector<std::string>& names, const std::string& stored);

class CUnknownIdPage : public QWidget {
  Q_OBJECT
 public:
  CUnknownIdPage(SystemSettings& settings, std::string ini_file, std::string user_dir,
                 QWidget* parent = nullptr);
  void show_values();
  void take_values();

 private slots:
  void choose_refuse();
  void choose_mail_password();
  void choose_make_account();
  void on_mail_body();
  void on_mail_settings();

 private:
  void apply_mode(int refuse, int mail_pass, int make_account);

  SystemSettings& settings_;
  std::string ini_file_;
  std::string user_dir_;
  QCheckBox* refuse_ = nullptr;
  QCheckBox* mail_pass_ = nullptr;
  QCheckBox* make_account_ = nullptr;
  QComboBox* group_ = nullptr;
  QPushButton* mail_body_ = nullptr;
  QPushButton* mail_settings_ = nullptr;
};

}  // namespace manager
