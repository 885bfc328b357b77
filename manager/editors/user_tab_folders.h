// Page "ディレクトリ操作" of the user settings: the home folder and the folder list with
// the operations permitted in each folder.
#pragma once
#include <QWidget>
#include <vector>

#include "manager/editors/account_record.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace manager {

class CFolderTab : public QWidget {
  Q_OBJECT
 public:
  explicit CFolderTab(const AccountRecord& record, QWidget* parent = nullptr);
  void collect(AccountRecord& record) const;
  const std::vector<FolderEntry>& entries() const { return entries_; }

 private slots:
  void add_folder();
  void remove_folders();
  void current_changed();
  void label_edited(QTreeWidgetItem* item, int column);
  void box_toggled();
  void move_up() { move_current(-1); }
  void move_down() { move_current(1); }
  void set_home();

 private:
  void build();
  void append_row(const FolderEntry& entry);
  void redraw_row(int row);
  void show_mask();
  void move_current(int delta);
  int current_row() const;

  std::vector<FolderEntry> entries_;
  QLineEdit* home_dir_;
  QTreeWidget* list_;
  std::vector<QCheckBox*> boxes_;
  bool updating_ = false;
};

}  // namespace manager
