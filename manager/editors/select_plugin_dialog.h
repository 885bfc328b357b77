// "ロード済みプラグイン選択" (CSelPluginDlg): picks one of the registered system plug-ins.
#pragma once
#include <QDialog>
#include <string>

class QListWidget;

namespace manager {

class CSelPluginDlg : public QDialog {
  Q_OBJECT
 public:
  // Lists [SysPlugIn] Plugin0.. of ini_file up to the first empty one.
  CSelPluginDlg(const std::string& ini_file, QWidget* parent = nullptr);
  // The path chosen by OK.
  const std::string& selected() const { return selected_; }

 private slots:
  void on_ok();

 private:
  QListWidget* list_ = nullptr;
  std::string selected_;
};

}  // namespace manager
