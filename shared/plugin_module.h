// A loaded plug-in shared object and its nfd_ entry points, as both programs open it.
#pragma once
#include <optional>
#include <string>

#include "nfd_plugin.h"

namespace shared {

struct PluginModule {
  void* handle = nullptr;
  std::string path;
  nfd_Init_t init = nullptr;
  nfd_Exit_t exit = nullptr;
  nfd_FtpdMessage_t message = nullptr;
  nfd_SetProp_t set_prop = nullptr;
  nfd_Socket_t socket = nullptr;
  nfd_GetInfo_t get_info = nullptr;
  nfd_FtpdMessageAllUsr_t message_all = nullptr;
  nfd_SocketAllUsr_t socket_all = nullptr;
  nfd_FtpdClbk_t callback = nullptr;
};

// Loads path and looks up the nine entry points; none when the path is empty, the object
// does not load, or it lacks nfd_Init, nfd_Exit or nfd_FtpdMessage (it is unloaded then).
std::optional<PluginModule> open_plugin_module(const std::string& path);

}  // namespace shared
