// Page "システム" of the system settings: port, limits, start-up switches, the announced
// address, the transfer buffer and the login limits; "Advance" opens the advanced
// settings.
#pragma once
#include <QWidget>

#include "manager/editors/system_settings.h"
#include "manager/shell/program_paths.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLineEdit;

namespace manager {

class CSystemPage : public QWidget {
  Q_OBJECT
 public:
  // settings: the dialog's copy; "Advance" reads and writes its advanced values.
  CSystemPage(SystemSettings& settings, ProgramPaths paths, QWidget* parent = nullptr);
  void show_values();
  // Takes the entries in page order; a bad entry is reported and it and the entries after
  // it keep their previous values. False when an entry was bad.
  bool take_values();

 private slots:
  void on_advance();

 private:
  void fill_addresses();
  void add_login_limits(QGridLayout* grid, int& row);

  SystemSettings& settings_;
  ProgramPaths paths_;
  QLineEdit* port_ = nullptr;
  QLineEdit* max_connect_ = nullptr;
  QCheckBox* start_server_ = nullptr;
  QLineEdit* save_usr_min_ = nullptr;
  QComboBox* global_ip_ = nullptr;
  QCheckBox* ras_connect_ = nullptr;
  QLineEdit* source_port_ = nullptr;
  QCheckBox* min_run_ = nullptr;
  QLineEdit* buffer_size_ = nullptr;
  QLineEdit* login_fail_delay_ = nullptr;
  QLineEdit* login_fail_limit_ = nullptr;
  QLineEdit* login_lock_minutes_ = nullptr;
  QLineEdit* login_timeout_ = nullptr;
};

}  // namespace manager
