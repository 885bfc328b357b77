#include "manager/editors/user_list_dialog.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "manager/editors/account_record.h"
#include "manager/editors/editor_buttons.h"
#include "manager/editors/group_dialog.h"
#include "manager/editors/user_settings_dialog.h"
#include "manager/shell/help.h"
#include "manager/shell/prompts.h"
#include "manager/shell/user_status_dialog.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "shared/ini.h"

namespace manager {

namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }

void process_events() { QCoreApplication::processEvents(); }

}  // namespace

std::vector<UserListRow> read_user_rows(const std::string& user_dir, void (*between_files)()) {
  std::vector<platform::DirEntry> entries;
  std::vector<UserListRow> rows;
  if (!platform::scan_directory(user_dir + "*.usr", entries)) return rows;
  for (const platform::DirEntry& e : entries) {
    if (e.info.is_directory || e.name.size() < 4) continue;
    const shared::IniFile ini(user_dir + e.name);
    UserListRow row;
    row.name = e.name.substr(0, e.name.size() - 4);
    row.group = ini.get_int("UserInfo", "UseGroup", 0) != 0 ? ini.get("UserInfo", "Group", "none", 255)
                                                           : "none";
    row.last_connect = ini.get("UserInfo", "LastConnect", "yet", 255);
    rows.push_back(std::move(row));
    if (between_files) between_files();
  }
  return rows;
}

void delete_user_files(const std::string& user_dir, const std::string& name) {
  platform::remove_profile_file(user_dir + name + ".usr");  // with its ".<name>.usr.lock"
  for (const char* extension : {".mlg", ".flg"}) {
    platform::remove_file(user_dir + name + extension);
  }
}

std::string ini_file_for_user_dir(const std::string& user_dir) {
  std::string folder = user_dir;
  if (!folder.empty() && folder.back() == '/') folder.pop_back();
  return folder_of(folder) + "velmoraFTPd.ini";
}

CUserListDialog::CUserListDialog(std::string user_dir, std::string ini_file, QWidget* parent)
    : QDialog(parent), user_dir_(std::move(user_dir)), ini_file_(std::move(ini_file)) {
  setWindowTitle(QString::fromUtf8("ユーザーリスト"));
  list_ = new QTreeWidget(this);
  list_->setObjectName("userList");
  list_->setColumnCount(3);
  list_->setHeaderLabels({QString::fromUtf8("ユーザー名"), QString::fromUtf8("グループ"),
                          QString::fromUtf8("最終接続日")});
  list_->setColumnWidth(0, 120);
  list_->setColumnWidth(1, 120);
  list_->setColumnWidth(2, 80);
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_->header()->setSectionsClickable(true);

  auto* buttons = new QHBoxLayout;
  const struct {
    const char* name;
    const char* caption;
    void (CUserListDialog::*slot)();
  } button_defs[] = {{"addUser", "追加", &CUserListDialog::add_user},
                     {"editUser", "編集", &CUserListDialog::edit_user},
                     {"deleteUser", "削除", &CUserListDialog::delete_users},
                     {"defaultUser", "デフォルト", &CUserListDialog::edit_default},
                     {"groups", "グループ", &CUserListDialog::open_groups}};
  for (const auto& def : button_defs) {
    QPushButton* button = make_button(this, QString::fromUtf8(def.caption), def.name);
    connect(button, &QPushButton::clicked, this, def.slot);
    buttons->addWidget(button);
  }
  QPushButton* help = make_button(this, QStringLiteral("Help"), "help");
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("ok");
  buttons->addStretch(1);
  buttons->addWidget(help);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(buttons);

  connect(help, &QPushButton::clicked, this, [] { open_help("ユーザーリスト"); });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] {
    remember_current();
    edit_user();
  });
  connect(list_, &QTreeWidget::itemClicked, this, &CUserListDialog::remember_current);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &CUserListDialog::remember_current);
  connect(list_->header(), &QHeaderView::sectionClicked, this, &CUserListDialog::sort_by);
  connect(list_, &QTreeWidget::customContextMenuRequested, this, &CUserListDialog::context_menu);
  fill();
}

void CUserListDialog::fill() {
  list_->clear();
  current_ = -1;
  for (const UserListRow& row : read_user_rows(user_dir_, process_events)) {
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, q(row.name));
    item->setText(1, q(row.group));
    item->setText(2, q(row.last_connect));
  }
}

// The first selected row becomes the current row.
void CUserListDialog::remember_current() {
  for (int row = 0; row < list_->topLevelItemCount(); ++row) {
    if (list_->topLevelItem(row)->isSelected()) {
      current_ = row;
      return;
    }
  }
}

// Ascending by the column's text, compared byte by byte.
void CUserListDialog::sort_by(int column) {
  std::vector<QTreeWidgetItem*> items;
  while (list_->topLevelItemCount() > 0) items.push_back(list_->takeTopLevelItem(0));
  std::stable_sort(items.begin(), items.end(), [column](QTreeWidgetItem* a, QTreeWidgetItem* b) {
    return a->text(column).toUtf8() < b->text(column).toUtf8();
  });
  for (QTreeWidgetItem* item : items) list_->addTopLevelItem(item);
  current_ = -1;
  remember_current();
}

void CUserListDialog::add_user() {
  if (run_user_settings_dialog(this, user_dir_ + "default_user.ini", user_dir_, AccountMode::Add,
                               ini_file_)) {
    fill();
  }
}

void CUserListDialog::edit_user() {
  if (current_ < 0 || current_ >= list_->topLevelItemCount()) {
    show_message(this, "リストから選択してください。");
    return;
  }
  const std::string file = user_dir_ + list_->topLevelItem(current_)->text(0).toStdString() + ".usr";
  if (run_user_settings_dialog(this, file, file, AccountMode::Edit, ini_file_)) fill();
}

void CUserListDialog::edit_default() {
  const std::string file = user_dir_ + "default_user.ini";
  run_user_settings_dialog(this, file, file, AccountMode::DefaultTemplate, ini_file_);
}

void CUserListDialog::delete_users() {
  if (list_->selectedItems().isEmpty()) return;
  if (!ask_yes_no(this, "本当に削除してよろしいですか？", true)) return;
  for (int row = list_->topLevelItemCount() - 1; row >= 0; --row) {
    QTreeWidgetItem* item = list_->topLevelItem(row);
    if (!item->isSelected()) continue;
    delete_user_files(user_dir_, item->text(0).toStdString());
    delete list_->takeTopLevelItem(row);
  }
  current_ = -1;
}

void CUserListDialog::open_groups() { run_group_dialog(this, user_dir_, ini_file_); }

void CUserListDialog::show_status(int row) {
  if (row < 0 || row >= list_->topLevelItemCount()) return;
  show_user_status(this, user_dir_ + list_->topLevelItem(row)->text(0).toStdString());
}

void CUserListDialog::context_menu(const QPoint& position) {
  QTreeWidgetItem* item = list_->itemAt(position);
  if (!item) return;
  const int row = list_->indexOfTopLevelItem(item);
  QMenu menu(this);
  QAction* status = menu.addAction(QString::fromUtf8("ステータス表示"));
  if (menu.exec(list_->viewport()->mapToGlobal(position)) == status) show_status(row);
}

void run_user_list_dialog(QWidget* parent, const std::string& user_dir) {
  CUserListDialog dialog(user_dir, ini_file_for_user_dir(user_dir), parent);
  dialog.exec();
}

}  // namespace manager
