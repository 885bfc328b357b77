// Page "PlugIn" of the system settings (CSysPlugin): the registered system plug-ins in the
// order the Core and the Manager load them.
#pragma once
#include <QWidget>
#include <string>
#include <vector>

class QListWidget;

namespace manager {

class CSysPlugin : public QWidget {
  Q_OBJECT
 public:
  // Lists [SysPlugIn] Plugin0.. of ini_file up to the first empty one.
  CSysPlugin(std::string ini_file, QWidget* parent = nullptr);
  std::vector<std::string> entries() const;
  bool save() const;

 private slots:
  void on_add();

 private:
  std::string ini_file_;
  QListWidget* list_ = nullptr;
};

}  // namespace manager
