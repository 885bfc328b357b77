#include "manager/editors/advance_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "manager/editors/editor_buttons.h"
#include "manager/editors/editor_fields.h"
#include "manager/shell/prompts.h"
#include "manager/shell/service_registration.h"

namespace manager {
namespace {

QCheckBox* check_box(QWidget* parent, const QString& text, const char* name, int value) {
  QCheckBox* box = make_check_box(parent, text, name);
  box->setChecked(value != 0);
  return box;
}

}  // namespace

AdvanceValues advance_values(const SystemSettings& s) {
  return {s.pasv_port_low, s.pasv_port_high, s.close_srv, s.service,
          s.core_listen_port, s.use_global_ip, s.use_client_global_ip};
}

void apply_advance_values(const AdvanceValues& v, SystemSettings& s) {
  s.pasv_port_low = v.pasv_port_low;
  s.pasv_port_high = v.pasv_port_high;
  s.close_srv = v.close_srv;
  s.service = v.service;
  s.core_listen_port = v.core_listen_port;
  s.use_global_ip = v.use_global_ip;
  s.use_client_global_ip = v.use_client_global_ip;
}

CAdvanceDialog::CAdvanceDialog(const AdvanceValues& values, ProgramPaths paths, QWidget* parent)
    : QDialog(parent), values_(values), paths_(std::move(paths)) {
  setWindowTitle(QStringLiteral("システム設定-Advance"));
  auto* layout = new QVBoxLayout(this);
  auto* pasv = new QHBoxLayout;
  pasv->addWidget(new QLabel(QStringLiteral("PASV使用ポート制限："), this));
  pasv_low_ = make_int_edit(this, "pasvPortLow", values.pasv_port_low);
  pasv_high_ = make_int_edit(this, "pasvPortHigh", values.pasv_port_high);
  pasv->addWidget(pasv_low_);
  pasv->addWidget(new QLabel(QStringLiteral("～"), this));
  pasv->addWidget(pasv_high_);
  pasv->addWidget(new QLabel(QStringLiteral("※0で自動"), this));
  layout->addLayout(pasv);
  close_srv_ = check_box(this, QStringLiteral("ウィンドウClose時、サーバー(サービス)を終了"),
                         "closeSrv", values.close_srv);
  layout->addWidget(close_srv_);
  auto* service = new QHBoxLayout;
  QPushButton* register_button = make_button(this, QStringLiteral("サービスに登録"), "c1003");
  QPushButton* remove_button = make_button(this, QStringLiteral("サービスの削除"), "c1018");
  service->addWidget(register_button);
  service->addWidget(remove_button);
  layout->addLayout(service);
  auto* listen = new QHBoxLayout;
  listen->addWidget(new QLabel(QStringLiteral("FTPD Core I/F Listen Port : "), this));
  listen_port_ = make_int_edit(this, "coreListenPort", values.core_listen_port);
  listen->addWidget(listen_port_);
  layout->addLayout(listen);
  use_global_ip_ = check_box(this, QStringLiteral("PASVのIPは、外部で確認したGlobalIPを使用する。"),
                             "useGlobalIp", values.use_global_ip);
  use_client_global_ip_ =
      check_box(this, QStringLiteral("PORTのIPは、クライアントのコネクションIPを使用する。"),
                "useClientGlobalIp", values.use_client_global_ip);
  layout->addWidget(use_global_ip_);
  layout->addWidget(use_client_global_ip_);
  QPushButton* ok = make_button(this, QStringLiteral("OK"), "ok");
  QPushButton* cancel = make_button(this, QStringLiteral("キャンセル"), "cancel");
  add_button_row(layout, {ok, cancel});
  connect(ok, &QPushButton::clicked, this, &CAdvanceDialog::on_ok);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(register_button, &QPushButton::clicked, this, &CAdvanceDialog::on_register);
  connect(remove_button, &QPushButton::clicked, this, &CAdvanceDialog::on_remove);
}

// In the order of the dialog: a bad entry is reported and the dialog stays open.
bool CAdvanceDialog::take_entries() {
  AdvanceValues taken = values_;
  if (!take_int(this, pasv_low_, port_check("PASV使用ポート制限", true), taken.pasv_port_low))
    return false;
  if (!take_int(this, pasv_high_, port_check("PASV使用ポート制限", true), taken.pasv_port_high))
    return false;
  taken.close_srv = close_srv_->isChecked() ? 1 : 0;
  if (!take_int(this, listen_port_, port_check("FTPD Core I/F Listen Port"), taken.core_listen_port))
    return false;
  taken.use_global_ip = use_global_ip_->isChecked() ? 1 : 0;
  taken.use_client_global_ip = use_client_global_ip_->isChecked() ? 1 : 0;
  values_ = taken;
  return true;
}

void CAdvanceDialog::on_ok() {
  if (take_entries()) accept();
}

void CAdvanceDialog::on_register() {
  show_message(this, register_core_service(values_.service, paths_));
}

void CAdvanceDialog::on_remove() {
  show_message(this, remove_core_service(values_.service, paths_));
}

}  // namespace manager
