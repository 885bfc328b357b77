// "メール本文作成": edits mail.txt and the mail's subject.
#pragma once
#include <QDialog>
#include <string>

class QLineEdit;
class QPlainTextEdit;

namespace manager {

class CMailBodyDialog : public QDialog {
  Q_OBJECT
 public:
  // Shows subject and mail.txt beside ini_file (the default body when it cannot be read).
  CMailBodyDialog(const std::string& ini_file, const std::string& subject,
                  QWidget* parent = nullptr);
  // Writes the body to mail.txt; true when it was written (the subject is then taken).
  bool save();
  const std::string& subject() const { return subject_; }
  bool saved() const { return saved_; }  // OK wrote mail.txt

 protected:
  void keyPressEvent(QKeyEvent* event) override;  // Esc does not close the dialog

 private slots:
  void on_ok();

 private:
  std::string body_file_;
  std::string subject_;
  bool saved_ = false;
  QLineEdit* title_ = nullptr;
  QPlainTextEdit* body_ = nullptr;
};

}  // namespace manager
