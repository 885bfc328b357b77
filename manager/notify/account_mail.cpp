// Placeholder: replaced by the account mail.
#include "manager/notify/account_mail.h"

namespace manager {

struct AccountMailer::State {};
AccountMailer::AccountMailer(std::string, QObject* parent) : QObject(parent), state_(new State) {}
AccountMailer::~AccountMailer() = default;
bool AccountMailer::start(const std::string&, const std::string&, const std::string&,
                          const std::string&) {
  return false;
}
bool run_mail_body_dialog(QWidget*, const std::string&, std::string&) { return false; }
bool run_mail_settings_dialog(QWidget*, std::string&, std::string&) { return false; }

}  // namespace manager
