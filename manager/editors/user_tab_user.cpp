#include "manager/editors/user_tab_user.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "manager/shell/prompts.h"
#include "platform/files.h"
#include "shared/size_text.h"

namespace manager {

namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }

std::optional<double> parse_real_text(const QString& text) {
  bool ok = false;
  const double value = text.trimmed().toDouble(&ok);
  if (!ok) return std::nullopt;
  return value;
}

QString real_text(double value) { return QString::number(value, 'f', 6); }

}  // namespace

std::vector<std::string> account_group_names(const std::string& folder) {
  std::vector<platform::DirEntry> entries;
  std::vector<std::string> names;
  if (!platform::scan_directory(folder + "*.grp", entries)) return names;
  for (const platform::DirEntry& e : entries) {
    if (e.info.is_directory || e.name.size() <= 4) continue;
    names.push_back(e.name.substr(0, e.name.size() - 4));
  }
  return names;
}

CUserTab::CUserTab(const AccountRecord& record, AccountMode mode, const std::string& group_folder,
                   QWidget* parent)
    : QWidget(parent), mode_(mode) {
  build();
  fill_groups(group_folder, record.group);
  show_record(record);
  apply_mode();
}

void CUserTab::build() {
  auto make_edit = [this](const char* name) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    return edit;
  };
  auto make_box = [this](const char* name, const char* caption) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), this);
    box->setObjectName(name);
    return box;
  };
  name_ = make_edit("name");
  password_ = make_edit("password");
  anonymous_ = make_box("anonymous", "パスワードなし（匿名）で公開する。");
  need_password_ = make_box("needPassword", "パスワードを要求する。");
  need_email_ = make_box("needEmail", "メールアドレスを要求する。");
  use_group_ = make_box("useGroup", "グループで登録する。");
  group_list_ = new QComboBox(this);
  group_list_->setObjectName("groupList");
  email_ = make_edit("email");
  refuse_user_ = make_box("refuseUser", "このユーザーを無効にする。");
  saved_credit_ = make_box("savedCredit", "現在のクレジット：");
  now_credit_ = make_edit("nowCredit");
  show_credit_ = new QPushButton("?", this);
  show_credit_->setObjectName("showCredit");
  credit_text_ = make_edit("creditText");
  credit_text_->setReadOnly(true);
  user_home_ = make_edit("userHomeDir");
  choose_home_ = new QPushButton("..", this);
  choose_home_->setObjectName("chooseUserHome");

  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(QString::fromUtf8("ユーザー名"), this), 0, 0);
  grid->addWidget(name_, 0, 1, 1, 2);
  grid->addWidget(new QLabel(QString::fromUtf8("パスワード"), this), 1, 0);
  grid->addWidget(password_, 1, 1, 1, 2);
  auto* password_boxes = new QVBoxLayout;
  password_boxes->addWidget(anonymous_);
  password_boxes->addWidget(need_password_);
  grid->addLayout(password_boxes, 2, 0, 1, 3);
  grid->addWidget(need_email_, 3, 0, 1, 3);
  grid->addWidget(use_group_, 4, 0, 1, 2);
  grid->addWidget(group_list_, 4, 2);
  grid->addWidget(new QLabel(QString::fromUtf8("E-mail　："), this), 5, 0);
  grid->addWidget(email_, 5, 1, 1, 2);
  grid->addWidget(refuse_user_, 6, 0, 1, 3);
  auto* credit_row = new QHBoxLayout;
  credit_row->addWidget(now_credit_);
  credit_row->addWidget(show_credit_);
  credit_row->addWidget(credit_text_);
  grid->addWidget(saved_credit_, 7, 0);
  grid->addLayout(credit_row, 7, 1, 1, 2);
  grid->addWidget(new QLabel(QString::fromUtf8("ユーザー別ホームディレクトリ："), this), 8, 0);
  grid->addWidget(user_home_, 8, 1);
  grid->addWidget(choose_home_, 8, 2);
  grid->setRowStretch(9, 1);

  connect(need_password_, &QCheckBox::toggled, this, &CUserTab::need_password_changed);
  connect(need_email_, &QCheckBox::toggled, this, &CUserTab::need_email_changed);
  connect(use_group_, &QCheckBox::toggled, this, &CUserTab::use_group_changed);
  connect(saved_credit_, &QCheckBox::toggled, this, &CUserTab::saved_credit_changed);
  connect(show_credit_, &QPushButton::clicked, this, &CUserTab::show_credit);
  connect(choose_home_, &QPushButton::clicked, this, &CUserTab::choose_home);
}

