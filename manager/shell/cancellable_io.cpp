// Cancellable socket calls: each call registers the socket and the direction it waits on
// with the cancel event for as long as it blocks; set() shuts that direction down, which
// ends the blocking call at once. A call never touches a socket after it has
// unregistered, so set() cannot reach a socket that its owner has closed since.
#include "manager/shell/cancellable_io.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace manager {

enum class WatchedDirection { Receive, Send, Both };

struct CancelEvent::State {
  std::mutex mutex;
  bool signalled = false;
  struct Watched {
    uint64_t id;
    platform::Socket socket;
    WatchedDirection direction;
  };
  std::vector<Watched> watched;
  uint64_t next_id = 1;
};

namespace {

void shut_direction(platform::Socket s, WatchedDirection direction) {
  switch (direction) {
    case WatchedDirection::Receive:
      platform::shutdown_receive(s);
      break;
    case WatchedDirection::Send:
      platform::shutdown_send(s);
      break;
    case WatchedDirection::Both:
      platform::shutdown_both(s);
      break;
  }
}

}  // namespace

// Registration of one blocking call with a cancel event, for the call's duration.
class CancelWatch {
 public:
  CancelWatch(CancelEvent& event, platform::Socket s, WatchedDirection direction)
      : state_(*event.state_) {
    std::lock_guard<std::mutex> lock(state_.mutex);
    if (state_.signalled) return;
    id_ = state_.next_id++;
    state_.watched.push_back({id_, s, direction});
  }
  ~CancelWatch() {
    if (id_ == 0) return;
    std::lock_guard<std::mutex> lock(state_.mutex);
    for (size_t i = 0; i < state_.watched.size(); ++i) {
      if (state_.watched[i].id == id_) {
        state_.watched.erase(state_.watched.begin() + static_cast<long>(i));
        break;
      }
    }
  }
  CancelWatch(const CancelWatch&) = delete;
  CancelWatch& operator=(const CancelWatch&) = delete;
  // False when the event was already set: the call must not start.
  bool armed() const { return id_ != 0; }

 private:
  CancelEvent::State& state_;
  uint64_t id_ = 0;
};

CancelEvent::CancelEvent() : state_(new State) {}
CancelEvent::~CancelEvent() { delete state_; }

void CancelEvent::set() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->signalled = true;
  for (const State::Watched& w : state_->watched) shut_direction(w.socket, w.direction);
}

void CancelEvent::reset() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->signalled = false;
}

bool CancelEvent::is_set() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->signalled;
}

size_t cancellable_send(platform::Socket s, const void* data, size_t size, CancelEvent& cancel) {
  size_t sent = 0;
  {
    CancelWatch watch(cancel, s, WatchedDirection::Send);
    if (!watch.armed()) return 0;
    sent = platform::send_all(s, data, size);
  }
  if (sent != size || cancel.is_set()) return 0;
  return sent;
}

size_t cancellable_receive(platform::Socket s, void* buffer, size_t size, CancelEvent& cancel) {
  return cancellable_receive(s, buffer, size, cancel, kReceiveBoundMs);
}

size_t cancellable_receive(platform::Socket s, void* buffer, size_t size, CancelEvent& cancel,
                           int timeout_ms) {
  long received = 0;
  {
    CancelWatch watch(cancel, s, WatchedDirection::Receive);
    if (!watch.armed()) return 0;
    received = platform::recv_some_timeout(s, buffer, size, timeout_ms);
  }
  if (received <= 0 || cancel.is_set()) return 0;
  return static_cast<size_t>(received);
}

bool cancellable_wait(platform::Socket s, CancelEvent& cancel, const std::function<bool()>& call) {
  bool done = false;
  {
    CancelWatch watch(cancel, s, WatchedDirection::Both);
    if (!watch.armed()) return false;
    done = call();
  }
  return done && !cancel.is_set();
}

bool cancellable_connect(platform::Socket s, platform::Ipv4Endpoint remote, CancelEvent& cancel,
                         int timeout_ms) {
  bool connected = false;
  {
    CancelWatch watch(cancel, s, WatchedDirection::Both);
    if (!watch.armed()) return false;
    connected = platform::connect_ipv4(s, remote, timeout_ms);
  }
  return connected && !cancel.is_set();
}

platform::Socket cancellable_accept(platform::Socket listener, CancelEvent& cancel,
                                    int timeout_ms) {
  platform::Socket accepted = platform::kNoSocket;
  {
    CancelWatch watch(cancel, listener, WatchedDirection::Both);
    if (!watch.armed()) return platform::kNoSocket;
    if (platform::wait_readable(listener, timeout_ms) == 1)
      accepted = platform::accept_connection(listener, nullptr);
  }
  if (accepted != platform::kNoSocket && cancel.is_set()) {
    platform::close_socket(accepted);
    return platform::kNoSocket;
  }
  return accepted;
}

}  // namespace manager
