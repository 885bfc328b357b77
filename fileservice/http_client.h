// A minimal HTTP/1.0 client for the global-IP lookup: one request, one connection,
// the whole answer read into a fixed buffer.
#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/socket.h"

namespace fileservice {

// The response buffer holds 5120 bytes; at most 5119 are stored, so it stays terminated.
inline constexpr size_t kHttpResponseSize = 5120;

struct HttpUrl {
  std::string host;         // name or dotted address to connect to
  uint16_t port = 80;
  std::string host_header;  // host, with ":port" when the URL names one
  std::string path;         // from the first '/' on; "/" when the URL has none
};

// Skips a leading "http://"; the authority runs to the first '/'. Anything up to the
// last '@' in it (user information) is dropped; a ':' followed by decimal digits names
// the port. None when the host is empty or the port is not a number in 1..65535.
std::optional<HttpUrl> parse_http_url(std::string_view url);

// The request text: POST with a Content-Length and the body, or GET.
std::string build_http_request(const HttpUrl& url, bool post, std::string_view body);

// The socket of a request in progress, so that another thread can break it. Once
// cancelled, no further request made with it connects.
class HttpCancel {
 public:
  // Registers s; false when the request has been cancelled already.
  bool attach(platform::Socket s);
  void detach();
  // Shuts the registered socket down (its owner closes it) and refuses later requests.
  void cancel();
  bool cancelled();

 private:
  std::mutex lock_;
  platform::Socket socket_ = platform::kNoSocket;
  bool cancelled_ = false;
};

// Connects to the URL's host (first resolved address), sends the request with one send
// of the whole text, and receives until the peer closes, a receive fails or 5119 bytes
// are stored. response receives the stored bytes. False when the URL is bad, the host
// does not resolve, the connection or the send fails, or the request was cancelled;
// true otherwise, whatever the response says.
bool http_request(const std::string& url, bool post, std::string_view body,
                  std::string& response, HttpCancel& cancel);

}  // namespace fileservice
