// The Manager's own table of system plug-ins (loaded while it is connected to the Core,
// so that user pages can show a plug-in's information and settings), and the plug-in
// pages of the system and user settings.
#pragma once
#include <functional>
#include <string>

namespace manager {

// True when the shared object loads and exports nfd_Init, nfd_Exit and nfd_FtpdMessage;
// it is unloaded again either way.
bool validate_plugin(const std::string& path);
// Loads [SysPlugIn] of ini_file; every load and refusal is a line through log, which is
// also the plug-ins' "write a line to the log pane" service while they stay loaded.
void load_system_plugins(const std::string& ini_file, std::function<void(const std::string&)> log);
void unload_system_plugins();
int loaded_plugin_count();
// Index of the loaded plug-in whose path is byte-equal to path, or -1.
int find_loaded_plugin(const std::string& path);

}  // namespace manager
