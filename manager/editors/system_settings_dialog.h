// The tabbed dialog "システム設定" over velmoraFTPd.ini and the files beside it.
#pragma once
#include <QDialog>
#include <string>

#include "manager/editors/system_settings.h"

class QKeyEvent;
class QTabWidget;
class QWidget;

namespace manager {

class CSystemPage;
class CMessagePage;
class CLogPage;
class CUnknownIdPage;
class CRefusePage;
class CVirtualFolderPage;
class CSysPlugin;
class CTlsPage;

// Help topics of the eight tabs, by tab index.
std::string system_settings_help_topic(int tab_index);

class CSystemSettingsDialog : public QDialog {
  Q_OBJECT
 public:
  // ini_file: the full path of velmoraFTPd.ini; mail.txt, RefuseIP.txt and the user folder
  // ("user/") are taken from its directory.
  CSystemSettingsDialog(std::string ini_file, QWidget* parent = nullptr);
  const SystemSettings& settings() const { return settings_; }
  // What OK does: takes every page's entries and writes the files; false (after telling
  // the operator, with nothing saved) on a bad entry or a file that cannot be written.
  bool save();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private slots:
  void on_ok();
  void on_help();

 private:
  bool take_pages();

  std::string ini_file_;
  SystemSettings settings_;
  QTabWidget* tabs_ = nullptr;
  CSystemPage* system_page_ = nullptr;
  CMessagePage* message_page_ = nullptr;
  CLogPage* log_page_ = nullptr;
  CUnknownIdPage* unknown_id_page_ = nullptr;
  CRefusePage* refuse_page_ = nullptr;
  CVirtualFolderPage* virtual_folder_page_ = nullptr;
  CSysPlugin* plugin_page_ = nullptr;
  CTlsPage* tls_page_ = nullptr;
};

// Runs the dialog modally; returns true when it was closed with OK (and wrote the files).
bool run_system_settings_dialog(QWidget* parent, const std::string& ini_file);

}  // namespace manager