// The first group whose name begins with the account's group (letter case ignored).
void CUserTab::fill_groups(const std::string& folder, const std::string& selected) {
  for (const std::string& name : account_group_names(folder)) group_list_->addItem(q(name));
  group_list_->setCurrentIndex(-1);
  for (int i = 0; i < group_list_->count(); ++i) {
    if (group_list_->itemText(i).startsWith(q(selected), Qt::CaseInsensitive)) {
      group_list_->setCurrentIndex(i);
      break;
    }
  }
}

void CUserTab::show_record(const AccountRecord& r) {
  name_->setText(q(r.name));
  password_->setText(q(r.password));
  // An existing account that already lets anybody in says so; a new one never starts so.
  anonymous_->setChecked(mode_ == AccountMode::Edit && account_is_open(r));
  email_->setText(q(r.email));
  refuse_user_->setChecked(r.refuse_user);
  saved_credit_->setChecked(r.saved_credit);
  now_credit_->setText(real_text(r.now_credit));
  user_home_->setText(q(r.user_home_dir));
  // A group file never belongs to a group itself.
  const bool group = r.use_group && mode_ != AccountMode::Group;
  need_password_->setChecked(r.need_password);
  need_email_->setChecked(r.need_email && !r.need_password);
  use_group_->setChecked(group);
  need_password_->setEnabled(!group);
  need_email_->setEnabled(!group);
  group_list_->setEnabled(group);
  now_credit_->setEnabled(r.saved_credit);
}

void CUserTab::apply_mode() {
  const bool identity = mode_ == AccountMode::Edit || mode_ == AccountMode::Add;
  if (!identity) {
    for (QWidget* w : {static_cast<QWidget*>(name_), static_cast<QWidget*>(password_),
                       static_cast<QWidget*>(anonymous_),
                       static_cast<QWidget*>(now_credit_), static_cast<QWidget*>(email_),
                       static_cast<QWidget*>(saved_credit_)}) {
      w->setEnabled(false);
    }
  }
  if (mode_ == AccountMode::Edit) name_->setEnabled(false);
  if (mode_ == AccountMode::Group) {
    user_home_->setEnabled(false);
    choose_home_->setEnabled(false);
    use_group_->setEnabled(false);
  }
}

bool CUserTab::uses_group() const { return use_group_->isChecked(); }

void CUserTab::set_name(const std::string& name) { name_->setText(q(name)); }

void CUserTab::need_password_changed(bool checked) {
  if (checked) need_email_->setChecked(false);
}

void CUserTab::need_email_changed(bool checked) {
  if (checked) need_password_->setChecked(false);
}

void CUserTab::use_group_changed(bool checked) {
  group_list_->setEnabled(checked);
  need_password_->setEnabled(!checked);
  need_email_->setEnabled(!checked);
}

void CUserTab::saved_credit_changed(bool checked) { now_credit_->setEnabled(checked); }

void CUserTab::show_credit() {
  const double credit = parse_real_text(now_credit_->text()).value_or(0.0);
  credit_text_->setText(q(shared::size_text(credit)));
}

void CUserTab::choose_home() {
  const std::optional<std::string> folder = choose_folder(this, user_home_->text().toStdString());
  if (!folder) return;
  std::string path = *folder;
  if (path.empty() || path.back() != '/') path += '/';
  user_home_->setText(q(path));
}

bool CUserTab::collect(AccountRecord& r) {
  const std::optional<double> credit = parse_real_text(now_credit_->text());
  if (!credit) {
    show_message(this, "数値を入力してください。");
    now_credit_->setFocus();
    return false;
  }
  r.name = name_->text().toStdString();
  r.password = password_->text().toStdString();
  r.email = email_->text().toStdString();
  r.refuse_user = refuse_user_->isChecked();
  r.saved_credit = saved_credit_->isChecked();
  r.now_credit = *credit;
  r.need_password = need_password_->isChecked();
  r.need_email = need_email_->isChecked();
  r.use_group = use_group_->isChecked();
  r.group = group_list_->currentIndex() >= 0 ? group_list_->currentText().toStdString() : "";
  r.user_home_dir = user_home_->text().toStdString();
  const bool identity = mode_ == AccountMode::Edit || mode_ == AccountMode::Add;
  if (identity && account_is_open(r) && !anonymous_->isChecked()) {
    show_message(this, "[パスワード] パスワードを入力してください。誰でも接続できるアカウントにするには"
                       "「パスワードなし（匿名）で公開する。」をチェックしてください。");
    password_->setFocus();
    return false;
  }
  return true;
}

}  // namespace manager
