#include "manager/shell/ras.h"

#include <QTimer>

#include "manager/shell/ras_dialog.h"
#include "manager/shell/ras_nmcli.h"
#include "shared/ini.h"

namespace manager {

namespace {

std::unique_ptr<RasService> default_service() {
  return std::make_unique<NmcliRas>(nmcli_program());
}

std::unique_ptr<RasService>& current() {
  static std::unique_ptr<RasService> service = default_service();
  return service;
}

RasTiming& timing() {
  static RasTiming values;
  return values;
}

bool auto_dial_flag = false;

}  // namespace

RasService& ras_service() { return *current(); }

void set_ras_service(std::unique_ptr<RasService> service) {
  current() = service ? std::move(service) : default_service();
}

// Any number of open connections counts: two links up are still a connection.
bool ras_connected() {
  const std::optional<int> count = ras_service().connection_count();
  return count && *count >= 1;
}

// The chosen entry (ListNo of the name-sorted list) when the service can tell entries
// apart; otherwise any connection counts.
bool chosen_entry_connected(const std::string& ini_file) {
  const int chosen = shared::IniFile(ini_file).get_int("VelmoraRasControl", "ListNo", -1);
  std::optional<std::vector<std::string>> names = ras_service().entries();
  if (names && chosen >= 0 && chosen < static_cast<int>(names->size())) {
    const std::vector<std::string> sorted = sorted_entry_names(*names);
    if (const std::optional<bool> up = ras_service().entry_connected(sorted[chosen])) return *up;
  }
  return ras_connected();
}

void set_ras_timing(const RasTiming& values) { timing() = values; }
const RasTiming& ras_timing() { return timing(); }

int run_ras_dialog(QWidget* parent, const std::string& ini_file, bool dialling) {
  CRasDialog dialog(parent, ini_file, dialling);
  if (dialling) QTimer::singleShot(0, &dialog, &CRasDialog::start);
  return dialog.exec() == QDialog::Accepted ? 1 : 0;
}

// Without a dial-up service no dialog is opened at all: it could never dial, and the
// flag stays set, so the keep-alive does nothing for the rest of the run. With a service,
// a dialog that gave up (Cancel) also leaves the flag set.
void ras_keep_alive_step(QWidget* parent, const std::string& ini_file) {
  if (auto_dial_flag || chosen_entry_connected(ini_file)) return;
  auto_dial_flag = true;
  if (!ras_service().available()) return;
  if (run_ras_dialog(parent, ini_file, true) != 0) auto_dial_flag = false;
}

bool ras_auto_dial_flag() { return auto_dial_flag; }
void reset_ras_keep_alive() { auto_dial_flag = false; }

}  // namespace manager
