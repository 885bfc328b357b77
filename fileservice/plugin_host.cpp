#include "fileservice/plugin_host.h"

namespace fileservice {

void load_system_plugins(const std::string&) {}
void unload_plugins() {}
std::vector<int> match_user_plugins(const std::vector<std::string>& paths) {
  return std::vector<int>(paths.size(), -1);
}
int plugin_message(core::Session&, int, int, const char*) { return 0; }
int plugin_socket(core::Session&, int, IoRecord*) { return 0; }
bool any_socket_plugins() { return false; }

}  // namespace fileservice
