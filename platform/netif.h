// The host's network interfaces.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace platform {

// IPv4 addresses of interfaces that are up, dotted; non-loopback first in the platform's
// order, loopback last.
std::vector<std::string> local_ipv4_addresses();
// Hardware address of the first non-loopback interface as 12 upper-case hex digits.
// The folder read (/sys/class/net) can be redirected with VELMORAFTPD_NET_SYSFS.
std::optional<std::string> first_hardware_address();

}  // namespace platform
