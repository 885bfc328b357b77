#include "manager/notify/auto_ip_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cctype>
#include <climits>

#include "manager/editors/editor_fields.h"
#include "manager/notify/notice.h"
#include "manager/shell/help.h"
#include "manager/shell/prompts.h"

namespace manager {
namespace {

QString q(const std::string& text) { return QString::fromStdString(text); }
std::string s(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

CAutoIpDialog::CAutoIpDialog(const std::string& ini_file, QWidget* parent)
    : QDialog(parent), ini_file_(ini_file) {
  setWindowTitle("自動IP通知");
  auto* grid = new QGridLayout(this);
  int row = 0;
  auto label = [&](const char* text) { grid->addWidget(new QLabel(text, this), row, 0); };

  enabled_ = add_check("useAutoIpMode", "自動IP通知機能を使う");
  grid->addWidget(enabled_, row++, 0, 1, 3);
  label("FTPサーバー名：");
  grid->addWidget(server_ = add_edit("server"), row++, 1, 1, 2);
  label("ポート（通常21）：");
  grid->addWidget(port_ = add_edit("port"), row++, 1, 1, 2);
  label("ユーザー名：");
  grid->addWidget(user_ = add_edit("user"), row++, 1, 1, 2);
  label("パスワード：");
  grid->addWidget(password_ = add_edit("password"), row++, 1, 1, 2);
  password_->setEchoMode(QLineEdit::Password);
  label("チェック間隔：");
  grid->addWidget(check_time_ = add_edit("checkTime"), row, 1);
  grid->addWidget(new QLabel("分ごと", this), row++, 2);
  on_ip_change_ = add_check("uploadChangeIp", "IPが変わると、アップロードする。");
  grid->addWidget(on_ip_change_, row++, 0, 1, 3);
  label("アップロードするファイル名：");
  grid->addWidget(remote_name_ = add_edit("upFileName"), row++, 1, 1, 2);
  on_connection_change_ = add_check("uploadChangeCon", "接続人数が変わると、アップロードする。");
  grid->addWidget(on_connection_change_, row++, 0, 1, 3);
  label("テンプレートファイル：");
  grid->addWidget(running_template_ = add_edit("tempFile1"), row, 1);
  auto* browse1 = new QPushButton("参照", this);
  browse1->setObjectName("browse1");
  grid->addWidget(browse1, row++, 2);
  at_end_ = add_check("uploadChangeEnd", "アプリケーション終了の時、アップロードする。");
  grid->addWidget(at_end_, row++, 0, 1, 3);
  label("テンプレートファイル：");
  grid->addWidget(end_template_ = add_edit("tempFile2"), row, 1);
  auto* browse2 = new QPushButton("参照", this);
  browse2->setObjectName("browse2");
  grid->addWidget(browse2, row++, 2);
  force_ = add_check("uploadForce", "無条件でアップロードする。");
  grid->addWidget(force_, row++, 0, 1, 3);
  passive_ = add_check("passive", "PASVモードで送信する（受信側がPORTを受け付けない場合）");
  grid->addWidget(passive_, row++, 0, 1, 3);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  QPushButton* help = buttons->addButton("Help", QDialogButtonBox::HelpRole);
  help->setObjectName("help");
  grid->addWidget(buttons, row, 0, 1, 3);

  connect(buttons, &QDialogButtonBox::accepted, this, &CAutoIpDialog::on_ok);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, &CAutoIpDialog::on_help);
  connect(browse1, &QPushButton::clicked, this, &CAutoIpDialog::on_browse_running);
  connect(browse2, &QPushButton::clicked, this, &CAutoIpDialog::on_browse_end);

  const AutoIpSettings a = load_auto_ip_settings_for_dialog(ini_file_);
  enabled_->setChecked(a.enabled);
  server_->setText(q(a.server));
  port_->setText(QString::number(a.port));
  user_->setText(q(a.user));
  password_->setText(q(a.password));
  check_time_->setText(QString::number(a.check_minutes));
  on_ip_change_->setChecked(a.on_ip_change);
  remote_name_->setText(q(a.remote_name));
  on_connection_change_->setChecked(a.on_connection_change);
  running_template_->setText(q(a.running_template));
  at_end_->setChecked(a.at_end);
  end_template_->setText(q(a.end_template));
  force_->setChecked(a.force);
  passive_->setChecked(a.passive);
}

QLineEdit* CAutoIpDialog::add_edit(const char* name) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(name);
  return edit;
}

QCheckBox* CAutoIpDialog::add_check(const char* name, const char* caption) {
  auto* box = new QCheckBox(caption, this);
  box->setObjectName(name);
  return box;
}

bool CAutoIpDialog::save() {
  AutoIpSettings a;
  // The interval is counted in seconds by the one-second tick.
  if (!take_int(this, port_, port_check("ポート（通常21）"), a.port) ||
      !take_int(this, check_time_, count_check("チェック間隔", kIntMax / 60), a.check_minutes))
    return false;
  a.server = s(server_);
  a.user = s(user_);
  a.password = s(password_);
  a.running_template = s(running_template_);
  a.end_template = s(end_template_);
  a.remote_name = s(remote_name_);
  a.enabled = enabled_->isChecked();
  a.on_ip_change = on_ip_change_->isChecked();
  a.on_connection_change = on_connection_change_->isChecked();
  a.at_end = at_end_->isChecked();
  a.force = force_->isChecked();
  a.passive = passive_->isChecked();
  if (!save_auto_ip_settings(ini_file_, a)) {
    show_message(this, "ファイル[" + ini_file_ + "]に書き込めませんでした。");
    return false;
  }
  return true;
}

void CAutoIpDialog::on_ok() {
  if (save()) accept();
}

void CAutoIpDialog::browse_into(QLineEdit* field) {
  if (auto chosen = choose_existing_file(this, "全ファイル(*.*) (*)")) field->setText(q(*chosen));
}

void CAutoIpDialog::on_browse_running() { browse_into(running_template_); }
void CAutoIpDialog::on_browse_end() { browse_into(end_template_); }
void CAutoIpDialog::on_help() { open_help("自動IP告知ダイアログ"); }

bool run_auto_ip_dialog(QWidget* parent, const std::string& ini_file) {
  CAutoIpDialog dialog(ini_file, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace manager
