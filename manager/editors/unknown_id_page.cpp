#include "manager/editors/unknown_id_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <cctype>

#include "manager/notify/account_mail.h"
#include "platform/files.h"

namespace manager {
namespace {

bool starts_with_ignoring_case(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::vector<std::string> group_names(const std::string& user_dir) {
  std::vector<platform::DirEntry> entries;
  std::vector<std::string> names;
  if (!platform::scan_directory(user_dir + "*.grp", entries)) return names;
  for (const platform::DirEntry& entry : entries) {
    if (entry.info.is_directory) continue;
    names.push_back(entry.name.substr(0, entry.name.size() - 4));
  }
  return names;
}

int matching_group(const std::vector<std::string>& names, const std::string& stored) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (starts_with_ignoring_case(names[i], stored)) return static_cast<int>(i);
  }
  return -1;
}

CUnknownIdPage::CUnknownIdPage(SystemSettings& settings, std::string ini_file,
                               std::string user_dir, QWidget* parent)
    : QWidget(parent),
      settings_(settings),
      ini_file_(std::move(ini_file)),
      user_dir_(std::move(user_dir)) {
  auto* grid = new QGridLayout(this);
  refuse_ = new QCheckBox(QStringLiteral("拒否する。"), this);
  refuse_->setObjectName("refuse");
  mail_pass_ = new QCheckBox(QStringLiteral("パスワードを作成してメールで送信する。"), this);
  mail_pass_->setObjectName("mailPass");
  // Shown for a mode already in the file, but not offered here.
  mail_pass_->setEnabled(false);
  make_account_ = new QCheckBox(QStringLiteral("指定されたパスワードでアカウントを作成する。"), this);
  make_account_->setObjectName("makeAccount");
  mail_body_ = new QPushButton(QStringLiteral("メール本文の編集"), this);
  mail_body_->setObjectName("mailBody");
  mail_body_->setAutoDefault(false);
  mail_settings_ = new QPushButton(QStringLiteral("メールの設定"), this);
  mail_settings_->setObjectName("mailSettings");
  mail_settings_->setAutoDefault(false);
  group_ = new QComboBox(this);
  group_->setObjectName("group");
  int row = 0;
  grid->addWidget(refuse_, row++, 0, 1, 3);
  grid->addWidget(mail_pass_, row++, 0, 1, 3);
  grid->addWidget(mail_body_, row, 1);
  grid->addWidget(mail_settings_, row++, 2);
  grid->addWidget(make_account_, row++, 0, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("作成アカウントに所属させるグループ："), this), row, 0);
  grid->addWidget(group_, row++, 1, 1, 2);
  grid->setRowStretch(row, 1);
  for (const std::string& name : group_names(user_dir_)) group_->addItem(QString::fromStdString(name));
  connect(refuse_, &QCheckBox::clicked, this, &CUnknownIdPage::choose_refuse);
  connect(mail_pass_, &QCheckBox::clicked, this, &CUnknownIdPage::choose_mail_password);
  connect(make_account_, &QCheckBox::clicked, this, &CUnknownIdPage::choose_make_account);
  connect(mail_body_, &QPushButton::clicked, this, &CUnknownIdPage::on_mail_body);
  connect(mail_settings_, &QPushButton::clicked, this, &CUnknownIdPage::on_mail_settings);
}

// The three boxes are one choice: the chosen one checked, the others clear, and the mail
// buttons and the group list enabled as that mode needs them.
void CUnknownIdPage::apply_mode(int refuse, int mail_pass, int make_account) {
  refuse_->setChecked(refuse != 0);
  mail_pass_->setChecked(mail_pass != 0);
  make_account_->setChecked(make_account != 0);
  mail_body_->setEnabled(mail_pass != 0);
  mail_settings_->setEnabled(mail_pass != 0);
  group_->setEnabled(refuse == 0);
}

void CUnknownIdPage::choose_refuse() { apply_mode(1, 0, 0); }
void CUnknownIdPage::choose_mail_password() { apply_mode(0, 1, 0); }
void CUnknownIdPage::choose_make_account() { apply_mode(0, 0, 1); }

void CUnknownIdPage::show_values() {
  if (settings_.refuse != 0) {
    choose_refuse();
  } else if (settings_.mail_pass != 0) {
    choose_mail_password();
  } else if (settings_.make_account != 0) {
    choose_make_account();
  }
  std::vector<std::string> names;
  for (int i = 0; i < group_->count(); ++i) names.push_back(group_->itemText(i).toStdString());
  group_->setCurrentIndex(matching_group(names, settings_.group));
}

void CUnknownIdPage::take_values() {
  settings_.refuse = refuse_->isChecked() ? 1 : 0;
  settings_.mail_pass = mail_pass_->isChecked() ? 1 : 0;
  settings_.make_account = make_account_->isChecked() ? 1 : 0;
  settings_.group = group_->currentIndex() >= 0 ? group_->currentText().toStdString() : "";
}

void CUnknownIdPage::on_mail_body() {
  run_mail_body_dialog(this, ini_file_, settings_.mail_title);
}

void CUnknownIdPage::on_mail_settings() {
  MailServerSettings mail{settings_.smtp,      settings_.mail,      settings_.smtp_port,
                          settings_.smtp_tls,  settings_.smtp_user, settings_.smtp_password};
  if (!run_mail_settings_dialog(this, mail)) return;
  settings_.smtp = mail.server;
  settings_.mail = mail.sender;
  settings_.smtp_port = mail.port;
  settings_.smtp_tls = mail.tls;
  settings_.smtp_user = mail.user;
  settings_.smtp_password = mail.password;
}

}  // namespace manager
