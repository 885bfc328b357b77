#include "fileservice/plugin_host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/admin_channel.h"
#include "core/session_fault.h"
#include "platform/dynlib.h"
#include "platform/process.h"
#include "shared/admin_record.h"
#include "shared/bounded_text.h"
#include "shared/ini.h"
#include "shared/plugin_module.h"

namespace fileservice {
namespace {

constexpr size_t kPluginPathMax = 260;
// More entries than this in SysPlugInNum are not tried (a typo must not stall start-up).
constexpr int kMaxSystemPlugins = 1024;
constexpr const char* kAllocationFailedReply = "330 Internal Server Error\r\n";

using PluginRecord = shared::PluginModule;

// Written only while no session exists (see plugin_host.h).
std::vector<PluginRecord> g_plugins;
bool g_socket_hooks = false;

void* (*g_allocate)(size_t) = nullptr;

// Set while this thread runs a message hook; an allocation failure inside it ends the
// session once the hook has returned (unwinding through plug-in frames is not safe).
struct HookState {
  bool in_message_hook = false;
  bool allocation_failed = false;
};
thread_local HookState t_hook;

int host_post_text(const char* text) {
  if (text == nullptr) text = "";
  size_t length = shared::bounded_length(text, shared::kPluginTextMax);
  core::post_text(std::string_view(text, length));
  return 1;
}

char* host_replace_string(char* old_text, const char* new_text) {
  char* copy = nullptr;
  if (new_text != nullptr) {
    size_t size = std::strlen(new_text) + 1;
    copy = static_cast<char*>(g_allocate ? g_allocate(size) : std::malloc(size));
    if (copy == nullptr) {
      if (t_hook.in_message_hook) t_hook.allocation_failed = true;
    } else {
      std::memcpy(copy, new_text, size);
    }
  }
  // Freed after the copy, so new_text may point into old_text.
  std::free(old_text);
  return copy;
}

const nfd_host_services kServices = {host_post_text, host_replace_string};

std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool load_one(const std::string& path, PluginRecord& record) {
  std::string folder = folder_of(path);
  if (!folder.empty()) platform::set_current_directory(folder);
  std::optional<PluginRecord> opened = shared::open_plugin_module(path);
  if (!opened) return false;
  record = std::move(*opened);
  return true;
}

// Only the session thread writes the session's own view; a field is stored only when it
// changed, so threads that merely read it never see a write of an equal value.
void store_text(char* field, size_t size, const std::string& value) {
  std::string_view cut = shared::cut_text(value, size - 1);
  if (std::string_view(field, shared::bounded_length(field, size)) == cut) return;
  shared::copy_bounded(field, size, cut);
}

void fill_view(core::Session& s, nfd_session& view) {
  if (view.session_id != s.id) view.session_id = s.id;
  int state = s.login_state.load();
  if (view.login_state != state) view.login_state = state;
  std::string user, host, address, folder;
  {
    std::lock_guard<std::mutex> guard(s.field_lock);
    user = s.user_name;
    host = s.host_text;
    address = s.address_text;
    folder = s.current_directory;
  }
  store_text(view.user_name, sizeof view.user_name, user);
  store_text(view.host_text, sizeof view.host_text, host);
  store_text(view.address_text, sizeof view.address_text, address);
  store_text(view.current_directory, sizeof view.current_directory, folder);
}

bool answered(int result) { return result == NFD_ANSWER || result == NFD_END; }

int run_message_passes(core::Session& s, int code, int command, const char* line) {
  for (int number : s.user_plugins) {
    if (number < 0 || number >= static_cast<int>(g_plugins.size())) continue;
    const PluginRecord& p = g_plugins[number];
    if (p.message == nullptr) continue;
    int result = p.message(code, command, line, &s.view);
    s.view.message[NFD_MESSAGE_SIZE - 1] = '\0';
    if (answered(result)) return result;
  }
  for (const PluginRecord& p : g_plugins) {
    if (p.message_all == nullptr) continue;
    int result = p.message_all(code, command, line, &s.view);
    s.view.message[NFD_MESSAGE_SIZE - 1] = '\0';
    if (answered(result)) return result;
  }
  return NFD_CONTINUE;
}

// The account's list, copied under the field lock: socket hooks also run on the data
// worker while the session thread may load another account.
std::vector<int> user_plugin_numbers(core::Session& s) {
  std::lock_guard<std::mutex> guard(s.field_lock);
  return s.user_plugins;
}

int run_socket_passes(const std::vector<int>& numbers, int code, nfd_io* io,
                      nfd_session* view) {
  for (int number : numbers) {
    if (number < 0 || number >= static_cast<int>(g_plugins.size())) continue;
    const PluginRecord& p = g_plugins[number];
    if (p.socket != nullptr && p.socket(code, io, view) == NFD_TAKEN) return NFD_TAKEN;
  }
  for (const PluginRecord& p : g_plugins) {
    if (p.socket_all != nullptr && p.socket_all(code, io, view) == NFD_TAKEN) return NFD_TAKEN;
  }
  return NFD_CONTINUE;
}

nfd_io to_public(const IoRecord& r) {
  nfd_io io{};
  io.socket = r.socket;
  io.reserved1 = 0;
  io.reserved2 = 0;
  io.buffer = r.buffer;
  io.length = r.length;
  return io;
}

void from_public(const nfd_io& io, IoRecord& r) {
  r.socket = io.socket;
  r.buffer = io.buffer;
  r.length = io.length;
}

}  // namespace

void load_system_plugins(const std::string& config_file) {
  unload_plugins();
  shared::IniFile ini(config_file);
  int count = std::clamp(ini.get_int("SysPlugIn", "SysPlugInNum", 0), 0, kMaxSystemPlugins);
  for (int j = 0; j < count; ++j) {
    std::string path = ini.get("SysPlugIn", "Plugin" + std::to_string(j), "", kPluginPathMax);
    PluginRecord record;
    if (!load_one(path, record)) continue;
    record.init();
    if (record.callback != nullptr) record.callback(&kServices);
    g_plugins.push_back(record);
    if (record.socket != nullptr || record.socket_all != nullptr) g_socket_hooks = true;
  }
}

void unload_plugins() {
  for (PluginRecord& p : g_plugins) {
    p.exit();
    platform::unload_library(p.handle);
  }
  g_plugins.clear();
  g_socket_hooks = false;
}

std::vector<int> match_user_plugins(const std::vector<std::string>& paths) {
  std::vector<int> numbers;
  numbers.reserve(paths.size());
  for (const std::string& path : paths) {
    int found = -1;
    for (size_t i = 0; i < g_plugins.size() && found < 0; ++i) {
      if (g_plugins[i].path == path) found = static_cast<int>(i);
    }
    numbers.push_back(found);
  }
  return numbers;
}

int plugin_message(core::Session& s, int code, int command_number, const char* line) {
  // The reply buffer starts as the status message; the data worker may set that message
  // meanwhile, so the hooks work on the view and a changed reply is stored back.
  const std::string before = core::read_message(s);
  store_text(s.view.message, sizeof s.view.message, before);
  if (g_plugins.empty()) return NFD_CONTINUE;
  fill_view(s, s.view);
  t_hook = HookState{true, false};
  int result = run_message_passes(s, code, command_number, line);
  bool failed = t_hook.allocation_failed;
  t_hook = HookState{};
  std::string_view after(s.view.message, shared::bounded_length(s.view.message, NFD_MESSAGE_SIZE));
  if (after != before) core::set_message(s, after);
  if (failed) core::raise_session_fault(kAllocationFailedReply);
  return result;
}

int plugin_socket(core::Session& s, int code, IoRecord* record) {
  if (!g_socket_hooks) return NFD_CONTINUE;
  nfd_session view;
  view.message[0] = '\0';
  view.session_id = 0;
  view.login_state = 0;
  view.user_name[0] = view.host_text[0] = view.address_text[0] = '\0';
  view.current_directory[0] = '\0';
  fill_view(s, view);
  std::vector<int> numbers = user_plugin_numbers(s);
  if (record == nullptr) return run_socket_passes(numbers, code, nullptr, &view);
  nfd_io io = to_public(*record);
  int result = run_socket_passes(numbers, code, &io, &view);
  from_public(io, *record);
  return result;
}

bool any_socket_plugins() { return g_socket_hooks; }

int loaded_plugin_count() { return static_cast<int>(g_plugins.size()); }

std::string loaded_plugin_path(int number) {
  if (number < 0 || number >= static_cast<int>(g_plugins.size())) return {};
  return g_plugins[number].path;
}

const nfd_host_services* plugin_host_services() { return &kServices; }

void set_plugin_allocator_for_tests(void* (*allocate)(size_t)) { g_allocate = allocate; }

}  // namespace fileservice
