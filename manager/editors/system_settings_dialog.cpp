#include "manager/editors/system_settings_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "manager/editors/editor_buttons.h"
#include "manager/editors/log_page.h"
#include "manager/editors/message_page.h"
#include "manager/editors/plugin_manager.h"
#include "manager/editors/refusal.h"
#include "manager/editors/refuse_page.h"
#include "manager/editors/sys_plugin_page.h"
#include "manager/editors/system_page.h"
#include "manager/editors/tls_page.h"
#include "manager/editors/unknown_id_page.h"
#include "manager/editors/virtual_folder_page.h"
#include "manager/shell/help.h"
#include "manager/shell/program_paths.h"
#include "manager/shell/prompts.h"

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
  // Every tab's caption is shown whole, without scroll arrows: the dialog is as wide as
  // the row of tabs needs.
  tabs_->setUsesScrollButtons(false);
  tabs_->setElideMode(Qt::ElideNone);
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

// A bad entry brings its page to the front with the focus on it, and nothing is saved:
// the operator corrects it or cancels.
bool CSystemSettingsDialog::take_pages() {
  if (!system_page_->take_values()) {
    tabs_->setCurrentWidget(system_page_);
    return false;
  }
  message_page_->take_values();
  if (!log_page_->take_values()) {
    tabs_->setCurrentWidget(log_page_);
    return false;
  }
  unknown_id_page_->take_values();
  if (!tls_page_->take_values()) {
    tabs_->setCurrentWidget(tls_page_);
    return false;
  }
  return true;
}

// velmoraFTPd.ini is written in one piece (every page's keys or none of them), then
// RefuseIP.txt; a file that cannot be written is reported and the dialog stays open.
bool CSystemSettingsDialog::save() {
  if (!take_pages()) return false;
  std::vector<platform::ProfileSectionChanges> all = system_settings_changes(settings_);
  for (platform::ProfileSectionChanges& messages : message_page_->changes())
    all.push_back(std::move(messages));
  all.push_back(virtual_folder_changes(virtual_folder_page_->rows()));
  all.push_back(registered_plugin_changes(plugin_page_->entries()));
  if (!platform::profile_write_sections(ini_file_, all)) {
    show_message(this, "ファイル[" + ini_file_ + "]に書き込めませんでした。設定は保存されていません。");
    return false;
  }
  if (!refuse_page_->save()) {
    show_message(this, "ファイル[" + refuse_list_path(folder_of(ini_file_)) +
                           "]に書き込めませんでした。拒否IPは保存されていません。");
    tabs_->setCurrentWidget(refuse_page_);
    return false;
  }
  return true;
}

void CSystemSettingsDialog::on_ok() {
  if (save()) accept();
}

void CSystemSettingsDialog::on_help() {
  open_help(system_settings_help_topic(tabs_->currentIndex()));
}

bool run_system_settings_dialog(QWidget* parent, const std::string& ini_file) {
  CSystemSettingsDialog dialog(ini_file, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace manager
