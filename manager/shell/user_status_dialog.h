// The dialog "ユーザーステータス": a user's transfers (.flg), login history (.mlg) and
// account values (.usr), read from the user's base path (user folder + user name).
#pragma once
#include <QDialog>
#include <string>

class QLineEdit;
class QListWidget;
class QTreeWidget;

namespace manager {

void show_user_status(QWidget* parent, const std::string& base_path);

// Loads everything in its constructor; exec() only shows it.
class CUserStatusDlg : public QDialog {
  Q_OBJECT
 public:
  CUserStatusDlg(const std::string& base_path, QWidget* parent = nullptr);

 private:
  void read_transfers(const std::string& path);
  void read_logins(const std::string& path);
  void read_account(const std::string& path);

  QTreeWidget* uploads_;    // list 1007
  QTreeWidget* downloads_;  // list 1021
  QListWidget* logins_;     // list box 1049
  QLineEdit* name_;         // 1000
  QLineEdit* total_up_;     // 1001
  QLineEdit* total_down_;   // 1002
  QLineEdit* speed_;        // 1026
  QLineEdit* credit_;       // 1003
  QLineEdit* rate_;         // 1004 (hidden)
  double up_bytes_ = 0, up_ms_ = 0, down_bytes_ = 0, down_ms_ = 0;
};

}  // namespace manager
