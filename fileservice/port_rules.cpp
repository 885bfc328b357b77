#include "fileservice/port_rules.h"

#include <algorithm>
#include <string>

#include "core/admin_channel.h"
#include "core/reply.h"
#include "core/server.h"
#include "shared/bounded_text.h"

namespace fileservice {

bool data_port_allowed(uint16_t port, std::span<const uint16_t> own_ports) {
  if (port < kFirstUnprivilegedPort) return false;
  return std::find(own_ports.begin(), own_ports.end(), port) == own_ports.end();
}

std::vector<uint16_t> own_listening_ports() {
  const core::ServerConfig& config = core::core_state().config;
  std::vector<uint16_t> ports;
  for (int port : {config.port, config.admin_port, config.tls.implicit_port}) {
    if (port > 0 && port <= 0xFFFF) ports.push_back(static_cast<uint16_t>(port));
  }
  return ports;
}

bool accept_data_target(core::Session& s, const platform::Ipv4Endpoint& target,
                        std::string_view command) {
  if (data_port_allowed(target.port, own_listening_ports())) return true;
  const std::string address = platform::format_address(target);
  core::report(s, shared::kEventRefused,
               shared::format_bounded(NFD_MESSAGE_SIZE, "データ接続先[%s:%u]を拒否しました。",
                                      address.c_str(), static_cast<unsigned>(target.port)));
  const std::string name(command);
  core::send_reply(s, shared::format_bounded(128, "500 Illegal %s command (port %u is refused).\r\n",
                                             name.c_str(), static_cast<unsigned>(target.port)));
  return false;
}

}  // namespace fileservice
