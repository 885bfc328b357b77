// The dialog "ユーザーリスト" with the user settings and group registration dialogs.
#pragma once
#include <string>

class QWidget;

namespace manager {

void run_user_list_dialog(QWidget* parent, const std::string& user_dir);

}  // namespace manager
