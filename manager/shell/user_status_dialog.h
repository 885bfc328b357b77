// The dialog "ユーザーステータス": a user's transfers (.flg), login history (.mlg) and
// account values (.usr), read from the user's base path (user folder + user name).
#pragma once
#include <string>

class QWidget;

namespace manager {

void show_user_status(QWidget* parent, const std::string& base_path);

}  // namespace manager
