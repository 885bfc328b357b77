// The dial-up keeper: the dialog "RAS Manager" and the keep-alive step of the one-second
// tick. Dial-up goes through a RasService; Linux has none, so the default service reports
// itself unavailable (as a missing dial-up library does); tests install a fake.
#pragma once
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace manager {

class RasService {
 public:
  virtual ~RasService() = default;
  virtual bool available() const = 0;
  // ... the entry listing, dial, hang-up and connection test are declared by the owner.
};

RasService& ras_service();
void set_ras_service(std::unique_ptr<RasService> service);

// Opens "RAS Manager" modally; dialling = true dials at once. Returns the dialog result
// (1 = OK, 0 = Cancel).
int run_ras_dialog(QWidget* parent, const std::string& ini_file, bool dialling);
// One tick of the keep-alive (called while [System] RASConnect is set).
void ras_keep_alive_step(QWidget* parent, const std::string& ini_file);

}  // namespace manager
