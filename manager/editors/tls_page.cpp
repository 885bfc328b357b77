#include "manager/editors/tls_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "manager/editors/editor_buttons.h"
#include "manager/editors/editor_fields.h"

namespace manager {
namespace {

QLineEdit* make_path_edit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setPlaceholderText(QStringLiteral("プログラムのフォルダからの相対パスも可"));
  return edit;
}

}  // namespace

CTlsPage::CTlsPage(SystemSettings& settings, QWidget* parent) : QWidget(parent), settings_(settings) {
  auto* grid = new QGridLayout(this);
  int row = 0;
  enable_ = make_check_box(this, QStringLiteral("FTP over TLS（FTPS）を使う"), "tlsEnable");
  grid->addWidget(enable_, row++, 0, 1, 2);
  certificate_ = make_path_edit(this, "tlsCertificate");
  grid->addWidget(new QLabel(QStringLiteral("証明書ファイル（PEM）："), this), row, 0);
  grid->addWidget(certificate_, row++, 1);
  private_key_ = make_path_edit(this, "tlsPrivateKey");
  grid->addWidget(new QLabel(QStringLiteral("秘密鍵ファイル（PEM）："), this), row, 0);
  grid->addWidget(private_key_, row++, 1);
  implicit_port_ = make_int_edit(this, "tlsImplicitPort", 0);
  grid->addWidget(new QLabel(QStringLiteral("暗黙のTLSのポート（0で使わない）："), this), row, 0);
  grid->addWidget(with_arrows(implicit_port_, 0, 65535), row++, 1);
  require_for_login_ =
      make_check_box(this, QStringLiteral("TLSを使わないログインを拒否する"), "tlsRequireForLogin");
  require_for_data_ = make_check_box(
      this, QStringLiteral("保護されていないデータ接続を拒否する（PROT P を必須にする）"),
      "tlsRequireForData");
  require_reuse_ = make_check_box(
      this, QStringLiteral("データ接続に制御接続のTLSセッションの再利用を求める"), "tlsRequireReuse");
  grid->addWidget(require_for_login_, row++, 0, 1, 2);
  grid->addWidget(require_for_data_, row++, 0, 1, 2);
  grid->addWidget(require_reuse_, row++, 0, 1, 2);
  grid->setRowStretch(row, 1);
}

void CTlsPage::show_values() {
  enable_->setChecked(settings_.tls_enable != 0);
  certificate_->setText(QString::fromStdString(settings_.tls_certificate));
  private_key_->setText(QString::fromStdString(settings_.tls_private_key));
  implicit_port_->setText(QString::number(settings_.tls_implicit_port));
  require_for_login_->setChecked(settings_.tls_require_for_login != 0);
  require_for_data_->setChecked(settings_.tls_require_for_data != 0);
  require_reuse_->setChecked(settings_.tls_require_reuse != 0);
}

bool CTlsPage::take_values() {
  SystemSettings& s = settings_;
  s.tls_enable = enable_->isChecked() ? 1 : 0;
  s.tls_certificate = certificate_->text().trimmed().toStdString();
  s.tls_private_key = private_key_->text().trimmed().toStdString();
  if (!take_int(this, implicit_port_, port_check("暗黙のTLSのポート", true), s.tls_implicit_port)) return false;
  s.tls_require_for_login = require_for_login_->isChecked() ? 1 : 0;
  s.tls_require_for_data = require_for_data_->isChecked() ? 1 : 0;
  s.tls_require_reuse = require_reuse_->isChecked() ? 1 : 0;
  return true;
}

}  // namespace manager
