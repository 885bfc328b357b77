// TCP sockets (IPv4 and IPv6) over the BSD socket calls.
#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

sockaddr_in to_sockaddr(Ipv4Endpoint endpoint) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(endpoint.address);
  a.sin_port = htons(endpoint.port);
  return a;
}

// The socket address of an endpoint of either family; its length in *length.
sockaddr_storage to_storage(const Endpoint& endpoint, socklen_t* length) {
  sockaddr_storage storage{};
  if (endpoint.ipv6) {
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    std::memcpy(a.sin6_addr.s6_addr, endpoint.address6.data(), 16);
    a.sin6_port = htons(endpoint.port);
    std::memcpy(&storage, &a, sizeof a);
    *length = sizeof a;
  } else {
    sockaddr_in a = to_sockaddr(endpoint);
    std::memcpy(&storage, &a, sizeof a);
    *length = sizeof a;
  }
  return storage;
}

bool is_ipv4_mapped(const uint8_t* bytes) {
  static constexpr uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  return std::memcmp(bytes, kPrefix, sizeof kPrefix) == 0;
}

// The endpoint of a socket address; an IPv4-mapped IPv6 address becomes the IPv4 one.
std::optional<Endpoint> from_storage(const sockaddr_storage& storage) {
  Endpoint e;
  if (storage.ss_family == AF_INET) {
    sockaddr_in a{};
    std::memcpy(&a, &storage, sizeof a);
    e.address = ntohl(a.sin_addr.s_addr);
    e.port = ntohs(a.sin_port);
    return e;
  }
  if (storage.ss_family != AF_INET6) return std::nullopt;
  sockaddr_in6 a{};
  std::memcpy(&a, &storage, sizeof a);
  e.port = ntohs(a.sin6_port);
  const uint8_t* bytes = a.sin6_addr.s6_addr;
  if (is_ipv4_mapped(bytes)) {
    e.address = (uint32_t{bytes[12]} << 24) | (uint32_t{bytes[13]} << 16) |
                (uint32_t{bytes[14]} << 8) | bytes[15];
    return e;
  }
  e.ipv6 = true;
  std::memcpy(e.address6.data(), bytes, 16);
  return e;
}

// Waits for the events on s; 1 ready, 0 time-out, -1 error. Retries interrupted waits.
int poll_one(Socket s, short events, int timeout_ms) {
  pollfd p{};
  p.fd = s;
  p.events = events;
  for (;;) {
    int r = poll(&p, 1, timeout_ms);
    if (r < 0 && errno == EINTR) continue;
    return r < 0 ? -1 : (r == 0 ? 0 : 1);
  }
}

}  // namespace

Socket open_tcp_socket() {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return s < 0 ? kNoSocket : s;
}

