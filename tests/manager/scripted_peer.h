// A scripted network peer for the Manager's notice and mail tests: listens on 127.0.0.1,
// takes each connection in turn and runs a script on it, keeping every byte it received.
// Stopping shuts its sockets down, so a script blocked in a read ends at once.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "tests/support/harness.h"

namespace scripted {

class ScriptedPeer;

// One connection as the script sees it.
class Link {
 public:
  Link(ScriptedPeer& peer, platform::Socket s) : peer_(peer), s_(s) {}
  bool send(std::string_view text) {
    return platform::send_all(s_, text.data(), text.size()) == text.size();
  }
  // The next line with its CR LF; none when the connection ends or nothing comes in time.
  std::optional<std::string> line(int timeout_ms = 10000);
  // Everything up to and including marker.
  std::optional<std::string> until(std::string_view marker, int timeout_ms = 10000);
  // True when the other side closed (or shut down its sending side) within timeout_ms.
  bool wait_closed(int timeout_ms = 10000);
  platform::Socket socket() const { return s_; }

 private:
  bool fill(int timeout_ms);
  ScriptedPeer& peer_;
  platform::Socket s_;
  std::string pending_;
};

class ScriptedPeer {
 public:
  using Script = std::function<void(Link&)>;
  explicit ScriptedPeer(Script script) : script_(std::move(script)) {
    listener_ = platform::open_tcp_socket();
    platform::bind_ipv4(listener_, {platform::kLoopbackAddress, 0}, true);
    platform::listen_socket(listener_, 8);
    port_ = platform::local_endpoint(listener_).value_or(platform::Ipv4Endpoint{}).port;
    thread_.start([this] { serve(); }, 256 * 1024);
  }
  ~ScriptedPeer() { stop(); }
  void stop() {
    {
      std::lock_guard<std::mutex> guard(lock_);
      stopping_ = true;
      platform::shutdown_both(current_);
    }
    platform::shutdown_both(listener_);
    if (thread_.joinable()) thread_.join();
    platform::close_socket(listener_);
    listener_ = platform::kNoSocket;
  }
  uint16_t port() const { return port_; }
  std::string received() {
    std::lock_guard<std::mutex> guard(lock_);
    return received_;
  }
  int connections() {
    std::lock_guard<std::mutex> guard(lock_);
    return connections_;
  }
  int finished() {
    std::lock_guard<std::mutex> guard(lock_);
    return finished_;
  }
  // Waits until n scripts have run to their end.
  bool wait_finished(int n, int timeout_ms = 10000) {
    const int limit = harness::scaled_ms(timeout_ms);
    for (int waited = 0; waited < limit; waited += 10) {
      if (finished() >= n) return true;
      changed_.wait_for(10);
    }
    return finished() >= n;
  }
  bool wait_connections(int n, int timeout_ms = 10000) {
    const int limit = harness::scaled_ms(timeout_ms);
    for (int waited = 0; waited < limit; waited += 10) {
      if (connections() >= n) return true;
      changed_.wait_for(10);
    }
    return connections() >= n;
  }
  void record(std::string_view bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    received_.append(bytes);
  }

 private:
  void serve() {
    for (;;) {
      platform::Socket s = platform::accept_connection(listener_, nullptr);
      if (s == platform::kNoSocket) return;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_) {
          platform::close_socket(s);
          return;
        }
        current_ = s;
        ++connections_;
      }
      changed_.set();
      Link link(*this, s);
      script_(link);
      {
        std::lock_guard<std::mutex> guard(lock_);
        current_ = platform::kNoSocket;
        ++finished_;
      }
      platform::close_socket(s);
      changed_.set();
    }
  }

  Script script_;
  platform::Socket listener_ = platform::kNoSocket;
  uint16_t port_ = 0;
  platform::Thread thread_;
  platform::Event changed_{false};
  std::mutex lock_;
  platform::Socket current_ = platform::kNoSocket;
  bool stopping_ = false;
  std::string received_;
  int connections_ = 0;
  int finished_ = 0;
};

inline bool Link::fill(int timeout_ms) {
  char buffer[4096];
  long n = platform::recv_some_timeout(s_, buffer, sizeof buffer, harness::scaled_ms(timeout_ms));
  if (n <= 0) return false;
  peer_.record(std::string_view(buffer, static_cast<size_t>(n)));
  pending_.append(buffer, static_cast<size_t>(n));
  return true;
}

inline std::optional<std::string> Link::until(std::string_view marker, int timeout_ms) {
  for (;;) {
    size_t at = pending_.find(marker);
    if (at != std::string::npos) {
      std::string out = pending_.substr(0, at + marker.size());
      pending_.erase(0, at + marker.size());
      return out;
    }
    if (!fill(timeout_ms)) return std::nullopt;
  }
}

inline std::optional<std::string> Link::line(int timeout_ms) { return until("\r\n", timeout_ms); }

inline bool Link::wait_closed(int timeout_ms) {
  char buffer[4096];
  for (;;) {
    long n = platform::recv_some_timeout(s_, buffer, sizeof buffer, harness::scaled_ms(timeout_ms));
    if (n == 0) return true;
    if (n < 0) return n == -1;
    peer_.record(std::string_view(buffer, static_cast<size_t>(n)));
  }
}

// A port on 127.0.0.1 where nothing listens.
inline uint16_t closed_port() {
  platform::Socket s = platform::open_tcp_socket();
  platform::bind_ipv4(s, {platform::kLoopbackAddress, 0}, false);
  uint16_t port = platform::local_endpoint(s).value_or(platform::Ipv4Endpoint{}).port;
  platform::close_socket(s);
  return port;
}

}  // namespace scripted
