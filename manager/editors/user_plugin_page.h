// The page "PlugIn" of the user settings: the plug-ins assigned to one user or group
// file ([UserPlugIn]), picked from the registered system plug-ins.
#pragma once
#include <QWidget>
#include <string>
#include <vector>

class QListWidget;
class QPlainTextEdit;

namespace manager {

inline constexpr const char* kPluginNotLoadedText =
    "選択したプラグインは、システムで未ロード状態です。";
inline constexpr const char* kPluginNoInfoText = "Infomationが存在しません。";

class CUserPluginPage : public QWidget {
  Q_OBJECT
 public:
  // account_file: the user or group file being edited (read for the list, and handed to a
  // plug-in's settings); ini_file: velmoraFTPd.ini (the registered plug-ins).
  CUserPluginPage(std::string account_file, std::string ini_file, QWidget* parent = nullptr);
  std::vector<std::string> entries() const;
  // Writes [UserPlugIn] Plugin0.., the next one empty, and PlugInNum into target_file.
  bool save(const std::string& target_file) const;
  // The text of the information field.
  std::string info_text() const;

 private slots:
  void on_add();
  void on_settings();
  void on_selection();

 private:
  std::string selected_path() const;

  std::string account_file_;
  std::string ini_file_;
  QListWidget* list_ = nullptr;
  QPlainTextEdit* info_ = nullptr;
};

}  // namespace manager
