#include "manager/editors/user_settings_dialog.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "manager/editors/user_plugin_page.h"
#include "manager/editors/user_tab_folders.h"
#include "manager/editors/user_tab_hosts.h"
#include "manager/editors/user_tab_limits.h"
#include "manager/editors/user_tab_per_user.h"
#include "manager/editors/user_tab_user.h"
#include "manager/shell/help.h"
#include "manager/shell/prompts.h"
#include "platform/files.h"

namespace manager {

namespace {

enum Tab { kUserTab = 0, kFolderTab, kLimitTab, kHostTab, kPerUserTab, kPluginTab };

const char* help_topic(int tab) {
  switch (tab) {
    case kUserTab: return "「ユーザー」タブ";
    case kFolderTab: return "「ディレクトリ操作」タブ";
    case kLimitTab: return "「制限」タブ";
    case kHostTab: return "禁止ホスト";
    case kPerUserTab: return "「ユーザー別」タブ";
    default: return "";  // the plug-in page has no topic
  }
}

bool with_identity(AccountMode mode) { return mode == AccountMode::Edit || mode == AccountMode::Add; }

}  // namespace

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string account_name_of(const std::string& user_file) {
  const size_t slash = user_file.rfind('/');
  std::string name = slash == std::string::npos ? user_file : user_file.substr(slash + 1);
  if (name.size() >= 4 && name.compare(name.size() - 4, 4, ".usr") == 0) name.resize(name.size() - 4);
  return name;
}

CUserSettingsDialog::CUserSettingsDialog(std::string source, std::string target, AccountMode mode,
                                         std::string ini_file, QWidget* parent)
    : QDialog(parent),
      program_dir_(folder_of(ini_file)),
      default_home_(program_dir_ + "ftproot/"),
      source_(std::move(source)),
      target_(std::move(target)),
      mode_(mode) {
  setWindowTitle(QString::fromUtf8("ユーザー設定"));
  const AccountRecord record = load_account_record(source_, with_identity(mode_), default_home_);
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("tabs");
  user_tab_ = new CUserTab(record, mode_, folder_of(source_), tabs_);
  // An existing user keeps the name of its file (see save()).
  if (mode_ == AccountMode::Edit) user_tab_->set_name(account_name_of(target_));
  // A group is named after its file; the dialog says which group it edits.
  if (mode_ == AccountMode::Group) {
    std::string group = account_name_of(target_);
    if (group.size() > 4 && group.compare(group.size() - 4, 4, ".grp") == 0) group.resize(group.size() - 4);
    user_tab_->set_name(group);
    setWindowTitle(QString::fromStdString("グループ設定 [" + group + "]"));
  }
  folder_tab_ = new CFolderTab(record, tabs_);
  limit_tab_ = new CLimitTab(record, tabs_);
  host_tab_ = new CHostTab(record, tabs_);
  per_user_tab_ = new CPerUserTab(record, tabs_);
  plugin_tab_ = new CUserPluginPage(source_, ini_file, tabs_);
  tabs_->addTab(user_tab_, QString::fromUtf8("ユーザー"));
  tabs_->addTab(folder_tab_, QString::fromUtf8("ディレクトリ操作"));
  tabs_->addTab(limit_tab_, QString::fromUtf8("制限"));
  tabs_->addTab(host_tab_, QString::fromUtf8("禁止ホスト"));
  tabs_->addTab(per_user_tab_, QString::fromUtf8("ユーザー別"));
  tabs_->addTab(plugin_tab_, "PlugIn");
  tabs_->setCurrentIndex(kUserTab);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8("キャンセル"), this);
  cancel->setObjectName("cancel");
  auto* help = new QPushButton("Help", this);
  help->setObjectName("help");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addWidget(help);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addLayout(buttons);

  connect(tabs_, &QTabWidget::currentChanged, this, &CUserSettingsDialog::tab_changed);
  connect(ok, &QPushButton::clicked, this, &CUserSettingsDialog::ok_clicked);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, &CUserSettingsDialog::help_clicked);
}

