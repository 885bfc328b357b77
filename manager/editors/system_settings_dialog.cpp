#include "manager/editors/system_settings_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "manager/editors/editor_buttons.h"
#include "manager/editors/log_page.h"
#include "manager/editors/message_page.h"
#include "manager/editors/refuse_page.h"
#include "manager/editors/sys_plugin_page.h"
#include "manager/editors/system_page.h"
#include "manager/editors/tls_page.h"
#include "manager/editors/unknown_id_page.h"
#include "manager/editors/virtual_folder_page.h"
#include "manager/shell/help.h"
#include "manager/shell/program_paths.h"

namespace manager {
namespace {

std::string folder_of(const std::string& file) {
  const size_t slash = file.find_last_of('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

}  // namespace

std::string system_settings_help_topic(int tab_index) {
  static const char* const kTopics[] = {
      "「システム」タブ",       "「メッセージ」タブ", "「ログ」タブ",   "「未登録IDの接続」タブ",
      "「拒否IP」タブ",         "「仮想フォルダ」タブ", "「Plugin」タブ", "「TLS」タブ"};
  if (tab_index < 0 || tab_index >= 8) return {};
  return kTopics[tab_index];
}

CSystemSettingsDialog::CSystemSettingsDialog(std::string ini_file, QWidget* parent)
    : QDialog(parent), ini_file_(std::move(ini_file)) {
  setWindowTitle(QStringLiteral("システム設定"));
  const std::string folder = folder_of(ini_file_);
  settings_ = load_system_settings(ini_file_);
  // The Core whose registration "Advance" changes is the one beside this settings file.
  const ProgramPaths paths = derive_program_paths(folder);
  system_page_ = new CSystemPage(settings_, paths, this);
  message_page_ = new CMessagePage(settings_, ini_file_, this);
  log_page_ = new CLogPage(settings_, this);
  unknown_id_page_ = new CUnknownIdPage(settings_, ini_file_, folder + "user/", this);
  refuse_page_ = new CRefusePage(folder, this);
  virtual_folder_page_ = new CVirtualFolderPage(ini_file_, this);
  plugin_page_ = new CSysPlugin(ini_file_, this);
  tls_page_ = new CTlsPage(settings_, this);

  auto* layout = new QVBoxLayout(this);
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("tabs");
  tabs_->addTab(system_page_, QStringLiteral("システム"));
  tabs_->addTab(message_page_, QStringLiteral("メッセージ"));
  tabs_->addTab(log_page_, QStringLiteral("ログ"));
  tabs_->addTab(unknown_id_page_, QStringLiteral("未登録IDの接続"));
  tabs_->addTab(refuse_page_, QStringLiteral("拒否IP"));
  tabs_->addTab(virtual_folder_page_, QStringLiteral("仮想フォルダ"));
  tabs_->addTab(plugin_page_, QStringLiteral("PlugIn"));
  tabs_->addTab(tls_page_, QStringLiteral("TLS"));
  tabs_->setCurrentIndex(0);
  layout->addWidget(tabs_);
  layout->addWidget(new QLabel(QStringLiteral("※設定を反映するには、サーバーの再起動が必要です。"), this));
  QPushButton* ok = make_button(this, QStringLiteral("OK"), "ok");
  QPushButton* cancel = make_button(this, QStringLiteral("キャンセル"), "cancel");
  QPushButton* help = make_button(this, QStringLiteral("Help"), "help");
  add_button_row(layout, {ok, cancel, help});
  connect(ok, &QPushButton::clicked, this, &CSystemSettingsDialog::on_ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, &CSystemSettingsDialog::on_help);

  system_page_->show_values();
  message_page_->show_values();
  log_page_->show_values();
  unknown_id_page_->show_values();
  tls_page_->show_values();
}

// Enter and Esc belong to the multi-line texts of the pages; the dialog closes only by
// its buttons.
void CSystemSettingsDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
      event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

// A page that reports a bad entry keeps that entry and the later ones of the page at
// their previous values; everything is saved all the same.
void CSystemSettingsDialog::on_ok() {
  system_page_->take_values();
  message_page_->take_values();
  log_page_->take_values();
  unknown_id_page_->take_values();
  tls_page_->take_values();
  save_system_settings(ini_file_, settings_);
  message_page_->save_messages();
  refuse_page_->save();
  virtual_folder_page_->save();
  plugin_page_->save();
  accept();
}

void CSystemSettingsDialog::on_help() {
  open_help(system_settings_help_topic(tabs_->currentIndex()));
}

bool run_system_settings_dialog(QWidget* parent, const std::string& ini_file) {
  CSystemSettingsDialog dialog(ini_file, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace manager
