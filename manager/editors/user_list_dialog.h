// The dialog "ユーザーリスト" with the user settings and group registration dialogs.
#pragma once
#include <QDialog>
#include <string>
#include <vector>

class QPoint;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace manager {

// One row of the list, read from a user file.
struct UserListRow {
  std::string name;          // file name without ".usr"
  std::string group;         // Group when UseGroup is set, else "none"
  std::string last_connect;  // LastConnect, "yet" when absent
};

// The rows of the "*.usr" files of user_dir in directory order; between files
// between_files is called (the dialog keeps processing window events there).
std::vector<UserListRow> read_user_rows(const std::string& user_dir,
                                        void (*between_files)() = nullptr);
// Deletes <name>.usr (with the lock file beside it), <name>.mlg and <name>.flg of user_dir
// (missing files are ignored).
void delete_user_files(const std::string& user_dir, const std::string& name);

class CUserListDialog : public QDialog {
  Q_OBJECT
 public:
  // ini_file: velmoraFTPd.ini (the registered plug-ins of the user settings).
  CUserListDialog(std::string user_dir, std::string ini_file, QWidget* parent = nullptr);
  void fill();
  // Opens the status dialog of the user in row.
  void show_status(int row);

 private slots:
  void add_user();
  void edit_user();
  void edit_default();
  void delete_users();
  void open_groups();
  void sort_by(int column);
  void context_menu(const QPoint& position);
  void remember_current();

 private:
  std::string user_dir_;
  std::string ini_file_;
  QTreeWidget* list_;
  int current_ = -1;
};

// The folder's velmoraFTPd.ini for a user folder ("<program>/user/" -> "<program>/").
std::string ini_file_for_user_dir(const std::string& user_dir);

void run_user_list_dialog(QWidget* parent, const std::string& user_dir);

}  // namespace manager
