#include "manager/editors/user_plugin_page.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "manager/editors/editor_buttons.h"
#include "manager/editors/plugin_list_buttons.h"
#include "manager/editors/plugin_manager.h"
#include "manager/editors/select_plugin_dialog.h"
#include "manager/shell/prompts.h"

namespace manager {
CUserPluginPage::CUserPluginPage(std::string account_file, std::string ini_file, QWidget* parent)
    : QWidget(parent), account_file_(std::move(account_file)), ini_file_(std::move(ini_file)) {
  auto* layout = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  list_ = new QListWidget(this);
  list_->setObjectName("pluginList");
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  info_ = new QPlainTextEdit(this);
  info_->setObjectName("info");
  info_->setReadOnly(true);
  left->addWidget(list_, 3);
  left->addWidget(info_, 1);
  layout->addLayout(left);
  auto* buttons = new QVBoxLayout;
  QPushButton* add = make_button(this, QStringLiteral("追加"), "add");
  QPushButton* remove = make_button(this, QStringLiteral("削除"), "remove");
  QPushButton* settings = make_button(this, QStringLiteral("設定"), "settings");
  QPushButton* up = make_button(this, QStringLiteral("↑"), "up");
  QPushButton* down = make_button(this, QStringLiteral("↓"), "down");
  for (QPushButton* b : {add, remove, settings, up, down}) buttons->addWidget(b);
  buttons->addStretch();
  layout->addLayout(buttons);
  connect(add, &QPushButton::clicked, this, &CUserPluginPage::on_add);
  connect(settings, &QPushButton::clicked, this, &CUserPluginPage::on_settings);
  connect_list_buttons(list_, remove, up, down);
  connect(list_, &QListWidget::itemSelectionChanged, this, &CUserPluginPage::on_selection);
  for (const std::string& path : read_user_plugins(account_file_)) {
    list_->addItem(QString::fromStdString(path));
  }
}

std::vector<std::string> CUserPluginPage::entries() const { return list_entries(list_); }

bool CUserPluginPage::save(const std::string& target_file) const {
  return save_user_plugins(target_file, entries());
}

std::string CUserPluginPage::info_text() const { return info_->toPlainText().toStdString(); }

std::string CUserPluginPage::selected_path() const {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? std::string() : selected.first()->text().toStdString();
}

void CUserPluginPage::on_add() {
  CSelPluginDlg chooser(ini_file_, this);
  if (chooser.exec() != QDialog::Accepted) return;
  list_->insertItem(0, QString::fromStdString(chooser.selected()));
}

void CUserPluginPage::on_selection() {
  if (list_->selectedItems().isEmpty()) return;
  const int index = find_loaded_plugin(selected_path());
  if (index < 0) {
    info_->setPlainText(QString::fromUtf8(kPluginNotLoadedText));
    return;
  }
  const std::optional<std::string> info = loaded_plugin_info(index);
  info_->setPlainText(QString::fromStdString(info ? *info : std::string(kPluginNoInfoText)));
}

void CUserPluginPage::on_settings() {
  if (list_->selectedItems().isEmpty()) return;
  const int index = find_loaded_plugin(selected_path());
  if (index < 0) {
    show_message(this, kPluginNotLoadedText);
    return;
  }
  open_plugin_settings(index, reinterpret_cast<void*>(winId()), account_file_);
}

}  // namespace manager
