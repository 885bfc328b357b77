// Placeholder: replaced by the user and group editors.
#include "manager/editors/user_list_dialog.h"

namespace manager {

void run_user_list_dialog(QWidget*, const std::string&) {}

}  // namespace manager
