#include "manager/editors/refuse_page.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "manager/editors/message_editor_dialog.h"
#include "manager/editors/refusal.h"

namespace manager {

CRefusePage::CRefusePage(std::string program_dir, QWidget* parent)
    : QWidget(parent), program_dir_(std::move(program_dir)) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("拒否IPまたはメールアドレス(WildCard可)"), this));
  text_ = new QPlainTextEdit(this);
  text_->setObjectName("refuseText");
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  loaded_ = read_refuse_list(program_dir_);
  text_->setPlainText(QString::fromStdString(crlf_to_lf(loaded_)));
  layout->addWidget(text_);
}

bool CRefusePage::save() const {
  return write_refuse_list(program_dir_, loaded_, text_->toPlainText().toStdString());
}

}  // namespace manager
