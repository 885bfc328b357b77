#include "manager/editors/select_plugin_dialog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

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
  auto* buttons = new QHBoxLayout;
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName("ok");
  auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
  cancel->setObjectName("cancel");
  cancel->setAutoDefault(false);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
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
