// Page "TLS" of the system settings: FTP over TLS, its key pair, the implicit-TLS port
// and what must be encrypted.
#pragma once
#include <QWidget>

#include "manager/editors/system_settings.h"

class QCheckBox;
class QLineEdit;

namespace manager {

class CTlsPage : public QWidget {
  Q_OBJECT
 public:
  CTlsPage(SystemSettings& settings, QWidget* parent = nullptr);
  void show_values();
  // A bad port keeps it and the later entries unchanged (as on the other pages).
  bool take_values();

 private:
  SystemSettings& settings_;
  QCheckBox* enable_ = nullptr;
  QLineEdit* certificate_ = nullptr;
  QLineEdit* private_key_ = nullptr;
  QLineEdit* implicit_port_ = nullptr;
  QCheckBox* require_for_login_ = nullptr;
  QCheckBox* require_for_data_ = nullptr;
  QCheckBox* require_reuse_ = nullptr;
};

}  // namespace manager
