// Page "拒否IP" of the system settings: RefuseIP.txt as one editable text.
#pragma once
#include <QWidget>
#include <string>

class QPlainTextEdit;

namespace manager {

class CRefusePage : public QWidget {
  Q_OBJECT
 public:
  // Shows program_dir + "RefuseIP.txt" (empty when it cannot be read).
  CRefusePage(std::string program_dir, QWidget* parent = nullptr);
  // Replaces the file with the page's text; false (old file kept) when it cannot be written.
  bool save() const;

 private:
  std::string program_dir_;
  QPlainTextEdit* text_ = nullptr;
};

}  // namespace manager
