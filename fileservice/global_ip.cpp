#include "fileservice/global_ip.h"

namespace fileservice {

void start_global_ip_lookup(const std::string&) {}
void stop_global_ip_lookup() {}
std::optional<std::string> global_ip() { return std::nullopt; }

}  // namespace fileservice
