#include "manager/editors/log_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>

#include "manager/editors/editor_buttons.h"
#include "manager/editors/editor_fields.h"

namespace manager {

CLogPage::CLogPage(SystemSettings& settings, QWidget* parent) : QWidget(parent), settings_(settings) {
  auto* grid = new QGridLayout(this);
  int row = 0;
  log_all_cmd_ = make_check_box(this, QStringLiteral("全てのコマンドのログをとる"), "logAllCmd");
  log_all_comment_ = make_check_box(this, QStringLiteral("コメントのログをとる"), "logAllComment");
  log_all_file_ = make_check_box(this, QStringLiteral("ファイル操作のログをとる"), "logAllFile");
  grid->addWidget(log_all_cmd_, row++, 0, 1, 3);
  grid->addWidget(log_all_comment_, row++, 0, 1, 3);
  grid->addWidget(log_all_file_, row++, 0, 1, 3);
  max_log_char_ = make_int_edit(this, "maxLogChar", 0);
  grid->addWidget(new QLabel(QStringLiteral("ビューの最大行数："), this), row, 0);
  grid->addWidget(with_arrows(max_log_char_, 0, 30000), row++, 1);
  idle_time_ = make_int_edit(this, "idleTime", 0);
  grid->addWidget(new QLabel(QStringLiteral("アイドル時間表示までの時間"), this), row, 0);
  grid->addWidget(with_arrows(idle_time_, 0, 10000), row, 1);
  grid->addWidget(new QLabel(QStringLiteral("秒"), this), row++, 2);
  down_time_ = make_int_edit(this, "downTime", 0);
  grid->addWidget(new QLabel(QStringLiteral("転送経過時間表示までの時間"), this), row, 0);
  grid->addWidget(with_arrows(down_time_, 0, 10000), row, 1);
  grid->addWidget(new QLabel(QStringLiteral("秒"), this), row++, 2);
  ip2host_ = make_check_box(this, QStringLiteral("IPからHOST名を検索して表示する"), "ip2Host");
  adj_digit_ = make_check_box(this, QStringLiteral("単位の調整"), "adjDigit");
  grid->addWidget(ip2host_, row++, 0, 1, 3);
  grid->addWidget(adj_digit_, row++, 0, 1, 3);
  grid->setRowStretch(row, 1);
}

void CLogPage::show_values() {
  log_all_cmd_->setChecked(settings_.log_all_cmd != 0);
  log_all_comment_->setChecked(settings_.log_all_comment != 0);
  log_all_file_->setChecked(settings_.log_all_file != 0);
  max_log_char_->setText(QString::number(settings_.max_log_char));
  idle_time_->setText(QString::number(settings_.wait_view_idle_time));
  down_time_->setText(QString::number(settings_.wait_view_down_time));
  ip2host_->setChecked(settings_.ip2host != 0);
  adj_digit_->setChecked(settings_.adj_digit != 0);
}

bool CLogPage::take_values() {
  SystemSettings& s = settings_;
  s.log_all_cmd = log_all_cmd_->isChecked() ? 1 : 0;
  s.log_all_comment = log_all_comment_->isChecked() ? 1 : 0;
  s.log_all_file = log_all_file_->isChecked() ? 1 : 0;
  // The two times are seconds the monitor counts in milliseconds.
  if (!take_int(this, max_log_char_, count_check("ビューの最大行数"), s.max_log_char)) return false;
  if (!take_int(this, idle_time_, count_check("アイドル時間表示までの時間", kIntMax / 1000),
                s.wait_view_idle_time))
    return false;
  if (!take_int(this, down_time_, count_check("転送経過時間表示までの時間", kIntMax / 1000),
                s.wait_view_down_time))
    return false;
  s.ip2host = ip2host_->isChecked() ? 1 : 0;
  s.adj_digit = adj_digit_->isChecked() ? 1 : 0;
  return true;
}

}  // namespace manager
