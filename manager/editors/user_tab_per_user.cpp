#include "manager/editors/user_tab_per_user.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "manager/editors/message_editor_dialog.h"
#include "manager/editors/prohibition_bits.h"

namespace manager {

CPerUserTab::CPerUserTab(const AccountRecord& record, QWidget* parent)
    : QWidget(parent),
      message_226_(record.message_226),
      message_3310_(record.message_3310),
      message_230_(record.message_230),
      kinshi_loaded_(record.user_kinshi) {
  build();
  for (size_t i = 0; i < kinshi_.size(); ++i) {
    kinshi_[i]->setChecked(box_checked(kinshi_boxes()[i], record.user_kinshi));
  }
  pasv_->setChecked(record.pasv);
  require_tls_->setChecked(record.require_tls);
  use_complete_->setChecked(record.use_complete_message);
  use_known_id_->setChecked(record.use_known_id_message);
  use_logon_->setChecked(record.use_logon_message);
}

void CPerUserTab::build() {
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(QString::fromUtf8("ユーザー別禁止動作"), this);
  auto* kinshi_grid = new QGridLayout(group);
  const std::vector<BitBox>& boxes = kinshi_boxes();
  for (size_t i = 0; i < boxes.size(); ++i) {
    auto* box = new QCheckBox(QString::fromUtf8(boxes[i].caption), group);
    box->setObjectName(boxes[i].object_name);
    // Six directory and general actions in the first column, six file actions beside.
    kinshi_grid->addWidget(box, static_cast<int>(i % 6), static_cast<int>(i / 6));
    kinshi_.push_back(box);
  }
  layout->addWidget(group);
  pasv_ = new QCheckBox(QString::fromUtf8("PASVモード"), this);
  pasv_->setObjectName("pasv");
  layout->addWidget(pasv_);
  require_tls_ = new QCheckBox(QString::fromUtf8("TLSを使うログインだけを受け付ける"), this);
  require_tls_->setObjectName("requireTls");
  layout->addWidget(require_tls_);
  auto* grid = new QGridLayout;
  use_complete_ = add_message_row(grid, 0, "useCompleteMessage", "正常メッセージ",
                                  "editCompleteMessage", &CPerUserTab::edit_complete);
  use_known_id_ = add_message_row(grid, 1, "useKnownIDMessage", "ID入力時",
                                  "editKnownIDMessage", &CPerUserTab::edit_known_id);
  use_logon_ = add_message_row(grid, 2, "useLogOnMessage", "LogOn時", "editLogOnMessage",
                               &CPerUserTab::edit_logon);
  layout->addLayout(grid);
  layout->addStretch(1);
}

QCheckBox* CPerUserTab::add_message_row(QGridLayout* grid, int row, const char* name,
                                        const char* caption, const char* button_name,
                                        void (CPerUserTab::*slot)()) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), this);
  box->setObjectName(name);
  auto* button = new QPushButton(QString::fromUtf8("メッセージの編集"), this);
  button->setObjectName(button_name);
  connect(button, &QPushButton::clicked, this, slot);
  grid->addWidget(box, row, 0);
  grid->addWidget(button, row, 1);
  return box;
}

// OK in the editor takes the text; Cancel keeps the old one.
void CPerUserTab::edit(std::string& text, const char* caption) {
  const std::optional<std::string> edited = edit_message(this, caption, text);
  if (edited) text = *edited;
}

void CPerUserTab::collect(AccountRecord& r) const {
  // Bits without a check box are kept as they were loaded.
  uint32_t kinshi = kinshi_loaded_;
  for (size_t i = 0; i < kinshi_.size(); ++i) {
    kinshi = apply_box(kinshi_boxes()[i], kinshi, kinshi_[i]->isChecked());
  }
  r.user_kinshi = kinshi;
  r.pasv = pasv_->isChecked();
  r.require_tls = require_tls_->isChecked();
  r.use_complete_message = use_complete_->isChecked();
  r.use_known_id_message = use_known_id_->isChecked();
  r.use_logon_message = use_logon_->isChecked();
  r.message_226 = message_226_;
  r.message_3310 = message_3310_;
  r.message_230 = message_230_;
}

}  // namespace manager
