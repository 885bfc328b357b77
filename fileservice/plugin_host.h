// The plug-in host: loading, per-account lists and the two dispatch passes.
//
// Threads: the table is written only by load_system_plugins and unload_plugins, which run
// on the accept thread before the first session thread starts and after the last one has
// ended. While sessions exist the table is immutable, so the session threads and data
// workers read it without a lock (thread start and join order the accesses).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "core/session.h"
#include "nfd_plugin.h"

namespace fileservice {

// Message codes.
enum PluginMessage : int {
  kMessageCommand = 1,
  kMessageUser = 3,
  kMessageLogin = 4,
  kMessageEnd = 5,
  kMessageConnect = 8,
};
// Socket codes.
enum PluginSocket : int {
  kSocketDataReceive = 0,
  kSocketDataSend = 1,
  kSocketControlReceive = 2,
  kSocketControlSend = 3,
  kSocketRoutineEnd = 4,
  kSocketSessionEnd = 5,
};

// The I/O record handed to socket hooks; converted field by field to and from the
// public nfd_io record around each dispatch.
struct IoRecord {
  int socket = -1;
  int reserved1 = 0;
  int reserved2 = 0;
  char* buffer = nullptr;
  int length = 0;
};

// Loads the list of section SysPlugIn of config_file (SysPlugInNum, Plugin%d). A path
// that does not load or lacks a required export is skipped. Changes the process's
// current directory to each plug-in's folder. Runs before the first session starts.
void load_system_plugins(const std::string& config_file);
// nfd_Exit and unload for every loaded plug-in in order. Runs after the last session.
void unload_plugins();
// Plug-in numbers for the paths of an account's list (-1 for paths not loaded).
std::vector<int> match_user_plugins(const std::vector<std::string>& paths);
// Runs the message hooks on the session thread. s.view.message starts as the session's
// status message; afterwards it holds the reply a hook wrote (stored back as the status
// message when it changed). 0 nobody answered, 1 or 2 the first plug-in's answer.
int plugin_message(core::Session& s, int code, int command_number, const char* line);
// 1 when a plug-in took the operation, else 0.
int plugin_socket(core::Session& s, int code, IoRecord* record);
// True when a loaded plug-in exports nfd_Socket or nfd_SocketAllUsr.
bool any_socket_plugins();
// Number of loaded plug-ins and the path of one of them.
int loaded_plugin_count();
std::string loaded_plugin_path(int number);
// The table given to nfd_FtpdClbk.
const nfd_host_services* plugin_host_services();
// Replaces the allocator behind replace_string (null restores malloc); for tests of the
// out-of-memory path.
void set_plugin_allocator_for_tests(void* (*allocate)(size_t));

}  // namespace fileservice
