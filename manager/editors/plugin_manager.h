// The Manager's own table of system plug-ins (loaded while it is connected to the Core,
// so that user pages can show a plug-in's information and settings), and the plug-in
// pages of the system and user settings.
//
// Plug-ins are loaded by their full path; the process's current directory is left alone
// (a plug-in that needs files beside it finds its folder itself, e.g. with dladdr).
#pragma once
#include "platform/profile.h"
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace manager {

// True when the shared object loads and exports nfd_Init, nfd_Exit and nfd_FtpdMessage;
// it is unloaded again either way.
bool validate_plugin(const std::string& path);
// Loads [SysPlugIn] of ini_file; every load and refusal is a line through log, which is
// also the plug-ins' "write a line to the log pane" service while they stay loaded.
// A table loaded before is unloaded first.
void load_system_plugins(const std::string& ini_file, std::function<void(const std::string&)> log);
void unload_system_plugins();
int loaded_plugin_count();
// Index of the loaded plug-in whose path is byte-equal to path, or -1.
int find_loaded_plugin(const std::string& path);
// The path of loaded plug-in index ("" when there is none).
std::string loaded_plugin_path(int index);
// nfd_GetInfo's text; none when the plug-in does not export it (or returns null).
std::optional<std::string> loaded_plugin_info(int index);
// Calls nfd_SetProp(parent_window, settings_file); false when it is not exported.
// parent_window is the native window id of the page (a plug-in may ignore it).
bool open_plugin_settings(int index, void* parent_window, const std::string& settings_file);

// [SysPlugIn] Plugin0.. up to the first empty value (SysPlugInNum is not consulted).
std::vector<std::string> registered_plugins(const std::string& ini_file);
// Writes Plugin0.. in order, the next one empty, then SysPlugInNum.
// The keys save_registered_plugins writes.
platform::ProfileSectionChanges registered_plugin_changes(const std::vector<std::string>& paths);
bool save_registered_plugins(const std::string& ini_file, const std::vector<std::string>& paths);
// [UserPlugIn] of a user or group file: read up to the first empty Plugin%d; written as
// Plugin0.., the next one empty, then PlugInNum.
std::vector<std::string> read_user_plugins(const std::string& account_file);
bool save_user_plugins(const std::string& account_file, const std::vector<std::string>& paths);

}  // namespace manager
