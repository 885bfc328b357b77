// Placeholder: replaced by the system settings dialog.
#include "manager/editors/system_settings_dialog.h"

namespace manager {

bool run_system_settings_dialog(QWidget*, const std::string&) { return false; }

}  // namespace manager
