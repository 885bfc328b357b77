#include "manager/editors/message_editor_dialog.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace manager {

std::string crlf_to_lf(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

std::string lf_to_crlf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : crlf_to_lf(text)) {
    if (c == '\n') out += "\r\n";
    else out.push_back(c);
  }
  return out;
}

CMessageEditorDialog::CMessageEditorDialog(const std::string& caption, const std::string& text,
                                           QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("メッセージ編集"));
  auto* layout = new QVBoxLayout(this);
  if (!caption.empty()) layout->addWidget(new QLabel(QString::fromStdString(caption), this));
  edit_ = new QPlainTextEdit(this);
  edit_->setObjectName("text");
  edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit_->setPlainText(QString::fromStdString(crlf_to_lf(text)));
  layout->addWidget(edit_);
  layout->addWidget(new QLabel(QStringLiteral("表示マクロ一覧："), this));
  layout->addWidget(new QLabel(
      QStringLiteral("最大接続数($MAX_CON$) 現在の接続数($NOW_CON$) レート($RATE$)"), this));
  layout->addWidget(new QLabel(
      QStringLiteral("クレジット($CREDIT$) ユーザー名($USER$) パスワード($PASS$)"), this));
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  QPushButton* cancel = buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole);
  ok->setObjectName("ok");
  cancel->setObjectName("cancel");
  ok->setAutoDefault(false);
  cancel->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  layout->addWidget(buttons);
  edit_->setFocus();
}

std::string CMessageEditorDialog::text() const {
  return lf_to_crlf(edit_->toPlainText().toStdString());
}

void CMessageEditorDialog::keyPressEvent(QKeyEvent* event) {
  // Esc and a stray Enter outside the text never close the dialog.
  if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
      event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

std::optional<std::string> edit_message(QWidget* parent, const std::string& caption,
                                        const std::string& text) {
  CMessageEditorDialog dialog(caption, text, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.text();
}

}  // namespace manager
