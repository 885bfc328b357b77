#include "manager/editors/user_tab_limits.h"

#include "manager/editors/editor_fields.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <climits>

#include "manager/editors/int_field.h"
#include "manager/shell/prompts.h"

namespace manager {

namespace {

QLabel* label(QWidget* parent, const char* text) { return new QLabel(QString::fromUtf8(text), parent); }

}  // namespace

CLimitTab::CLimitTab(const AccountRecord& record, QWidget* parent) : QWidget(parent) {
  build();
  show_record(record);
}

void CLimitTab::build() {
  max_per_user_ = new CIntField("maxConPerUser", 0, 100, this);
  max_per_ip_ = new CIntField("maxConPerIP", 0, 100, this);
  connect_time_ = new CIntField("connectTime", 0, 100, this);
  idle_time_ = new CIntField("idleTime", 0, 100, this);
  rate_up_ = new CIntField("rateUp", 0, 10, this);
  rate_down_ = new CIntField("rateDown", 0, 10, this);
  credit_ = new CIntField("credit", 0, 30000, this);
  up_bps_ = new CIntField("upBps", 0, 10000, this);
  down_bps_ = new CIntField("downBps", 0, 10000, this);
  use_rate_ = new QCheckBox(QString::fromUtf8("レート機能を使用する"), this);
  use_rate_->setObjectName("useRate");
  save_credit_ = new QCheckBox(QString::fromUtf8("クレジットを保存する"), this);
  save_credit_->setObjectName("saveCredit");
  use_capacity_ = new QCheckBox(QString::fromUtf8("容量制限機能を使用する"), this);
  use_capacity_->setObjectName("useLimitCapacity");

  auto* grid = new QGridLayout(this);
  grid->addWidget(label(this, "ユーザー毎の同時接続数："), 0, 0);
  grid->addWidget(max_per_user_, 0, 1);
  grid->addWidget(label(this, "IP毎の同時接続数："), 1, 0);
  grid->addWidget(max_per_ip_, 1, 1);
  grid->addWidget(label(this, "接続時間："), 2, 0);
  grid->addWidget(connect_time_, 2, 1);
  grid->addWidget(label(this, "分"), 2, 2);
  grid->addWidget(label(this, "アイドル時間："), 3, 0);
  grid->addWidget(idle_time_, 3, 1);
  grid->addWidget(label(this, "分"), 3, 2);
  grid->addWidget(use_rate_, 4, 0);
  grid->addWidget(save_credit_, 4, 1);
  grid->addWidget(label(this, "レート(UP:DOWN)"), 5, 0);
  grid->addWidget(rate_up_, 5, 1);
  grid->addWidget(rate_down_, 5, 2);
  grid->addWidget(label(this, "初期クレジット(初期許容容量)："), 6, 0);
  grid->addWidget(credit_, 6, 1);
  grid->addWidget(label(this, "kb"), 6, 2);
  grid->addWidget(use_capacity_, 7, 0);
  grid->addWidget(label(this, "上り"), 8, 0);
  grid->addWidget(up_bps_, 8, 1);
  grid->addWidget(label(this, "kbps"), 8, 2);
  grid->addWidget(label(this, "下り"), 9, 0);
  grid->addWidget(down_bps_, 9, 1);
  grid->addWidget(label(this, "kbps"), 9, 2);
  grid->setRowStretch(10, 1);

  connect(use_rate_, &QCheckBox::toggled, this, &CLimitTab::use_rate_changed);
  connect(use_capacity_, &QCheckBox::toggled, this, &CLimitTab::use_capacity_changed);
}

void CLimitTab::show_record(const AccountRecord& r) {
  max_per_user_->set_value(r.max_con_per_user);
  max_per_ip_->set_value(r.max_con_per_ip);
  connect_time_->set_value(r.connect_time);
  idle_time_->set_value(r.idle_time);
  rate_up_->set_value(r.rate_up);
  rate_down_->set_value(r.rate_down);
  credit_->set_value(r.credit_kb);
  up_bps_->set_value(r.up_bps);
  down_bps_->set_value(r.down_bps);
  use_rate_->setChecked(r.use_rate);
  use_capacity_->setChecked(r.use_limit_capacity && !r.use_rate);
  save_credit_->setChecked(r.save_credit);
}

void CLimitTab::use_rate_changed(bool checked) {
  if (checked) use_capacity_->setChecked(false);
}

void CLimitTab::use_capacity_changed(bool checked) {
  if (checked) use_rate_->setChecked(false);
}

// A bad entry is named in its message and keeps the focus.
bool CLimitTab::read_field(CIntField* field, const char* caption, int low, int high, int& out) {
  return take_int(this, field->edit(), {caption, low, high}, out);
}

bool CLimitTab::collect(AccountRecord& r) {
  int credit = 0;
  // The rate is kept as two bytes of one 16-bit word: each side holds 0 to 255.
  // Counts, minutes and rates are never negative.
  const bool ok =
      read_field(max_per_user_, "ユーザー毎の同時接続数", 0, INT_MAX, r.max_con_per_user) &&
      read_field(max_per_ip_, "IP毎の同時接続数", 0, INT_MAX, r.max_con_per_ip) &&
      read_field(connect_time_, "接続時間", 0, INT_MAX, r.connect_time) &&
      read_field(idle_time_, "アイドル時間", 0, INT_MAX, r.idle_time) &&
      read_field(rate_up_, "レート(UP)", 0, 255, r.rate_up) &&
      read_field(rate_down_, "レート(DOWN)", 0, 255, r.rate_down) &&
      read_field(credit_, "初期クレジット", 0, static_cast<int>(kMaxCreditKb), credit) &&
      read_field(up_bps_, "上り", 0, INT_MAX, r.up_bps) &&
      read_field(down_bps_, "下り", 0, INT_MAX, r.down_bps);
  if (!ok) return false;
  r.credit_kb = static_cast<uint32_t>(credit);
  r.use_rate = use_rate_->isChecked();
  r.save_credit = save_credit_->isChecked();
  r.use_limit_capacity = use_capacity_->isChecked();
  return true;
}

}  // namespace manager
