#include "manager/notify/mail_body_dialog.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "manager/notify/account_mail.h"
#include "platform/files.h"

namespace manager {

CMailBodyDialog::CMailBodyDialog(const std::string& ini_file, const std::string& subject,
                                 QWidget* parent)
    : QDialog(parent), body_file_(mail_body_path(ini_file)), subject_(subject) {
  setWindowTitle("メール本文作成");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("タイトル：", this));
  title_ = new QLineEdit(QString::fromStdString(subject), this);
  title_->setObjectName("title");
  layout->addWidget(title_);
  body_ = new QPlainTextEdit(this);
  body_->setObjectName("body");
  layout->addWidget(body_);
  layout->addWidget(new QLabel("使用可能タグ：ユーザー名($USER$)  パスワード($PASS$)", this));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancel");
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CMailBodyDialog::on_ok);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  const std::optional<std::string> body = read_mail_body(body_file_);
  body_->setPlainText(QString::fromStdString(body ? *body : default_mail_body()));
}

bool CMailBodyDialog::save() {
  std::string body = body_->toPlainText().toStdString();
  std::string text;
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') continue;
    text += body[i];
  }
  if (!platform::write_file_atomically(body_file_, text)) return false;
  subject_ = title_->text().toStdString();
  return true;
}

void CMailBodyDialog::on_ok() {
  saved_ = save();
  accept();
}

void CMailBodyDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) return event->accept();
  QDialog::keyPressEvent(event);
}

bool run_mail_body_dialog(QWidget* parent, const std::string& ini_file, std::string& subject) {
  CMailBodyDialog dialog(ini_file, subject, parent);
  if (dialog.exec() != QDialog::Accepted || !dialog.saved()) return false;
  subject = dialog.subject();
  return true;
}

}  // namespace manager
