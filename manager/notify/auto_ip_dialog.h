// The dialog "自動IP通知": edits [AutoIP] of velmoraFTPd.ini.
#pragma once
#include <QDialog>
#include <optional>
#include <string>

class QCheckBox;
class QLineEdit;

namespace manager {


class CAutoIpDialog : public QDialog {
  Q_OBJECT
 public:
  // Loads every value from ini_file.
  CAutoIpDialog(const std::string& ini_file, QWidget* parent = nullptr);
  // Takes the entries and writes them; false (nothing written) when Port or CheckTime is
  // not an integer, after the message "整数を入力してください。".
  bool save();

 private slots:
  void on_ok();
  void on_browse_running();
  void on_browse_end();
  void on_help();

 private:
  void browse_into(QLineEdit* field);
  QLineEdit* add_edit(const char* name);
  QCheckBox* add_check(const char* name, const char* caption);

  std::string ini_file_;
  QCheckBox* enabled_ = nullptr;
  QLineEdit* server_ = nullptr;
  QLineEdit* port_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLineEdit* check_time_ = nullptr;
  QCheckBox* on_ip_change_ = nullptr;
  QLineEdit* remote_name_ = nullptr;
  QCheckBox* on_connection_change_ = nullptr;
  QLineEdit* running_template_ = nullptr;
  QCheckBox* at_end_ = nullptr;
  QLineEdit* end_template_ = nullptr;
  QCheckBox* passive_ = nullptr;
  QCheckBox* force_ = nullptr;
};

}  // namespace manager
