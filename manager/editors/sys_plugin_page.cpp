#include "manager/editors/sys_plugin_page.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "manager/editors/editor_buttons.h"
#include "manager/editors/plugin_list_buttons.h"
#include "manager/editors/plugin_manager.h"
#include "manager/shell/prompts.h"

namespace manager {
CSysPlugin::CSysPlugin(std::string ini_file, QWidget* parent)
    : QWidget(parent), ini_file_(std::move(ini_file)) {
  auto* layout = new QHBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setObjectName("pluginList");
  // Long paths scroll sideways instead of being cut.
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  layout->addWidget(list_);
  auto* buttons = new QVBoxLayout;
  QPushButton* add = make_button(this, QStringLiteral("追加"), "add");
  QPushButton* remove = make_button(this, QStringLiteral("削除"), "remove");
  QPushButton* up = make_button(this, QStringLiteral("↑"), "up");
  QPushButton* down = make_button(this, QStringLiteral("↓"), "down");
  for (QPushButton* b : {add, remove, up, down}) buttons->addWidget(b);
  buttons->addStretch();
  layout->addLayout(buttons);
  connect(add, &QPushButton::clicked, this, &CSysPlugin::on_add);
  connect_list_buttons(list_, remove, up, down);
  for (const std::string& path : registered_plugins(ini_file_)) {
    list_->addItem(QString::fromStdString(path));
  }
}

std::vector<std::string> CSysPlugin::entries() const { return list_entries(list_); }

bool CSysPlugin::save() const { return save_registered_plugins(ini_file_, entries()); }

void CSysPlugin::on_add() {
  const std::optional<std::string> path =
      choose_existing_file(this, "PlugIn (*.so);;すべてのﾌｧｲﾙ (*)");
  if (!path) return;
  if (!validate_plugin(*path)) {
    show_message(this, "有効なプラグインではありません");
    return;
  }
  list_->addItem(QString::fromStdString(*path));
}

}  // namespace manager
