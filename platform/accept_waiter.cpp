// Waiting for connections through epoll, armed one-shot so that one thread wakes per arm.
#include "platform/accept_waiter.h"

#include <cerrno>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

bool arm(int handle, Socket listener, int operation) {
  epoll_event e{};
  e.events = EPOLLIN | EPOLLONESHOT;
  e.data.fd = listener;
  return epoll_ctl(handle, operation, listener, &e) == 0;
}

}  // namespace

bool open_accept_waiter(AcceptWaiter& waiter, Socket listener) {
  if (!set_blocking(listener, false)) return false;  // a take must never wait
  const int handle = epoll_create1(EPOLL_CLOEXEC);
  if (handle < 0) return false;
  if (!arm(handle, listener, EPOLL_CTL_ADD)) {
    close(handle);
    return false;
  }
  waiter.handle = handle;
  waiter.listener = listener;
  return true;
}

void close_accept_waiter(AcceptWaiter& waiter) {
  if (waiter.handle >= 0) close(waiter.handle);
  waiter.handle = -1;
  waiter.listener = kNoSocket;
}

WaitResult wait_for_connection(const AcceptWaiter& waiter, int timeout_ms) {
  for (;;) {
    epoll_event e{};
    const int n = epoll_wait(waiter.handle, &e, 1, timeout_ms);
    if (n > 0) return WaitResult::Woken;
    if (n == 0) return WaitResult::TimedOut;
    if (errno != EINTR) return WaitResult::Failed;
  }
}

bool rearm_accept_waiter(const AcceptWaiter& waiter) {
  return arm(waiter.handle, waiter.listener, EPOLL_CTL_MOD);
}

Taken take_waiting_connection(const AcceptWaiter& waiter) {
  for (;;) {
    const int c = accept4(waiter.listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (c >= 0) return {TakeResult::Taken, c};
    switch (errno) {
      case EINTR:
      case ECONNABORTED:  // reset before it was taken: not the listener's failure
      case EPROTO:
        continue;
      case EAGAIN:
        return {TakeResult::NoneWaiting, kNoSocket};
      case EMFILE:
      case ENFILE:
      case ENOBUFS:
      case ENOMEM:
        return {TakeResult::Shortage, kNoSocket};
      default:
        return {TakeResult::Closed, kNoSocket};
    }
  }
}

}  // namespace platform
