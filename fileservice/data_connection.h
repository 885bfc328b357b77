// PORT, PASV, the passive listener and the opening of data connections.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/session.h"

namespace fileservice {

bool handle_port(core::Session& s, const std::string& argument);
bool handle_pasv(core::Session& s, const std::string& argument);

// Worker command 0: listen on a passive port and accept one data connection.
void passive_listen(core::Session& s);
// Opens the data connection of a listing or transfer; sends 425 itself on failure.
bool open_data_connection(core::Session& s);
// Sends a reply from the worker on the control path (command log, plug-ins, socket).
void worker_reply(core::Session& s, std::string_view text);

// The PORT argument as an endpoint, or none for a syntax error or a third host.
std::optional<platform::Ipv4Endpoint> parse_port_argument(const std::string& argument,
                                                          const std::string& client_address,
                                                          bool use_client_address);
// The three local-address slots, built once at server start.
std::vector<std::string> build_local_address_slots();

}  // namespace fileservice
