#include "manager/editors/select_plugin_dialog.h"

#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "manager/editors/editor_buttons.h"
#include "manager/editors/plugin_manager.h"
#include "manager/shell/prompts.h"

namespace manager {

CSelPluginDlg::CSelPluginDlg(const std::string& ini_file, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("ロード済みプラグイン選択"));
  auto* layout = new QVBoxLayout(this);
  list_ = new QListWidget(this);
  list_->setObjectName("pluginList");
  for (const std::string& path : registered_plugins(ini_file)) {
    list_->addItem(QString::fromStdString(path));
  }
  layout->addWidget(list_);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName("ok");
  QPushButton* cancel = make_button(this, QStringLiteral("キャンセル"), "cancel");
  add_button_row(layout, {ok, cancel});
  connect(ok, &QPushButton::clicked, this, &CSelPluginDlg::on_ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CSelPluginDlg::on_ok() {
  const QList<QListWidgetItem*> chosen = list_->selectedItems();
  if (chosen.isEmpty()) {
    show_message(this, "項目を選んでください。");
    return;
  }
  selected_ = chosen.first()->text().toStdString();
  accept();
}

}  // namespace manager
