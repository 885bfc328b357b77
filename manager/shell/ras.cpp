#include "manager/shell/ras.h"

#include <QTimer>

#include "manager/shell/ras_dialog.h"

namespace manager {

namespace {

// Linux has no dial-up service: this one behaves as a missing dial-up library.
class UnavailableRas : public RasService {
 public:
  bool available() const override { return false; }
  std::optional<std::vector<std::string>> entries() override { return std::nullopt; }
  std::optional<RasCredentials> credentials(const std::string&) override { return std::nullopt; }
  RasDialStart dial(const RasDialParams&, RasProgress) override { return {}; }
  void hang_up(RasHandle) override {}
  std::optional<int> connection_count() override { return std::nullopt; }
};

std::unique_ptr<RasService>& current() {
  static std::unique_ptr<RasService> service = std::make_unique<UnavailableRas>();
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
  current() = service ? std::move(service) : std::make_unique<UnavailableRas>();
}

// Any number of open connections counts: two links up are still a connection.
bool ras_connected() {
  const std::optional<int> count = ras_service().connection_count();
  return count && *count >= 1;
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
  if (auto_dial_flag || ras_connected()) return;
  auto_dial_flag = true;
  if (!ras_service().available()) return;
  if (run_ras_dialog(parent, ini_file, true) != 0) auto_dial_flag = false;
}

bool ras_auto_dial_flag() { return auto_dial_flag; }
void reset_ras_keep_alive() { auto_dial_flag = false; }

}  // namespace manager
