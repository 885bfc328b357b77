// Many threads waiting for connections on one listener, each connection waking one.
//
// A thread blocked in accept holds a descriptor slot while it waits, so a pool of idle
// threads cannot all wait there. They wait on the waiter (epoll) instead, which holds no
// slot: the listener is armed for one wake-up at a time, the woken thread takes the
// connection without blocking and re-arms the waiter, which then wakes the next thread
// when another connection waits.
#pragma once

#include "platform/socket.h"

namespace platform {

struct AcceptWaiter {
  int handle = -1;  // the epoll instance
  Socket listener = kNoSocket;
};

// Opens a waiter on listener and makes the listener non-blocking; false on failure.
bool open_accept_waiter(AcceptWaiter& waiter, Socket listener);
void close_accept_waiter(AcceptWaiter& waiter);

enum class WaitResult { Woken, TimedOut, Failed };
// Waits until this thread is woken for the listener (a connection, or the listener shut
// down), up to timeout_ms. Woken disarms the waiter until rearm_accept_waiter.
WaitResult wait_for_connection(const AcceptWaiter& waiter, int timeout_ms);
// Lets the listener wake one waiting thread again (at once when a connection waits).
bool rearm_accept_waiter(const AcceptWaiter& waiter);

enum class TakeResult { Taken, NoneWaiting, Shortage, Closed };
struct Taken {
  TakeResult result = TakeResult::NoneWaiting;
  Socket socket = kNoSocket;
};
// Takes a waiting connection without blocking. Shortage: the process or the system is
// out of descriptors or memory (the connection still waits). Closed: the listener was
// shut down or closed.
Taken take_waiting_connection(const AcceptWaiter& waiter);

}  // namespace platform
