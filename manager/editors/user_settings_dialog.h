// The tabbed dialog "ユーザー設定" over one user, group or template file.
#pragma once
#include <QDialog>
#include <string>

#include "manager/editors/account_record.h"

class QTabWidget;

namespace manager {

class CUserTab;
class CFolderTab;
class CLimitTab;
class CHostTab;
class CPerUserTab;
class CUserPluginPage;

class CUserSettingsDialog : public QDialog {
  Q_OBJECT
 public:
  // source: the file read; target: the file written (modes 0, 3), the user file whose
  // folder and name are kept (mode 1), or the user folder (mode 2, name from the page).
  // ini_file: velmoraFTPd.ini (the registered plug-ins).
  CUserSettingsDialog(std::string source, std::string target, AccountMode mode,
                      std::string ini_file, QWidget* parent = nullptr);
  // What OK does: checks the pages, asks when a new user would replace one, writes the
  // file. True when it was written.
  bool save();
  // The file written by the last successful save.
  const std::string& written_file() const { return written_; }

 private slots:
  void tab_changed(int index);
  void ok_clicked();
  void help_clicked();

 private:
  bool collect(AccountRecord& record);
  std::optional<std::string> resolve_target(const AccountRecord& record);
  bool confirm_homes(const AccountRecord& record);
  bool make_home(const AccountRecord& record);

  std::string program_dir_;   // the folder of velmoraFTPd.ini
  std::string default_home_;  // program_dir_ + "ftproot/": the home of a file without one
  std::string source_;
  std::string target_;
  AccountMode mode_;
  std::string written_;
  QTabWidget* tabs_;
  CUserTab* user_tab_;
  CFolderTab* folder_tab_;
  CLimitTab* limit_tab_;
  CHostTab* host_tab_;
  CPerUserTab* per_user_tab_;
  CUserPluginPage* plugin_tab_;
  int shown_tab_ = 0;
  bool switching_ = false;
};

// The user-file name of a path: the part after the last '/' without ".usr".
std::string account_name_of(const std::string& user_file);
// The folder part of a path, ending with '/'.
std::string folder_of(const std::string& path);

// Constructs the dialog and runs it; true when it was closed with OK.
bool run_user_settings_dialog(QWidget* parent, const std::string& source,
                              const std::string& target, AccountMode mode,
                              const std::string& ini_file);

}  // namespace manager
