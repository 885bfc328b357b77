// TCP/IPv4 sockets over the BSD socket calls.
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

Ipv4Endpoint from_sockaddr(const sockaddr_in& a) {
  return Ipv4Endpoint{ntohl(a.sin_addr.s_addr), ntohs(a.sin_port)};
}

bool set_blocking(Socket s, bool blocking) {
  int flags = fcntl(s, F_GETFL, 0);
  if (flags < 0) return false;
  flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return fcntl(s, F_SETFL, flags) == 0;
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

bool bind_ipv4(Socket s, Ipv4Endpoint local, bool reuse_address) {
  if (reuse_address) {
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  }
  sockaddr_in a = to_sockaddr(local);
  return bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
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
    sockaddr_in a{};
    socklen_t len = sizeof a;
    int c = accept4(listener, reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
    if (c >= 0) {
      if (peer) *peer = from_sockaddr(a);
      return c;
    }
    // A connection that was reset before we took it is not the listener's failure.
    if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
    return kNoSocket;
  }
}

bool connect_ipv4(Socket s, Ipv4Endpoint remote, int timeout_ms) {
  sockaddr_in a = to_sockaddr(remote);
  if (!set_blocking(s, false)) return false;
  int r = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
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

int wait_readable(Socket s, int timeout_ms) { return poll_one(s, POLLIN, timeout_ms); }

void close_socket(Socket s) {
  if (s != kNoSocket) close(s);
}

std::optional<Ipv4Endpoint> local_endpoint(Socket s) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET)
    return std::nullopt;
  return from_sockaddr(a);
}

std::optional<Ipv4Endpoint> peer_endpoint(Socket s) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getpeername(s, reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET)
    return std::nullopt;
  return from_sockaddr(a);
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
  sockaddr_in a = to_sockaddr(Ipv4Endpoint{address, 0});
  char host[NI_MAXHOST];
  if (getnameinfo(reinterpret_cast<sockaddr*>(&a), sizeof a, host, sizeof host, nullptr, 0,
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
