#include "manager/editors/user_tab_folders.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "manager/editors/prohibition_bits.h"
#include "manager/shell/prompts.h"

namespace manager {

namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }

QPushButton* make_button(QWidget* parent, const char* name, const char* caption) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(name);
  return button;
}

}  // namespace

CFolderTab::CFolderTab(const AccountRecord& record, QWidget* parent)
    : QWidget(parent) {
  build();
  home_dir_->setText(q(record.home_dir));
  for (const FolderEntry& entry : record.folders) append_row(entry);
  show_mask();
}

void CFolderTab::build() {
  home_dir_ = new QLineEdit(this);
  home_dir_->setObjectName("homeDir");
  list_ = new QTreeWidget(this);
  list_->setObjectName("folderList");
  list_->setColumnCount(2);
  list_->setHeaderLabels({QString::fromUtf8("ディレクトリ"), QString::fromUtf8("許可")});
  list_->setColumnWidth(0, 180);
  list_->setColumnWidth(1, 100);
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);

  auto* layout = new QVBoxLayout(this);
  auto* home_row = new QHBoxLayout;
  home_row->addWidget(new QLabel(QString::fromUtf8("ホームディレクトリ："), this));
  home_row->addWidget(home_dir_);
  layout->addLayout(home_row);
  layout->addWidget(list_);
  auto* buttons = new QHBoxLayout;
  const struct {
    const char* name;
    const char* caption;
    void (CFolderTab::*slot)();
  } button_defs[] = {{"addFolder", "追加", &CFolderTab::add_folder},
                     {"removeFolder", "削除", &CFolderTab::remove_folders},
                     {"moveUp", "↑", &CFolderTab::move_up},
                     {"moveDown", "↓", &CFolderTab::move_down},
                     {"setHome", "homeに設定", &CFolderTab::set_home}};
  for (const auto& def : button_defs) {
    QPushButton* button = make_button(this, def.name, def.caption);
    connect(button, &QPushButton::clicked, this, def.slot);
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
  auto* grid = new QGridLayout;
  int index = 0;
  for (const BitBox& bit_box : folder_boxes()) {
    auto* box = new QCheckBox(QString::fromUtf8(bit_box.caption), this);
    box->setObjectName(bit_box.object_name);
    connect(box, &QCheckBox::toggled, this, &CFolderTab::box_toggled);
    boxes_.push_back(box);
    // Directory actions in the first column, file actions in the second, then the rest.
    if (index < 4) {
      grid->addWidget(box, index, 0);
    } else if (index < 9) {
      grid->addWidget(box, index - 4, 1);
    } else {
      grid->addWidget(box, index - 4, 0, 1, 2);
    }
    ++index;
  }
  layout->addLayout(grid);
  connect(list_, &QTreeWidget::currentItemChanged, this, &CFolderTab::current_changed);
  connect(list_, &QTreeWidget::itemChanged, this, &CFolderTab::label_edited);
}

void CFolderTab::append_row(const FolderEntry& entry) {
  entries_.push_back(entry);
  updating_ = true;
  auto* item = new QTreeWidgetItem(list_);
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  item->setText(0, q(entry.path));
  item->setText(1, q(permission_text(entry.mask)));
  updating_ = false;
}

void CFolderTab::redraw_row(int row) {
  updating_ = true;
  QTreeWidgetItem* item = list_->topLevelItem(row);
  item->setText(0, q(entries_[row].path));
  item->setText(1, q(permission_text(entries_[row].mask)));
  updating_ = false;
}

int CFolderTab::current_row() const {
  QTreeWidgetItem* item = list_->currentItem();
  return item ? list_->indexOfTopLevelItem(item) : -1;
}

// The check boxes show the current entry's mask; without a current entry they are off.
void CFolderTab::show_mask() {
  const int row = current_row();
  updating_ = true;
  for (size_t i = 0; i < boxes_.size(); ++i) {
    boxes_[i]->setEnabled(row >= 0);
    boxes_[i]->setChecked(row >= 0 && box_checked(folder_boxes()[i], entries_[row].mask));
  }
  updating_ = false;
}

void CFolderTab::current_changed() { show_mask(); }

void CFolderTab::box_toggled() {
  const int row = current_row();
  if (updating_ || row < 0) return;
  uint32_t mask = entries_[row].mask;
  for (size_t i = 0; i < boxes_.size(); ++i) {
    const BitBox& bit_box = folder_boxes()[i];
    if (sender() == boxes_[i]) mask = apply_box(bit_box, mask, boxes_[i]->isChecked());
  }
  entries_[row].mask = mask;
  redraw_row(row);
}

// An edited label becomes the entry's path. An emptied label is not taken: an empty
// Dir<n> ends the list on disk and would drop every folder after it.
void CFolderTab::label_edited(QTreeWidgetItem* item, int column) {
  if (updating_ || column != 0) return;
  const int row = list_->indexOfTopLevelItem(item);
  if (row < 0) return;
  const std::string text = item->text(0).toStdString();
  if (!text.empty()) entries_[row].path = text;
  redraw_row(row);
}

void CFolderTab::add_folder() {
  const std::optional<std::string> folder = choose_folder(this, home_dir_->text().toStdString());
  if (!folder || folder->empty()) return;
  append_row({*folder, 0});
}

void CFolderTab::remove_folders() {
  for (int row = list_->topLevelItemCount() - 1; row >= 0; --row) {
    if (!list_->topLevelItem(row)->isSelected()) continue;
    delete list_->takeTopLevelItem(row);
    entries_.erase(entries_.begin() + row);
  }
  list_->setCurrentItem(nullptr);
  show_mask();
}

void CFolderTab::move_current(int delta) {
  const int row = current_row();
  const int other = row + delta;
  if (row < 0 || other < 0 || other >= static_cast<int>(entries_.size())) return;
  std::swap(entries_[row], entries_[other]);
  redraw_row(row);
  redraw_row(other);
  list_->clearSelection();
  list_->setCurrentItem(list_->topLevelItem(other));
  list_->topLevelItem(other)->setSelected(true);
}

void CFolderTab::set_home() {
  const int row = current_row();
  if (row < 0) {
    show_message(this, "リストから選択してください。");
    return;
  }
  home_dir_->setText(q(entries_[row].path));
}

void CFolderTab::collect(AccountRecord& record) const {
  record.home_dir = home_dir_->text().toStdString();
  record.folders = entries_;
}

}  // namespace manager
