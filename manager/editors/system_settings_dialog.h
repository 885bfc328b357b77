// The tabbed dialog "システム設定" over velmoraFTPd.ini and the files beside it.
#pragma once
#include <string>

class QWidget;

namespace manager {

// Runs the dialog modally; returns true when it was closed with OK (and wrote the files).
bool run_system_settings_dialog(QWidget* parent, const std::string& ini_file);

}  // namespace manager
