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
bool handle_epsv(core::Session& s, const std::string& argument);
bool handle_eprt(core::Session& s, const std::string& argument);

// Worker command 0: listen on a passive port and accept one data connection.
void passive_listen(core::Session& s);
// Opens the data connection of a listing or transfer; on failure 425 becomes the routine's
// closing reply.
bool open_data_connection(core::Session& s);
// After the 150 of a listing or transfer: under PROT P, the TLS handshake of the data
// connection, which must resume the control connection's session unless [TLS]
// RequireReuse is 0. On failure the connection is closed and 425 becomes the routine's
// closing reply.
bool secure_data_connection(core::Session& s);
// Sends a reply from the worker on the control path (command log, plug-ins, socket).
void worker_reply(core::Session& s, std::string_view text);
// The routine's last reply (226, 425, 426, 450, 451, 550, ...): kept until the routine has
// closed its data connection and cleared transferring and the restart offset, then sent
// by send_closing_reply. A client that acts on the reply at once (REST, say) then finds
// the session settled, and nothing of the ending routine undoes its next command.
void closing_reply(core::Session& s, std::string_view text);
void send_closing_reply(core::Session& s);

// The PORT argument as an endpoint, or none for a syntax error or a third host.
std::optional<platform::Ipv4Endpoint> parse_port_argument(const std::string& argument,
                                                          const std::string& client_address,
                                                          bool use_client_address);
// The address a PORT or EPRT names, as a data connection target: the client itself (its
// own address, or any address when use_client_address lets the client's address stand in
// for the one given); none for a third host or an address of the wrong form (dotted IPv4
// for an IPv4 client, IPv6 text in any spelling for an IPv6 client).
std::optional<platform::Ipv4Endpoint> data_target(const std::string& address, uint16_t port,
                                                  const std::string& client_address,
                                                  bool use_client_address);

// The fields of an EPRT argument "<d>protocol<d>address<d>port<d>" (d any byte 33-126);
// none when malformed (missing field, protocol not a number, port not 1-65535).
struct ExtendedAddress {
  int protocol;
  std::string address;
  uint16_t port;
};
std::optional<ExtendedAddress> parse_eprt_argument(const std::string& argument);

// True for a client address that is told the local address rather than the global IP:
// 10/8, 172.16-31, 192.168 and exactly 127.0.0.1.
bool is_private_client_address(const std::string& address_text);
// The address PASV announces: the global IP for a public client when UseGlobalIp is on and
// the global IP is known, else the local slot.
std::string passive_announce_address(const std::string& client_address, bool use_global_ip,
                                     const std::optional<std::string>& global,
                                     const std::string& local_slot);
// The three local-address slots, built once at server start.
std::vector<std::string> build_local_address_slots();

}  // namespace fileservice
