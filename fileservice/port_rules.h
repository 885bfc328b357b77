// Where an active data connection (PORT, EPRT) may go. Never to a privileged port (below
// 1024: mail, web and the like would take the file's bytes as their commands), and never
// to one of the Core's own listening ports: a data connection into the admin channel would
// hand a client every event (passwords among them) or let a file's bytes stop the server.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/session.h"
#include "platform/socket.h"

namespace fileservice {

inline constexpr uint16_t kFirstUnprivilegedPort = 1024;

// True when a data connection may be opened to port: 1024 or above and none of own_ports.
bool data_port_allowed(uint16_t port, std::span<const uint16_t> own_ports);
// The ports the Core listens on: FTP and the admin channel (implicit TLS when configured).
std::vector<uint16_t> own_listening_ports();
// For PORT and EPRT (command names the command): true when target is allowed; otherwise
// replies "500 Illegal <command> command (port <n> is refused).", reports event 24 and
// returns false.
bool accept_data_target(core::Session& s, const platform::Ipv4Endpoint& target,
                        std::string_view command);

}  // namespace fileservice
