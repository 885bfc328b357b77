#include "manager/editors/sys_plugin_page.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "manager/editors/plugin_list_buttons.h"
#include "manager/editors/plugin_manager.h"
#include "manager/shell/prompts.h"

namespace manager {
namespace {

QPushButton* button(QWidget* parent, const QString& text, const char* name) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

CSysPlugin::CSysPlugin(std::string ini_file, QWidget* parent)
    : QWidget(parent), ini_file_(std::move(ini_file)) {
  auto* layout = new QHBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setObjectName("pluginList");
  // Long paths scroll sideways instead of being cut.
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  layout->addWidget(list_);
  auto* buttons = new QVBoxLayout;
  QPushButton* add = button(this, QStringLiteral("追加"), "add");
  QPushButton* remove = button(this, QStringLiteral("削除"), "remove");
  QPushButton* up = button(this, QStringLiteral("↑"), "up");
  QPushButton* down = button(this, QStringLiteral("↓"), "down");
  buttons->addWidget(add);
  buttons->addWidget(remove);
  buttons->addWidget(up);
  buttons->addWidget(down);
  buttons->addStretch();
  layout->addLayout(buttons);
  connect(add, &QPushButton::clicked, this, &CSysPlugin::on_add);
  connect(remove, &QPushButton::clicked, this, &CSysPlugin::on_remove);
  connect(up, &QPushButton::clicked, this, &CSysPlugin::on_up);
  connect(down, &QPushButton::clicked, this, &CSysPlugin::on_down);
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

void CSysPlugin::on_remove() { remove_selected_entry(list_); }
void CSysPlugin::on_up() { move_selected_entry(list_, -1); }
void CSysPlugin::on_down() { move_selected_entry(list_, 1); }

}  // namespace manager
