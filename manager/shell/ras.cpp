// Placeholder: replaced by the dial-up keeper.
#include "manager/shell/ras.h"

namespace manager {

namespace {
class UnavailableRas : public RasService {
 public:
  bool available() const override { return false; }
};
std::unique_ptr<RasService>& current() {
  static std::unique_ptr<RasService> service = std::make_unique<UnavailableRas>();
  return service;
}
}  // namespace

RasService& ras_service() { return *current(); }
void set_ras_service(std::unique_ptr<RasService> service) { current() = std::move(service); }
int run_ras_dialog(QWidget*, const std::string&, bool) { return 0; }
void ras_keep_alive_step(QWidget*, const std::string&) {}

}  // namespace manager
