// The page "PlugIn" of the user settings: the plug-ins assigned to one user or group
// file ([UserPlugIn]), picked from the registered system plug-ins.
#pragma once
#include <QWidget>
#include <string>
#include <vector>

namespace manager {

class CUserPluginPage : public QWidget {
  Q_OBJECT
 public:
  // account_file: the user or group file being edited (read for the list, and handed to a
  // plug-in's settings); ini_file: velmoraFTPd.ini (the registered plug-ins).
  CUserPluginPage(std::string account_file, std::string ini_file, QWidget* parent = nullptr);
  std::vector<std::string> entries() const;
  // Writes [UserPlugIn] Plugin0.., the next one empty, and PlugInNum into target_file.
  bool save(const std::string& target_file) const;

 private:
  std::string account_file_;
  std::string ini_file_;
  std::vector<std::string> entries_;
};

}  // namespace manager
