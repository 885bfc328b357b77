#include "fileservice/http_client.h"

#include <charconv>

namespace fileservice {
namespace {

constexpr int kConnectTimeoutMs = 15000;

std::optional<uint16_t> parse_port(std::string_view text) {
  if (text.empty()) return uint16_t{80};
  unsigned value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value == 0 || value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

std::optional<uint32_t> address_of(const std::string& host) {
  if (auto address = platform::parse_ipv4(host)) return address;
  return platform::resolve_host_ipv4(host);
}

}  // namespace

std::optional<HttpUrl> parse_http_url(std::string_view url) {
  constexpr std::string_view kScheme = "http://";
  if (url.substr(0, kScheme.size()) == kScheme) url.remove_prefix(kScheme.size());
  size_t slash = url.find('/');
  std::string_view authority = url.substr(0, slash);
  HttpUrl result;
  result.path = slash == std::string_view::npos ? "/" : std::string(url.substr(slash));
  size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority.remove_prefix(at + 1);
  std::string_view host = authority;
  size_t colon = authority.find(':');
  if (colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    std::optional<uint16_t> port = parse_port(authority.substr(colon + 1));
    if (!port) return std::nullopt;
    result.port = *port;
  }
  if (host.empty()) return std::nullopt;
  result.host = std::string(host);
  result.host_header = std::string(authority);
  return result;
}

std::string build_http_request(const HttpUrl& url, bool post, std::string_view body) {
  std::string text;
  if (post) {
    text = "POST " + url.path + " HTTP/1.0\r\nUser-Agent: velmoraftpd\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nHost: " + url.host_header +
           "\r\nConnection: close\r\n\r\n";
    text += body;
  } else {
    text = "GET " + url.path + " HTTP/1.0\r\nUser-Agent: velmoraftpd\r\nHost: " +
           url.host_header + "\r\nConnection: close\r\n\r\n";
  }
  return text;
}

bool HttpCancel::attach(platform::Socket s) {
  std::lock_guard<std::mutex> guard(lock_);
  if (cancelled_) return false;
  socket_ = s;
  return true;
}

void HttpCancel::detach() {
  std::lock_guard<std::mutex> guard(lock_);
  socket_ = platform::kNoSocket;
}

bool HttpCancel::cancelled() {
  std::lock_guard<std::mutex> guard(lock_);
  return cancelled_;
}

void HttpCancel::cancel() {
  std::lock_guard<std::mutex> guard(lock_);
  cancelled_ = true;
  if (socket_ != platform::kNoSocket) platform::shutdown_both(socket_);
}

bool http_request(const std::string& url, bool post, std::string_view body,
                  std::string& response, HttpCancel& cancel) {
  response.clear();
  std::optional<HttpUrl> parsed = parse_http_url(url);
  if (!parsed) return false;
  // Name resolution cannot be broken from outside; it ends by the resolver's own limit.
  std::optional<uint32_t> address = address_of(parsed->host);
  if (!address) return false;
  platform::Socket s = platform::open_tcp_socket();
  if (s == platform::kNoSocket) return false;
  if (!cancel.attach(s)) {
    platform::close_socket(s);
    return false;
  }
  std::string request = build_http_request(*parsed, post, body);
  // A cancel that came before the connection was up found nothing to shut down: the
  // second look at the flag catches it.
  bool ok = platform::connect_ipv4(s, {*address, parsed->port}, kConnectTimeoutMs) &&
            !cancel.cancelled() &&
            platform::send_all(s, request.data(), request.size()) == request.size();
  if (ok) {
    char buffer[kHttpResponseSize];
    while (response.size() < kHttpResponseSize - 1) {
      long n = platform::recv_some(s, buffer, kHttpResponseSize - 1 - response.size());
      if (n <= 0) break;
      response.append(buffer, static_cast<size_t>(n));
    }
  }
  if (cancel.cancelled()) ok = false;
  cancel.detach();
  platform::close_socket(s);
  return ok;
}

}  // namespace fileservice
