#include "manager/editors/group_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "manager/editors/account_record.h"
#include "manager/editors/editor_buttons.h"
#include "manager/editors/user_settings_dialog.h"
#include "manager/editors/user_tab_user.h"
#include "manager/shell/help.h"
#include "manager/shell/prompts.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace manager {

CGroupDialog::CGroupDialog(std::string user_dir, std::string ini_file, QWidget* parent)
    : QDialog(parent), user_dir_(std::move(user_dir)), ini_file_(std::move(ini_file)) {
  setWindowTitle(QString::fromUtf8("グループ登録"));
  list_ = new QListWidget(this);
  list_->setObjectName("groupList");
  list_->setSortingEnabled(true);
  name_ = new QLineEdit(this);
  name_->setObjectName("groupName");
  QPushButton* add = make_button(this, QString::fromUtf8("追加"), "addGroup");
  add->setDefault(true);
  QPushButton* remove = make_button(this, QString::fromUtf8("選択したグループを削除"), "deleteGroup");
  QPushButton* ok = make_button(this, QString::fromUtf8("OK"), "ok");
  QPushButton* help = make_button(this, QString::fromUtf8("Help"), "help");

  auto* grid = new QGridLayout(this);
  grid->addWidget(list_, 0, 0, 4, 1);
  grid->addWidget(new QLabel(QString::fromUtf8("グループ名："), this), 0, 1);
  grid->addWidget(name_, 1, 1);
  grid->addWidget(new QLabel(QString::fromUtf8("現在の設定をグループとして追加します。"), this), 2, 1);
  grid->addWidget(add, 3, 1);
  grid->addWidget(remove, 4, 0);
  grid->addWidget(ok, 5, 1);
  grid->addWidget(help, 6, 1);

  connect(add, &QPushButton::clicked, this, &CGroupDialog::add_group);
  connect(remove, &QPushButton::clicked, this, &CGroupDialog::delete_group);
  connect(list_, &QListWidget::itemDoubleClicked, this, &CGroupDialog::open_group);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(help, &QPushButton::clicked, this, [] { open_help("グループ登録ダイアログ"); });
  fill();
}

void CGroupDialog::fill() {
  list_->clear();
  for (const std::string& name : account_group_names(user_dir_)) list_->addItem(QString::fromStdString(name));
}

// A new group starts from the template; a group of the same name is replaced. The
// group's name must be one the Core looks up.
void CGroupDialog::add_group() {
  const std::string name = name_->text().toStdString();
  if (name.empty()) {
    show_message(this, "グループ名を入力してください。");
    return;
  }
  if (!acceptable_account_name(name)) {
    show_message(this, "グループ名[" + name +
                           "]は使用できません。200バイト以内で、「/」「\\」や制御文字を含まず、"
                           "「.」で始まらない名前を入力してください。");
    return;
  }
  run_user_settings_dialog(this, user_dir_ + "default_user.ini", user_dir_ + name + ".grp",
                           AccountMode::Group, ini_file_);
  name_->clear();
  fill();
}

void CGroupDialog::open_group(QListWidgetItem* item) {
  if (!item) return;
  const std::string file = user_dir_ + item->text().toStdString() + ".grp";
  run_user_settings_dialog(this, file, file, AccountMode::Group, ini_file_);
}

void CGroupDialog::delete_group() {
  QListWidgetItem* item = list_->currentItem();
  if (!item || !item->isSelected()) {
    show_message(this, "リストから選択してください。");
    return;
  }
  if (!ask_yes_no(this, "本当に削除してよろしいですか？", true)) return;
  platform::remove_profile_file(user_dir_ + item->text().toStdString() + ".grp");
  delete list_->takeItem(list_->row(item));
}

void run_group_dialog(QWidget* parent, const std::string& user_dir, const std::string& ini_file) {
  CGroupDialog dialog(user_dir, ini_file, parent);
  dialog.exec();
}

}  // namespace manager
