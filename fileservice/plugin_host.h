// The plug-in host: loading, per-account lists and the two dispatch passes.
#pragma once
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

// The I/O record handed to socket hooks.
struct IoRecord {
  int socket = -1;
  int reserved1 = 0;
  int reserved2 = 0;
  char* buffer = nullptr;
  int length = 0;
};

void load_system_plugins(const std::string& config_file);
void unload_plugins();
// Plug-in numbers for the paths of an account's list (-1 for paths not loaded).
std::vector<int> match_user_plugins(const std::vector<std::string>& paths);
// 0 nobody answered, 1 or 2 the first plug-in's answer.
int plugin_message(core::Session& s, int code, int command_number, const char* line);
// 1 when a plug-in took the operation, else 0.
int plugin_socket(core::Session& s, int code, IoRecord* record);
bool any_socket_plugins();

}  // namespace fileservice
