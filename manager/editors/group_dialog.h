// The dialog "グループ登録": the group files (.grp) of the user folder.
#pragma once
#include <QDialog>
#include <string>

class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace manager {

class CGroupDialog : public QDialog {
  Q_OBJECT
 public:
  CGroupDialog(std::string user_dir, std::string ini_file, QWidget* parent = nullptr);

 private slots:
  void add_group();
  void open_group(QListWidgetItem* item);
  void delete_group();

 private:
  void fill();

  std::string user_dir_;
  std::string ini_file_;
  QListWidget* list_;
  QLineEdit* name_;
};

void run_group_dialog(QWidget* parent, const std::string& user_dir, const std::string& ini_file);

}  // namespace manager
