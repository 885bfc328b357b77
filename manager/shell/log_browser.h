// Views over every user's transfer log (.flg) in the user folder: the modeless
// transaction window "取引したファイル" and the modal search "ファイル→関連するユーザー検索".
#pragma once
#include <string>

class QWidget;

namespace manager {

// Shows the transaction window; does nothing while one is visible.
void show_transaction_window(QWidget* parent, const std::string& user_dir);
void run_user_search_dialog(QWidget* parent, const std::string& user_dir);

}  // namespace manager
