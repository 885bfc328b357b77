#include "manager/shell/refuse_user_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace manager {

CRefuseUserDlg::CRefuseUserDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("ユーザー拒否");
  setObjectName("refuseUserDialog");
  auto* layout = new QVBoxLayout(this);
  disable_account_ = new QCheckBox("アカウントを無効にする。", this);
  disable_account_->setObjectName("disableAccount");
  refuse_address_ = new QCheckBox("IPを拒否リストに追加。", this);
  refuse_address_->setObjectName("refuseAddress");
  kick_ = new QCheckBox("このユーザーを切断する。", this);
  kick_->setObjectName("kickUser");
  for (QCheckBox* box : {disable_account_, refuse_address_, kick_}) {
    box->setChecked(true);
    layout->addWidget(box);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

RefuseChoice CRefuseUserDlg::choice() const {
  return {disable_account_->isChecked(), refuse_address_->isChecked(), kick_->isChecked()};
}

}  // namespace manager
