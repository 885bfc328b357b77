// A one-shot HTTP server for tests: listens on 127.0.0.1, takes each connection in turn,
// reads the request (headers and Content-Length bytes of body), records it, and answers
// with a fixed response once released. Built on the platform socket layer.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace testing_http {

class HttpTestServer {
 public:
  // With hold set, each response waits until release() is called.
  explicit HttpTestServer(std::string response, bool hold = false)
      : response_(std::move(response)) {
    if (!hold) released_.set();
    listener_ = platform::open_tcp_socket();
    platform::bind_ipv4(listener_, {platform::kLoopbackAddress, 0}, true);
    platform::listen_socket(listener_, 8);
    port_ = platform::local_endpoint(listener_).value_or(platform::Ipv4Endpoint{}).port;
    thread_.start([this] { serve(); }, 256 * 1024);
  }
  ~HttpTestServer() {
    released_.set();
    platform::shutdown_both(listener_);
    thread_.join();
    platform::close_socket(listener_);
  }
  uint16_t port() const { return port_; }
  std::string url(const std::string& path = "/regist/check_ip.cgi") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  void release() { released_.set(); }
  // Waits until n responses have been sent and their connections closed.
  bool wait_served(size_t n, int timeout_ms = 5000) {
    for (int waited = 0; waited < timeout_ms; waited += 20) {
      if (served_count() >= n) return true;
      served_event_.wait_for(20);
    }
    return served_count() >= n;
  }
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
  }
  size_t served_count() {
    std::lock_guard<std::mutex> guard(lock_);
    return served_;
  }

 private:
  static size_t content_length(const std::string& head) {
    std::string lower;
    for (char c : head) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    size_t at = lower.find("content-length:");
    if (at == std::string::npos) return 0;
    return static_cast<size_t>(std::strtoul(head.c_str() + at + 15, nullptr, 10));
  }

  std::string read_request(platform::Socket s) {
    std::string data;
    char buffer[2048];
    for (;;) {
      size_t end = data.find("\r\n\r\n");
      if (end != std::string::npos && data.size() >= end + 4 + content_length(data.substr(0, end)))
        return data;
      long n = platform::recv_some_timeout(s, buffer, sizeof buffer, 5000);
      if (n <= 0) return data;
      data.append(buffer, static_cast<size_t>(n));
    }
  }

  void serve() {
    for (;;) {
      platform::Socket s = platform::accept_connection(listener_, nullptr);
      if (s == platform::kNoSocket) return;
      std::string request = read_request(s);
      {
        std::lock_guard<std::mutex> guard(lock_);
        requests_.push_back(request);
      }
      released_.wait();
      platform::send_all(s, response_.data(), response_.size());
      platform::shutdown_both(s);
      platform::close_socket(s);
      {
        std::lock_guard<std::mutex> guard(lock_);
        ++served_;
      }
      served_event_.set();
    }
  }

  std::string response_;
  platform::Event released_{true};
  platform::Event served_event_{false};
  platform::Socket listener_ = platform::kNoSocket;
  uint16_t port_ = 0;
  platform::Thread thread_;
  std::mutex lock_;
  std::vector<std::string> requests_;
  size_t served_ = 0;
};

// "HTTP/1.0 <status>\r\n...\r\n\r\n" followed by the NUL-terminated pairs and the empty key.
inline std::string lookup_response(const std::string& status,
                                   const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string text = "HTTP/1.0 " + status + "\r\nContent-Type: application/octet-stream\r\n\r\n";
  for (const auto& [key, value] : pairs) {
    text += key;
    text += '\0';
    text += value;
    text += '\0';
  }
  text += '\0';
  return text;
}

}  // namespace testing_http
