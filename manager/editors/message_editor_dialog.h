// The dialog "メッセージ編集": edits one message text (lines separated by CR LF).
#pragma once
#include <QDialog>
#include <optional>
#include <string>

class QPlainTextEdit;
class QPushButton;
class QKeyEvent;
class QWidget;

namespace manager {

// Enter in the text inserts a line break; Esc does not close the dialog.
class CMessageEditorDialog : public QDialog {
  Q_OBJECT
 public:
  CMessageEditorDialog(const std::string& caption, const std::string& text,
                       QWidget* parent = nullptr);
  // The text as edited, with CR LF line breaks.
  std::string text() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QPlainTextEdit* edit_ = nullptr;
};

// The edited text on OK, none on Cancel.
std::optional<std::string> edit_message(QWidget* parent, const std::string& caption,
                                        const std::string& text);

// Line-break forms: CR LF (files, callers) and LF (the text widgets).
std::string crlf_to_lf(const std::string& text);
std::string lf_to_crlf(const std::string& text);

}  // namespace manager