Socket open_tcp_socket_for(const Endpoint& e) {
  int s = socket(e.ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return s < 0 ? kNoSocket : s;
}

bool bind_endpoint(Socket s, const Endpoint& local, bool reuse_address) {
  if (reuse_address) {
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  }
  socklen_t length = 0;
  sockaddr_storage a = to_storage(local, &length);
  return bind(s, reinterpret_cast<sockaddr*>(&a), length) == 0;
}

bool bind_ipv4(Socket s, Ipv4Endpoint local, bool reuse_address) {
  return bind_endpoint(s, local, reuse_address);
}

bool ipv6_available() {
  int s = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  close(s);
  return true;
}

Socket open_listener(std::string_view address_text, uint16_t port) {
  Endpoint local{kAnyAddress, port};
  bool dual_stack = address_text.empty() || address_text == "::";
  if (dual_stack) {
    local.ipv6 = ipv6_available();
  } else if (auto v6 = parse_ipv6(address_text)) {
    local.ipv6 = true;
    local.address6 = *v6;
  } else if (address_text == "0.0.0.0") {
    local.address = kAnyAddress;
  } else if (auto v4 = parse_ipv4(address_text); v4 && address_text.find_first_not_of("0123456789.") ==
                                                           std::string_view::npos) {
    local.address = *v4;
  } else {
    return kNoSocket;
  }
  Socket s = open_tcp_socket_for(local);
  if (s == kNoSocket) return kNoSocket;
  if (local.ipv6) {
    int only = dual_stack ? 0 : 1;
    setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
  }
  if (!bind_endpoint(s, local, true) || !listen_socket(s, 0)) {
    close(s);
    return kNoSocket;
  }
  return s;
}

bool send_immediately(Socket s) {
  int one = 1;
  return setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0;
}

bool listen_socket(Socket s, int backlog) {
  return listen(s, backlog <= 0 ? SOMAXCONN : backlog) == 0;
}

Socket accept_connection(Socket listener, Ipv4Endpoint* peer) {
  for (;;) {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    int c = accept4(listener, reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
    if (c >= 0) {
      if (peer) *peer = from_storage(a).value_or(Endpoint{});
      return c;
    }
    // A connection that was reset before we took it is not the listener's failure.
    if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
    return kNoSocket;
  }
}

bool connect_ipv4(Socket s, Ipv4Endpoint remote, int timeout_ms) {
  socklen_t length = 0;
  sockaddr_storage a = to_storage(remote, &length);
  if (!set_blocking(s, false)) return false;
  int r = connect(s, reinterpret_cast<sockaddr*>(&a), length);
  bool ok = r == 0;
  if (!ok && errno == EINPROGRESS) {
    if (poll_one(s, POLLOUT, timeout_ms < 0 ? -1 : timeout_ms) == 1) {
      int error = 0;
      socklen_t len = sizeof error;
      ok = getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
    }
  }
  set_blocking(s, true);
  return ok;
}

long send_some(Socket s, const void* data, size_t size) {
  for (;;) {
    ssize_t n = send(s, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

size_t send_all(Socket s, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  size_t sent = 0;
  while (sent < size) {
    long n = send_some(s, p + sent, size - sent);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  return sent;
}

long recv_some(Socket s, void* buffer, size_t size) {
  for (;;) {
    ssize_t n = recv(s, buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

long recv_some_timeout(Socket s, void* buffer, size_t size, int timeout_ms) {
  int r = poll_one(s, POLLIN, timeout_ms);
  if (r == 0) return -2;
  if (r < 0) return -1;
  return recv_some(s, buffer, size);
}

long long send_file_range(Socket s, int file_descriptor, uint64_t offset, uint64_t count) {
  off_t position = static_cast<off_t>(offset);
  uint64_t sent = 0;
  while (sent < count) {
    uint64_t left = count - sent;
    size_t chunk = left > (1u << 30) ? (1u << 30) : static_cast<size_t>(left);
    ssize_t n = sendfile(s, file_descriptor, &position, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && sent == 0 && (errno == EINVAL || errno == ENOSYS)) return -1;
    if (n <= 0) break;
    sent += static_cast<uint64_t>(n);
  }
  return static_cast<long long>(sent);
}

void shutdown_both(Socket s) {
  if (s != kNoSocket) shutdown(s, SHUT_RDWR);
}

void shutdown_receive(Socket s) {
  if (s != kNoSocket) shutdown(s, SHUT_RD);
}

void shutdown_send(Socket s) {
  if (s != kNoSocket) shutdown(s, SHUT_WR);
}

bool set_blocking(Socket s, bool blocking) {
  int flags = fcntl(s, F_GETFL, 0);
  if (flags < 0) return false;
  flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return fcntl(s, F_SETFL, flags) == 0;
}

int wait_readable(Socket s, int timeout_ms) { return poll_one(s, POLLIN, timeout_ms); }

int wait_writable(Socket s, int timeout_ms) { return poll_one(s, POLLOUT, timeout_ms); }

void close_socket(Socket s) {
  if (s != kNoSocket) close(s);
}

std::optional<Ipv4Endpoint> local_endpoint(Socket s) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return std::nullopt;
  return from_storage(a);
}

std::optional<Ipv4Endpoint> peer_endpoint(Socket s) {
  sockaddr_storage a{};
  socklen_t len = sizeof a;
  if (getpeername(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return std::nullopt;
  return from_storage(a);
}

std::string format_address(const Endpoint& e) {
  if (!e.ipv6) return format_ipv4(e.address);
  uint16_t group[8];
  for (int i = 0; i < 8; ++i) group[i] = static_cast<uint16_t>(e.address6[2 * i] << 8 | e.address6[2 * i + 1]);
  // The longest run of two or more zero groups (the first of equal runs) becomes "::".
  int best = -1, best_length = 1;
  for (int i = 0; i < 8;) {
    int j = i;
    while (j < 8 && group[j] == 0) ++j;
    if (j - i > best_length) {
      best = i;
      best_length = j - i;
    }
    i = j == i ? i + 1 : j;
  }
  std::string text;
  char piece[8];
  for (int i = 0; i < 8; ++i) {
    if (i == best) {
      text += "::";
      i += best_length - 1;
      continue;
    }
    if (!text.empty() && text.back() != ':') text += ':';
    snprintf(piece, sizeof piece, "%x", group[i]);
    text += piece;
  }
  return text;
}

std::optional<std::array<uint8_t, 16>> parse_ipv6(std::string_view text) {
  if (text.empty() || text.size() > INET6_ADDRSTRLEN || text.find('\0') != std::string_view::npos)
    return std::nullopt;
  std::string copy(text);
  std::array<uint8_t, 16> bytes{};
  if (inet_pton(AF_INET6, copy.c_str(), bytes.data()) != 1) return std::nullopt;
  return bytes;
}

std::string format_ipv4(uint32_t address) {
  char text[16];
  snprintf(text, sizeof text, "%u.%u.%u.%u", (address >> 24) & 0xFF, (address >> 16) & 0xFF,
           (address >> 8) & 0xFF, address & 0xFF);
  return text;
}

std::optional<uint32_t> parse_ipv4(std::string_view text) {
  // inet_aton takes a C string; text with an embedded NUL is not an address.
  if (text.empty() || text.size() > 64 || text.find('\0') != std::string_view::npos)
    return std::nullopt;
  std::string copy(text);
  in_addr_t a = inet_addr(copy.c_str());
  if (a == INADDR_NONE) return std::nullopt;
  return ntohl(a);
}

std::optional<std::string> reverse_lookup(uint32_t address) {
  return reverse_lookup(Endpoint{address, 0});
}

std::optional<std::string> reverse_lookup(const Endpoint& e) {
  socklen_t length = 0;
  sockaddr_storage a = to_storage(e, &length);
  char host[NI_MAXHOST];
  if (getnameinfo(reinterpret_cast<sockaddr*>(&a), length, host, sizeof host, nullptr, 0,
                  NI_NAMEREQD) != 0)
    return std::nullopt;
  return std::string(host);
}

std::optional<uint32_t> resolve_host_ipv4(const std::string& host_name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host_name.c_str(), nullptr, &hints, &list) != 0 || !list) return std::nullopt;
  uint32_t address = ntohl(reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr.s_addr);
  freeaddrinfo(list);
  return address;
}

uint16_t service_port(const char* service, const char* protocol) {
  servent result{};
  servent* found = nullptr;
  char buffer[1024];
  if (getservbyname_r(service, protocol, &result, buffer, sizeof buffer, &found) != 0 || !found)
    return 0;
  return ntohs(static_cast<uint16_t>(found->s_port));
}

}  // namespace platform
