// "システム設定-Advance": the passive port range, the admin port, the two address
// switches, stop-on-close and the service registration buttons.
#pragma once
#include <QDialog>

#include "manager/editors/system_settings.h"
#include "manager/shell/program_paths.h"

class QCheckBox;
class QLineEdit;

namespace manager {

struct AdvanceValues {
  int pasv_port_low = 0;
  int pasv_port_high = 0;
  int close_srv = 0;
  int service = 0;
  int core_listen_port = 54253;
  int use_global_ip = 0;
  int use_client_global_ip = 0;
};
AdvanceValues advance_values(const SystemSettings& settings);
void apply_advance_values(const AdvanceValues& values, SystemSettings& settings);

class CAdvanceDialog : public QDialog {
  Q_OBJECT
 public:
  CAdvanceDialog(const AdvanceValues& values, ProgramPaths paths, QWidget* parent = nullptr);
  // The values as taken by the last successful OK (the service copy also changes with the
  // registration buttons).
  const AdvanceValues& values() const { return values_; }

 private slots:
  void on_ok();
  void on_register();
  void on_remove();

 private:
  bool take_entries();

  AdvanceValues values_;
  ProgramPaths paths_;
  QLineEdit* pasv_low_ = nullptr;
  QLineEdit* pasv_high_ = nullptr;
  QLineEdit* listen_port_ = nullptr;
  QCheckBox* close_srv_ = nullptr;
  QCheckBox* use_global_ip_ = nullptr;
  QCheckBox* use_client_global_ip_ = nullptr;
};

}  // namespace manager
