// Placeholder: replaced by the transfer-log views.
#include "manager/shell/log_browser.h"

namespace manager {

void show_transaction_window(QWidget*, const std::string&) {}
void run_user_search_dialog(QWidget*, const std::string&) {}

}  // namespace manager
