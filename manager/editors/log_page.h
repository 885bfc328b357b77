// Page "ログ" of the system settings: which logs the Core writes and how the log pane shows.
#pragma once
#include <QWidget>

#include "manager/editors/system_settings.h"

class QCheckBox;
class QLineEdit;

namespace manager {

class CLogPage : public QWidget {
  Q_OBJECT
 public:
  CLogPage(SystemSettings& settings, QWidget* parent = nullptr);
  void show_values();
  // As on the page "システム": a bad entry keeps it and the later ones unchanged.
  bool take_values();

 private:
  SystemSettings& settings_;
  QCheckBox* log_all_cmd_ = nullptr;
  QCheckBox* log_all_comment_ = nullptr;
  QCheckBox* log_all_file_ = nullptr;
  QLineEdit* max_log_char_ = nullptr;
  QLineEdit* idle_time_ = nullptr;
  QLineEdit* down_time_ = nullptr;
  QCheckBox* ip2host_ = nullptr;
  QCheckBox* adj_digit_ = nullptr;
};

}  // namespace manager
