// TCP sockets over IPv4 and IPv6. Every function is a thin, named wrapper that says how it fails.
// A blocking call on a socket returns as soon as another thread calls shutdown_both()
// on it; that is how the server stops workers without killing threads.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

using Socket = int;
inline constexpr Socket kNoSocket = -1;

// An address and port. IPv4: address in host byte order. IPv6: ipv6 set and the 16
// bytes of address6 in network order. An IPv4-mapped IPv6 address (::ffff:a.b.c.d) read
// from a socket is always given as the IPv4 address, so that a dual-stack listener shows
// an IPv4 client exactly as an IPv4 listener does.
struct Ipv4Endpoint {
  uint32_t address = 0;
  uint16_t port = 0;
  bool ipv6 = false;
  std::array<uint8_t, 16> address6{};
};
using Endpoint = Ipv4Endpoint;

inline constexpr uint32_t kAnyAddress = 0;
inline constexpr uint32_t kLoopbackAddress = 0x7F000001;

Socket open_tcp_socket();                       // IPv4; kNoSocket on failure
Socket open_tcp_socket_for(const Endpoint& e);   // of e's family; kNoSocket on failure
// Binds to local of either family (bind_ipv4 is the older name of the same call).
bool bind_endpoint(Socket s, const Endpoint& local, bool reuse_address);
bool bind_ipv4(Socket s, Ipv4Endpoint local, bool reuse_address);
// A listening socket for a server: address_text empty or "::" is every address of both
// families (one dual-stack socket; IPv4 alone when the kernel has IPv6 switched off),
// "0.0.0.0" every IPv4 address, anything else the one IPv4 or IPv6 address named.
// kNoSocket when the text names no address or the port cannot be opened.
Socket open_listener(std::string_view address_text, uint16_t port);
// True when an IPv6 socket can be opened on this kernel.
bool ipv6_available();
bool listen_socket(Socket s, int backlog);      // backlog <= 0: the system maximum
// Waits for one connection; kNoSocket when the listener was shut down or closed.
Socket accept_connection(Socket listener, Ipv4Endpoint* peer);
// Sends every write at once (TCP_NODELAY). For connections that write whole replies or
// records: merging small writes gains nothing there, and holding the second of two
// replies until the first is acknowledged costs the peer's delayed-ACK time (~40 ms).
bool send_immediately(Socket s);
// Connects with a bound on the wait (milliseconds); false on failure or time-out. Either
// family: the socket must be of the endpoint's family.
bool connect_ipv4(Socket s, Ipv4Endpoint remote, int timeout_ms = 15000);
// One send call; returns bytes sent, or -1 on error. Never raises SIGPIPE.
long send_some(Socket s, const void* data, size_t size);
// Sends until every byte is out or the connection fails; returns the bytes sent.
size_t send_all(Socket s, const void* data, size_t size);
// One receive call; returns bytes received, 0 when the peer closed, -1 on error.
long recv_some(Socket s, void* buffer, size_t size);
// Receives with a time limit; -2 when nothing came within timeout_ms.
long recv_some_timeout(Socket s, void* buffer, size_t size, int timeout_ms);
// Sends count bytes of an open file from offset without copying through user space;
// returns bytes sent (fewer on a broken connection), or -1 when the call is unsupported.
long long send_file_range(Socket s, int file_descriptor, uint64_t offset, uint64_t count);
void shutdown_both(Socket s);                   // SHUT_RDWR; ignores errors
void shutdown_receive(Socket s);                // SHUT_RD: a blocked receive returns 0
void shutdown_send(Socket s);                   // SHUT_WR: a blocked send fails
// Waits until s can be read (or accepted from, or has ended); 1 ready, 0 time-out,
// -1 error. timeout_ms < 0 waits without a limit.
int wait_readable(Socket s, int timeout_ms);
// The same for room to send.
int wait_writable(Socket s, int timeout_ms);
// Blocking or non-blocking mode; false when the mode could not be set.
bool set_blocking(Socket s, bool blocking);
void close_socket(Socket s);                    // ignores kNoSocket
std::optional<Ipv4Endpoint> local_endpoint(Socket s);
std::optional<Ipv4Endpoint> peer_endpoint(Socket s);

std::string format_ipv4(uint32_t address);                  // "a.b.c.d"
// Dotted-quad parser with the classic inet_addr rules; none for bad text and for
// 255.255.255.255 (the classic parser's no-address value).
std::optional<uint32_t> parse_ipv4(std::string_view text);
// The address as text: dotted IPv4, or the canonical IPv6 text (RFC 5952: lower case,
// no leading zeros, the longest run of two or more zero groups as "::").
std::string format_address(const Endpoint& e);
// Strict IPv6 text (inet_pton): none for a zone index, an IPv4 text or anything else.
// An IPv4-mapped text stays IPv6 here.
std::optional<std::array<uint8_t, 16>> parse_ipv6(std::string_view text);
std::optional<std::string> reverse_lookup(uint32_t address); // host name, or none
std::optional<std::string> reverse_lookup(const Endpoint& e);
std::optional<uint32_t> resolve_host_ipv4(const std::string& host_name);
uint16_t service_port(const char* service, const char* protocol); // 0 when unknown

}  // namespace platform
