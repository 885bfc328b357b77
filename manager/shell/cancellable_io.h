// Socket input and output that an abort event can cut short, for the Manager's notice
// upload and account mail.
#pragma once
#include <cstddef>

#include "platform/socket.h"

namespace manager {

// A manual-reset cancel flag that also breaks the blocking call it watches: set() shuts
// down the direction of the socket a cancellable call is waiting on.
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
  friend size_t cancellable_send(platform::Socket, const void*, size_t, CancelEvent&);
  friend size_t cancellable_receive(platform::Socket, void*, size_t, CancelEvent&);
  struct State;
  State* state_;
};

// Bytes sent; 0 on failure or when the event is (or becomes) set.
size_t cancellable_send(platform::Socket s, const void* data, size_t size, CancelEvent& cancel);
// Bytes received; 0 on failure, end of stream, 5000 ms without data, or cancel.
size_t cancellable_receive(platform::Socket s, void* buffer, size_t size, CancelEvent& cancel);

}  // namespace manager
