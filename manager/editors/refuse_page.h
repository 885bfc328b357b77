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
  // Writes the page's text, keeping refusals that others added since the page opened;
  // false (old file kept) when it cannot be written.
  bool save() const;

 private:
  std::string program_dir_;
  std::string loaded_;  // the list as the page first showed it
  QPlainTextEdit* text_ = nullptr;
};

}  // namespace manager
