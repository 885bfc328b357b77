// The global-IP lookup: one HTTP POST at start-up that learns the public address.
#pragma once
#include <optional>
#include <string>

namespace fileservice {

void start_global_ip_lookup(const std::string& url);
void stop_global_ip_lookup();
std::optional<std::string> global_ip();

}  // namespace fileservice
