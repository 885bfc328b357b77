// The dialog "ユーザー拒否": what to do with a connected user the operator refuses.
#pragma once
#include <QDialog>

class QCheckBox;
class QPushButton;

namespace manager {

struct RefuseChoice {
  bool disable_account = true;  // "アカウントを無効にする。"
  bool refuse_address = true;   // "IPを拒否リストに追加。"
  bool kick = true;             // "このユーザーを切断する。"
};

class CRefuseUserDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CRefuseUserDlg(QWidget* parent = nullptr);
  RefuseChoice choice() const;

 private:
  QCheckBox* disable_account_;
  QCheckBox* refuse_address_;
  QCheckBox* kick_;
};

}  // namespace manager
