#include "manager/shell/about_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "manager/shell/log_view.h"

namespace manager {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("velmoraFTPdのﾊﾞｰｼﾞｮﾝ情報");
  setObjectName("aboutDialog");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("velmoraFTPd Version", this));
  auto* version = new QLineEdit(kManagerVersion, this);
  version->setObjectName("c1000");
  version->setReadOnly(true);
  layout->addWidget(version);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

}  // namespace manager