// A user registered through a group takes every setting from the group: the other
// pages stay closed while the box is checked.
void CUserSettingsDialog::tab_changed(int index) {
  if (switching_) return;
  if (index != kUserTab && user_tab_->uses_group()) {
    switching_ = true;
    tabs_->setCurrentIndex(kUserTab);
    switching_ = false;
    shown_tab_ = kUserTab;
    show_message(this, "グループを使用する場合は、グループの設定に依存します。");
    return;
  }
  shown_tab_ = index;
}

void CUserSettingsDialog::help_clicked() { open_help(help_topic(tabs_->currentIndex())); }

void CUserSettingsDialog::ok_clicked() {
  if (save()) accept();
}

// A page that finds a bad entry is brought to the front (past the group lock).
bool CUserSettingsDialog::collect(AccountRecord& r) {
  auto show_tab = [this](int tab) {
    switching_ = true;
    tabs_->setCurrentIndex(tab);
    switching_ = false;
    return false;
  };
  if (!user_tab_->collect(r)) return show_tab(kUserTab);
  folder_tab_->collect(r);
  if (!limit_tab_->collect(r)) return show_tab(kLimitTab);
  host_tab_->collect(r);
  per_user_tab_->collect(r);
  return true;
}

// The file to write. A user file is named after the user; the name must be one the
// Core would read back.
std::optional<std::string> CUserSettingsDialog::resolve_target(const AccountRecord& r) {
  if (!with_identity(mode_)) return target_;
  if (!acceptable_account_name(r.name)) {
    show_message(this, "ユーザー名[" + r.name +
                           "]は使用できません。空でなく200バイト以内で、「/」「\\」や制御文字を"
                           "含まず、「.」で始まらない名前を入力してください。");
    return std::nullopt;
  }
  const std::string folder = mode_ == AccountMode::Edit ? folder_of(target_) : target_;
  const std::string file = folder + r.name + ".usr";
  if (mode_ == AccountMode::Add && platform::path_exists(file) &&
      !ask_yes_no(this, "ユーザー名" + r.name + "は既に登録されています。意図した作業ですか？")) {
    return std::nullopt;
  }
  return file;
}

// A home at "/" or in a system folder shows the system's files to the account (and the
// Core often runs as root): the operator confirms it, No being the default answer.
bool CUserSettingsDialog::confirm_homes(const AccountRecord& r) {
  for (const std::string& home : {r.home_dir, r.user_home_dir}) {
    if (home.empty() || !is_system_folder(home)) continue;
    if (ask_yes_no(this, "ホームディレクトリ[" + home + "]はシステムのフォルダです。このアカウントから"
                         "システムのファイルが読めるようになります。このまま保存しますか？",
                   true))
      continue;
    switching_ = true;
    tabs_->setCurrentIndex(home == r.home_dir ? kFolderTab : kUserTab);
    switching_ = false;
    return false;
  }
  return true;
}

// A home under the program folder that does not exist yet (the default one) is created.
bool CUserSettingsDialog::make_home(const AccountRecord& r) {
  if (r.home_dir.compare(0, program_dir_.size(), program_dir_) != 0 || program_dir_.empty() ||
      platform::is_directory(r.home_dir)) {
    return true;
  }
  if (platform::make_directory(r.home_dir) != platform::MakeDirResult::Failed) return true;
  show_message(this, "ホームディレクトリ[" + r.home_dir + "]を作成できませんでした。");
  return false;
}

bool CUserSettingsDialog::save() {
  AccountRecord record = load_account_record(source_, with_identity(mode_), default_home_);
  if (!collect(record)) return false;
  const std::optional<std::string> file = resolve_target(record);
  if (!file || !confirm_homes(record) || !make_home(record)) return false;
  const bool written = save_account_record(*file, record, mode_ == AccountMode::Group) &&
                       plugin_tab_->save(*file);
  if (!written) {
    show_message(this, "ファイル[" + *file + "]に書き込めませんでした。");
    return false;
  }
  written_ = *file;
  return true;
}

bool run_user_settings_dialog(QWidget* parent, const std::string& source,
                              const std::string& target, AccountMode mode,
                              const std::string& ini_file) {
  CUserSettingsDialog dialog(source, target, mode, ini_file, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace manager
