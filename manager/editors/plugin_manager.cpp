// Placeholder: replaced by the Manager's plug-in table.
#include "manager/editors/plugin_manager.h"

namespace manager {

bool validate_plugin(const std::string&) { return false; }
void load_system_plugins(const std::string&, std::function<void(const std::string&)>) {}
void unload_system_plugins() {}
int loaded_plugin_count() { return 0; }
int find_loaded_plugin(const std::string&) { return -1; }

}  // namespace manager
