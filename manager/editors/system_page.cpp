#include "manager/editors/system_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "manager/editors/advance_dialog.h"
#include "manager/editors/editor_buttons.h"
#include "manager/editors/editor_fields.h"
#include "manager/shell/local_addresses.h"

namespace manager {
namespace {

constexpr int kArrowLow = 0;
constexpr int kArrowHigh = 1000;

}  // namespace

CSystemPage::CSystemPage(SystemSettings& settings, ProgramPaths paths, QWidget* parent)
    : QWidget(parent), settings_(settings), paths_(std::move(paths)) {
  auto* grid = new QGridLayout(this);
  int row = 0;
  port_ = make_int_edit(this, "port", 0);
  grid->addWidget(new QLabel(QStringLiteral("ポート："), this), row, 0);
  grid->addWidget(with_arrows(port_, kArrowLow, kArrowHigh), row++, 1);
  max_connect_ = make_int_edit(this, "maxConnect", 0);
  grid->addWidget(new QLabel(QStringLiteral("最大回線数："), this), row, 0);
  grid->addWidget(with_arrows(max_connect_, kArrowLow, kArrowHigh), row++, 1);
  start_server_ = make_check_box(this, QStringLiteral("起動時にサーバー開始。"), "startServer");
  grid->addWidget(start_server_, row++, 0, 1, 3);
  save_usr_min_ = make_int_edit(this, "saveUsrMin", 0);
  grid->addWidget(new QLabel(QStringLiteral("接続ユーザーのバックアップ"), this), row, 0);
  grid->addWidget(with_arrows(save_usr_min_, kArrowLow, kArrowHigh), row, 1);
  grid->addWidget(new QLabel(QStringLiteral("分ごと"), this), row++, 2);
  global_ip_ = new QComboBox(this);
  global_ip_->setObjectName("globalIp");
  grid->addWidget(new QLabel(QStringLiteral("グローバルIP選択："), this), row, 0);
  grid->addWidget(global_ip_, row++, 1);
  ras_connect_ = make_check_box(this, QStringLiteral("接続を維持（RASの設定が必要）"), "rasConnect");
  grid->addWidget(ras_connect_, row++, 0, 1, 3);
  source_port_ = make_int_edit(this, "sourcePort", 0);
  grid->addWidget(new QLabel(QStringLiteral("ソースポート："), this), row, 0);
  grid->addWidget(with_arrows(source_port_, kArrowLow, kArrowHigh), row++, 1);
  min_run_ = make_check_box(this, QStringLiteral("最小化で起動"), "minRun");
  grid->addWidget(min_run_, row++, 0, 1, 3);
  buffer_size_ = make_int_edit(this, "bufferSize", 0);
  grid->addWidget(new QLabel(QStringLiteral("通信バッファ："), this), row, 0);
  grid->addWidget(buffer_size_, row++, 1);
  add_login_limits(grid, row);
  QPushButton* advance = make_button(this, QStringLiteral("Advance"), "advance");
  grid->addWidget(advance, row++, 2);
  grid->setRowStretch(row, 1);
  connect(advance, &QPushButton::clicked, this, &CSystemPage::on_advance);
  fill_addresses();
}

// Wrong-password delay, failures that lock an address, the lock's length and the time a
// connection has to log in.
void CSystemPage::add_login_limits(QGridLayout* grid, int& row) {
  struct Row {
    QLineEdit** edit;
    const char* name;
    const char* caption;
    const char* unit;
  };
  const Row rows[] = {
      {&login_fail_delay_, "loginFailDelay", "ログイン失敗の応答遅延：", "ミリ秒"},
      {&login_fail_limit_, "loginFailLimit", "ホストをロックする失敗回数：", "回（0で無効）"},
      {&login_lock_minutes_, "loginLockMinutes", "ロック時間：", "分"},
      {&login_timeout_, "loginTimeout", "ログインまでの制限時間：", "秒（0で無制限）"},
  };
  for (const Row& r : rows) {
    *r.edit = make_int_edit(this, r.name, 0);
    grid->addWidget(new QLabel(QString::fromUtf8(r.caption), this), row, 0);
    grid->addWidget(*r.edit, row, 1);
    grid->addWidget(new QLabel(QString::fromUtf8(r.unit), this), row++, 2);
  }
}

// The host's addresses as the local address table holds them, filled once.
void CSystemPage::fill_addresses() {
  global_ip_->clear();
  const int last = last_filled_address_index();
  for (int i = 0; i <= last && i <= 2; ++i) {
    global_ip_->addItem(QString::fromStdString(local_address_slot(i)));
  }
}

void CSystemPage::show_values() {
  port_->setText(QString::number(settings_.port));
  max_connect_->setText(QString::number(settings_.max_connect));
  start_server_->setChecked(settings_.start_server != 0);
  save_usr_min_->setText(QString::number(settings_.save_usr_min));
  const int index = settings_.global_ip;
  global_ip_->setCurrentIndex(index >= 0 && index < global_ip_->count() ? index : -1);
  ras_connect_->setChecked(settings_.ras_connect != 0);
  source_port_->setText(QString::number(settings_.source_port));
  min_run_->setChecked(settings_.min_run != 0);
  buffer_size_->setText(QString::number(settings_.buffer_size));
  login_fail_delay_->setText(QString::number(settings_.login_fail_delay));
  login_fail_limit_->setText(QString::number(settings_.login_fail_limit));
  login_lock_minutes_->setText(QString::number(settings_.login_lock_minutes));
  login_timeout_->setText(QString::number(settings_.login_timeout));
}

bool CSystemPage::take_values() {
  SystemSettings& s = settings_;
  if (!take_int(this, port_, port_check("ポート"), s.port)) return false;
  if (!take_int(this, max_connect_, count_check("最大回線数"), s.max_connect)) return false;
  s.start_server = start_server_->isChecked() ? 1 : 0;
  if (!take_int(this, save_usr_min_, count_check("接続ユーザーのバックアップ"), s.save_usr_min))
    return false;
  // With no entry selected (e.g. fewer addresses found than the stored index) the stored
  // choice is kept rather than replaced by -1.
  if (global_ip_->currentIndex() >= 0) s.global_ip = global_ip_->currentIndex();
  s.ras_connect = ras_connect_->isChecked() ? 1 : 0;
  if (!take_int(this, source_port_, port_check("ソースポート", true), s.source_port)) return false;
  s.min_run = min_run_->isChecked() ? 1 : 0;
  if (!take_int(this, buffer_size_, {"通信バッファ", 1024, 1048576}, s.buffer_size)) return false;
  if (!take_int(this, login_fail_delay_, {"ログイン失敗の応答遅延", 0, 60000}, s.login_fail_delay))
    return false;
  if (!take_int(this, login_fail_limit_, count_check("ホストをロックする失敗回数"), s.login_fail_limit))
    return false;
  if (!take_int(this, login_lock_minutes_, {"ロック時間", 0, 10080}, s.login_lock_minutes))
    return false;
  return take_int(this, login_timeout_, count_check("ログインまでの制限時間"), s.login_timeout);
}

void CSystemPage::on_advance() {
  CAdvanceDialog dialog(advance_values(settings_), paths_, this);
  if (dialog.exec() == QDialog::Accepted) apply_advance_values(dialog.values(), settings_);
}

}  // namespace manager
