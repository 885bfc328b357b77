#include "shared/plugin_module.h"

#include "platform/dynlib.h"

namespace shared {
namespace {

template <typename F>
F entry(void* handle, const char* name) {
  return reinterpret_cast<F>(platform::find_symbol(handle, name));
}

}  // namespace

std::optional<PluginModule> open_plugin_module(const std::string& path) {
  if (path.empty()) return std::nullopt;  // an empty name would open the program itself
  PluginModule m;
  m.handle = platform::load_library(path);
  if (m.handle == nullptr) return std::nullopt;
  m.path = path;
  m.init = entry<nfd_Init_t>(m.handle, "nfd_Init");
  m.exit = entry<nfd_Exit_t>(m.handle, "nfd_Exit");
  m.message = entry<nfd_FtpdMessage_t>(m.handle, "nfd_FtpdMessage");
  m.set_prop = entry<nfd_SetProp_t>(m.handle, "nfd_SetProp");
  m.socket = entry<nfd_Socket_t>(m.handle, "nfd_Socket");
  m.get_info = entry<nfd_GetInfo_t>(m.handle, "nfd_GetInfo");
  m.message_all = entry<nfd_FtpdMessageAllUsr_t>(m.handle, "nfd_FtpdMessageAllUsr");
  m.socket_all = entry<nfd_SocketAllUsr_t>(m.handle, "nfd_SocketAllUsr");
  m.callback = entry<nfd_FtpdClbk_t>(m.handle, "nfd_FtpdClbk");
  if (m.init == nullptr || m.exit == nullptr || m.message == nullptr) {
    platform::unload_library(m.handle);
    return std::nullopt;
  }
  return m;
}

}  // namespace shared
