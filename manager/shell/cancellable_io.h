// Socket input and output that an abort event can cut short, for the Manager's notice
// upload and account mail.
#pragma once
#include <cstddef>
#include <functional>

#include "platform/socket.h"

namespace manager {

// A receive waits this long for data before it gives up.
inline constexpr int kReceiveBoundMs = 5000;

// A manual-reset cancel flag that also breaks the blocking call it watches: set() shuts
// down the direction of the socket a cancellable call is waiting on. One event may watch
// calls on several threads at once.
class CancelEvent {
 public:
  CancelEvent();
  ~CancelEvent();
  CancelEvent(const CancelEvent&) = delete;
  CancelEvent& operator=(const CancelEvent&) = delete;
  void set();
  void reset();
  bool is_set() const;

 private:
  friend class CancelWatch;
  struct State;
  State* state_;
};

// Bytes sent (all of them); 0 on failure or when the event is (or becomes) set.
size_t cancellable_send(platform::Socket s, const void* data, size_t size, CancelEvent& cancel);
// Bytes received; 0 on failure, end of stream, 5000 ms without data, or cancel.
size_t cancellable_receive(platform::Socket s, void* buffer, size_t size, CancelEvent& cancel);
// The same with another bound on the wait for data.
size_t cancellable_receive(platform::Socket s, void* buffer, size_t size, CancelEvent& cancel,
                           int timeout_ms);
// Runs call, a blocking wait on s made by another layer (the TLS stream of the mail),
// watched like the calls above: set() shuts s down, which ends the wait. False when call
// failed or the event is (or becomes) set.
bool cancellable_wait(platform::Socket s, CancelEvent& cancel, const std::function<bool()>& call);
// Connects; false on failure, time-out or cancel.
bool cancellable_connect(platform::Socket s, platform::Ipv4Endpoint remote, CancelEvent& cancel,
                         int timeout_ms = 15000);
// Waits up to timeout_ms for a connection on listener; kNoSocket on time-out, failure or
// cancel (the listener is then shut down).
platform::Socket cancellable_accept(platform::Socket listener, CancelEvent& cancel,
                                    int timeout_ms = kReceiveBoundMs);

}  // namespace manager
