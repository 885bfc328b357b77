// The Manager's plug-in table: the system plug-ins loaded with nfd_Init and the host
// services, so that the user page can ask for their information and settings.
#include "manager/editors/plugin_manager.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <mutex>

#include "nfd_plugin.h"
#include "platform/dynlib.h"
#include "platform/profile.h"
#include "shared/ini.h"
#include "shared/plugin_module.h"

namespace manager {
namespace {

constexpr size_t kPluginPathMax = 260;
// More entries than this in SysPlugInNum are not tried (a typo must not stall the Manager).
constexpr int kMaxSystemPlugins = 1024;
// More list entries than this are not read from a damaged file.
constexpr int kMaxListEntries = 100000;

using PluginRecord = shared::PluginModule;

// Used on the user-interface thread only.
std::vector<PluginRecord> g_plugins;

// The log service: plug-ins may post from threads of their own, so the function is kept
// under a lock and lines from other threads are queued to the user-interface thread.
// The generation drops lines queued for a table that has been unloaded since.
std::mutex g_log_lock;
std::function<void(const std::string&)> g_log;
unsigned g_log_generation = 0;

void write_log(const std::string& line) {
  std::function<void(const std::string&)> log;
  unsigned generation = 0;
  {
    std::lock_guard<std::mutex> hold(g_log_lock);
    log = g_log;
    generation = g_log_generation;
  }
  if (!log) return;
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() == app->thread()) {
    log(line);
    return;
  }
  QMetaObject::invokeMethod(
      app,
      [log, line, generation] {
        {
          std::lock_guard<std::mutex> hold(g_log_lock);
          if (generation != g_log_generation) return;
        }
        log(line);
      },
      Qt::QueuedConnection);
}

int host_post_text(const char* text) {
  write_log(text != nullptr ? text : "");
  return 1;
}

// The copy is made before old_text is freed, so new_text may point into it. When no copy
// can be made the result is null (an error must not unwind through the plug-in's frames).
char* host_replace_string(char* old_text, const char* new_text) {
  char* copy = nullptr;
  if (new_text != nullptr) {
    const size_t size = std::strlen(new_text) + 1;
    copy = static_cast<char*>(std::malloc(size));
    if (copy != nullptr) std::memcpy(copy, new_text, size);
  }
  std::free(old_text);
  return copy;
}

// Static: valid for as long as any plug-in may keep the pointer.
const nfd_host_services kServices = {host_post_text, host_replace_string};

const PluginRecord* record(int index) {
  if (index < 0 || index >= static_cast<int>(g_plugins.size())) return nullptr;
  return &g_plugins[static_cast<size_t>(index)];
}

std::vector<std::string> read_list(const std::string& file, const char* section) {
  const shared::IniFile ini(file);
  std::vector<std::string> paths;
  for (int i = 0; i < kMaxListEntries; ++i) {
    std::string path = ini.get(section, "Plugin" + std::to_string(i), "", kPluginPathMax);
    if (path.empty()) break;
    paths.push_back(std::move(path));
  }
  return paths;
}

platform::ProfileSectionChanges list_changes(const char* section, const char* count_key,
                                            const std::vector<std::string>& paths) {
  std::vector<platform::ProfileChange> changes;
  for (size_t i = 0; i < paths.size(); ++i) {
    changes.push_back({"Plugin" + std::to_string(i), paths[i]});
  }
  changes.push_back({"Plugin" + std::to_string(paths.size()), std::string()});
  changes.push_back({count_key, std::to_string(paths.size())});
  return {section, changes};
}

bool save_list(const std::string& file, const char* section, const char* count_key,
               const std::vector<std::string>& paths) {
  return platform::profile_write_sections(file, {list_changes(section, count_key, paths)});
}

}  // namespace

bool validate_plugin(const std::string& path) {
  std::optional<PluginRecord> plugin = shared::open_plugin_module(path);
  if (!plugin) return false;
  platform::unload_library(plugin->handle);
  return true;
}

void load_system_plugins(const std::string& ini_file,
                         std::function<void(const std::string&)> log) {
  unload_system_plugins();
  {
    std::lock_guard<std::mutex> hold(g_log_lock);
    g_log = std::move(log);
  }
  const shared::IniFile ini(ini_file);
  const int count = std::min(ini.get_int("SysPlugIn", "SysPlugInNum", 0), kMaxSystemPlugins);
  if (count <= 0) return;
  g_plugins.reserve(static_cast<size_t>(count));
  for (int j = 0; j < count; ++j) {
    const std::string path = ini.get("SysPlugIn", "Plugin" + std::to_string(j), "", kPluginPathMax);
    std::optional<PluginRecord> plugin = shared::open_plugin_module(path);
    if (!plugin) {
      write_log("⇒プラグインをロードできません。このプラグインは使用できません。(" + path + ")");
      continue;
    }
    plugin->init();
    if (plugin->callback != nullptr) plugin->callback(&kServices);
    g_plugins.push_back(std::move(*plugin));
    write_log("⇒プラグインをロードしました。(" + path + ")");
  }
}

void unload_system_plugins() {
  for (PluginRecord& plugin : g_plugins) {
    if (plugin.exit != nullptr) plugin.exit();
    platform::unload_library(plugin.handle);
  }
  g_plugins.clear();
  std::lock_guard<std::mutex> hold(g_log_lock);
  g_log = nullptr;
  ++g_log_generation;
}

int loaded_plugin_count() { return static_cast<int>(g_plugins.size()); }

int find_loaded_plugin(const std::string& path) {
  for (size_t i = 0; i < g_plugins.size(); ++i) {
    if (g_plugins[i].path == path) return static_cast<int>(i);
  }
  return -1;
}

std::string loaded_plugin_path(int index) {
  const PluginRecord* plugin = record(index);
  return plugin != nullptr ? plugin->path : std::string();
}

std::optional<std::string> loaded_plugin_info(int index) {
  const PluginRecord* plugin = record(index);
  if (plugin == nullptr || plugin->get_info == nullptr) return std::nullopt;
  const char* text = plugin->get_info();
  if (text == nullptr) return std::nullopt;
  return std::string(text);
}

bool open_plugin_settings(int index, void* parent_window, const std::string& settings_file) {
  const PluginRecord* plugin = record(index);
  if (plugin == nullptr || plugin->set_prop == nullptr) return false;
  plugin->set_prop(parent_window, settings_file.c_str());
  return true;
}

std::vector<std::string> registered_plugins(const std::string& ini_file) {
  return read_list(ini_file, "SysPlugIn");
}

platform::ProfileSectionChanges registered_plugin_changes(const std::vector<std::string>& paths) {
  return list_changes("SysPlugIn", "SysPlugInNum", paths);
}

bool save_registered_plugins(const std::string& ini_file, const std::vector<std::string>& paths) {
  return save_list(ini_file, "SysPlugIn", "SysPlugInNum", paths);
}

std::vector<std::string> read_user_plugins(const std::string& account_file) {
  return read_list(account_file, "UserPlugIn");
}

bool save_user_plugins(const std::string& account_file, const std::vector<std::string>& paths) {
  return save_list(account_file, "UserPlugIn", "PlugInNum", paths);
}

}  // namespace manager
