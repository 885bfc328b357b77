// Page "メッセージ" of the system settings: the connect greeting (220) and the prompt for
// an unknown ID (3311), each switched on or off and edited in "メッセージ編集".
#pragma once
#include <QWidget>
#include <string>
#include <vector>

#include "platform/profile.h"

#include "manager/editors/system_settings.h"

class QCheckBox;

namespace manager {

class CMessagePage : public QWidget {
  Q_OBJECT
 public:
  // Loads the two texts from ini_file.
  CMessagePage(SystemSettings& settings, std::string ini_file, QWidget* parent = nullptr);
  void show_values();
  void take_values();
  // Writes message 220, then 3311, into the INI file.
  bool save_messages() const;
  // The keys save_messages writes (an unchanged text gives none).
  std::vector<platform::ProfileSectionChanges> changes() const;
  const std::string& welcome_text() const { return welcome_; }
  const std::string& unknown_text() const { return unknown_; }

 private slots:
  void edit_welcome();
  void edit_unknown();

 private:
  SystemSettings& settings_;
  std::string ini_file_;
  std::string welcome_;
  std::string unknown_;
  QCheckBox* use_welcome_ = nullptr;
  QCheckBox* use_unknown_ = nullptr;
};

}  // namespace manager
