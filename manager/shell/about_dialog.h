// The dialog "velmoraFTPdのﾊﾞｰｼﾞｮﾝ情報" with the version text.
#pragma once
#include <QDialog>

namespace manager {

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace manager
